// A stream whose channels and kept data a test sets directly, for the
// display model's tests.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "display/displayimpl.h"
#include "core/streamimpl.h"

namespace displaytest
{

class TestStream
{
  public:
    explicit TestStream(double rate = 100.0, const char *name = "t")
    {
        s = newStream(name, rate, this);
        s->streamGetChannel = getChannel;
        s->streamGetChannelByIndex = getChannelByIndex;
        s->streamNewReader = newReader;
    }
    ~TestStream()
    {
        if (s)
            destroyStream(s);
    }
    TestStream(const TestStream &) = delete;
    TestStream &operator=(const TestStream &) = delete;

    // Channels keep their records (and addresses) while present.
    TQStreamChannel *add(const std::string &name, const std::string &eu)
    {
        auto c = std::make_unique<TQStreamChannel>();
        memset(c.get(), 0, sizeof(TQStreamChannel));
        strncpy(c->name, name.c_str(), sizeof c->name - 1);
        strncpy(c->eu, eu.c_str(), sizeof c->eu - 1);
        c->stream = s;
        channels.push_back(std::move(c));
        setNumberChannels(s, static_cast<uint16_t>(channels.size()));
        return channels.back().get();
    }
    void remove(const std::string &name)
    {
        for (auto it = channels.begin(); it != channels.end(); ++it)
            if (name == (*it)->name) {
                // Kept alive until the test ends: entries may still point at
                // it until the next synchronisation, as with a driver.
                retired.push_back(std::move(*it));
                channels.erase(it);
                break;
            }
        setNumberChannels(s, static_cast<uint16_t>(channels.size()));
    }
    void setUnit(const std::string &name, const std::string &eu)
    {
        for (auto &c : channels)
            if (name == c->name) {
                memset(c->eu, 0, sizeof c->eu);
                strncpy(c->eu, eu.c_str(), sizeof c->eu - 1);
            }
    }

    TQStream *s = nullptr;
    std::vector<std::unique_ptr<TQStreamChannel>> channels;
    std::vector<std::unique_ptr<TQStreamChannel>> retired;
    int64_t first = 0; // absolute index of the oldest kept scan
    int64_t avail = 0; // kept scans
    int readersMade = 0;

  private:
    static TestStream *self(TQStream *s) { return static_cast<TestStream *>(s->owner); }

    static TQStreamChannel *getChannel(TQStream *s, const char *name)
    {
        for (auto &c : self(s)->channels)
            if (strcmp(c->name, name) == 0)
                return c.get();
        return nullptr;
    }
    static TQStreamChannel *getChannelByIndex(TQStream *s, int32_t index)
    {
        auto &v = self(s)->channels;
        return index >= 0 && static_cast<size_t>(index) < v.size() ? v[index].get() : nullptr;
    }
    static void *peek(TQReader *r, int64_t *count, int64_t *position)
    {
        auto *t = static_cast<TestStream *>(r->context);
        if (count)
            *count = t->avail;
        if (position)
            *position = t->first;
        return nullptr;
    }
    static int64_t availOf(TQReader *r) { return static_cast<TestStream *>(r->context)->avail; }
    static TQReader *newReader(TQStream *s, int64_t position, int32_t whence)
    {
        TQReader *r = newReaderBase(s, position, whence, self(s));
        if (r) {
            r->readerPeek = peek;
            r->readerAvail = availOf;
            ++self(s)->readersMade;
        }
        return r;
    }
};

// Names of the entries in one channel list of an axis, in order.
inline std::vector<std::string> entryNames(TQAxisInfo *axis, bool active)
{
    std::vector<std::string> out;
    TQListHead *head = active ? &axis->activeChannels : &axis->inactiveChannels;
    size_t link = active ? tq::stream::kEntryActiveLink : tq::stream::kEntryInactiveLink;
    for (void *e = head->first; e; e = tqListNext(e, link))
        out.emplace_back(static_cast<TQChannelEnable *>(e)->name);
    return out;
}

inline std::vector<TQAxisInfo *> axes(TQGraphObject *go, bool active)
{
    std::vector<TQAxisInfo *> out;
    TQListHead *head = active ? &go->activeAxes : &go->inactiveAxes;
    size_t link = active ? tq::stream::kAxisActiveLink : tq::stream::kAxisInactiveLink;
    for (void *a = head->first; a; a = tqListNext(a, link))
        out.push_back(static_cast<TQAxisInfo *>(a));
    return out;
}

inline std::vector<std::string> units(TQGraphObject *go, bool active)
{
    std::vector<std::string> out;
    for (TQAxisInfo *a : axes(go, active))
        out.emplace_back(a->eu);
    return out;
}

inline TQAxisInfo *axisNamed(TQGraphObject *go, const std::string &unit)
{
    for (bool active : {true, false})
        for (TQAxisInfo *a : axes(go, active))
            if (unit == a->eu)
                return a;
    return nullptr;
}

inline TQChannelEnable *entryNamed(TQAxisInfo *axis, const std::string &name)
{
    for (bool active : {true, false}) {
        TQListHead *head = active ? &axis->activeChannels : &axis->inactiveChannels;
        size_t link = active ? tq::stream::kEntryActiveLink : tq::stream::kEntryInactiveLink;
        for (void *e = head->first; e; e = tqListNext(e, link))
            if (name == static_cast<TQChannelEnable *>(e)->name)
                return static_cast<TQChannelEnable *>(e);
    }
    return nullptr;
}

} // namespace displaytest
