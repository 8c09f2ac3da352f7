// The process-wide model behind the simulated VISA library: open objects
// (resource managers, instrument and memory sessions, find lists, event
// contexts), the instruments present, DMA memory and event delivery.
//
// Locks: the library lock guards the objects and the instrument list; a
// board's lock guards its registers; the memory and event locks guard their
// own state. A board may take the memory and event locks while holding its
// own; the library lock is never held while waiting for a handler or while
// calling into a board, and never taken under a board's lock (closing an
// instrument session takes the board's lock under it, once). Register
// access by instrument sessions skips the library lock (register_sessions.h).
#pragma once

#include <cstdarg>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "attributes.h"
#include "events.h"
#include "instrument.h"
#include "memory.h"
#include "register_sessions.h"
#include "rsrcexpr.h"
#include "rsrcname.h"
#include "serial.h"

namespace tq::sim {

struct Object {
    // Serial: a session on a serial port; Service: one on "visa::resman".
    enum class Kind { ResourceManager, Instrument, Memory, FindList, Event, Serial, Service };
    Kind kind = Kind::ResourceManager;
    ViSession value = 0;
    ViSession owner = 0; // resource manager it was opened from; for an event, its session
    std::shared_ptr<Instrument> instrument;
    std::shared_ptr<SerialPort> port;
    std::string name; // expanded resource name
    ViUInt16 interfaceNumber = 0;

    ViUInt32 timeout = 2000;
    ViUInt32 maxQueueLength = 50;
    ViUInt64 userData = 0;
    ViInt32 srcIncrement = 1, destIncrement = 1;
    ViUInt16 srcByteOrder = VI_LITTLE_ENDIAN, destByteOrder = VI_LITTLE_ENDIAN, winByteOrder = VI_LITTLE_ENDIAN;
    ViUInt16 srcAccessPriv = VI_DATA_PRIV, destAccessPriv = VI_DATA_PRIV, winAccessPriv = VI_DATA_PRIV;
    ViBoolean dmaAllowed = VI_TRUE;

    // Serial sessions. A read ends at the termination character when it is
    // enabled, or when VI_ATTR_ASRL_END_IN asks for it; that attribute
    // starts at "none" here, so that the enable switch decides.
    ViUInt8 termChar = '\n';
    ViBoolean termCharEnabled = VI_FALSE;
    ViUInt16 endIn = VI_ASRL_END_NONE;
    ViUInt16 endOut = VI_ASRL_END_NONE;
    ViUInt32 baud = 9600;
    ViUInt16 dataBits = 8;
    ViUInt16 parity = VI_ASRL_PAR_NONE;
    ViUInt16 stopBits = VI_ASRL_STOP_ONE;
    ViUInt16 flowControl = VI_ASRL_FLOW_NONE;

    // Memory sessions: the one mapped window.
    bool mapped = false;
    ViUInt16 windowSpace = 0;
    ViBusAddress windowBase = 0;
    ViBusSize windowSize = 0;

    // Find lists.
    std::vector<std::string> found;
    size_t next = 0;

    // Event contexts.
    ViEventType eventType = 0;
    InterruptEvent event;
};

ViStatus getObjectAttribute(const Object &o, ViAttr attr, void *value);
ViStatus setObjectAttribute(Object &o, ViAttr attr, ViAttrState value);
// For the attribute clauses of viFindRsrc: the attributes of an instrument
// as a session on it would answer them.
bool instrumentAttribute(const Instrument &inst, ViAttr attr, AttributeValue &value);
// The same for any object.
bool objectAttribute(const Object &o, ViAttr attr, AttributeValue &value);

const char *statusDescription(ViStatus status);

class Library {
public:
    static Library &instance();

    ViStatus openDefaultRM(ViSession *vi);
    ViStatus open(ViSession rm, const char *name, ViAccessMode mode, ViUInt32 timeout, ViSession *vi);
    ViStatus close(ViObject vi);
    ViStatus findRsrc(ViSession rm, const char *expr, ViFindList *list, ViUInt32 *count, char *desc);
    ViStatus findNext(ViFindList list, char *desc);
    ViStatus parseRsrc(ViSession rm, const char *name, ViUInt16 *type, ViUInt16 *number, char *cls, char *expanded,
                       char *alias);
    ViStatus getAttribute(ViObject vi, ViAttr attr, void *value);
    ViStatus setAttribute(ViObject vi, ViAttr attr, ViAttrState value);
    bool knows(ViObject vi);

    ViStatus in(ViSession vi, ViUInt16 space, ViBusAddress offset, unsigned width, ViUInt32 &value);
    ViStatus out(ViSession vi, ViUInt16 space, ViBusAddress offset, unsigned width, ViUInt32 value);
    ViStatus moveIn(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count, unsigned width, void *buf);
    ViStatus moveOut(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count, unsigned width,
                     const void *buf);

    ViStatus memAlloc(ViSession vi, ViBusSize size, ViBusAddress *offset);
    ViStatus memFree(ViSession vi, ViBusAddress offset);
    ViStatus mapAddress(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize size, ViBoolean access,
                        ViAddr suggested, ViAddr *address);
    ViStatus unmapAddress(ViSession vi);

    ViStatus enableEvent(ViSession vi, ViEventType type, ViUInt16 mechanism, ViEventFilter context);
    ViStatus disableEvent(ViSession vi, ViEventType type, ViUInt16 mechanism);
    ViStatus discardEvents(ViSession vi, ViEventType type, ViUInt16 mechanism);
    ViStatus waitOnEvent(ViSession vi, ViEventType type, ViUInt32 timeout, ViEventType *outType, ViEvent *outContext);
    ViStatus installHandler(ViSession vi, ViEventType type, ViHndlr handler, ViAddr user);
    ViStatus uninstallHandler(ViSession vi, ViEventType type, ViHndlr handler, ViAddr user);

    // Message-based I/O on serial ports (and the write of "visa::resman").
    ViStatus write(ViSession vi, const ViByte *buf, ViUInt32 count, ViUInt32 *retCount);
    ViStatus read(ViSession vi, ViByte *buf, ViUInt32 count, ViUInt32 *retCount);
    ViStatus clear(ViSession vi);
    // viPrintf, viScanf and viQueryf: writes with writeFormat (when not
    // null), then reads one message with readFormat (when not null), both
    // taking their arguments from *args in turn.
    ViStatus formatted(ViSession vi, const char *writeFormat, const char *readFormat, va_list *args);

    // Test control.
    void reset();
    ViStatus loadInventory(const std::string &path);
    ViStatus addInstrument(const std::string &name, const std::string &settings);
    ViStatus removeInstrument(const std::string &name);
    std::shared_ptr<Instrument> instrument(const std::string &name);
    std::shared_ptr<SerialPort> serialPort(const std::string &name);
    // "visa::resman": what was written to it, one line per write, and the
    // statuses that make its viOpen and viWrite fail (0: they succeed).
    bool resmanLog(std::string &log); // false while it is not present
    ViStatus clearResmanLog();
    ViStatus failResman(ViStatus openStatus, ViStatus writeStatus);
    ViStatus flushEvents(ViUInt32 timeoutMs) { return events_.flush(timeoutMs); }
    ViUInt32 lostInterrupts() const { return events_.lostInterrupts(); }
    DmaMemory &memory() { return memory_; }
    ViUInt32 openObjectCount();

private:
    Library();
    ~Library();

    void loadInventoryOnce();
    ViSession addObject(std::unique_ptr<Object> o);
    ViSession nextValue();
    Object *find(ViObject vi);
    // VI_ATTR_SRC_INCREMENT and VI_ATTR_DEST_INCREMENT of a session.
    struct Increments {
        ViInt32 source = 1;
        ViInt32 destination = 1;
    };
    std::shared_ptr<Instrument> instrumentSession(ViSession vi, ViStatus &status, Increments *increments = nullptr);
    // The instrument whose events a session's event calls reach: VI_SUCCESS
    // with inst set for an instrument session, VI_SUCCESS with inst null for
    // a session that supports no event, else the failure.
    ViStatus eventSession(ViSession vi, std::shared_ptr<Instrument> &inst, ViUInt32 *queueLength = nullptr);
    std::shared_ptr<Instrument> lookupInstrument(const std::string &name);
    std::shared_ptr<SerialPort> lookupPort(const std::string &name);
    bool isResman(const std::string &name) const;
    // What a resource name names; with none of inst, port and resman set,
    // a memory access resource or (from parse) nothing present.
    struct Resolved {
        ResourceName parsed;
        std::shared_ptr<Instrument> inst;
        std::shared_ptr<SerialPort> port;
        bool resman = false;
    };
    ViStatus resolve(const std::string &name, Resolved &r);
    ViStatus addSerialPort(const ResourceName &r, const std::string &settings);
    ViStatus configureResman(const std::string &settings, bool present);
    // The port and read settings of a serial session.
    struct SerialSession {
        std::shared_ptr<SerialPort> port;
        ViUInt32 timeout = 0;
        bool useTermChar = false;
        ViByte termChar = '\n';
    };
    ViStatus serialSession(ViSession vi, SerialSession &s);
    ViStatus readMessage(const SerialSession &s, std::string &message);
    void closeLocked(std::unique_lock<std::mutex> &lock, ViObject vi);
    ViEvent handlerContext(ViSession session, const InterruptEvent &event);

    std::mutex m_;
    std::unordered_map<ViSession, std::unique_ptr<Object>> objects_;
    std::vector<std::shared_ptr<Instrument>> instruments_;
    std::vector<std::shared_ptr<SerialPort>> ports_;
    struct Resman {
        bool present = false;
        ViStatus openStatus = VI_SUCCESS;
        ViStatus writeStatus = VI_SUCCESS;
        std::string log;
    } resman_;
    ViSession nextValue_ = 0x100;
    bool inventoryLoaded_ = false;
    ViEvent handlerContext_ = 0;
    DmaMemory memory_;
    RegisterSessions registerSessions_;
    EventHub events_; // last: stopped first, while everything it calls still exists
};

} // namespace tq::sim
