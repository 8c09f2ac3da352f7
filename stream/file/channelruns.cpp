// The table of run functions that owners of channel records register for
// their value functions (StreamRegisterChannelRun), looked up by
// StreamChannelEvalRun for every run it converts.
//
// Changes are made under a lock; the lookup takes none. An entry is written
// run first and value function last, and emptied value function first, so a
// lookup that finds a value function finds its run function. An entry is
// emptied only when its last registration is undone, which its owner does
// before its channels go: a lookup for a channel still converted never meets
// its own entry being emptied or reused.
#include "channelruns.h"

#include <atomic>
#include <mutex>
#include <type_traits>

namespace tq::stream {

namespace {

// Every driver registers a handful of converters; a few libraries are
// loaded at a time.
constexpr int kEntries = 64;

struct Entry {
    std::atomic<TQChannelEvalFn> eval{nullptr};
    std::atomic<TQChannelRunFn> run{nullptr};
    int32_t count = 0; // registrations, under the table's lock
};

struct Table {
    std::mutex lock;
    Entry entries[kEntries];
    // Entries ever taken: the lookup looks no further.
    std::atomic<int> used{0};
};

// Constant-initialised and never destroyed (it has nothing to destroy), so
// that libraries may undo their registrations while the process exits; and
// in this library's own memory, which goes with it when it is unloaded
// (drivers load and free it with their sessions: memory taken from the heap
// would be left behind at every unload).
static_assert(std::is_trivially_destructible_v<Table>);
constinit Table g_table;

Table &table()
{
    return g_table;
}

} // namespace

TQChannelRunFn registeredRunFor(TQChannelEvalFn eval)
{
    if (!eval)
        return nullptr;
    Table &t = table();
    const int used = t.used.load(std::memory_order_acquire);
    for (int i = 0; i < used; ++i) {
        const Entry &e = t.entries[i];
        if (e.eval.load(std::memory_order_acquire) == eval)
            return e.run.load(std::memory_order_relaxed);
    }
    return nullptr;
}

} // namespace tq::stream

using tq::stream::Entry;

TQ_API int32_t StreamRegisterChannelRun(TQChannelEvalFn eval, TQChannelRunFn run)
{
    if (!eval || !run)
        return TQS_ERR_FAILED;
    auto &t = tq::stream::table();
    std::lock_guard<std::mutex> guard(t.lock);
    Entry *empty = nullptr;
    for (Entry &e : t.entries) {
        const TQChannelEvalFn f = e.eval.load(std::memory_order_relaxed);
        if (f == eval) {
            if (e.run.load(std::memory_order_relaxed) != run)
                return TQS_ERR_RUN_TAKEN;
            ++e.count;
            return 0;
        }
        if (!f && !empty)
            empty = &e;
    }
    if (!empty)
        return TQS_ERR_RUNS_FULL;
    empty->run.store(run, std::memory_order_relaxed);
    empty->eval.store(eval, std::memory_order_release);
    empty->count = 1;
    const int index = static_cast<int>(empty - t.entries);
    if (index >= t.used.load(std::memory_order_relaxed))
        t.used.store(index + 1, std::memory_order_release);
    return 0;
}

TQ_API int32_t StreamUnregisterChannelRun(TQChannelEvalFn eval, TQChannelRunFn run)
{
    if (!eval || !run)
        return TQS_ERR_NOT_FOUND;
    auto &t = tq::stream::table();
    std::lock_guard<std::mutex> guard(t.lock);
    for (Entry &e : t.entries) {
        if (e.eval.load(std::memory_order_relaxed) != eval || e.run.load(std::memory_order_relaxed) != run)
            continue;
        if (--e.count == 0) {
            e.eval.store(nullptr, std::memory_order_release);
            e.run.store(nullptr, std::memory_order_relaxed);
        }
        return 0;
    }
    return TQS_ERR_NOT_FOUND;
}
