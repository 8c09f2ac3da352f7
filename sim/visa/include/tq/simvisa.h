/* Test control of the simulated VISA library (libvisa32.so).
 *
 * Besides the VISA C API, the simulated library exports these functions so
 * that tests and the demonstration can set up the instruments that are
 * "present", look at what a driver did to them and make them misbehave.
 * Resource names are given as VISA knows them (canonical name or alias,
 * without regard to case). Functions that return a ViStatus answer
 * VI_ERROR_RSRC_NFOUND for a name that names no instrument.
 *
 * Instrument settings are text, one "key=value" per line or separated by
 * ';', with the keys of an inventory section (see below).
 *
 * Inventory file (named by TQ_SIM_VISA, read when the library is first
 * used): '#' starts a comment; each instrument is a section headed by its
 * resource name in brackets, followed by its settings:
 *
 *     [PXI1::14::INSTR]
 *     board = generic          which simulated board (default generic)
 *     manf = 0x3c5a            manufacturer id (VI_ATTR_MANF_ID)
 *     model = 0x718            model code (VI_ATTR_MODEL_CODE)
 *     alias = digitizer1       optional alias (viParseRsrcEx, viOpen)
 *     chassis = 1              optional chassis and slot
 *     slot = 4
 *     bar0 = 0x1000            optional sizes of the register windows
 *     bar2 = 0x8000
 *     reg13.0x7004 = 0x0002    optional initial 32-bit register value
 *
 * Keys the library does not know are handed to the board; a board that does
 * not know them either makes the section fail. */
#ifndef TQ_SIMVISA_H
#define TQ_SIMVISA_H

#include <stdint.h>

#include "tq/visatype.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One register write seen by an instrument, oldest first. */
typedef struct SimVisaWrite {
    uint64_t sequence; /* counts every logged write of the instrument from 1 */
    uint64_t offset;
    uint32_t value;
    uint16_t space;
    uint16_t width; /* 1, 2 or 4 bytes */
} SimVisaWrite;

/* One write to an output register of a board with outputs (model 726),
 * oldest first: the time on the platform clock (microseconds, at the test
 * pace of TQ_TIME_SCALE), the channel (1-based) and the code written. A
 * block write of several channels shows as one entry per channel, in channel
 * order, each with the time of its own write. */
typedef struct SimVisaOutput {
    uint64_t timeUs;
    uint64_t sequence; /* counts every logged output write of the instrument from 1 */
    uint16_t channel;
    uint16_t code;
} SimVisaOutput;

/* Which register accesses a fault applies to. */
#define SIMVISA_READS  1
#define SIMVISA_WRITES 2
#define SIMVISA_ANY    3

/* Closes every session, removes every instrument and clears the faults.
 * The inventory file is not read again. */
void simvisa_reset(void);

/* Reads an inventory file and adds its instruments. VI_ERROR_FILE_ACCESS
 * when it cannot be read, VI_ERROR_INV_SETUP when a line is malformed (the
 * instruments before it stay added; the line goes to the debug output). */
ViStatus simvisa_loadInventory(const char *path);

/* Adds an instrument under a PXI resource name; VI_ERROR_INV_RSRC_NAME for a
 * name that is not a PXI INSTR name, VI_ERROR_RSRC_BUSY when an instrument
 * already sits at that address, VI_ERROR_INV_SETUP for bad settings. */
ViStatus simvisa_addInstrument(const char *rsrcName, const char *settings);

/* Removes an instrument as if it were pulled out: its open sessions stay
 * but every further access to it fails with VI_ERROR_CONN_LOST, and it
 * raises no more interrupts. */
ViStatus simvisa_removeInstrument(const char *rsrcName);

/* Changes one setting of an instrument while it runs, in the form of the
 * inventory's settings (for the model 718, "ch1.volts" and "2.5");
 * VI_ERROR_INV_SETUP for a key or value the board does not take. */
ViStatus simvisa_configure(const char *rsrcName, const char *key, const char *value);

/* Registers behind the driver's back: the stored bytes themselves, without
 * the board's side effects, without faults and without logging. */
ViStatus simvisa_readRegister(const char *rsrcName, ViUInt16 space, ViBusAddress offset, ViUInt16 width,
                              ViUInt32 *value);
ViStatus simvisa_writeRegister(const char *rsrcName, ViUInt16 space, ViBusAddress offset, ViUInt16 width,
                               ViUInt32 value);

/* The log of register writes made through VISA (the last 16384 are kept).
 * Copies up to max entries, oldest first, and the number copied into
 * *count. */
ViStatus simvisa_getWriteLog(const char *rsrcName, SimVisaWrite *entries, ViUInt32 max, ViUInt32 *count);
ViStatus simvisa_clearWriteLog(const char *rsrcName);

/* The log of output-register writes of a board with outputs (the last
 * 131072 are kept): copies up to max entries, oldest first, and the number
 * copied into *count. VI_ERROR_NSUP_OPER for a board without outputs. */
ViStatus simvisa_getOutputLog(const char *rsrcName, SimVisaOutput *entries, ViUInt32 max, ViUInt32 *count);
ViStatus simvisa_clearOutputLog(const char *rsrcName);

/* Faults. The nth register access from now on (counting from 1, reads and
 * writes as selected) fails with status; 0 for nth clears it. */
ViStatus simvisa_failAccess(const char *rsrcName, ViUInt32 nth, ViUInt16 accesses, ViStatus status);
/* Every access to (space, offset) of the selected kinds fails with status;
 * several offsets can be set. */
ViStatus simvisa_failOffset(const char *rsrcName, ViUInt16 space, ViBusAddress offset, ViUInt16 accesses,
                            ViStatus status);
/* viEnableEvent with this mechanism (VI_QUEUE, VI_HNDLR or VI_SUSPEND_HNDLR)
 * on a session of the instrument answers VI_ERROR_NSUP_MECH. */
ViStatus simvisa_refuseMechanism(const char *rsrcName, ViUInt16 mechanism);
/* Removes every fault of the instrument. */
ViStatus simvisa_clearFaults(const char *rsrcName);

/* Raises the instrument's interrupt line once, with the given interrupt
 * data (VI_ATTR_PXI_RECV_INTR_DATA of the event). */
ViStatus simvisa_raiseInterrupt(const char *rsrcName, ViUInt32 data);

/* Pulses one of the instrument's trigger or clock inputs count times. For
 * the model 718 the line is a trigger-field code: PXI trigger lines 0-7, PXI
 * star 8, I/O 1 9, I/O 2 10. A pulse raises the line's event and serves as
 * start, stop or transient trigger and external scan clock where the board
 * is set up so. VI_ERROR_NSUP_OPER for a board without such inputs. */
ViStatus simvisa_pulseLine(const char *rsrcName, ViInt16 line, ViUInt32 count);

/* Hands board keys to a present instrument's board, in order, as the
 * inventory would (the model 747's inputs, its time pattern, its sites'
 * modules' keys). VI_ERROR_INV_SETUP at the first key the board does not
 * take; the keys before it stay applied. */
ViStatus simvisa_configureBoard(const char *rsrcName, const char *settings);

/* Waits until the callback thread has delivered every interrupt raised so
 * far (or timeoutMs passes); VI_ERROR_TMO on time-out. */
ViStatus simvisa_flushEvents(ViUInt32 timeoutMs);

/* DMA memory behind the driver's back: bytes at a bus address returned by
 * viMemAlloc, as a board sees them. VI_ERROR_INV_OFFSET when the range is not
 * inside one allocated block. */
ViStatus simvisa_dmaRead(ViBusAddress address, void *buffer, ViBusSize length);
ViStatus simvisa_dmaWrite(ViBusAddress address, const void *buffer, ViBusSize length);

/* Number of open VISA objects of every kind (resource managers, instrument,
 * memory and find-list sessions, event contexts). */
ViUInt32 simvisa_openSessionCount(void);

/* Interrupts that could not be handed to the callback thread because its
 * queue was full, since the last simvisa_reset. */
ViUInt32 simvisa_lostInterrupts(void);

#ifdef __cplusplus
}
#endif

#endif
