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
 * not know them either makes the section fail.
 *
 * Serial ports are sections named "ASRL<n>::INSTR", with an optional alias
 * and the device on the line:
 *
 *     [ASRL1::INSTR]
 *     alias = COM1
 *     board = crate            none (default: nothing answers), echo
 *                              (every line comes back) or crate
 *     controllers = 0 1        crate keys, see below
 *     la0.slot3 = 0x41
 *
 * A session on a port has VI_ATTR_TERMCHAR ('\n' at first),
 * VI_ATTR_TERMCHAR_EN (off), VI_ATTR_TMO_VALUE (2000 ms) and the VI_ATTR_ASRL_*
 * line settings. viRead ends at the termination character when
 * VI_ATTR_TERMCHAR_EN is on (or VI_ATTR_ASRL_END_IN is VI_ASRL_END_TERMCHAR;
 * it starts at VI_ASRL_END_NONE here), else after the bytes asked for, else
 * with VI_ERROR_TMO once the time-out has passed on the platform clock
 * (TQ_TIME_SCALE speeds it up). viWrite, viClear and formatted I/O (viPrintf,
 * viScanf, viQueryf and their va_list forms) work on them; a formatted read
 * takes one message (up to the termination character) and, as the C
 * library does, leaves the arguments of conversions it does not reach as
 * they were when the message does not match the format.
 *
 * The crate (board = crate): controllers at logical addresses 0-255 with
 * units in slots 1-16, speaking "$Z", "$Vnn", "$Rnnmmrr" and "$Wnnmmrrvv"
 * lines (two hexadecimal digits per field, "\r\n" at the end) and answering
 * "$V<version>\r\n", "$D<value>\r\n" and "$OK\r\n" (values as printf's
 * "%x" prints them). What names no controller or no unit, and "$Z", gets no
 * answer (the read times out). Keys, addresses and slots in decimal:
 *
 *     controllers = 0 1            the addresses that answer (replaces the set)
 *     la<n> = 0x22 | none          adds the controller with that version, or removes it
 *     la<n>.version = 0x22         the value its "$V" answer carries (default 0x22)
 *     la<n>.replyV = <text>        a raw answer to "$V" instead ("" for none)
 *     la<n>.slot<m> = <type> | untyped | none
 *                                  a unit whose register 60 holds its type; a
 *                                  unit without one (register 60 reads 0,
 *                                  register 01 0x60, register 08 what was last
 *                                  written, at first 0); or an empty slot
 *     la<n>.slot<m>.reg<rr> = <v>  a register's value (rr in hexadecimal)
 *     la<n>.slot<m>.writable = 0   writes are answered "$OK" but not kept
 *     la<n>.slot<m>.replyR<rr> = <text>   a raw answer to a read of register rr
 *     la<n>.slot<m>.replyW<rr> = <text>   ... or to a write of it ("" for none)
 *
 * Raw answers take the escapes \r, \n, \t, \\ and \xHH (\x23 for '#',
 * \x3b for ';') and are sent as they stand. Unit keys come after the unit's
 * own key.
 *
 * The resource "visa::resman" (a VISA library's rescan request: opened, then
 * "resman" written to it) is present only when the inventory has a section
 * for it; its keys make its viOpen or viWrite fail with a status:
 *
 *     [visa::resman]
 *     failopen = 0xBFFF0011        optional
 *     failwrite = 0xBFFF003E       optional
 *
 * simvisa_addInstrument, simvisa_removeInstrument and simvisa_configureBoard
 * take serial port names (and "visa::resman") as well. */
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

/* The lines a serial port received from its sessions, in order, each with
 * its line feed (the latest 64 KiB), as one NUL-terminated text: copies what
 * fits into text (size bytes, NUL included) and the full length, without
 * the NUL, into *length; VI_SUCCESS_MAX_CNT when it did not all fit. */
ViStatus simvisa_getSerialLog(const char *rsrcName, ViChar *text, ViUInt32 size, ViUInt32 *length);
ViStatus simvisa_clearSerialLog(const char *rsrcName);

/* What was written to "visa::resman", each write followed by a line feed
 * ("resman\n" per rescan request), in the same form as the serial log;
 * VI_ERROR_RSRC_NFOUND while the resource is not present. */
ViStatus simvisa_getResmanLog(ViChar *text, ViUInt32 size, ViUInt32 *length);
ViStatus simvisa_clearResmanLog(void);
/* Makes viOpen of "visa::resman" fail with openStatus and viWrite to it
 * with writeStatus; VI_SUCCESS (0) for either lets it succeed again. */
ViStatus simvisa_failResman(ViStatus openStatus, ViStatus writeStatus);

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
