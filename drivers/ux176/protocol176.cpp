#include "protocol176.h"

#include <cctype>
#include <cstring>

#include "tq/platform/numfmt.h"
#include "tq/platform/sync.h"

namespace ux176
{

namespace
{

constexpr uint32_t kDeviceLockMs = 15000;
constexpr const char *kDeviceMutexName = "ux176";

// One handle on the named mutex per process, opened at first use; the
// mutex itself is recursive per thread, so nested exchanges may take it again.
tq::platform::NamedMutex *deviceMutex()
{
    static tq::platform::NamedMutex *m = [] {
        auto *mutex = new tq::platform::NamedMutex();
        if (!mutex->open(kDeviceMutexName)) {
            delete mutex;
            return static_cast<tq::platform::NamedMutex *>(nullptr);
        }
        return mutex;
    }();
    return m;
}

TQUsbStatus readDevice(void *context, uint8_t *buffer, uint32_t count, uint32_t *got)
{
    return SI_Read(static_cast<TQUsbHandle>(context), buffer, count, got, nullptr);
}

} // namespace

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

DeviceLock::DeviceLock()
{
    tq::platform::NamedMutex *m = deviceMutex();
    if (!m) {
        status_ = VI_ERROR_SYSTEM_ERROR;
        return;
    }
    switch (m->lock(kDeviceLockMs)) {
    case tq::platform::WaitResult::Signaled:
    case tq::platform::WaitResult::Abandoned:
        status_ = VI_SUCCESS;
        break;
    case tq::platform::WaitResult::Timeout:
        status_ = VI_ERROR_TMO;
        break;
    default:
        status_ = VI_ERROR_SYSTEM_ERROR;
        break;
    }
}

DeviceLock::~DeviceLock()
{
    if (status_ == VI_SUCCESS)
        deviceMutex()->unlock();
}

ViStatus exchange(TQUsbHandle device, const uint8_t *request, uint32_t requestLength, uint8_t *reply,
                  uint32_t replyLength, uint32_t minimum, uint32_t *received)
{
    *received = 0;
    // Bytes left over from an earlier exchange (a late or over-long reply)
    // belong to no request of ours: they would be taken for this reply.
    uint32_t queued = 0, queueStatus = 0, drained = 0;
    while (drained < kDrainLimit && SI_CheckRXQueue(device, &queued, &queueStatus) == TQ_USBX_OK && queued > 0) {
        uint8_t junk[256];
        uint32_t got = 0;
        const uint32_t take = queued < sizeof junk ? queued : static_cast<uint32_t>(sizeof junk);
        if (SI_Read(device, junk, take, &got, nullptr) != TQ_USBX_OK || got == 0)
            break;
        drained += got;
    }
    uint32_t written = 0;
    const TQUsbStatus st = SI_Write(device, request, requestLength, &written, nullptr);
    if (st != TQ_USBX_OK)
        return mapStatus(st);
    if (written != requestLength)
        return VI_ERROR_IO;
    if (replyLength == 0)
        return VI_SUCCESS;
    return readReply(readDevice, device, static_cast<uint8_t>(request[0] | 0x80), reply, replyLength, minimum,
                     received);
}

ViStatus fixedExchange(TQUsbHandle device, const uint8_t *request, uint32_t requestLength, uint8_t *reply,
                       uint32_t replyLength)
{
    uint32_t received = 0;
    const ViStatus status = exchange(device, request, requestLength, reply, replyLength, replyLength, &received);
    if (status < VI_SUCCESS)
        return status;
    // A reply short of its length would leave stale bytes in its value.
    return received < replyLength ? VI_ERROR_IO : VI_SUCCESS;
}

ViStatus writeRegister(TQUsbHandle device, uint8_t reg, uint16_t value)
{
    const uint8_t request[4] = {0x01, reg, static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)};
    uint8_t reply[kWriteRegisterReply];
    return fixedExchange(device, request, sizeof request, reply, sizeof reply);
}

ViStatus readRegister(TQUsbHandle device, uint8_t reg, uint16_t &value)
{
    const uint8_t request[4] = {0x02, reg, 0, 0};
    uint8_t reply[kReadRegisterReply];
    const ViStatus status = fixedExchange(device, request, sizeof request, reply, sizeof reply);
    if (status >= VI_SUCCESS)
        value = static_cast<uint16_t>(reply[1] | (reply[2] << 8));
    return status;
}

ViStatus modifyRegister(TQUsbHandle device, uint8_t reg, uint16_t mask, uint16_t bits)
{
    uint16_t v = 0;
    const ViStatus status = readRegister(device, reg, v);
    if (status < VI_SUCCESS)
        return status;
    return writeRegister(device, reg, static_cast<uint16_t>((v & ~mask) | (bits & mask)));
}

} // namespace ux176
