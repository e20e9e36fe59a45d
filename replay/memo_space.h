// Where the estimator's memo tables live. Each machine has its own tables.
// A table starts with a few sets of its own, enough for a short job; once it
// has taken move_after entries anew it moves, empty, to its place in the
// machine's block (platform::MemoBlock), a large page where the host offers
// one, shared by the corner-ramp table, the memo of corner passes and the
// memo of waits. Filling a large table page by page costs a page fault per
// 4 KB (some 10 us each on a virtual machine), more than a short job's whole
// run; one large page costs one. Where the host has no memory for the
// block, a table keeps its few sets.
//
// The tables are memos of pure functions: an entry lost in the move is
// worked out anew, they outlive jobs, and no reset touches them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
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

// Where a table's sets are now and how many bits of a hash pick one: what
// every look-up reads, kept in the machine itself.
struct MemoIndex {
    void* sets = nullptr;
    unsigned bits = 0;
    std::uint32_t taken = 0;  // entries taken anew since the table began
};

// A table of sets: 2^small_bits of them at first (here), 2^large_bits at
// offset in the machine's block after the move; its index says where they
// are. A table begins as zero bytes (made by calloc, which on a fresh heap
// costs no writes) and stays where it was made.
template <typename Set, unsigned small_bits, unsigned large_bits, std::size_t offset,
          std::uint32_t move_after>
struct MemoTable {
    static_assert(std::is_trivially_default_constructible_v<Set>);
    static constexpr std::size_t large_sets = std::size_t{1} << large_bits;
    static_assert(offset + large_sets * sizeof(Set) <= platform::memo_block_bytes);

    // Points index at the first sets.
    void start(MemoIndex& index) { index = MemoIndex{small_sets, small_bits, 0}; }

    // The set a hash picks (by its top bits).
    static Set& set_of_hash(const MemoIndex& index, std::uint64_t h)
    {
        return static_cast<Set*>(index.sets)[h >> (64 - index.bits)];
    }

    // Counts an entry taken anew; moves the table into block when it is due.
    static void took_entry(MemoIndex& index, platform::MemoBlock& block)
    {
        if (index.bits == small_bits && ++index.taken == move_after) {
            unsigned char* const memory = block.get();
            if (memory != nullptr) {
                // The sets begin without an initializer: they hold the
                // block's bytes, zero, and its pages stay untouched until a
                // set is used.
                index.sets = new (memory + offset) Set[large_sets];
                index.bits = large_bits;
            }
        }
    }

    Set small_sets[std::size_t{1} << small_bits];
};

// Gives back the pages of a memo's state. It holds their size, so the
// state's type need not be known where the state is freed.
struct MemoPages {
    std::size_t bytes = 0;
    void operator()(void* state) const { platform::free_pages(state, bytes); }
};

// A memo's state of zero bytes in pages of its own.
template <typename State>
using MemoState = std::unique_ptr<State, MemoPages>;

// A memo's state, empty (std::bad_alloc when the host has no pages for it),
// with its table of sets, the member table, started at index.
template <typename State, auto table>
MemoState<State> new_memo_state(MemoIndex& index)
{
    static_assert(std::is_trivially_default_constructible_v<State> &&
                  std::is_trivially_destructible_v<State>);
    void* memory = platform::zeroed_pages(sizeof(State));
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    MemoState<State> state(::new (memory) State, MemoPages{sizeof(State)});  // the zero bytes stay
    (state.get()->*table).start(index);
    return state;
}
