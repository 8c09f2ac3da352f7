#include "tq/driver/driver.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "internal.h"
#include "tq/driver/stream.h"
#include "tq/driver/transport.h"
#include "tq/driver/visa_binding.h"
#include "tq/platform/numfmt.h"

namespace tq::driver
{

namespace
{

// Lines from every thread of this driver go to a sink one at a time: a
// message queue does not lock itself, and the driver's interrupt callback
// and its callers' threads print into the same sinks.
platform::Mutex &printMutex()
{
    static platform::Mutex m;
    return m;
}

void printTo(TQStreamMsg *sink, const char *format, va_list args)
{
    if (!sink)
        return;
    char line[kLineLength];
    platform::vcformat(line, sizeof line, format, args);
    platform::MutexGuard guard(printMutex());
    sink->streamMsgPrintf(sink, "%s", line);
}

// Keeps the new sink (one reference) in place of the old one (released
// through its own release, which clears the field).
void replaceSink(TQStreamMsg *&field, TQStreamMsg *sink)
{
    if (sink)
        sink->streamMsgAddRef(sink);
    if (field) {
        TQStreamMsg *old = field;
        old->streamMsgRelease(&field);
    }
    field = sink;
}

} // namespace

Session::~Session() = default;

ViStatus Model::selfTest(Session &, ViInt16 *, ViChar *)
{
    return VI_WARN_NSUP_SELF_TEST;
}

ViStatus Model::revisionQuery(Session &, const ModelInfo &info, ViChar *driverRev, ViChar *)
{
    if (driverRev)
        copyName(driverRev, kNameLength, info.driverRevision);
    return VI_WARN_NSUP_REV_QUERY;
}

void copyName(char *out, size_t size, const char *text)
{
    if (!out || size == 0)
        return;
    size_t n = text ? strnlen(text, size - 1) : 0;
    if (n)
        memcpy(out, text, n);
    out[n] = '\0';
}

void statusLine(Session &s, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    printTo(s.streamMessages, format, args);
    va_end(args);
}

void traceLine(Session &s, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    printTo(s.spy, format, args);
    va_end(args);
}

void traceCall(Session &s, const char *function, ViStatus status, const char *format, ...)
{
    if (!s.spy)
        return;
    char arguments[kLineLength] = "";
    if (format && *format) {
        arguments[0] = ',';
        va_list args;
        va_start(args, format);
        platform::vcformat(arguments + 1, sizeof arguments - 1, format, args);
        va_end(args);
    }
    const char *prefix = s.driver ? s.driver->info().prefix : "";
    traceLine(s, "%s_%s(%#x(%s)%s) retVal=%#x\n", prefix, function, static_cast<unsigned>(s.value), s.instrumentName,
              arguments, static_cast<uint32_t>(status));
}

Driver::Driver(const ModelInfo &info, Model &model) : info_(info), model_(model), handles_(info.handleKind) {}

Driver::~Driver()
{
    // Sessions still open at unload go with the process; nothing is closed here.
}

Session *Driver::find(ViSession vi) const
{
    return findIf([vi](const Session &s) { return s.value == vi; });
}

void Driver::push(Session *s)
{
    std::unique_lock lock(listLock_);
    s->previous = nullptr;
    s->next = head_;
    if (head_)
        head_->previous = s;
    head_ = s;
}

void Driver::unlink(Session *s)
{
    std::unique_lock lock(listLock_);
    if (s->previous)
        s->previous->next = s->next;
    else if (head_ == s)
        head_ = s->next;
    if (s->next)
        s->next->previous = s->previous;
    s->next = s->previous = nullptr;
}

bool Driver::prepare(Session *s)
{
    s->driver = this;
    if (!bindStream(*s)) {
        delete s;
        return false;
    }
    if (!model_.streamReady(*s)) {
        model_.freeDataPath(*s);
        unbindStream(*s);
        delete s;
        return false;
    }
    s->waitState = createWaitState();
    if (!s->waitState) {
        unbindStream(*s);
        delete s;
        return false;
    }
    return true;
}

void Driver::discard(Session *s)
{
    if (!s)
        return;
    model_.freeDataPath(*s);
    // A capture still open is completed while the channel records it may
    // describe are whole.
    closeCapture(*s);
    model_.freeChannels(*s);
    replaceSink(s->streamMessages, nullptr);
    replaceSink(s->spy, nullptr);
    unbindStream(*s);
    // Threads still inside wait leave with 0xBFFF0030 on their own time; the
    // wait state outlives the record as long as one of them is inside.
    closeWaitState(s->waitState);
    s->waitState = nullptr;
    if (s->mode == kModeNoInstrument || info_.transport)
        handles_.remove(s->value);
    delete s;
}

const char *Driver::ownText(ViStatus status) const
{
    for (size_t i = 0; i < info_.statusTextCount; ++i)
        if (info_.statusTexts[i].status == status)
            return info_.statusTexts[i].text;
    return nullptr;
}

void Driver::statusText(Session &s, ViStatus status, char *text, size_t size)
{
    if (const char *own = ownText(status)) {
        copyName(text, size, own);
        return;
    }
    if (info_.transport) {
        char desc[kNameLength] = {};
        info_.transport->describe(status, desc);
        copyName(text, size, desc);
        return;
    }
    char desc[kNameLength] = {};
    if (visa::visa().viStatusDesc(s.value, status, desc) < VI_SUCCESS)
        desc[0] = '\0';
    copyName(text, size, desc);
}

void Driver::findExpression(char *out, size_t size) const
{
    platform::cformat(out, size, "PXI?*INSTR {VI_ATTR_MODEL_CODE == 0x%x && VI_ATTR_MANF_ID == 0x%x}",
                      static_cast<unsigned>(info_.modelCode), static_cast<unsigned>(info_.manufacturerId));
}

// ---------------------------------------------------------------------------

ViStatus Driver::init(ViConstRsrc rsrcName, ViBoolean idQuery, ViBoolean reset, ViSession *vi) noexcept
{
    if (!vi)
        return VI_ERROR_INV_PARAMETER;
    *vi = VI_NULL;
    return guarded([&]() -> ViStatus {
        if (!info_.transport)
            visa::loadVisa();

        if (!rsrcName || !*rsrcName) {
            // A session without an instrument: no VISA call at all.
            Session *s = model_.createSession(VI_NULL);
            if (!s || !prepare(s))
                return VI_ERROR_ALLOC;
            s->value = handles_.add(s);
            if (!s->value) {
                discard(s);
                return VI_ERROR_ALLOC;
            }
            s->mode = kModeNoInstrument;
            s->simulation = 1;
            push(s);
            model_.setDefaultSettings(*s);
            *vi = s->value;
            return VI_SUCCESS;
        }

        if (info_.transport)
            return openThroughTransport(rsrcName, idQuery, reset, vi);

        const visa::FunctionTable &v = visa::visa();
        ViSession rm = VI_NULL;
        ViStatus status = v.viOpenDefaultRM(&rm);
        if (status < VI_SUCCESS)
            return status;
        ViSession instr = VI_NULL;
        status = v.viOpen(rm, rsrcName, VI_NULL, VI_NULL, &instr);
        const ViStatus openStatus = status;
        Session *s = nullptr;
        // Every failure from here on leaves no session and closes the VISA
        // sessions (closing the resource manager closes the instrument).
        auto fail = [&](ViStatus failure) {
            if (s) {
                unlink(s);
                discard(s);
            }
            *vi = VI_NULL;
            v.viClose(rm);
            return failure;
        };
        if (status < VI_SUCCESS)
            return fail(status);

        if (idQuery) {
            ViUInt16 manf = 0, model = 0;
            if (v.viGetAttribute(instr, VI_ATTR_MANF_ID, &manf) >= VI_SUCCESS &&
                v.viGetAttribute(instr, VI_ATTR_MODEL_CODE, &model) >= VI_SUCCESS &&
                (manf != info_.manufacturerId || model != info_.modelCode))
                return fail(VI_ERROR_FAIL_ID_QUERY);
        }

        s = model_.createSession(instr);
        // The stream and the waiter state are made before the session is
        // listed, so that running out of memory here cannot leave a
        // half-built session in the list.
        if (!s || !prepare(s)) {
            s = nullptr;
            return fail(VI_ERROR_ALLOC);
        }
        s->value = instr;
        s->mode = kModeHardware;
        s->simulation = 0;
        push(s);

        // Interrupts the card raised before this session existed are dropped.
        if (v.viEnableEvent(instr, VI_EVENT_PXI_INTR, VI_QUEUE, VI_NULL) >= VI_SUCCESS) {
            v.viDisableEvent(instr, VI_EVENT_PXI_INTR, VI_QUEUE);
            v.viDiscardEvents(instr, VI_EVENT_PXI_INTR, VI_ALL_MECH);
        }

        status = openStatus;
        if (reset == 1)
            status = model_.reset(*s);
        else {
            // The applying's own status is not the open's: a board that
            // refuses a default still opens.
            model_.setDefaultSettings(*s);
            model_.applySettings(*s);
        }
        if (status < VI_SUCCESS)
            return fail(status);

        ViUInt16 type = 0, number = 0;
        char expanded[kNameLength] = {}, alias[kNameLength] = {};
        ViStatus parsed = v.viParseRsrcEx(rm, rsrcName, &type, &number, VI_NULL, expanded, alias);
        if (parsed < VI_SUCCESS)
            return fail(parsed);
        copyName(s->instrumentName, kNameLength, expanded);
        copyName(s->resourceName, kNameLength, alias[0] ? alias : expanded);
        const ViStatus bound = model_.opened(*s);
        if (bound < VI_SUCCESS)
            return fail(bound);
        *vi = instr;
        return status;
    });
}

ViStatus Driver::openThroughTransport(ViConstRsrc rsrcName, ViBoolean idQuery, ViBoolean reset, ViSession *vi)
{
    Transport &t = *info_.transport;
    void *device = nullptr;
    char name[kNameLength] = {};
    ViStatus status = t.open(rsrcName, &device, name);
    if (status < VI_SUCCESS)
        return status;
    Session *s = model_.createSession(VI_NULL);
    if (!s || !prepare(s)) {
        t.close(device);
        return VI_ERROR_ALLOC;
    }
    s->device = device;
    s->value = handles_.add(s);
    if (!s->value) {
        discard(s);
        t.close(device);
        return VI_ERROR_ALLOC;
    }
    s->mode = kModeHardware;
    s->simulation = 0;
    copyName(s->instrumentName, kNameLength, name);
    copyName(s->resourceName, kNameLength, rsrcName);
    push(s);
    auto fail = [&](ViStatus failure) {
        unlink(s);
        discard(s);
        t.close(device);
        return failure;
    };
    t.attached(*s, idQuery);
    // Any non-zero reset flag resets a device reached through a transport.
    if (reset != 0) {
        status = model_.reset(*s);
        if (status < VI_SUCCESS)
            return fail(status);
    } else {
        model_.setDefaultSettings(*s);
        model_.applySettings(*s);
        status = VI_SUCCESS;
    }
    const ViStatus bound = model_.opened(*s);
    if (bound < VI_SUCCESS)
        return fail(bound);
    *vi = s->value;
    return status;
}

ViStatus Driver::close(ViSession vi) noexcept
{
    return guarded([&]() -> ViStatus {
        Session *s = find(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        unlink(s);
        if (info_.transport) {
            void *device = s->device;
            discard(s);
            return device ? info_.transport->close(device) : VI_SUCCESS;
        }
        const bool hasVisa = s->resourceName[0] != '\0';
        const ViSession value = s->value;
        discard(s);
        if (!hasVisa)
            return VI_SUCCESS;
        const visa::FunctionTable &v = visa::visa();
        ViSession rm = VI_NULL;
        if (v.viGetAttribute(value, VI_ATTR_RM_SESSION, &rm) >= VI_SUCCESS)
            return v.viClose(rm);
        return v.viClose(value);
    });
}

ViStatus Driver::reset(ViSession vi) noexcept
{
    return guarded([&]() -> ViStatus {
        Session *s = find(vi);
        return s ? model_.reset(*s) : VI_ERROR_INV_OBJECT;
    });
}

ViStatus Driver::selfTest(ViSession vi, ViInt16 *result, ViChar *message) noexcept
{
    if (result)
        *result = 1;
    if (message)
        copyName(message, kNameLength, "ERROR: Self-Test failed!");
    return guarded([&]() -> ViStatus {
        Session *s = find(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        ViStatus status = model_.selfTest(*s, result, message);
        if (s->streamMessages) {
            char text[kNameLength];
            statusText(*s, status, text, sizeof text);
            statusLine(*s, "[%s]self_test:%s(%s)", s->instrumentName, text, message ? message : "");
        }
        return status;
    });
}

ViStatus Driver::errorQuery(ViSession, ViInt32 *, ViChar *) noexcept
{
    return VI_WARN_NSUP_ERROR_QUERY;
}

ViStatus Driver::errorMessage(ViSession vi, ViStatus status, ViChar *message) noexcept
{
    return guarded([&]() -> ViStatus {
        if (info_.transport) {
            // Texts of a transport driver need no session.
            if (!message)
                return VI_ERROR_INV_PARAMETER;
            if (const char *own = ownText(status)) {
                copyName(message, kNameLength, own);
                return VI_SUCCESS;
            }
            return info_.transport->describe(status, message);
        }
        Session *s = info_.errorMessageUsesFirstSession ? first() : find(vi);
        if (!s)
            return info_.errorMessageUsesFirstSession ? VI_ERROR_SYSTEM_ERROR : VI_ERROR_INV_OBJECT;
        if (!message)
            return VI_ERROR_INV_PARAMETER;
        if (const char *own = ownText(status)) {
            copyName(message, kNameLength, own);
            return VI_SUCCESS;
        }
        return visa::visa().viStatusDesc(s->value, status, message);
    });
}

ViStatus Driver::revisionQuery(ViSession vi, ViChar *driverRev, ViChar *instrRev) noexcept
{
    return guarded([&]() -> ViStatus {
        Session *s = find(vi);
        return s ? model_.revisionQuery(*s, info_, driverRev, instrRev) : VI_ERROR_INV_OBJECT;
    });
}

ViStatus Driver::autoConnectToAll(ViSession *vi, ViInt16 max, ViInt16 *count) noexcept
{
    return guarded([&]() -> ViStatus {
        if (max > 0 && !vi)
            return VI_ERROR_INV_PARAMETER;
        visa::loadVisa();
        const visa::FunctionTable &v = visa::visa();
        ViSession rm = VI_NULL;
        ViStatus status = v.viOpenDefaultRM(&rm);
        if (status < VI_SUCCESS) {
            if (max > 0 && count)
                *count = 0;
            return status;
        }
        char expression[kNameLength];
        findExpression(expression, sizeof expression);
        char desc[VI_FIND_BUFLEN] = {};
        ViFindList list = VI_NULL;
        const ViStatus found = v.viFindRsrc(rm, expression, &list, VI_NULL, desc);
        ViInt16 opened = 0;
        ViStatus last = found;
        bool listEnded = false;
        if (found >= VI_SUCCESS) {
            while (opened < max) {
                last = init(desc, VI_FALSE, VI_FALSE, &vi[opened]);
                if (last < VI_SUCCESS)
                    break;
                ++opened;
                last = v.viFindNext(list, desc);
                if (last < VI_SUCCESS) {
                    listEnded = last == VI_ERROR_RSRC_NFOUND;
                    break;
                }
            }
        }
        v.viClose(rm);
        if (max <= 0)
            return found;
        if (opened > 0 && listEnded) {
            if (count)
                *count = opened;
            return VI_SUCCESS;
        }
        if (opened > 0 && last >= VI_SUCCESS) {
            if (count)
                *count = opened;
            return TQ_WARN_MORE_INSTRUMENTS;
        }
        // Never some sessions open while reporting a failure.
        for (ViInt16 i = 0; i < opened; ++i) {
            close(vi[i]);
            vi[i] = VI_NULL;
        }
        if (count)
            *count = 0;
        return last;
    });
}

ViStatus Driver::autoConnectToFirst(ViSession *vi) noexcept
{
    ViInt16 count = 0;
    return autoConnectToAll(vi, 1, &count);
}

ViStatus Driver::setSimulationMode(ViSession vi, ViBoolean mode) noexcept
{
    return guarded([&]() -> ViStatus {
        Session *s = find(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        ViStatus status = VI_SUCCESS;
        if (mode == 1) {
            s->simulation = 1;
            if (s->mode != kModeNoInstrument)
                s->mode = kModeSimulated;
        } else if (mode == 0) {
            if (s->mode == kModeSimulated) {
                s->simulation = 0;
                s->mode = kModeHardware;
                status = model_.applySettings(*s);
            } else if (s->mode == kModeNoInstrument)
                status = TQ_ERROR_NO_INSTRUMENT;
        } else
            status = VI_ERROR_INV_PARAMETER;
        if (status < VI_SUCCESS && info_.simulationFailureLine)
            statusLine(*s, "[%s]Failed change simulation mode", s->instrumentName);
        return status;
    });
}

ViStatus Driver::getSimulationMode(ViSession vi, ViBoolean *) noexcept
{
    Session *s = find(vi);
    return s ? static_cast<ViStatus>(s->simulation) : VI_ERROR_INV_OBJECT;
}

ViStatus Driver::setInstrumentName(ViSession vi, ViConstString name) noexcept
{
    Session *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!name || !*name)
        return VI_ERROR_INV_PARAMETER;
    copyName(s->instrumentName, kNameLength, name);
    return VI_SUCCESS;
}

ViStatus Driver::getInstrumentName(ViSession vi, ViChar *name) noexcept
{
    Session *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!name)
        return VI_ERROR_INV_PARAMETER;
    copyName(name, kNameLength, s->instrumentName);
    return VI_SUCCESS;
}

// ---------------------------------------------------------------------------
// Message sinks.

ViStatus Driver::registerStreamMsg(ViSession vi, TQStreamMsg *sink) noexcept
{
    Session *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    replaceSink(s->streamMessages, sink);
    return VI_SUCCESS;
}

ViStatus Driver::registerSpyMsg(ViSession vi, TQStreamMsg *sink) noexcept
{
    Session *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    replaceSink(s->spy, sink);
    return VI_SUCCESS;
}

} // namespace tq::driver
