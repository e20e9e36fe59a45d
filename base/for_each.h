// A macro applied to every item of a list, for code that names each
// member of a record once (the parameter dump's value lines).
#pragma once

// VEMTRAC_FOR_EACH(macro, fixed, a, b, ...) expands to macro(fixed, a)
// macro(fixed, b) ...: every item with the same first argument. Each item
// defers the next one to a later rescan, so a list may hold up to 85 items.
#define VEMTRAC_FOR_EACH(macro, fixed, ...) \
    __VA_OPT__(VEMTRAC_EXPAND(VEMTRAC_FOR_EACH_NEXT(macro, fixed, __VA_ARGS__)))
#define VEMTRAC_FOR_EACH_NEXT(macro, fixed, item, ...) \
    macro(fixed, item) __VA_OPT__(VEMTRAC_FOR_EACH_AGAIN VEMTRAC_PARENS(macro, fixed, __VA_ARGS__))
#define VEMTRAC_FOR_EACH_AGAIN() VEMTRAC_FOR_EACH_NEXT
#define VEMTRAC_PARENS ()
#define VEMTRAC_EXPAND(...) \
    VEMTRAC_EXPAND3(VEMTRAC_EXPAND3(VEMTRAC_EXPAND3(VEMTRAC_EXPAND3(__VA_ARGS__))))
#define VEMTRAC_EXPAND3(...) \
    VEMTRAC_EXPAND2(VEMTRAC_EXPAND2(VEMTRAC_EXPAND2(VEMTRAC_EXPAND2(__VA_ARGS__))))
#define VEMTRAC_EXPAND2(...) \
    VEMTRAC_EXPAND1(VEMTRAC_EXPAND1(VEMTRAC_EXPAND1(VEMTRAC_EXPAND1(__VA_ARGS__))))
#define VEMTRAC_EXPAND1(...) __VA_ARGS__
