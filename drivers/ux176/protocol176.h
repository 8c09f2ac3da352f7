// The wire protocol of the model 176: the USB library's statuses as VISA
// statuses, the cross-process device mutex, the resynchronising reply
// reader and the request/reply exchanges.
#pragma once

#include <cstdint>

#include "tq/usbxpress.h"
#include "tq/visatype.h"

namespace ux176
{

// Reply lengths (bytes) of the fixed replies.
constexpr uint32_t kWriteRegisterReply = 1, kReadRegisterReply = 3, kFirmwareReply = 2, kIdentifyReply = 2,
                   kAverageReply = 14, kStartStopReply = 1, kDataHeader = 4;
// A reply the reader cannot find its first byte in after this many reads of
// its length is given up (0xBFFF003E) instead of being looked for for ever.
constexpr int kResyncRounds = 8;
// The most bytes a stale receive queue is drained of before a request.
constexpr uint32_t kDrainLimit = 4096;

// A resource name of a device: "usb<n>::<vendor>::<model>::<serial>" or
// "usb::<vendor>::<model>::<serial>", lower-cased first. The serial is
// bounded by the USB library's strings.
struct ResourceName {
    char lower[256] = {};
    short vendor = 0, model = 0;
    char serial[TQ_USBX_STRING_SIZE] = {};
};
// True when the name has one of the two forms with a serial that fits.
bool splitResourceName(const char *name, ResourceName &parsed);

// A USB library status as the driver reports it.
ViStatus mapStatus(TQUsbStatus status);

// One read of the reply reader: up to count bytes into buffer, the number
// read into *got; a USB library status.
using ReadFn = TQUsbStatus (*)(void *context, uint8_t *buffer, uint32_t count, uint32_t *got);

// Reads a reply that begins with expected, of length bytes at most, into
// reply (length bytes). A first read that does not begin with expected is
// searched for it: the bytes from it on are kept and the rest read behind
// them; a read without it is dropped and the reply read again, at most
// kResyncRounds times. The reply is complete once minimum bytes are there
// (length for the fixed replies, the header for read data); more arrive
// only as far as the reads bring them. *received: the reply's bytes.
// Results: 0; a read that fails before any byte of the reply: its mapped
// status; a reply that stops short of minimum, or no reply found:
// 0xBFFF003E. A first read that brings no byte at all is 0 with 0 bytes.
ViStatus readReply(ReadFn read, void *context, uint8_t expected, uint8_t *reply, uint32_t length, uint32_t minimum,
                   uint32_t *received);

// The named mutex "ux176", held for the life of the object. Taking it
// waits at most 15000 ms; an owner that died holding it leaves it taken by
// this caller. status(): 0, 0xBFFF0015 on time-out, 0xBFFF0000 otherwise.
class DeviceLock
{
  public:
    DeviceLock();
    ~DeviceLock();
    DeviceLock(const DeviceLock &) = delete;
    DeviceLock &operator=(const DeviceLock &) = delete;
    ViStatus status() const { return status_; }
    bool held() const { return status_ == VI_SUCCESS; }

  private:
    ViStatus status_;
};

// One request and its reply on an open device (the caller holds the device
// lock where the driver's rules want it). Stale bytes still queued from an
// earlier reply are dropped first; a request counts as sent only when every
// byte was written (otherwise 0xBFFF003E). replyLength 0: no reply read.
ViStatus exchange(TQUsbHandle device, const uint8_t *request, uint32_t requestLength, uint8_t *reply,
                  uint32_t replyLength, uint32_t minimum, uint32_t *received);
// A fixed reply: the whole of it or 0xBFFF003E.
ViStatus fixedExchange(TQUsbHandle device, const uint8_t *request, uint32_t requestLength, uint8_t *reply,
                       uint32_t replyLength);

ViStatus writeRegister(TQUsbHandle device, uint8_t reg, uint16_t value);
ViStatus readRegister(TQUsbHandle device, uint8_t reg, uint16_t &value);
// Read-modify-write of the bits of mask.
ViStatus modifyRegister(TQUsbHandle device, uint8_t reg, uint16_t mask, uint16_t bits);

} // namespace ux176
