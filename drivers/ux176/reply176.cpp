// The parts of the wire protocol that need no device: names, the mapping of
// the USB library's statuses, and the reply reader over any read function
// (the fuzz target drives it without the library).
#include <cctype>
#include <cstring>

#include "protocol176.h"
#include "tq/platform/numfmt.h"

namespace ux176
{

bool splitResourceName(const char *name, ResourceName &p)
{
    if (!name)
        return false;
    const size_t n = strnlen(name, sizeof p.lower - 1);
    for (size_t i = 0; i < n; ++i)
        p.lower[i] = static_cast<char>(tolower(static_cast<unsigned char>(name[i])));
    p.lower[n] = '\0';
    // One character more than a serial may have, to tell a long one.
    char serial[TQ_USBX_STRING_SIZE + 1] = {};
    if (tq::platform::cscan(p.lower, "usb%*d::%hi::%hi::%64[^:]", &p.vendor, &p.model, serial) != 3 &&
        tq::platform::cscan(p.lower, "usb::%hi::%hi::%64[^:]", &p.vendor, &p.model, serial) != 3)
        return false;
    if (strlen(serial) >= sizeof p.serial)
        return false;
    memcpy(p.serial, serial, sizeof p.serial);
    return true;
}

ViStatus mapStatus(TQUsbStatus status)
{
    switch (status) {
    case TQ_USBX_OK:
        return VI_SUCCESS;
    case TQ_USBX_BAD_HANDLE:
        return VI_ERROR_INV_OBJECT;
    case TQ_USBX_READ_FAILED:
    case TQ_USBX_WRITE_FAILED:
    case TQ_USBX_RESET_FAILED:
    case TQ_USBX_IO_FAILED:
    case TQ_USBX_PENDING:
        return VI_ERROR_IO;
    case TQ_USBX_QUEUE_FAULT:
        return static_cast<ViStatus>(0xBFFF003B);
    case TQ_USBX_BAD_PARAMETER:
        return VI_ERROR_INV_PARAMETER;
    case TQ_USBX_BAD_LENGTH:
        return static_cast<ViStatus>(0xBFFF0083);
    case TQ_USBX_BAD_RATE:
        return VI_ERROR_INV_SETUP;
    case TQ_USBX_NOT_SUPPORTED:
        return VI_ERROR_NSUP_OPER;
    case TQ_USBX_READ_TIMEOUT:
    case TQ_USBX_WRITE_TIMEOUT:
        return VI_ERROR_TMO;
    case TQ_USBX_NO_DEVICE:
        return VI_ERROR_RSRC_NFOUND;
    default:
        return VI_ERROR_SYSTEM_ERROR;
    }
}

ViStatus readReply(ReadFn read, void *context, uint8_t expected, uint8_t *reply, uint32_t length, uint32_t minimum,
                   uint32_t *received)
{
    *received = 0;
    if (length == 0)
        return VI_SUCCESS;
    if (minimum > length)
        minimum = length;
    for (int round = 0; round < kResyncRounds; ++round) {
        uint32_t n = 0;
        const TQUsbStatus st = read(context, reply, length, &n);
        if (st != TQ_USBX_OK)
            return mapStatus(st);
        if (n > length)
            n = length;
        if (n == 0)
            return VI_SUCCESS;
        uint32_t at = 0;
        while (at < n && reply[at] != expected)
            ++at;
        if (at == n)
            continue; // not a byte of the reply: read it again
        uint32_t have = n - at;
        if (at > 0)
            memmove(reply, reply + at, have);
        // The rest of a reply that arrived in parts; a part that does not
        // come in time leaves the reply short.
        for (int part = 0; have < minimum && part < kResyncRounds; ++part) {
            uint32_t more = 0;
            const TQUsbStatus rest = read(context, reply + have, minimum - have, &more);
            if (rest != TQ_USBX_OK && rest != TQ_USBX_READ_TIMEOUT)
                return mapStatus(rest);
            if (rest == TQ_USBX_READ_TIMEOUT || more == 0)
                break;
            have += more > minimum - have ? minimum - have : more;
        }
        *received = have;
        return have < minimum ? VI_ERROR_IO : VI_SUCCESS;
    }
    return VI_ERROR_IO;
}

} // namespace ux176
