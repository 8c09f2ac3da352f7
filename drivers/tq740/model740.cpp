// The model 740 driver: shared sessions per (ID base, carrier resource),
// init and close, the module operations table, the carrier's stream, reset
// and the power-up state in the module's serial memory.
#include <cstdio>
#include <cstring>
#include <new>

#include "session740.h"
#include "tables740.h"
#include "tq/driver/driver.h"
#include "tq/driver/visa_binding.h"
#include "tq/platform/guard.h"
#include "tq/platform/thread.h"
#include "tq740.h"

namespace tq740
{

namespace
{

using tq::driver::Session;

Session740 &model(Session &s)
{
    return static_cast<Session740 &>(s);
}

const tq::driver::StatusText kTexts[] = {
    {TQ740_WARN_ALREADY_RUNNING, "Device already Running."},
    {TQ740_ERROR_NO_CHANNELS, "Operation failed because no channels are enabled."},
    {TQ740_ERROR_RUNNING, "Operation failed because device is running."},
};

// The windows of the session being made (the framework's init makes the
// record; the worker says which site it is for).
struct Pending {
    ViUInt16 idSpace = VI_PXI_BAR2_SPACE, ioSpace = VI_PXI_BAR2_SPACE;
    ViBusAddress idBase = 0, ioBase = 0;
    const char *carrier = "";
};
thread_local Pending pending;

ViStatus resetInstrument(Session740 &s)
{
    ViStatus status = VI_SUCCESS;
    if (!s.simulated())
        status = setBits(s, reg::kStatus, 1, 15, 1);
    setDefaults(s);
    applySettings(s);
    recountCarrier(s);
    return s.simulated() ? VI_SUCCESS : status;
}

class Model740 : public tq::driver::Model
{
  public:
    Session *createSession(ViSession) override
    {
        auto *s = new (std::nothrow) Session740();
        if (!s)
            return nullptr;
        s->idSpace = pending.idSpace;
        s->ioSpace = pending.ioSpace;
        s->idBase = pending.idBase;
        s->ioBase = pending.ioBase;
        tq::driver::copyName(s->carrier, sizeof s->carrier, pending.carrier);
        return s;
    }
    void setDefaultSettings(Session &s) override { setDefaults(model(s)); }
    ViStatus applySettings(Session &s) override { return tq740::applySettings(model(s)); }
    ViStatus reset(Session &s) override { return resetInstrument(model(s)); }
    ViStatus opened(Session &s) override
    {
        Session740 &m = model(s);
        ViStatus status = setBits(m, reg::kControl, 1, 9, 1);
        if (status >= VI_SUCCESS)
            status = setBits(m, reg::kStatus, 1, 4, 1);
        return status;
    }
    ViStatus selfTest(Session &, ViInt16 *, ViChar *) override { return VI_WARN_NSUP_SELF_TEST; }
    ViStatus getEventStatus(Session &, ViUInt16, ViUInt16 *, ViUInt16, ViChar *) override { return VI_SUCCESS; }
};

Model740 &theModel()
{
    static Model740 m;
    return m;
}

tq::driver::ModelInfo makeInfo()
{
    tq::driver::ModelInfo info;
    info.prefix = "tq740";
    info.modelCode = TQ740_MODEL_CODE;
    info.handleKind = tq::driver::kHandleKind740;
    info.statusTexts = kTexts;
    info.statusTextCount = std::size(kTexts);
    info.ownsStream = false;
    info.captureHeaderFirst = false;
    tables(info);
    return info;
}

Session740 *findShared(ViBusAddress idBase, const char *carrier)
{
    Session *p = driver().findIf([&](Session &s) {
        const Session740 &m = model(s);
        return m.idBase == idBase && strcmp(m.carrier, carrier) == 0;
    });
    return p ? &model(*p) : nullptr;
}

ViStatus initWorker(ViUInt16 idSpace, ViBusAddress idBase, ViUInt16 ioSpace, ViBusAddress ioBase,
                    ViConstRsrc carrier, ViSession *vi)
{
    if (!vi)
        return VI_ERROR_INV_PARAMETER;
    *vi = VI_NULL;
    return tq::platform::guardStatus([&]() -> ViStatus {
        tq::visa::loadVisa();
        const char *name = carrier ? carrier : "";
        // Every bare site number shares the one session without hardware.
        if (Session740 *s = findShared(*name ? idBase : 0, name)) {
            ++s->references;
            *vi = s->value;
            return VI_SUCCESS;
        }
        pending = Pending{idSpace, ioSpace, *name ? idBase : 0, *name ? ioBase : 0, name};
        ViStatus status = driver().init(*name ? const_cast<ViRsrc>(name) : nullptr, VI_FALSE, VI_FALSE, vi);
        pending = Pending{};
        return status;
    });
}

// "<carrier>_IP<site>", or a bare site number: the carrier name and the site
// (1 to 4). False for a name without a site or with one outside the
// carrier's four sites, whose windows would lie on the carrier's own
// registers.
bool parseName(const char *name, char *carrier, size_t size, int16_t &site)
{
    if (!name)
        return false;
    char text[tq::driver::kNameLength + 8];
    if (name[0] >= '0' && name[0] <= '9')
        snprintf(text, sizeof text, "_IP%s", name);
    else
        tq::driver::copyName(text, sizeof text, name);
    char *cut = strrchr(text, '_');
    if (!cut || strncmp(cut, "_IP", 3) != 0)
        return false;
    const char *digits = cut + 3;
    if (*digits < '0' || *digits > '9')
        return false;
    char *end = nullptr;
    const long n = strtol(digits, &end, 10);
    if (*end != '\0' || n < 1 || n > 4)
        return false;
    site = static_cast<int16_t>(n);
    *cut = '\0';
    tq::driver::copyName(carrier, size, text);
    return true;
}

ViStatus pnpRelease(TQPnPHandle **handle);

} // namespace

tq::driver::Driver &driver()
{
    static tq::driver::Driver d(makeInfo(), theModel());
    return d;
}

Session740 *find(ViSession vi)
{
    return vi ? static_cast<Session740 *>(driver().find(vi)) : nullptr;
}

ViStatus in16(Session740 &s, ViBusAddress offset, uint16_t &value)
{
    ViUInt16 v = 0;
    ViStatus status = tq::visa::visa().viIn16(s.value, s.ioSpace, s.ioBase + offset, &v);
    if (status >= VI_SUCCESS)
        value = v;
    return status;
}

ViStatus out16(Session740 &s, ViBusAddress offset, uint16_t value)
{
    return tq::visa::visa().viOut16(s.value, s.ioSpace, s.ioBase + offset, value);
}

ViStatus setBits(Session740 &s, ViBusAddress offset, uint16_t mask, unsigned shift, uint16_t value)
{
    uint16_t v = 0;
    ViStatus status = in16(s, offset, v);
    if (status < VI_SUCCESS)
        return status;
    v = static_cast<uint16_t>((v & ~(mask << shift)) | ((value & mask) << shift));
    return out16(s, offset, v);
}

ViStatus getBits(Session740 &s, ViBusAddress offset, uint16_t mask, unsigned shift, uint16_t &value)
{
    uint16_t v = 0;
    ViStatus status = in16(s, offset, v);
    if (status >= VI_SUCCESS)
        value = static_cast<uint16_t>((v >> shift) & mask);
    return status;
}

void setDefaults(Session740 &s)
{
    for (Group &g : s.groups)
        g = Group{};
    s.interruptEnable = 0;
    char name[64];
    // The records are rebuilt in place, never through a blank one: the
    // carrier's readers may be calling a record's functions meanwhile, and
    // must not find them null.
    for (int k = 1; k <= kChannels; ++k) {
        tq::driver::BitChannel &c = s.channel(k);
        c.head.ownerWord2 = 0;
        c.head.formulaNode = nullptr;
        c.head.outputSyncType = 0;
        c.head.enableWord = 0;
        c.enable = 0;
        c.changeOfStateEnable = 0;
        c.patternEnable = 0;
        c.patternBit = 0;
        snprintf(name, sizeof name, "DigitalChannel%dsite%hd", k, s.site);
        tq::driver::initBitChannel(c, k, name, static_cast<uint16_t>(3 + s.site), 1u << (k - 1), &s.staticWord,
                                   s.carrierStream);
    }
    for (int n = 1; n <= kEvents; ++n) {
        EventChannel &e = s.eventChannel(n);
        e.head.ownerWord2 = 0;
        e.head.formulaNode = nullptr;
        e.head.outputSyncType = 0;
        e.head.enableWord = 0;
        e.enable = 0;
        e.eventEnable = 0;
        e.polarity = 1;
        e.duration = 10;
        snprintf(name, sizeof name, "EventChannel%d", n);
        tq::driver::copyName(e.head.name, sizeof e.head.name, name);
        tq::driver::copyName(e.head.eu, sizeof e.head.eu, "binary");
        e.head.ownerWord = n;
        // The module raises no events into the stream: an enabled event
        // channel reads 0.0 rather than calling through a null function.
        if (e.head.streamChannelEval != tq::driver::convertZero)
            e.head.streamChannelEval = tq::driver::convertZero;
        if (e.head.streamChannelEvalRaw != tq::driver::convertZero)
            e.head.streamChannelEvalRaw = tq::driver::convertZero;
        e.head.stream = s.carrierStream;
        e.eventIndex = static_cast<int16_t>(n - 1);
    }
}

ViStatus applySettings(Session740 &s)
{
    if (s.simulated())
        return VI_ERROR_INV_SETUP;
    return setBits(s, reg::kStatus, 1, 1, s.interruptEnable ? 1 : 0);
}

void recountCarrier(Session740 &s)
{
    TQStream *stream = s.carrierStream;
    if (!stream || !s.carrierHandles)
        return;
    // The carrier counts from the channel records, its own and its modules'.
    s.carrierHandles->setNumberChannels(stream, stream->streamGetNumberChannels(stream));
    s.carrierHandles->setNumberOutputChannels(stream, stream->streamGetNumberOutputChannels(stream));
}

namespace
{

ViStatus channelByName(ViSession vi, ViConstString name, TQStreamChannel **channel)
{
    Session740 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!channel)
        return VI_ERROR_INV_PARAMETER;
    *channel = nullptr;
    if (!name)
        return VI_SUCCESS;
    for (tq::driver::BitChannel &c : s->channels)
        if (strncmp(c.head.name, name, sizeof c.head.name) == 0) {
            *channel = &c.head;
            return VI_SUCCESS;
        }
    for (EventChannel &e : s->events)
        if (strncmp(e.head.name, name, sizeof e.head.name) == 0) {
            *channel = &e.head;
            return VI_SUCCESS;
        }
    return VI_SUCCESS;
}

// The enabled input channels, then the enabled event channels (what the
// carrier's input count counts), then the enabled output channels.
ViStatus channelByIndex(ViSession vi, ViInt32 n, TQStreamChannel **channel)
{
    Session740 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!channel)
        return VI_ERROR_INV_PARAMETER;
    *channel = nullptr;
    if (n < 0)
        return VI_SUCCESS;
    for (tq::driver::BitChannel &c : s->channels)
        if (c.enable && !tq::driver::isOutput(c.head) && n-- == 0) {
            *channel = &c.head;
            return VI_SUCCESS;
        }
    for (EventChannel &e : s->events)
        if (e.enable && n-- == 0) {
            *channel = &e.head;
            return VI_SUCCESS;
        }
    for (tq::driver::BitChannel &c : s->channels)
        if (c.enable && tq::driver::isOutput(c.head) && n-- == 0) {
            *channel = &c.head;
            return VI_SUCCESS;
        }
    return VI_SUCCESS;
}

ViStatus staticOutputWord(ViSession vi, ViUInt32 *word)
{
    Session740 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!word)
        return VI_ERROR_INV_PARAMETER;
    *word = s->staticWord.load(std::memory_order_relaxed);
    return VI_SUCCESS;
}

// ---- PnP handle: the template's operations around a shared session ----

ViStatus pnpSetProperty(ViSession vi, ViConstString n, ViConstString v)
{
    return driver().setPropertyByName(vi, n, v);
}
ViStatus pnpGetProperty(ViSession vi, ViConstString n, ViConstString i, ViChar *o, ViInt32 l)
{
    return driver().getPropertyByName(vi, n, i, o, l);
}
ViStatus pnpOperation(ViSession vi, ViConstString n, ViConstString a)
{
    return driver().doOperation(vi, n, a);
}
ViStatus pnpStreamMsg(ViSession vi, TQStreamMsg *m)
{
    return driver().registerStreamMsg(vi, m);
}
ViStatus pnpCrossCheck(ViSession, ViChar *)
{
    return VI_SUCCESS;
}
ViStatus pnpSimulation(ViSession vi, ViBoolean m)
{
    return driver().setSimulationMode(vi, m);
}
ViStatus pnpEventStatus(ViSession vi, ViUInt16, ViUInt16 *, ViUInt16, ViChar *)
{
    return find(vi) ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
}

ViStatus pnpRelease(TQPnPHandle **handle)
{
    if (!handle || !*handle)
        return VI_SUCCESS;
    TQPnPHandle *h = *handle;
    if (__atomic_sub_fetch(&h->refCount, 1, __ATOMIC_ACQ_REL) > 0)
        return VI_SUCCESS;
    tq740_close(h->session);
    free(h);
    *handle = nullptr;
    return VI_SUCCESS;
}

} // namespace

} // namespace tq740

using tq740::driver;
using tq740::find;
using tq740::Session740;

TQ_DRIVER_EXPORT_SELF_TEST(tq740, driver())
TQ_DRIVER_EXPORT_ERROR_QUERY(tq740, driver())
TQ_DRIVER_EXPORT_ERROR_MESSAGE(tq740, driver())
TQ_DRIVER_EXPORT_SIMULATION(tq740, driver())
TQ_DRIVER_EXPORT_INSTRUMENT_NAME(tq740, driver())
TQ_DRIVER_EXPORT_CROSS_CHECK(tq740, driver())

TQ_API ViStatus tq740_registerStreamMsg(ViSession vi, TQStreamMsg *sink)
{
    return driver().registerStreamMsg(vi, sink);
}

TQ_API ViStatus tq740_init(ViRsrc rsrcName, ViBoolean, ViBoolean reset, ViSession *vi)
{
    if (!vi)
        return VI_ERROR_INV_PARAMETER;
    *vi = VI_NULL;
    return tq::platform::guardStatus([&]() -> ViStatus {
        char carrier[tq::driver::kNameLength] = {};
        int16_t site = 0;
        if (!tq740::parseName(rsrcName, carrier, sizeof carrier, site))
            return TQ740_ERROR_NO_SITE;
        const ViBusAddress idBase = 0xF00 + 0x100 * static_cast<ViBusAddress>(site);
        const ViBusAddress ioBase = 0xF80 + 0x100 * static_cast<ViBusAddress>(site);
        ViStatus status = tq740::initWorker(VI_PXI_BAR2_SPACE, idBase, VI_PXI_BAR2_SPACE, ioBase, carrier, vi);
        if (status < VI_SUCCESS)
            return status;
        Session740 *s = find(*vi);
        if (!s)
            return VI_ERROR_SYSTEM_ERROR;
        s->site = site;
        if (reset == 1)
            status = tq740::resetInstrument(*s);
        else {
            tq740::setDefaults(*s);
            tq740::applySettings(*s);
            tq740::recountCarrier(*s);
        }
        if (status >= VI_SUCCESS)
            tq::driver::copyName(s->instrumentName, tq::driver::kNameLength, rsrcName);
        return status;
    });
}

TQ_API ViStatus tq740_close(ViSession vi)
{
    return tq::platform::guardStatus([&]() -> ViStatus {
        Session740 *s = find(vi);
        if (!s)
            return VI_ERROR_INV_OBJECT;
        if (--s->references > 0)
            return VI_SUCCESS;
        return driver().close(vi);
    });
}

TQ_API ViStatus tq740_reset(ViSession vi)
{
    return driver().reset(vi);
}

TQ_API ViStatus tq740_resetEx(ViSession vi, ViInt16 type)
{
    if (!find(vi))
        return VI_ERROR_INV_OBJECT;
    switch (type) {
    case 0:
        return VI_WARN_UNKNOWN_STATUS;
    case 1:
        return tq740_reset(vi);
    case 2:
        tq740_autoRst(vi, 0);
        return tq740_reset(vi);
    default:
        return VI_ERROR_INV_PARAMETER;
    }
}

TQ_API ViStatus tq740_revision_query(ViSession, ViChar *driverRev, ViChar *instrRev)
{
    if (driverRev)
        tq::driver::copyName(driverRev, tq::driver::kNameLength, "4.0.3.0");
    if (instrRev)
        tq::driver::copyName(instrRev, tq::driver::kNameLength, "<not available>");
    return VI_SUCCESS;
}

TQ_API ViStatus tq740_autoConnectToAll(ViSession *vi, ViInt16 max, ViInt16 *count)
{
    return driver().autoConnectToAll(vi, max, count);
}

TQ_API ViStatus tq740_autoConnectToFirst(ViSession *vi)
{
    return driver().autoConnectToFirst(vi);
}

TQ_API ViStatus tq740_getEventStatus(ViSession vi, ViUInt16, ViUInt16 *, ViUInt16, ViChar *)
{
    return find(vi) ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
}

TQ_API ViStatus tq740_getSiteChannels(ViSession, ViInt16 site, ViInt16 *first, ViInt16 *last)
{
    if (site != 0)
        return TQ740_ERROR_SITE_ARGUMENT;
    if (!first || !last)
        return VI_ERROR_INV_PARAMETER;
    *first = 1;
    *last = tq740::kChannels;
    return VI_SUCCESS;
}

TQ_API ViStatus tq740_setStream(ViSession vi, TQStream *stream, TQStreamHandles *handles)
{
    Session740 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    s->carrierStream = stream;
    s->carrierHandles = stream ? handles : nullptr;
    for (tq::driver::BitChannel &c : s->channels)
        c.head.stream = stream;
    for (tq740::EventChannel &e : s->events)
        e.head.stream = stream;
    tq740::recountCarrier(*s);
    return VI_SUCCESS;
}

TQ_API ViStatus tq740_autoRst(ViSession vi, ViInt16 save)
{
    Session740 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    return tq::platform::guardStatus([&]() -> ViStatus {
        const auto &v = tq::visa::visa();
        ViInt32 increment = 1;
        ViStatus first = v.viGetAttribute(s->value, VI_ATTR_DEST_INCREMENT, &increment);
        if (first < VI_SUCCESS)
            return first;
        const bool changed = increment != 0;
        if (changed) {
            first = v.viSetAttribute(s->value, VI_ATTR_DEST_INCREMENT, 0);
            if (first < VI_SUCCESS)
                return first;
        }
        // The first failing access ends the writes; select is still
        // released and the pauses still happen, and that failure is the result.
        ViStatus failure = VI_SUCCESS;
        auto step = [&](ViStatus status) {
            if (status < VI_SUCCESS && failure >= VI_SUCCESS)
                failure = status;
        };
        auto select = [&](uint16_t on) { step(tq740::out16(*s, tq740::reg::kSelect, on)); };
        auto bits = [&](std::initializer_list<uint16_t> list) {
            if (failure < VI_SUCCESS)
                return;
            uint16_t words[32];
            size_t n = 0;
            for (uint16_t b : list)
                words[n++] = b;
            step(v.viMoveOut16(s->value, s->ioSpace, s->ioBase + tq740::reg::kDataIn, n, words));
        };
        auto word = [&](uint16_t value) {
            if (failure < VI_SUCCESS)
                return;
            uint16_t words[16];
            for (int i = 0; i < 16; ++i)
                words[i] = (value >> (15 - i)) & 1;
            step(v.viMoveOut16(s->value, s->ioSpace, s->ioBase + tq740::reg::kDataIn, 16, words));
        };
        // Write enable.
        select(1);
        bits({1, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0});
        select(0);
        tq::platform::sleepMs(5);
        // Word 0: the saved mark, or cleared.
        if (failure >= VI_SUCCESS)
            select(1);
        bits({1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0});
        word(save ? 0x5555 : 0);
        select(0);
        tq::platform::sleepMs(5);
        // Word 1: the configuration register as it stands.
        if (failure >= VI_SUCCESS)
            select(1);
        bits({1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1});
        uint16_t config = 0;
        if (failure >= VI_SUCCESS)
            step(tq740::in16(*s, tq740::reg::kConfig, config));
        for (int i = 15; i >= 0 && failure >= VI_SUCCESS; --i)
            step(tq740::out16(*s, tq740::reg::kDataIn, static_cast<uint16_t>((config >> i) & 1)));
        select(0);
        tq::platform::sleepMs(5);
        // Write disable.
        if (failure >= VI_SUCCESS)
            select(1);
        bits({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        select(0);
        if (changed) {
            // The restore's own success never hides an earlier failure.
            const ViStatus restored = v.viSetAttribute(s->value, VI_ATTR_DEST_INCREMENT, increment);
            return failure < VI_SUCCESS ? failure : restored;
        }
        return failure;
    });
}

TQ_API ViStatus tq740_powerupSave(ViSession vi)
{
    return tq740_autoRst(vi, 1);
}

TQ_API ViStatus tq740_powerupClear(ViSession vi)
{
    return tq740_autoRst(vi, 0);
}

TQ_API ViStatus tq740_autoRstStatus(ViSession vi, ViInt16 *saved)
{
    Session740 *s = find(vi);
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!saved)
        return VI_ERROR_INV_PARAMETER;
    uint16_t bit = 0;
    ViStatus status = tq740::getBits(*s, tq740::reg::kStatus, 1, 10, bit);
    if (status >= VI_SUCCESS)
        *saved = static_cast<ViInt16>(bit);
    return status;
}

TQ_API ViStatus tq740_getPnPHandle(ViConstRsrc rsrcName, TQPnPHandle **handle)
{
    if (!handle)
        return VI_ERROR_INV_PARAMETER;
    *handle = nullptr;
    auto *h = static_cast<TQPnPHandle *>(calloc(1, sizeof(TQPnPHandle)));
    if (!h)
        return VI_ERROR_ALLOC;
    h->refCount = 1;
    h->addReference = tq::driver::pnpAddReference;
    h->release = tq740::pnpRelease;
    h->setPropertyByName = tq740::pnpSetProperty;
    h->getPropertyByName = tq740::pnpGetProperty;
    h->doOperation = tq740::pnpOperation;
    h->registerStreamMsg = tq740::pnpStreamMsg;
    h->crossCheck = tq740::pnpCrossCheck;
    h->setSimulationMode = tq740::pnpSimulation;
    h->getEventStatus = tq740::pnpEventStatus;
    h->attachBackend = tq::driver::pnpAttachBackend;
    const ViStatus status = tq740_init(const_cast<ViRsrc>(rsrcName), VI_FALSE, VI_FALSE, &h->session);
    if (status < VI_SUCCESS) {
        free(h);
        return status;
    }
    *handle = h;
    return status;
}

TQ_API ViStatus ip740_init(ViUInt16 *moduleId, TQIpModuleOps *t)
{
    if (!moduleId || !t)
        return VI_ERROR_INV_PARAMETER;
    *moduleId = TQ740_MODULE_ID;
    t->initWorker = tq740::initWorker;
    t->init = tq740_init;
    t->reset = tq740_reset;
    t->selfTest = tq740_self_test;
    t->errorQuery = tq740_error_query;
    t->errorMessage = tq740_error_message;
    t->revisionQuery = tq740_revision_query;
    t->close = tq740_close;
    t->autoConnectToFirst = tq740_autoConnectToFirst;
    t->autoConnectToAll = tq740_autoConnectToAll;
    t->autoRst = tq740_autoRst;
    t->autoRstStatus = tq740_autoRstStatus;
    t->resetEx = tq740_resetEx;
    t->getSiteChannels = tq740_getSiteChannels;
    t->setStream = tq740_setStream;
    t->channelByName = tq740::channelByName;
    t->channelByIndex = tq740::channelByIndex;
    t->getPnPHandle = tq740_getPnPHandle;
    t->readIoData = tq740_readIoData;
    t->writeIoData = tq740_writeIoData;
    t->setDebounceTime = tq740_setDebounceTime;
    t->getDebounceTime = tq740_getDebounceTime;
    t->setIoDirection = tq740_setIoDirection;
    t->getIoDirection = tq740_getIoDirection;
    t->setPowerupOutput = tq740_setPowerupOutput;
    t->getPowerupOutput = tq740_getPowerupOutput;
    t->setResistorConfig = tq740_setResistorConfig;
    t->getResistorConfig = tq740_getResistorConfig;
    t->readPatternRecognition = tq740_readPatternRecognition;
    t->writePatternRecognition = tq740_writePatternRecognition;
    t->readPatternRecognitionMask = tq740_readPatternRecognitionMask;
    t->writePatternRecognitionMask = tq740_writePatternRecognitionMask;
    t->startPatternRecognition = tq740_startPatternRecognition;
    t->stopPatternRecognition = tq740_stopPatternRecognition;
    t->getPatternRecognitionStatus = tq740_getPatternRecognitionStatus;
    t->readChangeOfStateResult = tq740_readChangeOfStateResult;
    t->readChangeOfStateMask = tq740_readChangeOfStateMask;
    t->writeChangeOfStateMask = tq740_writeChangeOfStateMask;
    t->startChangeOfState = tq740_startChangeOfState;
    t->stopChangeOfState = tq740_stopChangeOfState;
    t->getChangeOfStateStatus = tq740_getChangeOfStateStatus;
    t->enableEvent = tq740_enableEvent;
    t->disableEvent = tq740_disableEvent;
    t->enableEventStatus = tq740_enableEventStatus;
    t->setOutputStrobeDelay = tq740_setOutputStrobeDelay;
    t->getOutputStrobeDelay = tq740_getOutputStrobeDelay;
    t->readROMConfig = tq740_readROMConfig;
    t->readLatchedIoData = tq740_readLatchedIoData;
    t->setExternalInputStrobeEnable = tq740_setExternalInputStrobeEnable;
    t->getExternalInputStrobeEnable = tq740_getExternalInputStrobeEnable;
    t->setExternalOutputStrobeEnable = tq740_setExternalOutputStrobeEnable;
    t->getExternalOutputStrobeEnable = tq740_getExternalOutputStrobeEnable;
    t->setOutputStrobeWordSelect = tq740_setOutputStrobeWordSelect;
    t->setIpInputStrobeEnable = tq740_setIpInputStrobeEnable;
    t->getIpInputStrobeEnable = tq740_getIpInputStrobeEnable;
    t->setIpInputLatchStrobeEnable = tq740_setIpInputLatchStrobeEnable;
    t->getIpInputLatchStrobeEnable = tq740_getIpInputLatchStrobeEnable;
    t->setIpOutputStrobeEnable = tq740_setIpOutputStrobeEnable;
    t->getIpOutputStrobeEnable = tq740_getIpOutputStrobeEnable;
    t->setStrobePolarity = tq740_setStrobePolarity;
    t->getStrobePolarity = tq740_getStrobePolarity;
    t->staticOutputWord = tq740::staticOutputWord;
    return VI_SUCCESS;
}
