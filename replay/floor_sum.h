// The floor sum both closed forms of a ramp build on: the whole counts of
// an arithmetic progression taken in a fixed-point unit, summed without
// stepping.
#pragma once

#include <cstdint>
#include <utility>

// Sum of floor((a * i + b) / m) over i = 0 .. n-1, by Euclid-like reduction
// of (a, m): the number of lattice points under the line.
inline std::uint64_t floor_sum(std::uint64_t n, std::uint64_t m, std::uint64_t a, std::uint64_t b)
{
    std::uint64_t sum = 0;
    for (;;) {
        if (a >= m) {
            sum += n * (n - 1) / 2 * (a / m);
            a %= m;
        }
        if (b >= m) {
            sum += n * (b / m);
            b %= m;
        }
        const std::uint64_t top = a * n + b;
        if (top < m) {
            return sum;
        }
        n = top / m;
        b = top % m;
        std::swap(m, a);
    }
}
