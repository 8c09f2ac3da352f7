// A driver for the manager's tests, loaded through its PnP handle like any
// other. Each instance logs the calls it gets, one line each, to the file
// named by TQ_TESTDRIVER_LOG as "<who> <call> <arguments>", <who> being its
// InstrumentName once set, else the resource name it was opened for, else
// "-". What it answers follows from that name:
//   "nsup..."  answers every operation with "not supported";
//   "fail..."  fails every operation with 0xBFFF0000;
//   "badinit"  (resource name) fails its initialisation.
// Beside InstrumentName it reads every property "Echo<text>" as <text>.
// Every other property it is given is logged as "<who> setPropertyByName
// <property> <value>" and taken, except "Unknown..." (not supported) and
// "Refused..." (0xBFFF0078). setSimulationMode and crossCheck are logged
// too; an instance whose name begins "reject" refuses its crossCheck.
// Each instance has a stream of one double channel "value" (unit "V"),
// named by getStream; its capture logs "<who> captureOpen <file> <mode>"
// and "<who> captureClose" and records through the stream library, except:
//   "nocap..."   answers capture open and close with -13 (does not capture);
//   "nostream..." offers no getStream;
//   "badstream..." fails getStream with 0xBFFF003A.
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "tq/platform/env.h"
#include "tqpnp.h"

namespace
{

struct Instance {
    TQPnPHandle handle;
    std::string name;
    TQStream *stream = nullptr;
};

TQStreamHandles g_streamHandles;

std::mutex g_lock;
std::map<ViSession, Instance *> g_instances;
ViSession g_next = 0x1000;

void logLine(const std::string &line)
{
    const auto file = tq::platform::getEnv("TQ_TESTDRIVER_LOG");
    if (!file || file->empty())
        return;
    std::lock_guard<std::mutex> guard(g_lock);
    if (FILE *f = std::fopen(file->c_str(), "a")) {
        std::fputs((line + "\n").c_str(), f);
        std::fclose(f);
    }
}

Instance *find(ViSession session)
{
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = g_instances.find(session);
    return it == g_instances.end() ? nullptr : it->second;
}

ViStatus addReference(TQPnPHandle *h)
{
    ++h->refCount;
    return VI_SUCCESS;
}

ViStatus release(TQPnPHandle **holder)
{
    TQPnPHandle *h = *holder;
    *holder = nullptr;
    if (--h->refCount > 0)
        return VI_SUCCESS;
    Instance *instance = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        instance = g_instances[h->session];
        g_instances.erase(h->session);
    }
    logLine(instance->name + " release");
    if (instance->stream)
        g_streamHandles.destroyStream(instance->stream);
    delete instance;
    return VI_SUCCESS;
}

ViStatus setProperty(ViSession session, ViConstString name, ViConstString value)
{
    Instance *i = find(session);
    if (!i)
        return VI_ERROR_INV_OBJECT;
    if (std::strcmp(name, "InstrumentName") != 0) {
        logLine(i->name + " setPropertyByName " + name + " " + (value ? value : "NULL"));
        if (std::strncmp(name, "Unknown", 7) == 0)
            return VI_ERROR_NSUP_OPER;
        if (std::strncmp(name, "Refused", 7) == 0)
            return VI_ERROR_INV_PARAMETER;
        return VI_SUCCESS;
    }
    i->name = value;
    if (i->name.rfind("nostream", 0) == 0)
        i->handle.getStream = nullptr;
    return VI_SUCCESS;
}

ViStatus getProperty(ViSession session, ViConstString name, ViConstString, ViChar *value, ViInt32 length)
{
    Instance *i = find(session);
    if (!i)
        return VI_ERROR_INV_OBJECT;
    // "Echo<text>" reads back as <text>, an option value the tests can choose.
    if (std::strncmp(name, "Echo", 4) == 0) {
        std::snprintf(value, static_cast<size_t>(length), "%s", name + 4);
        return VI_SUCCESS;
    }
    // "mute..." instances cannot tell their name.
    if (std::strcmp(name, "InstrumentName") != 0 || i->name.rfind("mute", 0) == 0)
        return VI_ERROR_NSUP_OPER;
    std::snprintf(value, static_cast<size_t>(length), "%s", i->name.c_str());
    return VI_SUCCESS;
}

ViStatus doOperation(ViSession session, ViConstString operation, ViConstString argument)
{
    Instance *i = find(session);
    if (!i)
        return VI_ERROR_INV_OBJECT;
    logLine(i->name + " " + operation + " " + (argument ? argument : "NULL"));
    if (i->name.rfind("nsup", 0) == 0)
        return VI_ERROR_NSUP_OPER;
    if (i->name.rfind("fail", 0) == 0)
        return VI_ERROR_SYSTEM_ERROR;
    return VI_SUCCESS;
}

ViStatus registerSink(ViSession session, TQStreamMsg *sink)
{
    Instance *i = find(session);
    if (!i)
        return VI_ERROR_INV_OBJECT;
    logLine(i->name + (sink ? " registerStreamMsg sink" : " registerStreamMsg none"));
    return VI_SUCCESS;
}

// Prints one line through the spy sink it is given, as drivers trace.
ViStatus registerSpy(ViSession session, TQStreamMsg *spy)
{
    Instance *i = find(session);
    if (!i)
        return VI_ERROR_INV_OBJECT;
    if (spy)
        spy->streamMsgPrintf(spy, "[%s]spy\n", i->name.c_str());
    return VI_SUCCESS;
}

ViStatus crossCheck(ViSession session, ViChar *message)
{
    Instance *i = find(session);
    if (!i)
        return VI_ERROR_INV_OBJECT;
    logLine(i->name + " crossCheck");
    if (i->name.rfind("reject", 0) == 0) {
        if (message)
            std::snprintf(message, 256, "%s rejects its settings", i->name.c_str());
        return VI_ERROR_INV_SETUP;
    }
    return VI_SUCCESS;
}

ViStatus setSimulationMode(ViSession session, ViBoolean mode)
{
    Instance *i = find(session);
    if (!i)
        return VI_ERROR_INV_OBJECT;
    logLine(i->name + " setSimulationMode " + std::to_string(mode));
    return VI_SUCCESS;
}

ViStatus attachBackend(ViSession frontend, TQPnPHandle *backend)
{
    Instance *i = find(frontend);
    Instance *b = backend ? find(backend->session) : nullptr;
    if (!i || !b)
        return VI_ERROR_INV_OBJECT;
    logLine(i->name + " attachBackend " + b->name);
    return VI_SUCCESS;
}

bool startsWith(const std::string &text, const char *prefix)
{
    return text.rfind(prefix, 0) == 0;
}

Instance *instanceOfStream(TQStream *stream)
{
    return static_cast<Instance *>(stream->streamGetOwner(stream));
}

// The recorded header: one double channel.
TQCaptureHeader header(TQStream *stream, TQCaptureChannel &channel)
{
    channel = TQCaptureChannel{};
    std::snprintf(channel.name, sizeof channel.name, "value");
    std::snprintf(channel.eu, sizeof channel.eu, "V");
    channel.kind = TQ_XFRM_DOUBLE;
    TQCaptureHeader h{};
    h.rate = stream->rate;
    h.decimation = 1;
    h.channelCount = 1;
    h.channels = &channel;
    return h;
}

int32_t captureOpen(TQStream *stream, const char *fileName, int32_t mode)
{
    Instance *i = instanceOfStream(stream);
    logLine(i->name + " captureOpen " + fileName + " " + std::to_string(mode));
    if (startsWith(i->name, "nocap"))
        return TQS_ERR_NOTSUPPORTED;
    TQCaptureChannel channel;
    const TQCaptureHeader h = header(stream, channel);
    return g_streamHandles.commonCaptureOpen(stream, fileName, mode, &h);
}

int32_t captureClose(TQStream *stream)
{
    Instance *i = instanceOfStream(stream);
    logLine(i->name + " captureClose");
    if (startsWith(i->name, "nocap"))
        return TQS_ERR_NOTSUPPORTED;
    TQCaptureChannel channel;
    const TQCaptureHeader h = header(stream, channel);
    return g_streamHandles.commonCaptureClose(stream, &h);
}

double channelValue(TQStreamChannel *, const void *scan)
{
    double v;
    std::memcpy(&v, scan, sizeof v);
    return v;
}

TQStreamChannel g_channel = [] {
    TQStreamChannel c{};
    std::snprintf(c.name, sizeof c.name, "value");
    std::snprintf(c.eu, sizeof c.eu, "V");
    c.streamChannelEval = channelValue;
    c.streamChannelEvalRaw = channelValue;
    return c;
}();

TQStreamChannel *channelByIndex(TQStream *, int32_t index)
{
    return index == 0 ? &g_channel : nullptr;
}

TQStreamChannel *channelByName(TQStream *, const char *name)
{
    return name && std::strcmp(name, "value") == 0 ? &g_channel : nullptr;
}

// Readers without data: enough for the formula engine to hold the stream.
TQReader *newReader(TQStream *stream, int64_t position, int32_t whence)
{
    return g_streamHandles.newReaderBase(stream, position, whence, nullptr);
}

// Holders never destroy a driver's stream.
int32_t keepStream(TQStream **)
{
    return 0;
}

ViStatus getStream(ViSession session, ViConstString name, TQStream **out)
{
    Instance *i = find(session);
    if (!i || !out)
        return VI_ERROR_INV_OBJECT;
    logLine(i->name + " getStream " + (name ? name : "NULL"));
    if (startsWith(i->name, "badstream"))
        return VI_ERROR_INV_SETUP;
    if (!i->stream) {
        if (!g_streamHandles.newStream)
            tqstream_getHandles(&g_streamHandles);
        i->stream = g_streamHandles.newStream(name, 100.0, i);
        if (!i->stream)
            return VI_ERROR_ALLOC;
        g_streamHandles.setNumberChannels(i->stream, 1);
        g_streamHandles.setScanSize(i->stream, sizeof(double));
        i->stream->streamRelease = keepStream;
        i->stream->streamCaptureOpen = captureOpen;
        i->stream->streamCaptureClose = captureClose;
        i->stream->streamGetChannelByIndex = channelByIndex;
        i->stream->streamGetChannel = channelByName;
        i->stream->streamNewReader = newReader;
    }
    if (name)
        i->stream->streamSetName(i->stream, name);
    *out = i->stream;
    return VI_SUCCESS;
}

} // namespace

extern "C" __attribute__((visibility("default"))) ViStatus tqmtest_getPnPHandle(ViConstRsrc rsrcName,
                                                                                TQPnPHandle **handle)
{
    *handle = nullptr;
    if (rsrcName && std::strcmp(rsrcName, "badinit") == 0)
        return VI_ERROR_RSRC_NFOUND;
    auto *i = new Instance;
    i->name = rsrcName ? rsrcName : "-";
    {
        std::lock_guard<std::mutex> guard(g_lock);
        i->handle = TQPnPHandle{1,
                                g_next++,
                                &addReference,
                                &release,
                                &setProperty,
                                &getProperty,
                                &doOperation,
                                &registerSink,
                                &registerSpy,
                                &crossCheck,
                                &setSimulationMode,
                                &getStream,
                                nullptr,
                                nullptr,
                                nullptr,
                                nullptr,
                                &attachBackend};
        g_instances[i->handle.session] = i;
    }
    logLine(i->name + " init");
    *handle = &i->handle;
    return VI_SUCCESS;
}

// Instances alive now.
extern "C" __attribute__((visibility("default"))) int tqmtest_liveInstances()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return static_cast<int>(g_instances.size());
}

// The stream of the instance of that name (InstrumentName, else resource
// name), or null before getStream.
extern "C" __attribute__((visibility("default"))) TQStream *tqmtest_stream(const char *name)
{
    std::lock_guard<std::mutex> guard(g_lock);
    for (const auto &[session, instance] : g_instances)
        if (instance->name == name)
            return instance->stream;
    return nullptr;
}

// Records scans of the given values into a capture open on the instance's
// stream: what an acquisition would hand to the stream library.
extern "C" __attribute__((visibility("default"))) int tqmtest_record(const char *name, const double *values,
                                                                    int count)
{
    TQStream *stream = tqmtest_stream(name);
    if (!stream)
        return -1;
    return stream->streamNewData(stream, values, count, 0);
}
