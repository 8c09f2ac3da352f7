// The USB physical-interface plug-in of the resource manager: finds model
// 176 devices, which VISA does not list, and reports each to the manager.
// It keeps no state between calls and talks to the devices directly, with
// the identification exchange only (no device mutex: the driver's
// exchanges are not held up by a refresh).
#include <cstring>

#include "protocol176.h"
#include "tq/platform/guard.h"
#include "tq/platform/numfmt.h"
#include "tqdaq.h"

namespace
{

constexpr uint32_t kProbeTimeoutMs = 5000;
constexpr uint16_t kVendor = 15450;
constexpr uint16_t kModelCode = 0x176;
constexpr uint8_t kIdentify = 0x04;

enum class Answer { Identified, OtherReply, ShortWrite, Failed, ReadFailed };

// The identification exchange on an open device; the model byte into *model.
Answer identify(TQUsbHandle device, uint8_t *model)
{
    const uint8_t request[4] = {kIdentify, 0, 0, 0};
    uint32_t written = 0;
    if (SI_Write(device, request, sizeof request, &written, nullptr) != TQ_USBX_OK)
        return Answer::Failed;
    if (written != sizeof request)
        return Answer::ShortWrite;
    uint8_t reply[ux176::kIdentifyReply] = {};
    uint32_t received = 0;
    if (SI_Read(device, reply, sizeof reply, &received, nullptr) != TQ_USBX_OK || received == 0)
        return Answer::ReadFailed;
    if (reply[0] != (kIdentify | 0x80))
        return Answer::OtherReply;
    if (received < sizeof reply) {
        // The model byte came apart from the reply's first byte.
        uint32_t more = 0;
        if (SI_Read(device, reply + 1, 1, &more, nullptr) != TQ_USBX_OK || more == 0)
            return Answer::ReadFailed;
    }
    *model = reply[1];
    return Answer::Identified;
}

// Looks for the device of a resource name: 0 when it answers the
// identification (the model code into *model when given), 0xBFFF0011 when
// no device of that serial answers, 0xBFFF0000 when the library fails,
// 0xBFFF003E when the exchange breaks off.
ViStatus probe(ViConstString rsrcName, ViUInt16 *model)
{
    ux176::ResourceName name;
    if (!ux176::splitResourceName(rsrcName, name))
        return VI_ERROR_RSRC_NFOUND;
    SI_SetTimeouts(kProbeTimeoutMs, kProbeTimeoutMs);
    uint32_t count = 0;
    if (SI_GetNumDevices(&count) != TQ_USBX_OK)
        return VI_ERROR_SYSTEM_ERROR;
    ViStatus result = VI_ERROR_RSRC_NFOUND;
    for (uint32_t i = 0; i < count && result == VI_ERROR_RSRC_NFOUND; ++i) {
        char serial[TQ_USBX_STRING_SIZE] = {};
        if (SI_GetProductString(i, serial, TQ_USBX_SERIAL_NUMBER) != TQ_USBX_OK)
            return VI_ERROR_SYSTEM_ERROR;
        serial[sizeof serial - 1] = '\0';
        if (strcmp(serial, name.serial) != 0)
            continue;
        TQUsbHandle device = nullptr;
        if (SI_Open(i, &device) != TQ_USBX_OK)
            return VI_ERROR_SYSTEM_ERROR;
        uint8_t modelByte = 0;
        switch (identify(device, &modelByte)) {
        case Answer::Identified:
            result = VI_SUCCESS;
            if (model)
                *model = kModelCode;
            break;
        case Answer::OtherReply:
            break;
        case Answer::Failed:
            result = VI_ERROR_SYSTEM_ERROR;
            break;
        case Answer::ShortWrite:
        case Answer::ReadFailed:
            result = VI_ERROR_IO;
            break;
        }
        SI_Close(device);
    }
    return result;
}

} // namespace

// Reports every attached device that answers the identification request as
// "usb0::0x3c5a::<model byte>::<serial>". A device that cannot be named,
// opened or asked is passed over, so that one bad device does not hide the
// others. Always 0.
TQ_API ViStatus tqdaq_refreshPresources(ViSession managerSession)
{
    return tq::platform::guardStatus([&]() -> ViStatus {
        uint32_t count = 0;
        if (SI_GetNumDevices(&count) != TQ_USBX_OK)
            return VI_SUCCESS;
        for (uint32_t i = 0; i < count; ++i) {
            char serial[TQ_USBX_STRING_SIZE] = {};
            if (SI_GetProductString(i, serial, TQ_USBX_SERIAL_NUMBER) != TQ_USBX_OK)
                continue;
            serial[sizeof serial - 1] = '\0';
            TQUsbHandle device = nullptr;
            if (SI_Open(i, &device) != TQ_USBX_OK)
                continue;
            SI_FlushBuffers(device, 0, 0);
            uint8_t modelByte = 0;
            const bool named = identify(device, &modelByte) == Answer::Identified;
            SI_Close(device);
            if (!named)
                continue;
            char name[256];
            tq::platform::cformat(name, sizeof name, "usb0::0x3c5a::%hd::%s", static_cast<short>(modelByte), serial);
            tqdaq_createPresource(managerSession, name);
        }
        return VI_SUCCESS;
    });
}

// The vendor and model code of a device's resource name, when the device
// answers; the name's own vendor and model play no part.
TQ_API ViStatus tqdaq_vendorModel(ViSession, ViConstString rsrcName, ViUInt16 *vendor, ViUInt16 *model)
{
    return tq::platform::guardStatus([&]() -> ViStatus {
        ViUInt16 code = 0;
        const ViStatus status = probe(rsrcName, &code);
        if (status >= VI_SUCCESS) {
            if (vendor)
                *vendor = kVendor;
            if (model)
                *model = code;
        }
        return status;
    });
}

// 0 when the device of the name is present and answers.
TQ_API ViStatus tqdaq_isPresource(ViSession, ViConstString rsrcName)
{
    return tq::platform::guardStatus([&] { return probe(rsrcName, nullptr); });
}
