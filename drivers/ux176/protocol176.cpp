#include "protocol176.h"

#include <atomic>
#include <cctype>
#include <mutex>
#include <vector>
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

DeviceLock::DeviceLock()
{
    tq::platform::NamedMutex *m = deviceMutex();
    if (!m) {
        status_ = VI_ERROR_SYSTEM_ERROR;
        return;
    }
    // Free most of the time: a try first spares the timed wait its clock reads.
    tq::platform::WaitResult r = m->lock(0);
    if (r == tq::platform::WaitResult::Timeout)
        r = m->lock(kDeviceLockMs);
    switch (r) {
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

namespace
{

// Devices whose last exchange broke off (time-out, short or failed reply):
// the rest of that reply may still arrive, and would be taken for the next
// one. Kept apart so that whole exchanges, the usual case, pay one atomic
// load for the check.
class SuspectDevices
{
  public:
    void add(TQUsbHandle device)
    {
        std::lock_guard<std::mutex> g(m_);
        for (TQUsbHandle h : devices_)
            if (h == device)
                return;
        devices_.push_back(device);
        count_.store(devices_.size(), std::memory_order_release);
    }
    bool take(TQUsbHandle device)
    {
        if (count_.load(std::memory_order_acquire) == 0)
            return false;
        std::lock_guard<std::mutex> g(m_);
        for (size_t i = 0; i < devices_.size(); ++i)
            if (devices_[i] == device) {
                devices_.erase(devices_.begin() + static_cast<long>(i));
                count_.store(devices_.size(), std::memory_order_release);
                return true;
            }
        return false;
    }

  private:
    std::mutex m_;
    std::vector<TQUsbHandle> devices_;
    std::atomic<size_t> count_{0};
};

SuspectDevices &suspects()
{
    static SuspectDevices s;
    return s;
}

} // namespace

void drain(TQUsbHandle device)
{
    uint32_t queued = 0, queueStatus = 0, drained = 0;
    while (drained < kDrainLimit && SI_CheckRXQueue(device, &queued, &queueStatus) == TQ_USBX_OK && queued > 0) {
        uint8_t junk[256];
        uint32_t got = 0;
        const uint32_t take = queued < sizeof junk ? queued : static_cast<uint32_t>(sizeof junk);
        if (SI_Read(device, junk, take, &got, nullptr) != TQ_USBX_OK || got == 0)
            break;
        drained += got;
    }
}

void markSuspect(TQUsbHandle device)
{
    suspects().add(device);
}

ViStatus exchange(TQUsbHandle device, const uint8_t *request, uint32_t requestLength, uint8_t *reply,
                  uint32_t replyLength, uint32_t minimum, uint32_t *received)
{
    *received = 0;
    // Bytes left over from an earlier exchange that broke off (a late or
    // cut reply) belong to no request of ours.
    if (suspects().take(device))
        drain(device);
    uint32_t written = 0;
    const TQUsbStatus st = SI_Write(device, request, requestLength, &written, nullptr);
    if (st != TQ_USBX_OK) {
        suspects().add(device);
        return mapStatus(st);
    }
    if (written != requestLength) {
        suspects().add(device);
        return VI_ERROR_IO;
    }
    if (replyLength == 0)
        return VI_SUCCESS;
    const ViStatus status = readReply(readDevice, device, static_cast<uint8_t>(request[0] | 0x80), reply,
                                      replyLength, minimum, received);
    if (status < VI_SUCCESS)
        suspects().add(device);
    return status;
}

ViStatus fixedExchange(TQUsbHandle device, const uint8_t *request, uint32_t requestLength, uint8_t *reply,
                       uint32_t replyLength)
{
    uint32_t received = 0;
    const ViStatus status = exchange(device, request, requestLength, reply, replyLength, replyLength, &received);
    if (status < VI_SUCCESS)
        return status;
    // A reply short of its length would leave stale bytes in its value.
    if (received < replyLength) {
        markSuspect(device);
        return VI_ERROR_IO;
    }
    return VI_SUCCESS;
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
