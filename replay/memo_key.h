// Memo keys, packed one way for every memo table: the values an entry
// depends on go, in order, into 64-bit words, low bits first, each at a
// place fixed at compile time by the types of the values before it (a bool
// takes one bit, any other value its whole width, and a value that would
// straddle two words starts the next one). Keys of equal values are equal
// words: they compare word by word and hash with one function. The same
// packing keeps what an entry restores, and a value comes back from its
// place exactly as it went in.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>

// A value's place in a key: its word, its lowest bit and its width.
struct KeySlot {
    std::size_t word;
    unsigned shift;
    unsigned bits;
};

// Bits a value of type T takes in a key.
template <typename T>
inline constexpr unsigned key_bits = std::is_same_v<T, bool> ? 1u : 8u * sizeof(T);

// The places of values of the types T..., in order, and the words they take.
template <typename... T>
struct KeyLayout {
    static constexpr std::array<KeySlot, sizeof...(T)> slots = [] {
        constexpr std::array<unsigned, sizeof...(T)> bits{key_bits<T>...};
        std::array<KeySlot, sizeof...(T)> s{};
        std::size_t word = 0;
        unsigned shift = 0;
        for (std::size_t i = 0; i < bits.size(); ++i) {
            if (shift + bits[i] > 64) {
                ++word;
                shift = 0;
            }
            s[i] = KeySlot{word, shift, bits[i]};
            shift += bits[i];
        }
        return s;
    }();
    static constexpr std::size_t words = slots.back().word + 1;
};

// A packed key of N words.
template <std::size_t N>
struct MemoKey {
    std::uint64_t word[N];
};

// The bits of a value as its place holds them: its two's complement bits
// (for bool 0 or 1), the rest zero.
template <typename T>
constexpr std::uint64_t key_value_bits(T value)
{
    static_assert(std::is_integral_v<T>);
    if constexpr (std::is_same_v<T, bool>) {
        return value ? 1u : 0u;
    } else {
        return static_cast<std::make_unsigned_t<T>>(value);
    }
}

// The value of type T at place s of the words w.
template <typename T>
constexpr T key_value(const std::uint64_t* w, KeySlot s)
{
    const std::uint64_t bits = w[s.word] >> s.shift;
    if constexpr (std::is_same_v<T, bool>) {
        return (bits & 1u) != 0;
    } else {
        return static_cast<T>(static_cast<std::make_unsigned_t<T>>(bits));
    }
}

// Packs the values into the words w (zero before) at the places Layout
// gives them.
template <typename Layout, typename... T, std::size_t... I>
constexpr void pack_key_values(std::uint64_t* w, std::index_sequence<I...>, T... values)
{
    ((w[Layout::slots[I].word] |= key_value_bits(values) << Layout::slots[I].shift), ...);
}

// The key of the values, in order.
template <typename... T>
constexpr MemoKey<KeyLayout<T...>::words> pack_key(T... values)
{
    MemoKey<KeyLayout<T...>::words> key{};
    pack_key_values<KeyLayout<T...>>(key.word, std::index_sequence_for<T...>{}, values...);
    return key;
}

// The values of the types T... that pack_key packed into key, in order.
template <typename... T, std::size_t... I>
constexpr std::tuple<T...> unpack_key_values(const std::uint64_t* w, std::index_sequence<I...>)
{
    return {key_value<T>(w, KeyLayout<T...>::slots[I])...};
}

template <typename... T>
constexpr std::tuple<T...> unpack_key(const MemoKey<KeyLayout<T...>::words>& key)
{
    return unpack_key_values<T...>(key.word, std::index_sequence_for<T...>{});
}

// Whether N words of two keys are the same: every word compared, without a
// branch per word, since a key found by its hash nearly always matches.
template <std::size_t N>
inline bool same_key_words(const std::uint64_t* a, const std::uint64_t* b)
{
    std::uint64_t diff = 0;
    for (std::size_t i = 0; i < N; ++i) {
        diff |= a[i] ^ b[i];
    }
    return diff == 0;
}

template <std::size_t N>
inline bool same_key(const MemoKey<N>& a, const MemoKey<N>& b)
{
    return same_key_words<N>(a.word, b.word);
}

// Folds N words into the running hash h: each word mixed in by an
// exclusive or and a multiply by 2^64 / phi. A product's top bits depend on
// every bit of what was multiplied, so every bit of every word reaches the
// top bits of the hash, the ones that pick a memo's set.
template <std::size_t N>
inline std::uint64_t fold_key_words(const std::uint64_t* w, std::uint64_t h = 0)
{
    for (std::size_t i = 0; i < N; ++i) {
        h = (h ^ w[i]) * 0x9E3779B97F4A7C15u;
    }
    return h;
}

// The hash of a key.
template <std::size_t N>
inline std::uint64_t key_hash(const MemoKey<N>& key)
{
    return fold_key_words<N>(key.word);
}
