/* The USB library the model 176 driver and its plug-in talk through: the ten
 * calls they use, with the types and status numbers this suite relies on.
 * Written for this suite; the library itself lies outside it (sim/usbxpress
 * builds a simulated one with simulated devices).
 *
 * Every call returns a library status: 0 success, otherwise one of the
 * numbers below. Device handles are pointer-sized and opaque. Time-outs are
 * global to the library. SI_GetProductString with option 0 writes the
 * device's serial number as text, at most TQ_USBX_STRING_SIZE bytes with the
 * terminator. */
#ifndef TQ_USBXPRESS_H
#define TQ_USBXPRESS_H

#include <stdint.h>

#include "tq/export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t TQUsbStatus;
typedef void *TQUsbHandle;

enum {
    TQ_USBX_OK = 0,
    TQ_USBX_BAD_HANDLE = 1,
    TQ_USBX_READ_FAILED = 2,
    TQ_USBX_QUEUE_FAULT = 3,
    TQ_USBX_WRITE_FAILED = 4,
    TQ_USBX_RESET_FAILED = 5,
    TQ_USBX_BAD_PARAMETER = 6,
    TQ_USBX_BAD_LENGTH = 7,
    TQ_USBX_IO_FAILED = 8,
    TQ_USBX_BAD_RATE = 9,
    TQ_USBX_NOT_SUPPORTED = 10,
    TQ_USBX_READ_TIMEOUT = 13,
    TQ_USBX_WRITE_TIMEOUT = 14,
    TQ_USBX_PENDING = 15,
    TQ_USBX_NO_DEVICE = 255
};

#define TQ_USBX_STRING_SIZE 64
#define TQ_USBX_SERIAL_NUMBER 0 /* product string option: the serial number */

/* Receive queue status bits of SI_CheckRXQueue. */
#define TQ_USBX_RX_EMPTY 0
#define TQ_USBX_RX_READY 2

TQ_EXPORT TQUsbStatus SI_GetNumDevices(uint32_t *count);
TQ_EXPORT TQUsbStatus SI_GetProductString(uint32_t device, void *buffer, uint32_t option);
TQ_EXPORT TQUsbStatus SI_Open(uint32_t device, TQUsbHandle *handle);
TQ_EXPORT TQUsbStatus SI_Close(TQUsbHandle handle);
/* No overlapped I/O: overlapped must be null. A read waits up to the read
 * time-out for the first byte, then returns what has arrived, at most count
 * bytes; with nothing arrived it answers TQ_USBX_READ_TIMEOUT and 0 bytes. */
TQ_EXPORT TQUsbStatus SI_Read(TQUsbHandle handle, void *buffer, uint32_t count, uint32_t *bytesRead, void *overlapped);
TQ_EXPORT TQUsbStatus SI_Write(TQUsbHandle handle, const void *buffer, uint32_t count, uint32_t *bytesWritten,
                               void *overlapped);
TQ_EXPORT TQUsbStatus SI_FlushBuffers(TQUsbHandle handle, uint8_t flushTransmit, uint8_t flushReceive);
TQ_EXPORT TQUsbStatus SI_SetTimeouts(uint32_t readMs, uint32_t writeMs);
TQ_EXPORT TQUsbStatus SI_GetTimeouts(uint32_t *readMs, uint32_t *writeMs);
TQ_EXPORT TQUsbStatus SI_CheckRXQueue(TQUsbHandle handle, uint32_t *bytesQueued, uint32_t *queueStatus);

#ifdef __cplusplus
}
#endif

#endif
