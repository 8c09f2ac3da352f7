// A driver with channels for the manager's formula tests: it has no hardware,
// only properties by name and a stream whose channels are named by those
// properties. Loaded through its PnP handle like any other driver.
//
// Properties come from the file named by TQ_FAKEDRIVER_PROPS, one per line:
//   <property> <index> <value...>     ("-" as index for unindexed ones)
// A value "!<hex status>" makes reading the property fail with that status.
// The stream has kChannels channels; channel i is named by the value of
// StreamName at index i, else of ChannelName at i and has the unit ChannelUnit at i ("V" when unset).
// The stream never has data; its readers only take it into collections.
// Writing "<i>,<value>" to an indexed property stores value at i, so renaming
// a channel renames the stream's channel. Every property call is logged to
// TQ_TESTDRIVER_LOG as "<stream name> get|set <property> <index|value>".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>

#include "tq/platform/env.h"
#include "tqpnp.h"
#include "tqstream.h"

namespace
{

constexpr int kChannels = 16;

struct Instance {
    TQPnPHandle handle;
    std::string name;
    std::map<std::pair<std::string, std::string>, std::string> properties;
    TQStream *stream = nullptr;
    TQStreamChannel channels[kChannels];
};

std::mutex g_lock;
std::map<ViSession, Instance *> g_instances;
ViSession g_next = 0x2000;
TQStreamHandles g_stream;

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

std::string property(const Instance *i, const std::string &name, int index)
{
    auto it = i->properties.find({name, std::to_string(index)});
    return it == i->properties.end() ? std::string() : it->second;
}

// Channel records follow the properties that name them.
void refreshChannels(Instance *i)
{
    for (int c = 0; c < kChannels; ++c) {
        TQStreamChannel &ch = i->channels[c];
        const std::string own = property(i, "StreamName", c);
        std::snprintf(ch.name, sizeof ch.name, "%s", own.empty() ? property(i, "ChannelName", c).c_str() : own.c_str());
        const std::string unit = property(i, "ChannelUnit", c);
        std::snprintf(ch.eu, sizeof ch.eu, "%s", unit.empty() ? "V" : unit.c_str());
        ch.ownerWord = c;
        ch.stream = i->stream;
    }
}

TQStreamChannel *getChannel(TQStream *stream, const char *name)
{
    auto *i = static_cast<Instance *>(stream->owner);
    if (!name || !*name)
        return nullptr;
    for (TQStreamChannel &ch : i->channels)
        if (std::strcmp(ch.name, name) == 0)
            return &ch;
    return nullptr;
}

int32_t releaseNothing(TQStream **)
{
    return 0;
}

// Readers of a stream that never has data: enough for the formula engine to
// take the stream into its collection and resolve its channels.
TQReader *newReader(TQStream *stream, int64_t position, int32_t whence)
{
    return g_stream.newReaderBase(stream, position, whence, nullptr);
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
    if (instance->stream)
        g_stream.destroyStream(instance->stream);
    delete instance;
    return VI_SUCCESS;
}

ViStatus setProperty(ViSession session, ViConstString name, ViConstString value)
{
    Instance *i = find(session);
    if (!i)
        return VI_ERROR_INV_OBJECT;
    logLine(std::string(i->stream->name) + " set " + name + " " + value);
    if (std::strcmp(name, "InstrumentName") == 0)
        return VI_SUCCESS;
    const char *comma = std::strchr(value, ',');
    if (!comma)
        return VI_ERROR_NSUP_OPER;
    const std::string index(value, comma);
    if (!i->properties.count({name, index}))
        return VI_ERROR_NSUP_OPER;
    i->properties[{name, index}] = comma + 1;
    refreshChannels(i);
    return VI_SUCCESS;
}

ViStatus getProperty(ViSession session, ViConstString name, ViConstString index, ViChar *value, ViInt32 length)
{
    Instance *i = find(session);
    if (!i)
        return VI_ERROR_INV_OBJECT;
    logLine(std::string(i->stream->name) + " get " + name + " " + (index ? index : "NULL"));
    auto it = i->properties.find({name, index ? index : "-"});
    if (it == i->properties.end())
        it = i->properties.find({name, "-"});
    if (it == i->properties.end())
        return VI_ERROR_NSUP_OPER;
    if (!it->second.empty() && it->second[0] == '!')
        return static_cast<ViStatus>(std::strtoul(it->second.c_str() + 1, nullptr, 16));
    // Whatever was asked for, a reply that does not fit is cut, as drivers do.
    std::snprintf(value, static_cast<size_t>(length > 0 ? length : 256), "%s", it->second.c_str());
    return VI_SUCCESS;
}

ViStatus getStream(ViSession session, ViConstString streamName, TQStream **stream)
{
    Instance *i = find(session);
    if (!i)
        return VI_ERROR_INV_OBJECT;
    if (streamName)
        i->stream->streamSetName(i->stream, streamName);
    *stream = i->stream;
    return VI_SUCCESS;
}

void loadProperties(Instance *i)
{
    const auto file = tq::platform::getEnv("TQ_FAKEDRIVER_PROPS");
    if (!file)
        return;
    std::ifstream in(*file);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name, index, value;
        if (!(fields >> name >> index))
            continue;
        std::getline(fields >> std::ws, value);
        i->properties[{name, index}] = value;
    }
}

} // namespace

extern "C" __attribute__((visibility("default"))) ViStatus tqmfake_getPnPHandle(ViConstRsrc rsrcName,
                                                                                TQPnPHandle **handle)
{
    *handle = nullptr;
    if (!g_stream.newStream && tqstream_getHandles(&g_stream) != VI_SUCCESS)
        return VI_ERROR_SYSTEM_ERROR;
    auto *i = new Instance();
    i->name = rsrcName ? rsrcName : "-";
    loadProperties(i);
    i->stream = g_stream.newStream(i->name.c_str(), 100.0, i);
    if (!i->stream) {
        delete i;
        return VI_ERROR_ALLOC;
    }
    i->stream->streamRelease = releaseNothing;
    i->stream->streamGetChannel = getChannel;
    i->stream->streamNewReader = newReader;
    g_stream.setNumberChannels(i->stream, kChannels);
    g_stream.setScanSize(i->stream, kChannels * sizeof(double));
    refreshChannels(i);
    {
        std::lock_guard<std::mutex> guard(g_lock);
        i->handle = TQPnPHandle{};
        i->handle.refCount = 1;
        i->handle.session = g_next++;
        i->handle.addReference = &addReference;
        i->handle.release = &release;
        i->handle.setPropertyByName = &setProperty;
        i->handle.getPropertyByName = &getProperty;
        i->handle.getStream = &getStream;
        g_instances[i->handle.session] = i;
    }
    *handle = &i->handle;
    return VI_SUCCESS;
}
