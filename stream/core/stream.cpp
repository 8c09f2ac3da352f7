// The stream record: construction, destruction, settings, listeners and the
// stream's data lock.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include <linux/membarrier.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "listeners.h"
#include "status.h"
#include "streamimpl.h"
#include "tq/platform/debug.h"
#include "tq/platform/handles.h"
#include "tq/platform/sync.h"
#include "tq/platform/text.h"

using tq::platform::Mutex;
using tq::stream::priv;
using tq::stream::StreamPrivate;

namespace {

// Apart from the manager's and the drivers' handle kinds.
constexpr unsigned kStreamValueKind = 42;

Mutex *lockOf(TQStream *stream) { return static_cast<Mutex *>(stream->lockMutex); }

// The name may be the field itself (drivers write into the field).
void copyName(char *field, const char *name) { tq::platform::copyText(field, TQ_STREAM_NAME_SIZE, name); }

// ---- reference counting ----------------------------------------------------

int32_t streamAddRef(TQStream *stream)
{
    if (stream)
        ++stream->refCount;
    return 0;
}

int32_t streamRelease(TQStream **holder)
{
    if (!holder || !*holder)
        return 0;
    TQStream *stream = *holder;
    if (--stream->refCount <= 0) {
        destroyStream(stream);
        *holder = nullptr;
    }
    return 0;
}

// The formula engine and the cloned stream hold streams through these hooks,
// which go through the record's own fields so that an owner's release is used.
int32_t internalAddRef(TQStream *stream) { return stream->streamAddRef(stream); }

int32_t internalRelease(TQStream **holder)
{
    if (!holder || !*holder)
        return 0;
    return (*holder)->streamRelease(holder);
}

// ---- settings --------------------------------------------------------------

char *streamGetName(TQStream *stream) { return stream->name; }

int32_t streamSetName(TQStream *stream, const char *name)
{
    copyName(stream->name, name);
    return 0;
}

double streamGetRate(TQStream *stream) { return stream->rate; }

int32_t streamSetRate(TQStream *stream, double rate)
{
    stream->rate = rate;
    return 0;
}

int64_t streamGetStartTime(TQStream *stream) { return stream->startTime; }
uint16_t streamGetNumberChannels(TQStream *stream) { return static_cast<uint16_t>(stream->numberChannels); }
uint16_t streamGetScanSize(TQStream *stream) { return stream->scanSize; }

int32_t streamSetOutputRate(TQStream *stream, double rate)
{
    stream->outputRate = rate;
    return 0;
}

double streamGetOutputRate(TQStream *stream) { return stream->outputRate; }

int32_t streamSetOutputRecycleRate(TQStream *stream, double rate)
{
    stream->outputRecycleRate = rate;
    return 0;
}

double streamGetOutputRecycleRate(TQStream *stream) { return stream->outputRecycleRate; }
uint16_t streamGetNumberOutputChannels(TQStream *stream) { return stream->numberOutputChannels; }
uint16_t streamGetOutputScanSize(TQStream *stream) { return stream->outputScanSize; }

int32_t streamSetOutputEnable(TQStream *stream, int32_t flag)
{
    stream->outputEnable = flag;
    return 0;
}

int32_t streamGetOutputEnable(TQStream *stream) { return stream->outputEnable; }

int32_t streamSetDecimation(TQStream *stream, int32_t decimation) { return stream->decimation = decimation; }
int32_t streamGetDecimation(TQStream *stream) { return stream->decimation; }
int32_t streamSetBigFile(TQStream *stream, int32_t flag) { return stream->bigFile = flag; }
int32_t streamGetBigFile(TQStream *stream) { return stream->bigFile; }
int32_t streamSetWriteHeaderFirst(TQStream *stream, int32_t flag) { return stream->writeHeaderFirst = flag; }
int32_t streamGetWriteHeaderFirst(TQStream *stream) { return stream->writeHeaderFirst; }
void *streamGetOwner(TQStream *stream) { return stream->owner; }

// ---- operations the owner supplies -----------------------------------------
// A stream whose owner plugs nothing into these answers "nothing there" or
// "not supported" instead of calling through an empty field.

int64_t streamReserveWriteNone(TQStream *, int64_t, int64_t *granted, TQPiece **pieces)
{
    if (granted)
        *granted = 0;
    if (pieces)
        *pieces = nullptr;
    return 0;
}

int64_t streamCompleteWriteNone(TQStream *, int64_t) { return 0; }
int32_t streamNotSupported(TQStream *) { return TQS_ERR_NOTSUPPORTED; }
int32_t streamCaptureOpenNone(TQStream *, const char *, int32_t) { return TQS_ERR_NOTSUPPORTED; }
int64_t streamGetScansWrittenNone(TQStream *) { return 0; }
TQStreamChannel *streamGetChannelNone(TQStream *, const char *) { return nullptr; }
TQStreamChannel *streamGetChannelByIndexNone(TQStream *, int32_t) { return nullptr; }
TQReader *streamNewReaderNone(TQStream *, int64_t, int32_t) { return nullptr; }

// ---- lock ------------------------------------------------------------------

int32_t streamLock(TQStream *stream, uint32_t timeoutMs)
{
    return tq::stream::lockResult(lockOf(stream)->lock(timeoutMs));
}

int32_t streamUnlock(TQStream *stream) { return lockOf(stream)->unlock() ? 1 : 0; }

// ---- listeners -------------------------------------------------------------

namespace listeners = tq::stream::listeners;

int32_t addListener(TQStream *stream, TQListHead *list, TQStreamListenerFn function, void *context)
{
    if (listeners::find<TQStreamListener>(list, function, context))
        return 0;
    return listeners::append<TQStreamListener>(list, stream, function, context) ? 0 : TQS_ERR_NOMEM;
}

int32_t removeListener(TQListHead *list, TQStreamListenerFn function, void *context)
{
    TQStreamListener *node = listeners::find<TQStreamListener>(list, function, context);
    if (!node)
        return TQS_ERR_NO_LISTENER;
    listeners::unlink(list, node);
    return 0;
}

int32_t streamAddListener(TQStream *stream, TQStreamListenerFn function, void *context)
{
    return addListener(stream, &stream->listeners, function, context);
}

int32_t streamRemoveListener(TQStream *stream, TQStreamListenerFn function, void *context)
{
    return removeListener(&stream->listeners, function, context);
}

int32_t streamAddListener2(TQStream *stream, TQStreamListenerFn function, void *context)
{
    return addListener(stream, &stream->listeners2, function, context);
}

int32_t streamRemoveListener2(TQStream *stream, TQStreamListenerFn function, void *context)
{
    return removeListener(&stream->listeners2, function, context);
}

void notifyListeners(TQStream *stream, intptr_t a, intptr_t b, intptr_t c)
{
    listeners::walk<TQStreamListener>(&stream->listeners, [&](TQStreamListener *node) {
        node->function(stream, a, b, c, node->context);
    });
}

// ---- XML scratch text --------------------------------------------------------

char *streamGrowXMLBuffer(TQStream *stream, uint32_t size)
{
    uint64_t wanted = 4ull * size;
    if (wanted > stream->xmlCapacity || !stream->xmlBuffer) {
        if (wanted > UINT32_MAX - 1)
            return nullptr;
        free(stream->xmlBuffer);
        stream->xmlBuffer = static_cast<char *>(malloc(wanted + 1));
        stream->xmlCapacity = stream->xmlBuffer ? static_cast<uint32_t>(wanted) : 0;
    }
    return stream->xmlBuffer;
}

void fillFunctionFields(TQStream *s)
{
    s->streamAddRef = streamAddRef;
    s->streamRelease = streamRelease;
    s->streamGetName = streamGetName;
    s->streamSetName = streamSetName;
    s->streamGetRate = streamGetRate;
    s->streamSetRate = streamSetRate;
    s->streamGetStartTime = streamGetStartTime;
    s->streamGetNumberChannels = streamGetNumberChannels;
    s->streamGetScanSize = streamGetScanSize;
    s->streamCaptureOpen = streamCaptureOpenNone;
    s->streamCaptureClose = streamNotSupported;
    s->streamGetChannel = streamGetChannelNone;
    s->streamGetChannelByIndex = streamGetChannelByIndexNone;
    s->streamSetOutputRate = streamSetOutputRate;
    s->streamGetOutputRate = streamGetOutputRate;
    s->streamSetOutputRecycleRate = streamSetOutputRecycleRate;
    s->streamGetOutputRecycleRate = streamGetOutputRecycleRate;
    s->streamGetNumberOutputChannels = streamGetNumberOutputChannels;
    s->streamGetOutputScanSize = streamGetOutputScanSize;
    s->streamGetOutputChannel = streamGetChannelNone;
    s->streamGetOutputChannelByIndex = streamGetChannelByIndexNone;
    s->streamReserveWrite = streamReserveWriteNone;
    s->streamCompleteWrite = streamCompleteWriteNone;
    s->streamUnused = streamNotSupported;
    s->streamGetScansWritten = streamGetScansWrittenNone;
    s->streamAddListener = streamAddListener;
    s->streamRemoveListener = streamRemoveListener;
    s->streamInstallEventHandler = tq::stream::streamInstallEventHandler;
    s->streamUninstallEventHandler = tq::stream::streamUninstallEventHandler;
    s->streamSetOutputEnable = streamSetOutputEnable;
    s->streamGetOutputEnable = streamGetOutputEnable;
    s->streamLock = streamLock;
    s->streamUnlock = streamUnlock;
    s->streamSetDecimation = streamSetDecimation;
    s->streamGetDecimation = streamGetDecimation;
    s->streamSetBigFile = streamSetBigFile;
    s->streamGetBigFile = streamGetBigFile;
    s->streamSetWriteHeaderFirst = streamSetWriteHeaderFirst;
    s->streamGetWriteHeaderFirst = streamGetWriteHeaderFirst;
    s->streamAddListener2 = streamAddListener2;
    s->streamRemoveListener2 = streamRemoveListener2;
    s->streamNewData = tq::stream::streamNewData;
    s->streamGetOwner = streamGetOwner;
    s->streamWait = tq::stream::streamWait;
    s->streamNewReader = streamNewReaderNone;
    // Graph objects, display windows and their XML.
    tq::stream::displayModelInstall(s);
}

// One lock for every stream's watch list: watches come and go only when a
// clone is made or dropped and when a stream is destroyed.
Mutex &watchLock()
{
    static Mutex lock;
    return lock;
}

// Values that callers keeping streams in 32-bit fields hold instead of the
// address (listings of the resource manager, the front panel's Java fields),
// with the holds of threads that do not own the stream.
//
// A value has the shape of the platform's handles (bit 30, the kind in bits
// 24-29, a generation in bits 16-23, the slot's index + 1 below), so that a
// value of another table is refused. Each slot keeps one atomic word: the
// counted holds in the low 32 bits, the generation and a live bit above.
// Slots are never freed (only reused under a new generation), so a late look
// at a slot never touches freed memory.
//
// A counted hold is one compare-and-swap on the slot's word, which fails once
// the destruction has cleared the live bit.
//
// Holds for the time of a call (tqstream_holdStreamAt: every native call of
// the front panel takes one) are frequent and destructions rare, so such a
// hold costs its holder no atomic read-modify-write: each thread has a record
// of a few hold slots, which it alone writes with plain stores, and a hold is
// a store of the value there followed by a look at the slot's live bit. A
// destruction clears the live bit, makes every running thread of the process
// pass a full memory barrier (membarrier), and only then reads the records: a holder's store is then either seen by the
// destruction, which waits for it, or made before a look that sees the bit
// cleared, and the hold is refused. Where membarrier is not to be had, the
// holder's store is a sequentially consistent exchange instead. A thread holding more streams at once than its
// record has slots takes a counted hold.
class StreamValueTable {
public:
    static constexpr uint32_t kBaseBit = 0x40000000u;
    static constexpr uint32_t kSlotsPerChunk = 256;
    static constexpr uint32_t kChunks = 256; // 65535 live values at most
    static constexpr uint64_t kLive = 1ull << 40;
    static constexpr int kRecordHolds = 4;

    uint32_t add(TQStream *stream)
    {
        std::lock_guard<std::mutex> guard(lock_);
        uint32_t index;
        if (!free_.empty()) {
            index = free_.back();
            free_.pop_back();
        } else {
            if (next_ >= kSlotsPerChunk * kChunks - 1)
                return 0;
            index = next_;
            if (!chunks_[index / kSlotsPerChunk].load(std::memory_order_relaxed)) {
                auto *chunk = new (std::nothrow) Slot[kSlotsPerChunk];
                if (!chunk)
                    return 0;
                chunks_[index / kSlotsPerChunk].store(chunk, std::memory_order_release);
            }
            ++next_;
        }
        Slot &slot = slotAt(index);
        const uint64_t generation = (slot.state.load(std::memory_order_relaxed) >> 32) & 0xFF;
        slot.stream.store(stream, std::memory_order_relaxed);
        slot.state.store((generation << 32) | kLive, std::memory_order_release);
        return kBaseBit | (kStreamValueKind << 24) | static_cast<uint32_t>(generation << 16) | (index + 1);
    }

    // The live stream of the value, not held.
    TQStream *lookup(uint32_t value) const
    {
        const Slot *slot = nullptr;
        uint64_t generation = 0;
        if (!decode(value, slot, generation))
            return nullptr;
        const uint64_t st = slot->state.load(std::memory_order_acquire);
        if (!(st & kLive) || ((st >> 32) & 0xFF) != generation)
            return nullptr;
        return slot->stream.load(std::memory_order_acquire);
    }

    // A counted hold.
    TQStream *hold(uint32_t value)
    {
        Slot *slot = nullptr;
        uint64_t generation = 0;
        if (!decode(value, slot, generation))
            return nullptr;
        return holdCounted(*slot, generation);
    }

    // A hold kept in the calling thread's record, *where naming its place;
    // a counted one (*where null) when the record is full or none is to be
    // had. Every native call of the front panel takes one of these.
    TQStream *holdAt(uint32_t value, uint32_t **where)
    {
        Slot *slot = nullptr;
        uint64_t generation = 0;
        if (!decode(value, slot, generation))
            return nullptr;
        if (Record *record = ownRecord()) {
            for (auto &held : record->held) {
                if (held.load(std::memory_order_relaxed) != 0)
                    continue;
                // The store must be visible before the look at the live bit:
                // the destruction's barrier sees to it, or else the order of
                // sequentially consistent operations on both sides.
                uint64_t st;
                if (asymmetric_) {
                    held.store(value, std::memory_order_relaxed);
                    asm volatile("" ::: "memory");
                    st = slot->state.load(std::memory_order_acquire);
                } else {
                    held.exchange(value, std::memory_order_seq_cst);
                    st = slot->state.load(std::memory_order_seq_cst);
                }
                if ((st & kLive) && ((st >> 32) & 0xFF) == generation) {
                    *where = reinterpret_cast<uint32_t *>(&held);
                    return slot->stream.load(std::memory_order_acquire);
                }
                held.store(0, std::memory_order_release);
                return nullptr;
            }
        }
        return holdCounted(*slot, generation);
    }

    // Drops a counted hold (one kept in a record goes by its holder's store).
    void drop(uint32_t value)
    {
        Slot *slot = nullptr;
        uint64_t generation = 0;
        if (!decode(value, slot, generation))
            return;
        const uint64_t st = slot->state.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (!(st & kLive)) {
            // A destruction waits for this: tell it under its lock, so that
            // the wake-up cannot fall between its test and its wait.
            std::lock_guard<std::mutex> guard(lock_);
            gone_.notify_all();
        }
    }

    // Refuses new holds of the value, waits until the holds are down to own
    // (the caller's own counted hold, which it gives up with the destruction)
    // and frees the slot for a later stream under a new generation.
    void retire(uint32_t value, uint32_t own)
    {
        Slot *slot = nullptr;
        uint64_t generation = 0;
        if (!decode(value, slot, generation))
            return;
        slot->state.fetch_and(~kLive, std::memory_order_seq_cst);
        barrierOnEveryThread();
        std::unique_lock<std::mutex> guard(lock_);
        // Holds in records are dropped without a word: look again now and
        // then; counted holds wake the wait when they go.
        while (recordHolds(value) != 0 || (slot->state.load(std::memory_order_acquire) & 0xFFFFFFFFu) != own)
            gone_.wait_for(guard, std::chrono::microseconds(200));
        slot->stream.store(nullptr, std::memory_order_relaxed);
        slot->state.store(((generation + 1) & 0xFF) << 32, std::memory_order_release);
        try {
            free_.push_back(static_cast<uint32_t>((value & 0xFFFF) - 1));
        } catch (...) {
            // The slot stays out of use: fewer values, nothing wrong.
        }
    }

    StreamValueTable()
    {
        keyMade_ = pthread_key_create(&key_, releaseRecord) == 0;
#if defined(__SANITIZE_THREAD__)
        // The race detector does not know the barrier: it checks the holds
        // through the sequentially consistent road instead.
        asymmetric_ = false;
#else
        asymmetric_ = syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
#endif
    }
    StreamValueTable(const StreamValueTable &) = delete;
    StreamValueTable &operator=(const StreamValueTable &) = delete;
    ~StreamValueTable()
    {
        // Threads that live on keep their record pointers under a deleted
        // key, which reads as null from now on.
        if (keyMade_)
            pthread_key_delete(key_);
        for (Record *r = records_.load(std::memory_order_acquire); r;) {
            Record *next = r->next;
            delete r;
            r = next;
        }
        for (auto &chunk : chunks_)
            delete[] chunk.load(std::memory_order_relaxed);
    }

private:
    struct Slot {
        std::atomic<uint64_t> state{0};
        std::atomic<TQStream *> stream{nullptr};
    };

    static TQStream *holdCounted(Slot &slot, uint64_t generation)
    {
        uint64_t st = slot.state.load(std::memory_order_acquire);
        do {
            if (!(st & kLive) || ((st >> 32) & 0xFF) != generation || (st & 0xFFFFFFFFu) == 0xFFFFFFFFu)
                return nullptr;
        } while (!slot.state.compare_exchange_weak(st, st + 1, std::memory_order_acq_rel));
        return slot.stream.load(std::memory_order_acquire);
    }

    // A hold kept in a record is dropped through tqstream_dropHeldAt by an
    // atomic store to the plain word behind it.
    static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) && std::atomic<uint32_t>::is_always_lock_free);

    struct Record;

    // A thread finds its record without a call: by its thread pointer, in a
    // small table of entries that threads take for themselves. An entry
    // names one live thread at most, and only that thread reads its record
    // or gives it back (at its end, before the thread pointer can name
    // another thread); a thread whose entry another thread has taken asks
    // the key instead.
    static constexpr unsigned kThreadEntryBits = 8;
    struct ThreadEntry {
        std::atomic<uintptr_t> thread{0};
        std::atomic<Record *> record{nullptr};
    };

    static uintptr_t threadPointer()
    {
#if defined(__x86_64__)
        uintptr_t tp;
        asm("movq %%fs:0, %0" : "=r"(tp));
        return tp;
#elif defined(__aarch64__)
        uintptr_t tp;
        asm("mrs %0, tpidr_el0" : "=r"(tp));
        return tp;
#else
        return static_cast<uintptr_t>(pthread_self());
#endif
    }

    ThreadEntry &entryOf(uintptr_t thread)
    {
        return threadEntries_[(thread * 0x9E3779B97F4A7C15ull) >> (64 - kThreadEntryBits)];
    }

    // One thread's holds; reused by a later thread once its thread has ended.
    struct Record {
        std::atomic<uint32_t> held[kRecordHolds] = {};
        std::atomic<bool> owned{true};
        ThreadEntry *entry = nullptr; // the thread's entry, when it took one
        Record *next = nullptr;
    };

    // A thread's end gives its record and its entry back. Holds still in the
    // record cannot be used by anyone any more: they go, so that no
    // destruction waits for them.
    static void releaseRecord(void *p)
    {
        auto *record = static_cast<Record *>(p);
        for (auto &held : record->held)
            held.store(0, std::memory_order_release);
        if (ThreadEntry *entry = record->entry) {
            record->entry = nullptr;
            entry->record.store(nullptr, std::memory_order_relaxed);
            entry->thread.store(0, std::memory_order_release);
        }
        record->owned.store(false, std::memory_order_release);
    }

    // The calling thread's record, taken (a free one, or a new one) when the
    // thread has none. Null when none is to be had.
    Record *ownRecord()
    {
        const uintptr_t self = threadPointer();
        ThreadEntry &entry = entryOf(self);
        if (entry.thread.load(std::memory_order_relaxed) == self) [[likely]]
            return entry.record.load(std::memory_order_relaxed);
        return takeRecord(self, entry);
    }

    [[gnu::noinline]] Record *takeRecord(uintptr_t self, ThreadEntry &entry)
    {
        if (!keyMade_)
            return nullptr;
        auto *record = static_cast<Record *>(pthread_getspecific(key_));
        if (record) {
            if (!record->entry)
                takeEntry(self, entry, record); // freed since the thread last looked
            return record;
        }
        for (Record *r = records_.load(std::memory_order_acquire); r && !record; r = r->next) {
            bool expected = false;
            if (!r->owned.load(std::memory_order_relaxed) &&
                r->owned.compare_exchange_strong(expected, true, std::memory_order_acq_rel))
                record = r;
        }
        if (!record) {
            record = new (std::nothrow) Record;
            if (!record)
                return nullptr;
            record->next = records_.load(std::memory_order_relaxed);
            while (!records_.compare_exchange_weak(record->next, record, std::memory_order_acq_rel))
                ;
        }
        if (pthread_setspecific(key_, record) != 0) {
            record->owned.store(false, std::memory_order_release);
            return nullptr;
        }
        takeEntry(self, entry, record);
        return record;
    }

    static void takeEntry(uintptr_t self, ThreadEntry &entry, Record *record)
    {
        uintptr_t none = 0;
        if (entry.thread.compare_exchange_strong(none, self, std::memory_order_acquire, std::memory_order_relaxed)) {
            entry.record.store(record, std::memory_order_relaxed);
            record->entry = &entry;
        }
    }

    uint32_t recordHolds(uint32_t value) const
    {
        uint32_t n = 0;
        for (const Record *r = records_.load(std::memory_order_acquire); r; r = r->next)
            for (const auto &held : r->held)
                n += held.load(std::memory_order_seq_cst) == value;
        return n;
    }

    // Every thread of the process passes a full memory barrier. Once the
    // process is registered the call cannot fail; without the barrier, the
    // holders' sequentially consistent exchange and the clearing of the live
    // bit order themselves.
    void barrierOnEveryThread() const
    {
        if (asymmetric_)
            while (syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0) != 0)
                ;
    }

    Slot &slotAt(uint32_t index) const
    {
        return chunks_[index / kSlotsPerChunk].load(std::memory_order_acquire)[index % kSlotsPerChunk];
    }

    bool decode(uint32_t value, const Slot *&slot, uint64_t &generation) const
    {
        Slot *s = nullptr;
        const bool ok = decode(value, s, generation);
        slot = s;
        return ok;
    }

    bool decode(uint32_t value, Slot *&slot, uint64_t &generation) const
    {
        if ((value & 0xC0000000u) != kBaseBit || ((value >> 24) & 0x3F) != kStreamValueKind)
            return false;
        const uint32_t low = value & 0xFFFF;
        if (low == 0)
            return false;
        const uint32_t index = low - 1;
        Slot *chunk = chunks_[index / kSlotsPerChunk].load(std::memory_order_acquire);
        if (!chunk)
            return false;
        slot = &chunk[index % kSlotsPerChunk];
        generation = (value >> 16) & 0xFF;
        return true;
    }

    mutable std::mutex lock_;
    std::condition_variable gone_;
    std::atomic<Slot *> chunks_[kChunks] = {};
    std::vector<uint32_t> free_;
    uint32_t next_ = 0;
    std::atomic<Record *> records_{nullptr};
    ThreadEntry threadEntries_[1u << kThreadEntryBits];
    pthread_key_t key_{};
    bool keyMade_ = false;
    bool asymmetric_ = false;
};

StreamValueTable &streamValues()
{
    // An object of the library, gone when it is unloaded (drivers load and
    // free it with their sessions); no hold outlives the streams it holds.
    static StreamValueTable table;
    return table;
}

// The stream whose reference tqstream_releaseHeldStream drops on this
// thread: its destruction does not wait for this thread's own hold.
thread_local TQStream *t_releasingHeld = nullptr;
thread_local bool t_heldDestroyed = false;

// Called by destroyStream before anything is torn down: the value goes, and
// the holds of other threads are waited for.
void retireValue(StreamPrivate *p)
{
    if (p->value) {
        const bool own = t_releasingHeld == &p->pub;
        streamValues().retire(p->value, own ? 1 : 0);
        if (own)
            t_heldDestroyed = true;
    }
    p->value = 0;
}

} // namespace

TQ_API TQStream *tqstream_holdStream(uint32_t value)
{
    return value ? streamValues().hold(value) : nullptr;
}

TQ_API TQStream *tqstream_holdStreamAt(uint32_t value, uint32_t **where)
{
    if (!where)
        return tqstream_holdStream(value);
    *where = nullptr;
    return streamValues().holdAt(value, where);
}

TQ_API void tqstream_dropStreamHold(TQStream *stream)
{
    if (stream)
        streamValues().drop(priv(stream)->value);
}

TQ_API int32_t tqstream_releaseHeldStream(TQStream *stream)
{
    if (!stream)
        return 0;
    TQStream *previous = t_releasingHeld;
    const bool previousDestroyed = t_heldDestroyed;
    const uint32_t value = priv(stream)->value;
    t_releasingHeld = stream;
    t_heldDestroyed = false;
    TQStream *holder = stream;
    const int32_t r = stream->streamRelease(&holder);
    const bool destroyed = t_heldDestroyed;
    t_releasingHeld = previous;
    t_heldDestroyed = previousDestroyed;
    // Destroyed, the stream took this thread's hold with it.
    if (!destroyed)
        streamValues().drop(value);
    return r;
}

TQ_API uint32_t tqstream_streamValue(const TQStream *stream)
{
    return stream ? priv(const_cast<TQStream *>(stream))->value : 0;
}

TQ_API TQStream *tqstream_streamOfValue(uint32_t value)
{
    return static_cast<TQStream *>(streamValues().lookup(value));
}

namespace tq::stream {

void addStreamWatch(TQStream *stream, StreamWatch *watch)
{
    tq::platform::MutexGuard guard(watchLock());
    StreamPrivate *p = priv(stream);
    watch->stream = stream;
    watch->previous = nullptr;
    watch->next = p->watches;
    if (p->watches)
        p->watches->previous = watch;
    p->watches = watch;
}

void removeStreamWatch(StreamWatch *watch)
{
    tq::platform::MutexGuard guard(watchLock());
    if (!watch->stream)
        return;
    if (watch->next)
        watch->next->previous = watch->previous;
    if (watch->previous)
        watch->previous->next = watch->next;
    else
        priv(watch->stream)->watches = watch->next;
    watch->next = watch->previous = nullptr;
    watch->stream = nullptr;
}

void tellChannelsGone(TQStream *stream, bool destroyed)
{
    tq::platform::MutexGuard guard(watchLock());
    StreamPrivate *p = priv(stream);
    if (!destroyed) {
        for (StreamWatch *w = p->watches; w; w = w->next)
            w->channelsGone(w, false);
        return;
    }
    // Each watch leaves the stream before it hears of it, so that it never
    // reaches back into the record being torn down.
    while (StreamWatch *w = p->watches) {
        p->watches = w->next;
        if (p->watches)
            p->watches->previous = nullptr;
        w->next = w->previous = nullptr;
        w->stream = nullptr;
        w->channelsGone(w, true);
    }
}

} // namespace tq::stream

TQStream *newStream(const char *name, double rate, void *owner)
{
    auto *p = static_cast<StreamPrivate *>(calloc(1, sizeof(StreamPrivate)));
    if (!p)
        return nullptr;
    TQStream *s = &p->pub;
    s->rate = rate;
    s->refCount = 1;
    s->decimation = 1;
    s->captureData = s->capturePoll = s->captureEvent = -1;

    s->lockMutex = new (std::nothrow) Mutex();
    p->handlerLock = new (std::nothrow) Mutex();
    p->wait = tq::stream::waitStateCreate(s);
    if (!s->lockMutex || !p->handlerLock || !p->wait) {
        delete lockOf(s);
        delete p->handlerLock;
        if (p->wait)
            tq::stream::waitStateClose(p->wait);
        free(p);
        return nullptr;
    }
    // The wait state holds the event mutex and the waiters' wake-ups.
    s->eventMutex = p->wait;
    s->wakeEvent = p->wait;

    tqListInit(&s->readers);
    tqListInit(&s->displayWindows);
    tqListInit(&s->listeners);
    tqListInit(&s->listeners2);
    s->internalAddRef = internalAddRef;
    s->internalRelease = internalRelease;
    s->notifyListeners = notifyListeners;
    s->streamGrowXMLBuffer = streamGrowXMLBuffer;

    copyName(s->name, name);
    fillFunctionFields(s);
    tq::stream::displayModelCreateDefault(s);
    s->owner = owner;
    p->value = streamValues().add(s);
    return s;
}

void destroyStream(TQStream *stream)
{
    if (!stream)
        return;
    StreamPrivate *p = priv(stream);
    // Gone from the value table first: a value looked up from now on finds
    // nothing rather than a record being torn down; and no other thread
    // still works on the stream through a hold.
    retireValue(p);
    // Clones answer with this stream's channel records, which may go with it
    // (a driver's records live in its session): they must stop asking.
    tq::stream::tellChannelsGone(stream, true);

    // Readers: each leaves the list through its own unlink, which drops the
    // list's reference; a reader its owner still holds survives without stream.
    while (auto *reader = static_cast<TQReader *>(stream->readers.first)) {
        reader->readerUnlink(reader);
        if (stream->readers.first == reader) {
            // An unlink that did not take the reader out of the list.
            tqListRemove(&stream->readers, reader, offsetof(TQReader, link));
            TQReader *copy = reader;
            reader->internalRelease(&copy);
        }
    }
    listeners::unlinkAll<TQStreamListener>(&stream->listeners);
    listeners::unlinkAll<TQStreamListener>(&stream->listeners2);
    tq::stream::displayModelDestroy(stream);

    // Threads blocked in streamWait wake with the stream-closed result; they
    // never touch the record again, and the wait state goes with the last one.
    if (p->wait)
        tq::stream::waitStateClose(p->wait);
    p->wait = nullptr;
    stream->eventMutex = stream->wakeEvent = nullptr;
    delete lockOf(stream);
    stream->lockMutex = nullptr;
    delete p->handlerLock;
    p->handlerLock = nullptr;

    free(stream->xmlBuffer);
    free(p);
}

uint16_t setNumberChannels(TQStream *stream, uint16_t count)
{
    stream->numberChannels = count;
    return count;
}

uint16_t setScanSize(TQStream *stream, uint16_t bytes)
{
    stream->scanSize = bytes;
    return bytes;
}

uint16_t setNumberOutputChannels(TQStream *stream, uint16_t count)
{
    stream->numberOutputChannels = count;
    return count;
}

uint16_t setOutputScanSize(TQStream *stream, uint16_t bytes)
{
    stream->outputScanSize = bytes;
    return bytes;
}

int32_t *streamRefCountAddress(TQStream *stream) { return &stream->refCount; }

void StreamCommonFree(void *block) { free(block); }
