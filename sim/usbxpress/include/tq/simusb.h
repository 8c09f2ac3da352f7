/* Test control of the simulated USB library (libSiUSBXp.so).
 *
 * Besides the library's calls (tq/usbxpress.h), the simulated library
 * exports these functions so that tests and the demonstration can plug
 * devices in and out, look at what a driver did to them and make them
 * misbehave. Devices are named by their serial number.
 *
 * Devices come from the inventory file named by TQ_SIM_VISA (read at the
 * library's first use): every section whose name starts with "USB" (without
 * regard to case) is a model 176 device whose serial number is the name's
 * last "::" field; the simulated VISA library leaves those sections alone.
 *
 *     [USB0::0x3C5A::176::1234]
 *     firmware = 3             firmware version byte (default 3)
 *     modelbyte = 176          model byte of the identification reply (default 176)
 *     level1 = 1000            input 1's conversion (signed 16-bit; default 1000 x input)
 *
 * The device answers the wire protocol of the model 176: register writes and
 * reads, firmware query, identification, averaged scans, start, stop and
 * read data. While started it fills a FIFO of 4096 scans at the period of
 * registers 16 and 17, on the platform clock (TQ_TIME_SCALE applies), with
 * counting samples: in scan n (from 0 at start) analog input k reads
 * (n + 0x1000 k) mod 65536 and the digital word n mod 65536, so that a lost
 * or shifted scan shows. A read-data reply carries at most 60 bytes of whole
 * scans, and no more scans than the firmware packs for the number of analog
 * inputs in the scan (1: 30, 2: 15, 3: 10, any other number 7). When the FIFO is full, newer scans are dropped and the next reply's
 * status byte has bit 1 set. */
#ifndef TQ_SIMUSB_H
#define TQ_SIMUSB_H

#include <stdint.h>

#include "tq/export.h"
#include "tq/usbxpress.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One logged write to an output register (32, 33, 96, 97), oldest first. */
typedef struct SimUsbOutput {
    uint64_t timeUs; /* platform clock, at the test pace */
    uint16_t reg;
    uint16_t value;
} SimUsbOutput;

/* Fault kinds of simusb_injectFault. amount means: */
enum {
    SIMUSB_GARBAGE = 1,    /* bytes of 0x00 sent before the reply */
    SIMUSB_SPLIT = 2,      /* the reply arrives in two parts, the second 1 ms later; split after amount bytes (0: the middle) */
    SIMUSB_SHORT = 3,      /* the last amount bytes of the reply are never sent */
    SIMUSB_LATE = 4,       /* the reply arrives amount ms late */
    SIMUSB_BUSY_OPEN = 5,  /* SI_Open of the device fails (TQ_USBX_IO_FAILED) */
    SIMUSB_FAIL_WRITE = 6, /* SI_Write fails with status amount */
    SIMUSB_FAIL_READ = 7   /* SI_Read fails with status amount */
};

/* Removes every device and fault and closes every handle; the inventory is
 * not read again. Time-outs go back to their defaults. */
TQ_EXPORT void simusb_reset(void);
/* Adds the devices of an inventory file: 0, or -1 when it cannot be read or
 * a section is malformed. */
TQ_EXPORT int simusb_loadInventory(const char *path);
/* Plugs a device in at the end of the device list; settings as an inventory
 * section's, separated by ';' or new lines. 0, or -1 for a serial already
 * present, empty or of 64 characters or more, or bad settings. */
TQ_EXPORT int simusb_addDevice(const char *serial, const char *settings);
/* Pulls a device out: it leaves the list, and every further call on its open
 * handles fails with TQ_USBX_IO_FAILED. 0, or -1 when absent. */
TQ_EXPORT int simusb_unplug(const char *serial);
/* The next count exchanges (replies, opens, writes or reads as the kind
 * says) of the device fail with the fault; command restricts reply faults
 * to replies of that command byte (0: any). 0, or -1 when absent. */
TQ_EXPORT int simusb_injectFault(const char *serial, int kind, uint32_t amount, uint32_t count, uint8_t command);
TQ_EXPORT int simusb_clearFaults(const char *serial);
/* A device register behind the driver's back. 0, or -1. */
TQ_EXPORT int simusb_getRegister(const char *serial, uint8_t reg, uint16_t *value);
TQ_EXPORT int simusb_setRegister(const char *serial, uint8_t reg, uint16_t value);
/* Copies up to max logged output writes (the last 65536 are kept). */
TQ_EXPORT int simusb_getOutputLog(const char *serial, SimUsbOutput *entries, uint32_t max, uint32_t *count);
TQ_EXPORT int simusb_clearOutputLog(const char *serial);
/* Scans dropped because the FIFO was full, since the last start, up to now
 * (a running device's FIFO is first brought up to the present). */
TQ_EXPORT int simusb_droppedScans(const char *serial, uint64_t *count);
/* 1 while started (command 0x08 until 0x09 or a reset), 0, or -1. */
TQ_EXPORT int simusb_isRunning(const char *serial);
/* Number of open handles (of every device, present or pulled out). */
TQ_EXPORT uint32_t simusb_openHandleCount(void);
/* Requests the device has answered since it was plugged in. */
TQ_EXPORT int simusb_requestCount(const char *serial, uint64_t *count);

#ifdef __cplusplus
}
#endif

#endif
