// Firmware names for the fields of a module's state.
//
// Each module keeps its globals in one state struct, whose default member
// initialisers are the power-on values, so that a reset is one assignment.
// The machine's code reaches each field by its firmware name, through a
// reference bound to that field; the type stands once, in the struct.
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

// One firmware name: a reference to the field of the same name, bound at
// compile time to the module's static state (arrays and pointers alike).
#define VEMTRAC_STATE_NAME(state, name) inline constinit auto& name = state.name;

// VEMTRAC_STATE_NAMES(state, a, b, ...); gives each listed field of the
// state object its firmware name (the trailing semicolon closes the list).
#define VEMTRAC_STATE_NAMES(state, ...) \
    VEMTRAC_FOR_EACH(VEMTRAC_STATE_NAME, state, __VA_ARGS__) static_assert(true)
