// Events of the model 718: their texts and the event status of one event.
#include <cstring>

#include "driver718.h"
#include "events718.h"
#include "tq/platform/numfmt.h"

namespace tq718
{

namespace
{

// The limit-violation text never outgrows a 256-byte buffer: past 240
// characters the list ends with "...".
constexpr size_t kLimitTextStop = 240;

} // namespace

ViStatus eventText(Session718 &s, int e, char *out, size_t size)
{
    if (!out || size == 0)
        return VI_SUCCESS;
    out[0] = '\0';
    switch (e) {
    case 1: {
        // Reading the violations also clears them on the board.
        ViUInt32 channels = 0;
        ViStatus status = in32(s, reg::kLimitViolations, channels);
        if (status < VI_SUCCESS)
            return status;
        status = out32(s, reg::kLimitViolations, 0xFF);
        tq::driver::copyName(out, size, "Limit Violation Channels:");
        const char *separator = " ";
        for (int c = 1; c <= s.analogCount; ++c) {
            if (!(channels & (1u << (c - 1))))
                continue;
            const size_t used = strlen(out);
            tq::platform::cformat(out + used, size - used, "%s%hd", separator, static_cast<short>(c));
            separator = ",";
            if (strlen(out) > kLimitTextStop) {
                const size_t end = strlen(out);
                tq::platform::cformat(out + end, size - end, "...");
                break;
            }
        }
        return status;
    }
    case 2:
        tq::driver::copyName(out, size, "Excitation Alarm");
        break;
    case 3:
        tq::driver::copyName(out, size, "I/O 1 Trigger");
        break;
    case 4:
        tq::driver::copyName(out, size, "I/O 2 Trigger");
        break;
    case 13:
        tq::driver::copyName(out, size, "PXI Star Trigger");
        break;
    case 15:
        tq::driver::copyName(out, size, "Transient Complete");
        break;
    default:
        if (e >= 5 && e <= 12)
            tq::platform::cformat(out, size, "PXI %d Trigger", e - 5);
        break;
    }
    return VI_SUCCESS;
}

ViStatus eventStatus(Session718 &s, ViUInt16 event, ViUInt16 *status, ViUInt16 clear, ViChar *message)
{
    if (!validEvent(event))
        return VI_ERROR_INV_PARAMETER;
    ViUInt32 pending = 0;
    ViStatus result = in32(s, reg::kEventStatus, pending);
    if (result < VI_SUCCESS)
        return result;
    const ViUInt32 bit = 1u << (event - 1);
    if (!(pending & bit)) {
        if (status)
            *status = 0;
        return result;
    }
    if (status)
        *status = 1;
    if (clear == 1)
        result = out32(s, reg::kEventStatus, bit); // write one to clear
    if (message && result >= VI_SUCCESS)
        result = eventText(s, event, message, tq::driver::kNameLength);
    return result;
}

} // namespace tq718
