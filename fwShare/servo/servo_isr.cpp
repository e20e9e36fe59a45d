#include "fwShare/machine.h"

void Machine::svo_isr_hold()
{
    VdbData* rec = SVO_VectPtr;
    std::uint32_t kind = vdb_kind(rec);
    if (kind == NULL_CMD) {
        SVO_SetVectPtr(nullptr);
        return;
    }
    if (kind == VECTOR) {
        svo_gain_base_x = svo_gains.XGain;
        svo_gain_base_y = svo_gains.YGain;
        hold_gain_count = 250;
        svo_set_state(ISRACC);
        svo_isr_acc();
    } else {
        // Pen records, and any kind this system never queues: one tick each.
        rec->cmd = NULL_CMD;
        SVO_SetVectPtr(rec->next);
        svo_set_state(ISRHOLD);
    }
    svo_hold_tick();
    phase = HOLD;
}

void Machine::svo_isr_delay()
{
    if (delay_count != 0) {
        delay_count = wrap_sub(delay_count, 1);
        phase = DELAY;
    } else {
        svo_set_state(ISRHOLD);
    }
}

void Machine::svo_isr_idle()
{
    if (SVO_VectPtr != nullptr) {
        VdbData* rec = SVO_VectPtr;
        rec->cmd = NULL_CMD;
        SVO_SetVectPtr(rec->next);
        if (SVO_VectPtr->cmd == NULL_CMD) {
            SVO_SetVectPtr(nullptr);
        }
    }
    svo_pos_x = wrap_sub(svo_pos_x, svo_err_x);
    svo_pos_y = wrap_sub(svo_pos_y, svo_err_y);
    svo_err_x = 0;
    svo_err_y = 0;
    svo_integ_x = 0;
    svo_integ_y = 0;
    svo_out_x = 0x8001;
    svo_out_y = 0x0001;
}

std::int32_t Machine::svo_encoder_x() const
{
    return wrap_add(enc_base_x, svo_loop::encoder_counts(svo_pos_x, enc_scale_x));
}

std::int32_t Machine::svo_encoder_y() const
{
    return wrap_sub(enc_base_y, svo_loop::encoder_counts(svo_pos_y, enc_scale_y));
}

// The X output word of a loop value.
std::uint16_t svo_encode_out_x(std::int32_t value)
{
    return svo_loop::encode_out_x(value);
}

// The Y output word of a loop value.
std::uint16_t svo_encode_out_y(std::int32_t value)
{
    return svo_loop::encode_out_y(value);
}

void Machine::svo_dispatch_state()
{
    switch (svo_state) {
    case ISRIDLE:
        svo_isr_idle();
        break;
    case ISRHOLD:
        svo_isr_hold();
        break;
    case ISRACC:
        svo_isr_acc();
        break;
    case ISRSLEW:
        svo_isr_slew();
        break;
    case ISRCREEP:
        svo_isr_creep();
        break;
    case ISRDELAY:
        svo_isr_delay();
        break;
    default:
        break;
    }
}

void Machine::svo_feedback_loop()
{
    using namespace svo_loop;
    LoopMemory m = load_loop_memory();
    const LoopSettings c = load_loop_settings();
    feedback_loop(c.scales_x, c.scales_y, c, m, loop_inputs(), svo_err_x, svo_err_y);
    store_loop_memory(m);
}

void Machine::svo_isr()
{
    svo_feedback_loop();
    svo_dispatch_state();
}
