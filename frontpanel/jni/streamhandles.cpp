#include "streamhandles.h"

#include <mutex>
#include <unordered_map>

#include "jnilayer.h"

#include "tqstream.h"

namespace tq::panelmate
{

namespace
{

// Java's references, by stream value: how many handles giveStreamToJava
// handed out that no close has dropped yet. A value the manager listed
// (TqDaq.listStreams) carries none, so closing it releases nothing of the
// manager's.
struct Ledger {
    std::mutex lock;
    std::unordered_map<uint32_t, unsigned> references;
};

Ledger &ledger()
{
    static Ledger *l = new Ledger; // natives may run while static destructors do
    return *l;
}

} // namespace

jint giveStreamToJava(TQStream *stream)
{
    if (!stream)
        return 0;
    const uint32_t value = tqstream_streamValue(stream);
    if (value == 0) {
        // Without a value Java could never name it again: the reference goes now.
        stream->streamRelease(&stream);
        return 0;
    }
    bool noted = false;
    {
        Ledger &l = ledger();
        std::lock_guard<std::mutex> guard(l.lock);
        try {
            ++l.references[value];
            noted = true;
        } catch (...) {
        }
    }
    if (!noted) {
        stream->streamRelease(&stream); // no room to note it: Java cannot hold it
        return 0;
    }
    return static_cast<jint>(value);
}

bool closeJavaStream(uint32_t value)
{
    {
        Ledger &l = ledger();
        std::lock_guard<std::mutex> guard(l.lock);
        auto it = l.references.find(value);
        if (it == l.references.end())
            return false;
        if (--it->second == 0)
            l.references.erase(it);
    }
    // Outside the ledger's lock: the release may destroy the stream, which
    // waits for the holds of other threads, and those may be about to hand
    // Java a stream through the ledger.
    // A counted hold, which the release gives up with the reference (the
    // release may destroy the stream).
    TQStream *stream = tqstream_holdStream(value);
    if (!stream)
        return false; // destroyed by its owner meanwhile: nothing left to drop
    tqstream_releaseHeldStream(stream);
    return true;
}

} // namespace tq::panelmate
