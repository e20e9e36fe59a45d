#include "fwShare/machine.h"

void Machine::servo_init(std::uint8_t mode, std::int16_t gain_x, std::int16_t gain_y)
{
    dbg_trace(DBG_VemtracDbg, "^^ servo_init(%d,%d,%d,%d,%d)\n\r", mode, gain_x, 1000, gain_y,
              1000);

    SVO_SetVectPtr(nullptr);

    enc_x = svo_encoder_x();
    enc_y = svo_encoder_y();
    enc_last_x = enc_x;
    enc_last_y = enc_y;

    svo_gains.XGain = gain_x;
    svo_gains.XRateFactor = 1000;
    svo_gains.YGain = gain_y;
    svo_gains.YRateFactor = 1000;
    svo_gain_base_x = gain_x;
    svo_gain_base_y = gain_y;

    svo_off = 0;

    if (mode == 0) {
        svo_prev_term_x = 0;
        svo_prev_term_y = 0;
        svo_err_x = 0;
        svo_err_y = 0;
    }

    svo_set_state(ISRHOLD);
    hold_gain_count = 250;

    if (mode == 0) {
        svo_set_idle();
    }

    creep_min = 1;
}

void Machine::servo_set_gains(std::int16_t XGain, std::int16_t YGain, std::int16_t XRateFactor,
                     std::int16_t YRateFactor, std::int16_t XIGain, std::int16_t YIGain,
                     std::int16_t K3X, std::int16_t K3Y, std::int32_t XILimit,
                     std::int32_t YILimit)
{
    svo_wait_idle();

    isr_lock.enter();
    svo_gains.XGain = XGain;
    svo_gains.YGain = YGain;
    svo_gains.XRateFactor = XRateFactor;
    svo_gains.YRateFactor = YRateFactor;
    svo_gains.XIGain = XIGain;
    svo_gains.YIGain = YIGain;
    svo_gains.K3X = static_cast<std::uint16_t>(K3X);
    svo_gains.K3Y = static_cast<std::uint16_t>(K3Y);
    svo_gains.XILimit = XILimit;
    svo_gains.YILimit = YILimit;
    svo_gains.ff_gain_x = 0;
    svo_gains.ff_gain_y = 0;
    svo_integ_x = 0;
    svo_integ_y = 0;
    svo_prev_term_x = 0;
    svo_prev_term_y = 0;
    isr_lock.leave();
}
