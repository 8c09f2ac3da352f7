// The way from an instrument session to its board for viIn/viOut, without
// the library lock: drivers poll registers in loops, often from several
// threads, and an access should cost about what locking the board costs.
//
// A fixed table of slots, one per session value modulo its size. A slot
// names its session, the instrument and the instrument's board lock. An
// access reads the slot, takes the board lock and checks the slot again:
// the lock outlives every board (Board takes it from a pool that is never
// freed), so a stale slot costs nothing worse than a refused check. Closing
// a session empties its slot and then takes and drops the board lock once
// before the session lets go of its instrument: any access that still holds
// the lock has finished by then, and any later one sees the empty slot.
// Sessions whose slot is taken by another one go the slow way through the
// library's object map.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <mutex>

#include "instrument.h"

namespace tq::sim {

class RegisterSessions {
public:
    static constexpr size_t kSlots = 4096;

    // The rest is called with the library lock held.
    bool slotFree(ViSession vi) const { return slot(vi).session.load(std::memory_order_relaxed) == 0; }
    // vi's slot must be free; the instrument stays alive until remove(vi).
    void add(ViSession vi, Instrument &instrument)
    {
        Slot &s = slot(vi);
        s.instrument.store(&instrument, std::memory_order_relaxed);
        // Released as well: an access that reads this lock while it still
        // looks for the slot's previous session then sees that one gone.
        s.lock.store(&instrument.lock(), std::memory_order_release);
        s.session.store(vi, std::memory_order_release);
    }
    // Once it has returned, no access through the table touches the instrument.
    void remove(ViSession vi)
    {
        Slot &s = slot(vi);
        if (s.session.load(std::memory_order_relaxed) != vi)
            return;
        std::mutex *lock = s.lock.load(std::memory_order_relaxed);
        s.session.store(0, std::memory_order_relaxed);
        std::lock_guard<std::mutex> drain(*lock);
    }

    // Any thread. Calls f(instrument) with the instrument's board lock held
    // and returns true, or returns false when vi has no slot (closed, never
    // an instrument session, or one that goes the slow way).
    template <typename F> bool withInstrument(ViSession vi, F &&f)
    {
        Slot &s = slot(vi);
        if (s.session.load(std::memory_order_acquire) != vi)
            return false;
        std::mutex *lock = s.lock.load(std::memory_order_acquire);
        std::lock_guard<std::mutex> g(*lock);
        // Under the lock the slot is either still vi's, with the lock read
        // above, or no longer vi's: values are not reused while sessions
        // live, so vi cannot have come back with another instrument.
        if (s.session.load(std::memory_order_acquire) != vi || s.lock.load(std::memory_order_relaxed) != lock)
            return false;
        f(*s.instrument.load(std::memory_order_relaxed));
        return true;
    }

private:
    struct Slot {
        std::atomic<ViSession> session{0};
        std::atomic<std::mutex *> lock{nullptr};
        std::atomic<Instrument *> instrument{nullptr};
    };
    Slot &slot(ViSession vi) { return slots_[vi % kSlots]; }
    const Slot &slot(ViSession vi) const { return slots_[vi % kSlots]; }

    std::array<Slot, kSlots> slots_{};
};

} // namespace tq::sim
