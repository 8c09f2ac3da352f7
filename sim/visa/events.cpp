#include "events.h"

#include <algorithm>
#include <chrono>

#include "instrument.h"

namespace tq::sim {

namespace {

constexpr size_t kDeliveryCapacity = 4096;

bool validEventType(ViEventType type, bool allowAll)
{
    return type == VI_EVENT_PXI_INTR || (allowAll && type == VI_ALL_ENABLED_EVENTS);
}

} // namespace

bool EventHub::mechanismsToStop(ViUInt16 mechanism)
{
    return mechanism == VI_ALL_MECH || (mechanism != 0 && !(mechanism & ~(VI_QUEUE | VI_HNDLR | VI_SUSPEND_HNDLR)));
}

EventHub::EventHub(ContextMaker maker) : makeContext_(std::move(maker)) { deliveries_.reset(kDeliveryCapacity); }

EventHub::~EventHub()
{
    {
        std::lock_guard<std::mutex> g(m_);
        stop_ = true;
    }
    workCv_.notify_all();
    thread_.join();
}

EventHub::SessionEvents &EventHub::state(ViSession vi, Instrument &instrument)
{
    SessionEvents &s = states_[vi];
    s.vi = vi;
    s.instrument = &instrument;
    return s;
}

EventHub::SessionEvents *EventHub::find(ViSession vi)
{
    auto it = states_.find(vi);
    return it == states_.end() ? nullptr : &it->second;
}

void EventHub::updateSubscription(SessionEvents &s)
{
    const bool want = s.queueOn || s.handlerOn || s.suspendOn;
    if (want == s.subscribed || !s.instrument)
        return;
    auto &subs = s.instrument->subscribers_;
    if (want)
        subs.push_back(s.vi);
    else
        subs.erase(std::remove(subs.begin(), subs.end(), s.vi), subs.end());
    s.subscribed = want;
}

template <typename Pred> void EventHub::waitWhileRunning(std::unique_lock<std::mutex> &lock, Pred matches)
{
    // A handler that disables, uninstalls or closes from inside itself must
    // not wait for itself; nothing else can be running then, as there is
    // only the one callback thread. Callers first make sure that no further
    // matching call can start, so this wait ends with the current call.
    if (platform::currentThreadId() == callbackThreadId_.load())
        return;
    idleCv_.wait(lock, [&] { return running_ == 0 || !matches(); });
}

void EventHub::ensureThread()
{
    if (threadStarted_)
        return;
    threadStarted_ = true;
    thread_.start([this] { run(); });
}

ViStatus EventHub::enable(ViSession vi, Instrument &instrument, ViEventType type, ViUInt16 mechanism,
                          ViUInt32 queueLength)
{
    if (!validEventType(type, false))
        return VI_ERROR_INV_EVENT;
    switch (mechanism) {
    case VI_QUEUE:
    case VI_HNDLR:
    case VI_SUSPEND_HNDLR:
    case VI_QUEUE | VI_HNDLR:
    case VI_QUEUE | VI_SUSPEND_HNDLR:
        break;
    default:
        return VI_ERROR_INV_MECH;
    }
    if (instrument.refusesMechanism(mechanism))
        return VI_ERROR_NSUP_MECH;
    if (queueLength == 0)
        queueLength = 1;

    std::unique_lock<std::mutex> lock(m_);
    SessionEvents &s = state(vi, instrument);
    if ((mechanism & VI_HNDLR) && s.handlers.empty())
        return VI_ERROR_HNDLR_NINSTALLED;
    bool already = false;
    if (mechanism & VI_QUEUE) {
        if (s.queueOn)
            already = true;
        else {
            s.queueOn = true;
            s.queue.reset(queueLength);
        }
    }
    if (mechanism & VI_HNDLR) {
        if (s.handlerOn)
            already = true;
        else {
            ensureThread();
            s.handlerOn = true;
            // Events kept while the handlers were suspended are delivered now.
            if (s.suspendOn) {
                s.suspendOn = false;
                InterruptEvent ev;
                while (s.suspended.pop(ev))
                    if (!deliveries_.push(Delivery{vi, s.epoch, ev}))
                        ++lost_;
                workCv_.notify_one();
            }
        }
    }
    if (mechanism & VI_SUSPEND_HNDLR) {
        if (s.suspendOn)
            already = true;
        else {
            if (s.handlerOn) {
                s.handlerOn = false;
                ++s.epoch;
            }
            s.suspendOn = true;
            s.suspended.reset(queueLength);
        }
    }
    updateSubscription(s);
    return already ? VI_SUCCESS_EVENT_EN : VI_SUCCESS;
}

ViStatus EventHub::disable(ViSession vi, ViEventType type, ViUInt16 mechanism)
{
    if (!validEventType(type, true))
        return VI_ERROR_INV_EVENT;
    if (!mechanismsToStop(mechanism))
        return VI_ERROR_INV_MECH;
    std::unique_lock<std::mutex> lock(m_);
    SessionEvents *s = find(vi);
    bool wasOn = false;
    if (s) {
        if (mechanism & VI_QUEUE) {
            wasOn = wasOn || s->queueOn;
            s->queueOn = false;
            queueCv_.notify_all();
        }
        if (mechanism & (VI_HNDLR | VI_SUSPEND_HNDLR)) {
            wasOn = wasOn || s->handlerOn || s->suspendOn;
            s->handlerOn = s->suspendOn = false;
            s->suspended.clear();
            ++s->epoch; // deliveries already queued for the callback thread are void
        }
        updateSubscription(*s);
    }
    if (mechanism & (VI_HNDLR | VI_SUSPEND_HNDLR))
        waitWhileRunning(lock, [&] { return running_ == vi; });
    return wasOn ? VI_SUCCESS : VI_SUCCESS_EVENT_DIS;
}

ViStatus EventHub::discard(ViSession vi, ViEventType type, ViUInt16 mechanism)
{
    if (!validEventType(type, true))
        return VI_ERROR_INV_EVENT;
    if (!mechanismsToStop(mechanism))
        return VI_ERROR_INV_MECH;
    std::lock_guard<std::mutex> g(m_);
    SessionEvents *s = find(vi);
    bool any = false;
    if (s) {
        if (mechanism & VI_QUEUE) {
            any = any || !s->queue.empty();
            s->queue.clear();
        }
        if (mechanism & VI_SUSPEND_HNDLR) {
            any = any || !s->suspended.empty();
            s->suspended.clear();
        }
        if (mechanism & VI_HNDLR)
            ++s->epoch;
    }
    return any ? VI_SUCCESS : VI_SUCCESS_QUEUE_EMPTY;
}

ViStatus EventHub::wait(ViSession vi, ViEventType type, ViUInt32 timeoutMs, InterruptEvent &event)
{
    if (!validEventType(type, true))
        return VI_ERROR_INV_EVENT;
    const int64_t ns = platform::scaledTimeoutNs(timeoutMs);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::nanoseconds(ns < 0 ? 0 : ns);
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
        SessionEvents *s = find(vi);
        if (!s || !s->queueOn)
            return VI_ERROR_NENABLED;
        if (s->queue.pop(event))
            return s->queue.empty() ? VI_SUCCESS : VI_SUCCESS_QUEUE_NEMPTY;
        if (timeoutMs == VI_TMO_IMMEDIATE)
            return VI_ERROR_TMO;
        if (ns < 0)
            queueCv_.wait(lock);
        else if (queueCv_.wait_until(lock, deadline) == std::cv_status::timeout) {
            s = find(vi);
            if (s && s->queueOn && s->queue.pop(event))
                return s->queue.empty() ? VI_SUCCESS : VI_SUCCESS_QUEUE_NEMPTY;
            return VI_ERROR_TMO;
        }
    }
}

ViStatus EventHub::install(ViSession vi, Instrument &instrument, ViEventType type, ViHndlr handler, ViAddr user)
{
    if (!validEventType(type, false))
        return VI_ERROR_INV_EVENT;
    if (!handler)
        return VI_ERROR_INV_HNDLR_REF;
    std::lock_guard<std::mutex> g(m_);
    SessionEvents &s = state(vi, instrument);
    if (s.handlers.size() >= kMaxHandlers)
        return VI_ERROR_ALLOC;
    s.handlers.push_back(Handler{handler, user});
    return VI_SUCCESS;
}

ViStatus EventHub::uninstall(ViSession vi, ViEventType type, ViHndlr handler, ViAddr user)
{
    if (!validEventType(type, false))
        return VI_ERROR_INV_EVENT;
    std::unique_lock<std::mutex> lock(m_);
    SessionEvents *s = find(vi);
    if (!s)
        return VI_ERROR_INV_HNDLR_REF;
    auto &h = s->handlers;
    const size_t before = h.size();
    if (handler == VI_ANY_HNDLR)
        h.clear();
    else
        h.erase(std::remove_if(h.begin(), h.end(), [&](const Handler &e) { return e.fn == handler && e.user == user; }),
                h.end());
    if (h.size() == before)
        return VI_ERROR_INV_HNDLR_REF;
    // The removed handlers are checked for before every call, so only a call
    // already under way can remain.
    waitWhileRunning(lock, [&] {
        return running_ == vi &&
               (handler == VI_ANY_HNDLR || (runningHandler_.fn == handler && runningHandler_.user == user));
    });
    return VI_SUCCESS;
}

void EventHub::closeSession(ViSession vi)
{
    std::unique_lock<std::mutex> lock(m_);
    if (SessionEvents *s = find(vi)) {
        s->queueOn = s->handlerOn = s->suspendOn = false;
        updateSubscription(*s);
        states_.erase(vi);
        queueCv_.notify_all();
    }
    waitWhileRunning(lock, [&] { return running_ == vi; });
}

void EventHub::raise(Instrument &instrument, ViUInt32 data)
{
    std::lock_guard<std::mutex> g(m_);
    InterruptEvent ev{++instrument.interruptSequence_, data};
    bool queued = false, work = false;
    for (ViSession vi : instrument.subscribers_) {
        SessionEvents *s = find(vi);
        if (!s)
            continue;
        if (s->queueOn) {
            s->queue.push(ev); // a full queue drops the newest event, as VISA does
            queued = true;
        }
        if (s->handlerOn) {
            if (deliveries_.push(Delivery{vi, s->epoch, ev}))
                work = true;
            else
                ++lost_;
        } else if (s->suspendOn)
            s->suspended.push(ev);
    }
    if (queued)
        queueCv_.notify_all();
    if (work)
        workCv_.notify_one();
}

ViStatus EventHub::flush(ViUInt32 timeoutMs)
{
    const int64_t ns = platform::scaledTimeoutNs(timeoutMs);
    std::unique_lock<std::mutex> lock(m_);
    auto idle = [&] { return deliveries_.empty() && running_ == 0; };
    if (ns < 0) {
        idleCv_.wait(lock, idle);
        return VI_SUCCESS;
    }
    return idleCv_.wait_for(lock, std::chrono::nanoseconds(ns), idle) ? VI_SUCCESS : VI_ERROR_TMO;
}

void EventHub::run()
{
    callbackThreadId_ = platform::currentThreadId();
    std::unique_lock<std::mutex> lock(m_);
    Handler local[kMaxHandlers];
    for (;;) {
        Delivery d;
        while (!stop_ && !deliveries_.pop(d)) {
            idleCv_.notify_all();
            workCv_.wait(lock);
        }
        if (stop_)
            break;
        SessionEvents *s = find(d.vi);
        if (!s || !s->handlerOn || s->epoch != d.epoch)
            continue;
        // The most recently installed handler runs first. The list is copied
        // so that handlers may install and uninstall; each one is checked
        // again before it is called.
        const size_t n = s->handlers.size();
        std::copy(s->handlers.begin(), s->handlers.end(), local);
        for (size_t i = n; i-- > 0;) {
            s = find(d.vi);
            if (!s || !s->handlerOn || s->epoch != d.epoch)
                break;
            const Handler h = local[i];
            if (std::find_if(s->handlers.begin(), s->handlers.end(),
                             [&](const Handler &e) { return e.fn == h.fn && e.user == h.user; }) == s->handlers.end())
                continue;
            running_ = d.vi;
            runningHandler_ = h;
            lock.unlock();
            ViEvent context = makeContext_(d.vi, d.event);
            ViStatus r = h.fn(d.vi, VI_EVENT_PXI_INTR, context, h.user);
            lock.lock();
            running_ = 0;
            runningHandler_ = Handler{};
            idleCv_.notify_all();
            if (r == VI_SUCCESS_NCHAIN)
                break;
        }
    }
    running_ = 0;
    idleCv_.notify_all();
}

} // namespace tq::sim
