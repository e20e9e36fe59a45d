// Two's-complement 32-bit arithmetic as the machine's processor does it:
// sums, differences and products wrap. Done in unsigned arithmetic and
// converted back, so that the wrap is defined behaviour.
#pragma once

#include <cstdint>

// a + b, wrapping.
inline std::int32_t wrap_add(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

// a - b, wrapping.
inline std::int32_t wrap_sub(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

// a x b, wrapping.
inline std::int32_t wrap_mul(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

// -a, wrapping (-INT32_MIN is INT32_MIN).
inline std::int32_t wrap_neg(std::int32_t a)
{
    return static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(a));
}

// Magnitude of a signed 32-bit value as an unsigned number (|INT32_MIN| = 2^31).
inline std::uint32_t abs_u32(std::int32_t a)
{
    return a < 0 ? 0u - static_cast<std::uint32_t>(a) : static_cast<std::uint32_t>(a);
}
