// Reset, power-up state and self-test of the model 726.
//
// What confirms a reset: on a board with the reset-confirm capability, the
// reset bit (0x84 bit 0) is the reset line; the board holds it at 1 until it
// is ready again after the line was released. Reading it back 0 some
// milliseconds after the release confirms the reset. The self-test pulses
// the reset the same way and passes when the reset is confirmed and the
// board answers its signature (0x0726) in the VISA local space.
#include <cstring>

#include "driver726.h"
#include "tq/platform/thread.h"

namespace tq726
{

namespace
{

constexpr uint32_t kResetWaitMs = 3;
constexpr int kBusyPolls = 10000;

void append(ViChar *message, const char *text)
{
    if (!message)
        return;
    const size_t used = strnlen(message, tq::driver::kNameLength - 1);
    tq::driver::copyName(message + used, tq::driver::kNameLength - used, text);
}

} // namespace

ViStatus resetBoard(Session726 &s)
{
    tq::driver::RunGuard guard(s);
    if (s.simulated()) {
        setDefaults(s);
        return VI_SUCCESS;
    }
    stopOutput(s);
    bool failed = false;
    bool confirmed = true;
    auto track = [&](ViStatus status) {
        if (status < VI_SUCCESS)
            failed = true;
        return status;
    };
    ViUInt16 line = 0;
    track(in16(s, reg::kReset, line));
    track(out16(s, reg::kReset, static_cast<ViUInt16>(line | reg::kResetBit)));
    if (s.resetConfirm) {
        const auto released = static_cast<ViUInt16>(line & ~reg::kResetBit);
        track(out16(s, reg::kReset, released));
        tq::platform::sleepMs(kResetWaitMs);
        track(out16(s, reg::kReset, released));
        ViUInt16 back = 0;
        if (track(in16(s, reg::kReset, back)) >= VI_SUCCESS)
            confirmed = (back & reg::kResetBit) == 0;
    }
    ViUInt16 control = 0;
    ViStatus written = track(in16(s, reg::kFlagsLow, control));
    if (written >= VI_SUCCESS)
        written = track(out16(s, reg::kFlagsLow, static_cast<ViUInt16>(control & ~reg::kControlBit3)));
    setDefaults(s);
    applyAll(s);
    if (!confirmed)
        return TQ726_ERROR_RESET_NOT_CONFIRMED;
    if (failed)
        return TQ726_WARN_RESET_ACCESS;
    return written;
}

ViStatus selfTest(Session726 &s, ViInt16 *result, ViChar *message)
{
    if (!s.resetConfirm || !s.hasInstrument())
        return VI_WARN_NSUP_SELF_TEST;
    ViUInt16 line = 0, back = 0, signature = 0;
    bool ok = in16(s, reg::kReset, line) >= VI_SUCCESS;
    const auto released = static_cast<ViUInt16>(line & ~reg::kResetBit);
    ok = ok && out16(s, reg::kReset, static_cast<ViUInt16>(line | reg::kResetBit)) >= VI_SUCCESS;
    ok = ok && out16(s, reg::kReset, released) >= VI_SUCCESS;
    if (ok)
        tq::platform::sleepMs(kResetWaitMs);
    ok = ok && out16(s, reg::kReset, released) >= VI_SUCCESS;
    ok = ok && in16(s, reg::kReset, back) >= VI_SUCCESS;
    ok = ok && in16(s, 0, signature, reg::kLocal) >= VI_SUCCESS;
    if (!ok)
        append(message, " Error communicating with device.");
    else if ((back & reg::kResetBit) == 0 && signature == reg::kSignature) {
        if (result)
            *result = 0;
        if (message)
            tq::driver::copyName(message, tq::driver::kNameLength, "Self-Test passed.");
    } else
        append(message, " Error source unknown.");
    return VI_SUCCESS;
}

} // namespace tq726

using namespace tq726;

TQ_API ViStatus tq726_reset(ViSession vi)
{
    Session726 *s = find(vi);
    if (!s)
        return TQ726_WARN_RESET_ACCESS;
    return tq::platform::guardStatus([&] { return resetBoard(*s); });
}

TQ_API ViStatus tq726_resetEx(ViSession vi, ViInt16 type)
{
    Session726 *s = find(vi);
    if (!s)
        return TQ726_WARN_RESET_ACCESS;
    return tq::platform::guardStatus([&]() -> ViStatus {
        switch (type) {
        case 0:
            return TQ726_WARN_RESET_ACCESS;
        case 1:
            return resetBoard(*s);
        case 2: {
            // The saved power-up state is cleared first (bit 5 and the rest
            // written 0); the board keeps it while simulation keeps the
            // configuration off the board.
            bool warned = false;
            if (!s->simulated()) {
                ViUInt16 control = 0;
                if (in16(*s, reg::kFlagsLow, control) >= VI_SUCCESS &&
                    out16(*s, reg::kFlagsLow, static_cast<ViUInt16>(control & reg::kPowerUpBusy)) < VI_SUCCESS)
                    warned = true;
            }
            const ViStatus status = resetBoard(*s);
            return warned ? TQ726_WARN_RESET_ACCESS : status;
        }
        default:
            return VI_ERROR_INV_PARAMETER;
        }
    });
}

TQ_API ViStatus tq726_autoRst(ViSession vi, ViInt16 save)
{
    return withSession(vi, [&](Session726 &s) -> ViStatus {
        if (!s.hasInstrument())
            return VI_ERROR_INV_SETUP;
        ViUInt32 control = 0;
        ViStatus status = visa().viIn32(s.value, reg::kBar2, reg::kFlagsLow, &control);
        if (status < VI_SUCCESS)
            return status;
        control = save ? (control | reg::kPowerUpSave) : (control & ~reg::kPowerUpSave);
        status = visa().viOut32(s.value, reg::kBar2, reg::kFlagsLow, control | reg::kPowerUpBusy);
        if (status < VI_SUCCESS)
            return status;
        for (int i = 0; i < kBusyPolls; ++i) {
            status = visa().viIn32(s.value, reg::kBar2, reg::kFlagsLow, &control);
            if (status < VI_SUCCESS)
                return status;
            if (!(control & reg::kPowerUpBusy))
                return status;
        }
        return VI_ERROR_TMO;
    });
}
