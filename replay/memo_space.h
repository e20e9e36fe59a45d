// Where the estimator's memo tables live. A table starts with a few sets on
// small pages, enough for a short job; once it has taken move_after entries
// anew it moves, empty, to its place in one block from the host
// (platform::memo_block), a large page where the host offers one, shared by
// the corner-ramp table and the memo of waits. Filling a large table page by
// page costs a page fault per 4 KB (some 10 us each on a virtual machine),
// more than a short job's whole run; one large page costs one.
//
// The tables are memos of pure functions: an entry lost in the move is
// worked out anew, they outlive jobs, and no reset touches them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

#include "base/platform.h"

// Bytes of the block the corner-ramp table takes first, then the memo of
// corner passes; the memo of waits takes the rest.
inline constexpr std::size_t corner_ramp_memo_bytes = std::size_t{256} << 10;
inline constexpr std::size_t corner_pass_memo_offset = corner_ramp_memo_bytes;
inline constexpr std::size_t corner_pass_memo_bytes = std::size_t{256} << 10;
inline constexpr std::size_t wait_memo_offset = corner_pass_memo_offset + corner_pass_memo_bytes;
inline constexpr std::size_t wait_memo_bytes = platform::memo_block_bytes - wait_memo_offset;

// A set of a memo table: two entries per hash, the one taken last marked,
// so that two that alternate do not evict each other.
template <typename Entry>
struct TwoWaySet {
    Entry way[2];
    std::uint8_t recent;  // the way taken last
};

// A memo that rarely finds what it is asked for pays for the look-ups and
// gets nothing: its pace watches the hits over each stretch of look-ups
// and, when fewer than one in eight hit, sits out the next 16 stretches
// before it tries again, twice as many after each stretch in a row that
// fails, up to 128.
class MemoPace {
public:
    static constexpr std::uint32_t window = 512;
    static constexpr std::uint32_t rest_after_failure = 16 * window;
    static constexpr std::uint32_t max_doublings = 3;

    // Whether the memo sits this look-up out; counts the look-ups of the stretch.
    bool resting()
    {
        if (rest_ != 0) {
            --rest_;
            return true;
        }
        if (++lookups_ == window) {
            if (hits_ * 8 < window) {
                rest_ = rest_after_failure << failures_;
                failures_ = failures_ + 1 < max_doublings ? failures_ + 1 : max_doublings;
            } else {
                failures_ = 0;
            }
            lookups_ = 0;
            hits_ = 0;
        }
        return false;
    }

    // Counts a look-up that found what it asked for.
    void hit() { ++hits_; }

    // Hands the look-ups still to be sat out to a caller that counts them
    // down itself.
    std::uint32_t take_rest()
    {
        const std::uint32_t rest = rest_;
        rest_ = 0;
        return rest;
    }

private:
    std::uint32_t lookups_ = 0;
    std::uint32_t hits_ = 0;
    std::uint32_t rest_ = 0;
    std::uint32_t failures_ = 0;
};

// A table of sets: 2^small_bits of them at first, 2^large_bits at offset in
// the block after the move.
template <typename Set, unsigned small_bits, unsigned large_bits, std::size_t offset,
          std::uint32_t move_after>
class MemoTable {
    static_assert(std::is_trivially_default_constructible_v<Set>);
    static constexpr std::size_t large_sets = std::size_t{1} << large_bits;
    static_assert(offset + large_sets * sizeof(Set) <= platform::memo_block_bytes);

public:
    // The set a hash picks (by its top bits).
    static Set& set_of_hash(std::uint64_t h) { return sets_[h >> (64 - bits_)]; }

    // Counts an entry taken anew; moves the table when it is due.
    static void took_entry()
    {
        if (bits_ == small_bits && ++taken_ == move_after) {
            // The sets begin without an initializer: they hold the block's
            // bytes, zero, and its pages stay untouched until a set is used.
            sets_ = new (platform::memo_block() + offset) Set[large_sets];
            bits_ = large_bits;
        }
    }

private:
    inline static Set small_sets_[std::size_t{1} << small_bits] = {};
    inline static Set* sets_ = small_sets_;
    inline static unsigned bits_ = small_bits;
    inline static std::uint32_t taken_ = 0;
};
