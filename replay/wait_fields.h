// What a wait's ticks read and write: every field of the interrupt's
// motion state, of its settings and of a vector record that the memo of
// waits keys, each listed once with a mark of whether the ticks may change
// it. The key of a wait's start, what a remembered wait keeps of its end
// and the restore of that end all come from these tables: a field the
// interrupt comes to read is added here, and nowhere else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "fwShare/machine.h"
#include "replay/memo_key.h"

namespace wait_fields {

// Whether a wait's ticks may change a field (a remembered wait puts it back
// as the wait left it) or only read it (the key holds it, so a remembered
// wait finds it as it was).
enum class FieldUse : std::uint8_t { read, written };

// A field of a vector record.
template <auto member, FieldUse field_use>
struct RecordField {
    using type = std::remove_cvref_t<decltype(std::declval<VdbData&>().*member)>;
    static constexpr FieldUse use = field_use;
    static type get(const Machine&, const VdbData* r) { return r->*member; }
    static void set(Machine&, VdbData* r, type value) { r->*member = value; }
};

// A field of the servo interrupt's state.
template <auto member, FieldUse field_use>
struct ServoField {
    using type = std::remove_cvref_t<decltype(std::declval<ServoIsrState&>().*member)>;
    static constexpr FieldUse use = field_use;
    static type get(const Machine& m, const VdbData*) { return m.*member; }
    static void set(Machine& m, VdbData*, type value) { m.*member = value; }
};

// A value the ticks read, as the function value gives it on the machine for
// the record executing at the start.
template <auto value>
struct ReadValue {
    using type = decltype(value(std::declval<const Machine&>(), nullptr));
    static constexpr FieldUse use = FieldUse::read;
    static type get(const Machine& m, const VdbData* r) { return value(m, r); }
};

// A table of fields, each listed once: their key, packed in the table's
// order, and the restore of the written ones from a key taken after a
// wait. The state a wait reads and the state it leaves are both keys.
template <typename... Field>
struct FieldTable {
    using Layout = KeyLayout<typename Field::type...>;
    static constexpr std::size_t words = Layout::words;
    using Key = MemoKey<words>;

    // The fields of machine m now, for the record r (of the motion state:
    // the executing one).
    [[gnu::always_inline]] static Key key(const Machine& m, const VdbData* r)
    {
        Key k{};
        pack_key_values<Layout>(k.word, std::index_sequence_for<Field...>{}, Field::get(m, r)...);
        return k;
    }

    // Puts the written fields back as k holds them.
    [[gnu::always_inline]] static void restore(Machine& m, VdbData* r, const Key& k)
    {
        restore_fields(m, r, k, std::index_sequence_for<Field...>{});
    }

private:
    template <std::size_t... I>
    static void restore_fields(Machine& m, VdbData* r, const Key& k, std::index_sequence<I...>)
    {
        (restore_field<Field>(m, r, k, Layout::slots[I]), ...);
    }

    template <typename F>
    static void restore_field(Machine& m, VdbData* r, const Key& k, KeySlot slot)
    {
        if constexpr (F::use == FieldUse::written) {
            F::set(m, r, key_value<typename F::type>(k.word, slot));
        }
    }
};

using enum FieldUse;

// The values a wait's ticks read that the state holds only in part: each
// is a function of the record executing at the wait's start.

// Whether corners are taken without stopping (corner_chain_enable != 0).
inline bool corners_chain(const Machine& m, const VdbData*)
{
    return m.corner_chain_enable != 0;
}

// The slew ticks' crowded-queue check.
inline bool queue_crowded(const Machine& m, const VdbData*)
{
    return m.svo_queue_crowded();
}

// Whether the long-vector warning was given for the executing record.
inline bool warning_given(const Machine& m, const VdbData* rec)
{
    return m.svo_long_vector_warning_given(rec);
}

// Whether the ticks count per phase; a wait that changes the job clock's
// state is not remembered.
inline std::int32_t clock_state(const Machine& m, const VdbData*)
{
    return m.job_timing_state;
}

// The gains a vector's first hold tick loads.
inline std::int16_t loaded_gain_x(const Machine& m, const VdbData*)
{
    return m.svo_gains.XGain;
}
inline std::int16_t loaded_gain_y(const Machine& m, const VdbData*)
{
    return m.svo_gains.YGain;
}

// Every field of the interrupt's motion state and every setting a wait's
// ticks read or change, once (the order packs them into 3 words). The
// interrupt's other fields belong to the position loop, which the default
// run leaves out; the position, the following errors and the last step are
// kept as what the wait added to them.
using MotionFields = FieldTable<
    ServoField<&ServoIsrState::delay_count, written>,
    ReadValue<clock_state>,
    ServoField<&ServoIsrState::svo_state, written>,
    ServoField<&ServoIsrState::hold_gain_count, written>,
    ServoField<&ServoIsrState::svo_gain_base_x, written>,
    ServoField<&ServoIsrState::svo_gain_base_y, written>,
    ServoField<&ServoIsrState::creep_min, read>,
    ReadValue<loaded_gain_x>,
    ReadValue<loaded_gain_y>,
    ServoField<&ServoIsrState::phase, written>,
    ReadValue<corners_chain>,
    ReadValue<queue_crowded>,
    ReadValue<warning_given>>;

// Every field of a vector record that a wait's ticks read or change, once
// (the order packs them into 8 words). A wait reads the records it runs
// through and, when it takes the corner into it, the record after them.
using RecordFields = FieldTable<
    RecordField<&VdbData::majrdisth, written>,
    RecordField<&VdbData::majrfract, written>,
    RecordField<&VdbData::minrdisth, written>,
    RecordField<&VdbData::minrfract, written>,
    RecordField<&VdbData::minrdvel, written>,
    RecordField<&VdbData::minrvel, written>,
    RecordField<&VdbData::majrdvel, written>,
    RecordField<&VdbData::majrvel, written>,
    RecordField<&VdbData::ddr, written>,
    RecordField<&VdbData::high_ddr, written>,
    RecordField<&VdbData::acc_index, written>,
    RecordField<&VdbData::creep, read>,
    RecordField<&VdbData::psuedodist, read>,
    RecordField<&VdbData::acclcount, written>,
    RecordField<&VdbData::currvel, written>,
    RecordField<&VdbData::slope, read>,
    RecordField<&VdbData::cnrvel, read>,
    RecordField<&VdbData::end_delay, read>,
    RecordField<&VdbData::cmd, written>,
    RecordField<&VdbData::octant, read>>;

} // namespace wait_fields
