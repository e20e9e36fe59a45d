// The search for the first tick a run of ramp ticks must not take: a test
// that holds up to some tick and fails from there on, looked for from a
// guess that the test's smooth form gives.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

// First i in [0, hi) for which ok(i) fails (hi when none), for ok true up
// to some point and false from there on; looked for from guess outwards,
// then by halving.
template <typename Ok>
std::uint64_t first_failing(std::uint64_t hi, std::uint64_t guess, Ok ok)
{
    std::uint64_t lo = 0;
    guess = std::min(guess, hi - 1);
    if (ok(guess)) {
        lo = guess + 1;
        for (std::uint64_t step = 1; lo < hi; step *= 2) {
            const std::uint64_t probe = std::min(lo + step - 1, hi - 1);
            if (!ok(probe)) {
                hi = probe;
                break;
            }
            lo = probe + 1;
        }
    } else {
        hi = guess;
        for (std::uint64_t step = 1; hi > lo; step *= 2) {
            const std::uint64_t probe = hi - std::min(step, hi - lo);
            if (ok(probe)) {
                lo = probe + 1;
                break;
            }
            hi = probe;
        }
    }
    while (lo < hi) {
        const std::uint64_t mid = lo + (hi - lo) / 2;
        if (ok(mid)) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

// Smallest x >= 0 with a * x^2 + b * x >= c (a, b >= 0, not both 0), as a
// real number: where to start looking for an exit.
inline double quadratic_reach(double a, double b, double c)
{
    if (c <= 0) {
        return 0;
    }
    return 2 * c / (b + std::sqrt(b * b + 4 * a * c));
}

// A real x as a tick count, clamped to [0, cap].
inline std::uint64_t tick_guess(double x, std::uint64_t cap)
{
    if (!(x < static_cast<double>(cap))) {
        return cap;
    }
    return x > 0 ? static_cast<std::uint64_t>(x) : 0;
}
