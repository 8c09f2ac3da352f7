#include "library.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <strings.h>

#include "formatted.h"
#include "rsrcexpr.h"
#include "tq/platform/debug.h"
#include "tq/platform/env.h"

namespace tq::sim {

namespace {

constexpr const char *kResmanName = "visa::resman";

void copyText(char *out, const std::string &text)
{
    if (!out)
        return;
    size_t n = text.size() < VI_FIND_BUFLEN - 1 ? text.size() : VI_FIND_BUFLEN - 1;
    memcpy(out, text.data(), n);
    out[n] = '\0';
}

} // namespace

Library &Library::instance()
{
    static Library library;
    return library;
}

Library::Library()
    : events_([this](ViSession session, const InterruptEvent &event) { return handlerContext(session, event); })
{
    auto ctx = std::make_unique<Object>();
    ctx->kind = Object::Kind::Event;
    ctx->eventType = VI_EVENT_PXI_INTR;
    handlerContext_ = addObject(std::move(ctx));
    loadInventoryOnce();
}

Library::~Library() = default;

void Library::loadInventoryOnce()
{
    if (inventoryLoaded_)
        return;
    inventoryLoaded_ = true;
    if (auto path = platform::getEnv("TQ_SIM_VISA"); path && !path->empty())
        loadInventory(*path);
}

ViSession Library::nextValue()
{
    // Values stay below the range of the platform handle tables (bit 30) and
    // are not reused while the process lives, so a stale value is refused.
    ViSession v = nextValue_++;
    if (nextValue_ >= 0x40000000u)
        nextValue_ = 0x100;
    return v;
}

ViSession Library::addObject(std::unique_ptr<Object> o)
{
    ViSession v = nextValue();
    if (o->kind == Object::Kind::Instrument) {
        // An instrument session takes a value whose register slot is free,
        // while there is one: its register access then skips the library lock.
        for (size_t tries = 1; tries < RegisterSessions::kSlots && !registerSessions_.slotFree(v); ++tries)
            v = nextValue();
        if (registerSessions_.slotFree(v))
            registerSessions_.add(v, *o->instrument);
    }
    o->value = v;
    if (o->kind == Object::Kind::ResourceManager)
        o->owner = v;
    objects_[v] = std::move(o);
    return v;
}

Object *Library::find(ViObject vi)
{
    auto it = objects_.find(vi);
    return it == objects_.end() ? nullptr : it->second.get();
}

bool Library::knows(ViObject vi)
{
    std::lock_guard<std::mutex> g(m_);
    return find(vi) != nullptr;
}

ViUInt32 Library::openObjectCount()
{
    std::lock_guard<std::mutex> g(m_);
    return static_cast<ViUInt32>(objects_.size() - 1); // the handler context always exists
}

std::shared_ptr<Instrument> Library::lookupInstrument(const std::string &name)
{
    for (const auto &inst : instruments_)
        if (inst->matchesAlias(name))
            return inst;
    ResourceName r;
    if (parseResourceName(name, r) != VI_SUCCESS || r.kind != ResourceName::Kind::Instrument)
        return nullptr;
    for (const auto &inst : instruments_) {
        const InstrumentConfig &c = inst->config();
        if (c.function != r.function)
            continue;
        if (r.bus >= 0 ? (c.bus == r.bus && c.device == r.device) : (c.chassis == r.chassis && c.slot == r.slot))
            return inst;
    }
    return nullptr;
}

std::shared_ptr<Instrument> Library::instrument(const std::string &name)
{
    std::lock_guard<std::mutex> g(m_);
    return lookupInstrument(name);
}

std::shared_ptr<SerialPort> Library::lookupPort(const std::string &name)
{
    for (const auto &port : ports_)
        if (port->matchesAlias(name))
            return port;
    ResourceName r;
    if (parseResourceName(name, r) != VI_SUCCESS || r.kind != ResourceName::Kind::Serial)
        return nullptr;
    for (const auto &port : ports_)
        if (port->board() == r.interfaceNumber)
            return port;
    return nullptr;
}

std::shared_ptr<SerialPort> Library::serialPort(const std::string &name)
{
    std::lock_guard<std::mutex> g(m_);
    return lookupPort(name);
}

bool Library::isResman(const std::string &name) const
{
    return strcasecmp(name.c_str(), kResmanName) == 0;
}

ViStatus Library::resolve(const std::string &name, Resolved &r)
{
    r = Resolved{};
    if (isResman(name)) {
        r.resman = resman_.present;
        return resman_.present ? VI_SUCCESS : VI_ERROR_RSRC_NFOUND;
    }
    for (const auto &i : instruments_)
        if (i->matchesAlias(name)) {
            r.inst = i;
            r.parsed.bus = i->config().bus;
            r.parsed.device = i->config().device;
            r.parsed.function = i->config().function;
            r.parsed.interfaceNumber = static_cast<ViUInt16>(i->config().bus);
            return VI_SUCCESS;
        }
    for (const auto &port : ports_)
        if (port->matchesAlias(name)) {
            r.port = port;
            r.parsed.kind = ResourceName::Kind::Serial;
            r.parsed.interfaceNumber = port->board();
            return VI_SUCCESS;
        }
    ViStatus status = parseResourceName(name, r.parsed);
    if (status == VI_ERROR_INV_RSRC_NAME && name.find("::") == std::string::npos)
        return VI_ERROR_RSRC_NFOUND; // could have been an alias
    if (status != VI_SUCCESS || r.parsed.kind == ResourceName::Kind::MemoryAccess)
        return status;
    if (r.parsed.kind == ResourceName::Kind::Serial)
        r.port = lookupPort(name);
    else
        r.inst = lookupInstrument(name);
    return VI_SUCCESS;
}

// ---------------------------------------------------------------------------
// Sessions

ViStatus Library::openDefaultRM(ViSession *vi)
{
    if (!vi)
        return VI_ERROR_INV_PARAMETER;
    std::lock_guard<std::mutex> g(m_);
    auto rm = std::make_unique<Object>();
    rm->kind = Object::Kind::ResourceManager;
    *vi = addObject(std::move(rm));
    return VI_SUCCESS;
}

ViStatus Library::open(ViSession rm, const char *name, ViAccessMode mode, ViUInt32, ViSession *vi)
{
    if (vi)
        *vi = VI_NULL;
    std::lock_guard<std::mutex> g(m_);
    Object *r = find(rm);
    if (!r || r->kind != Object::Kind::ResourceManager)
        return VI_ERROR_INV_OBJECT;
    if (!vi || !name)
        return VI_ERROR_INV_PARAMETER;
    if (mode & ~ViAccessMode(VI_EXCLUSIVE_LOCK | VI_SHARED_LOCK | VI_LOAD_CONFIG))
        return VI_ERROR_INV_ACC_MODE;
    Resolved target;
    ViStatus status = resolve(name, target);
    if (status != VI_SUCCESS)
        return status;
    auto o = std::make_unique<Object>();
    o->owner = rm;
    if (target.resman) {
        if (resman_.openStatus < VI_SUCCESS)
            return resman_.openStatus;
        o->kind = Object::Kind::Service;
        o->name = kResmanName;
    } else if (target.parsed.kind == ResourceName::Kind::MemoryAccess) {
        o->kind = Object::Kind::Memory;
        o->interfaceNumber = target.parsed.interfaceNumber;
        o->name = canonicalMemoryName(target.parsed.interfaceNumber);
    } else if (target.parsed.kind == ResourceName::Kind::Serial) {
        if (!target.port)
            return VI_ERROR_RSRC_NFOUND;
        // Whatever the line sent before this session is not its answer.
        target.port->discardInput();
        o->kind = Object::Kind::Serial;
        o->port = target.port;
        o->interfaceNumber = target.port->board();
        o->name = target.port->name();
    } else {
        if (!target.inst)
            return VI_ERROR_RSRC_NFOUND;
        o->kind = Object::Kind::Instrument;
        o->instrument = target.inst;
        o->name = target.inst->name();
    }
    *vi = addObject(std::move(o));
    return VI_SUCCESS;
}

void Library::closeLocked(std::unique_lock<std::mutex> &lock, ViObject vi)
{
    Object *o = find(vi);
    if (!o)
        return;
    const Object::Kind kind = o->kind;
    if (kind == Object::Kind::ResourceManager) {
        std::vector<ViSession> children;
        for (const auto &[v, obj] : objects_)
            if (v != vi && obj->owner == vi && obj->kind != Object::Kind::Event)
                children.push_back(v);
        for (ViSession c : children)
            closeLocked(lock, c);
    } else if (kind == Object::Kind::Instrument) {
        // Handlers may call into the library while they finish.
        lock.unlock();
        events_.closeSession(vi);
        lock.lock();
        std::vector<ViSession> contexts;
        for (const auto &[v, obj] : objects_)
            if (obj->kind == Object::Kind::Event && obj->owner == vi && v != handlerContext_)
                contexts.push_back(v);
        for (ViSession c : contexts)
            objects_.erase(c);
        // Before the session lets go of its instrument.
        registerSessions_.remove(vi);
    } else if (kind == Object::Kind::Memory)
        memory_.freeAll(vi);
    objects_.erase(vi);
}

ViStatus Library::close(ViObject vi)
{
    if (vi == VI_NULL)
        return VI_WARN_NULL_OBJECT;
    std::unique_lock<std::mutex> lock(m_);
    if (!find(vi))
        return VI_ERROR_INV_OBJECT;
    if (vi == handlerContext_)
        return VI_SUCCESS; // a handler's event context closes by itself
    closeLocked(lock, vi);
    return VI_SUCCESS;
}

ViStatus Library::findRsrc(ViSession rm, const char *expr, ViFindList *list, ViUInt32 *count, char *desc)
{
    if (list)
        *list = VI_NULL;
    if (count)
        *count = 0;
    std::lock_guard<std::mutex> g(m_);
    Object *r = find(rm);
    if (!r || r->kind != Object::Kind::ResourceManager)
        return VI_ERROR_INV_OBJECT;
    if (!expr)
        return VI_ERROR_INV_EXPR;
    ResourceExpression e;
    ViStatus status = e.compile(expr);
    if (status != VI_SUCCESS)
        return status;
    std::vector<std::string> found;
    for (const auto &inst : instruments_) {
        if (!e.matchesName(inst->name()))
            continue;
        if (e.matchesAttributes([&](ViAttr a, AttributeValue &v) { return instrumentAttribute(*inst, a, v); }))
            found.push_back(inst->name());
    }
    for (const auto &port : ports_) {
        if (!e.matchesName(port->name()))
            continue;
        Object o;
        o.kind = Object::Kind::Serial;
        o.port = port;
        o.name = port->name();
        o.interfaceNumber = port->board();
        if (e.matchesAttributes([&](ViAttr a, AttributeValue &v) { return objectAttribute(o, a, v); }))
            found.push_back(port->name());
    }
    if (resman_.present && e.matchesName(kResmanName) && !e.hasAttributeClause())
        found.push_back(kResmanName);
    const std::string memacc = canonicalMemoryName(0);
    if (e.matchesName(memacc) && e.matchesAttributes([&](ViAttr a, AttributeValue &v) {
            Object o;
            o.kind = Object::Kind::Memory;
            o.name = memacc;
            return objectAttribute(o, a, v);
        }))
        found.push_back(memacc);
    if (found.empty())
        return VI_ERROR_RSRC_NFOUND;
    copyText(desc, found.front());
    if (count)
        *count = static_cast<ViUInt32>(found.size());
    if (list) {
        auto o = std::make_unique<Object>();
        o->kind = Object::Kind::FindList;
        o->owner = rm;
        o->found = std::move(found);
        o->next = 1;
        *list = addObject(std::move(o));
    }
    return VI_SUCCESS;
}

ViStatus Library::findNext(ViFindList list, char *desc)
{
    std::lock_guard<std::mutex> g(m_);
    Object *o = find(list);
    if (!o || o->kind != Object::Kind::FindList)
        return VI_ERROR_INV_OBJECT;
    if (o->next >= o->found.size())
        return VI_ERROR_RSRC_NFOUND;
    copyText(desc, o->found[o->next++]);
    return VI_SUCCESS;
}

ViStatus Library::parseRsrc(ViSession rm, const char *name, ViUInt16 *type, ViUInt16 *number, char *cls,
                            char *expanded, char *alias)
{
    std::lock_guard<std::mutex> g(m_);
    Object *r = find(rm);
    if (!r || r->kind != Object::Kind::ResourceManager)
        return VI_ERROR_INV_OBJECT;
    if (!name)
        return VI_ERROR_INV_RSRC_NAME;
    Resolved target;
    ViStatus status = resolve(name, target);
    // A name made for a part of an instrument ("..._IP3", "..._LA0_SLOT3")
    // names nothing VISA has: callers ask in order to tell such names from
    // resource names. viOpen keeps calling it malformed.
    if (status == VI_ERROR_INV_RSRC_NAME && isDerivedResourceName(name))
        return VI_ERROR_RSRC_NFOUND;
    if (status != VI_SUCCESS)
        return status;
    // Only what is present parses: callers tell a device that is gone, or a
    // name they made up for a part of one, by this answer.
    std::string full, aliasText, className = "INSTR";
    ViUInt16 interfaceType = VI_INTF_PXI;
    if (target.resman) {
        full = kResmanName;
        className.clear();
        interfaceType = 0;
    } else if (target.parsed.kind == ResourceName::Kind::MemoryAccess) {
        full = canonicalMemoryName(target.parsed.interfaceNumber);
        className = "MEMACC";
    } else if (target.port) {
        full = target.port->name();
        aliasText = target.port->alias();
        interfaceType = VI_INTF_ASRL;
    } else if (target.inst) {
        full = target.inst->name();
        aliasText = target.inst->config().alias;
    } else
        return VI_ERROR_RSRC_NFOUND;
    if (type)
        *type = interfaceType;
    if (number)
        *number = target.parsed.interfaceNumber;
    copyText(cls, className);
    copyText(expanded, full);
    copyText(alias, aliasText);
    return VI_SUCCESS;
}

ViStatus Library::getAttribute(ViObject vi, ViAttr attr, void *value)
{
    std::lock_guard<std::mutex> g(m_);
    Object *o = find(vi);
    if (!o)
        return VI_ERROR_INV_OBJECT;
    return getObjectAttribute(*o, attr, value);
}

ViStatus Library::setAttribute(ViObject vi, ViAttr attr, ViAttrState value)
{
    std::lock_guard<std::mutex> g(m_);
    Object *o = find(vi);
    if (!o)
        return VI_ERROR_INV_OBJECT;
    return setObjectAttribute(*o, attr, value);
}

// ---------------------------------------------------------------------------
// Registers

std::shared_ptr<Instrument> Library::instrumentSession(ViSession vi, ViStatus &status, Increments *increments)
{
    std::lock_guard<std::mutex> g(m_);
    Object *o = find(vi);
    if (!o) {
        status = VI_ERROR_INV_OBJECT;
        return nullptr;
    }
    if (o->kind != Object::Kind::Instrument) {
        status = VI_ERROR_NSUP_OPER;
        return nullptr;
    }
    if (increments)
        *increments = Increments{o->srcIncrement, o->destIncrement};
    status = VI_SUCCESS;
    return o->instrument;
}

ViStatus Library::in(ViSession vi, ViUInt16 space, ViBusAddress offset, unsigned width, ViUInt32 &value)
{
    ViStatus status;
    if (registerSessions_.withInstrument(
            vi, [&](Instrument &inst) { status = inst.accessLocked(false, space, offset, width, value); }))
        return status;
    auto inst = instrumentSession(vi, status);
    return inst ? inst->access(false, space, offset, width, value) : status;
}

ViStatus Library::out(ViSession vi, ViUInt16 space, ViBusAddress offset, unsigned width, ViUInt32 value)
{
    ViStatus status;
    if (registerSessions_.withInstrument(
            vi, [&](Instrument &inst) { status = inst.accessLocked(true, space, offset, width, value); }))
        return status;
    auto inst = instrumentSession(vi, status);
    return inst ? inst->access(true, space, offset, width, value) : status;
}

ViStatus Library::moveIn(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count, unsigned width,
                         void *buf)
{
    ViStatus found;
    Increments increments;
    std::shared_ptr<Instrument> inst = instrumentSession(vi, found, &increments);
    if (!inst)
        return found;
    const ViInt32 increment = increments.source;
    if (count && !buf)
        return VI_ERROR_USER_BUF;
    for (ViBusSize i = 0; i < count; ++i) {
        ViUInt32 v = 0;
        ViStatus status = inst->access(false, space, offset + (increment ? i * width : 0), width, v);
        if (status < VI_SUCCESS)
            return status;
        uint8_t *p = static_cast<uint8_t *>(buf) + i * width;
        if (width == 1)
            *p = static_cast<uint8_t>(v);
        else if (width == 2) {
            uint16_t h = static_cast<uint16_t>(v);
            memcpy(p, &h, 2);
        } else
            memcpy(p, &v, 4);
    }
    return VI_SUCCESS;
}

ViStatus Library::moveOut(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count, unsigned width,
                          const void *buf)
{
    ViStatus found;
    Increments increments;
    std::shared_ptr<Instrument> inst = instrumentSession(vi, found, &increments);
    if (!inst)
        return found;
    const ViInt32 increment = increments.destination;
    if (count && !buf)
        return VI_ERROR_USER_BUF;
    for (ViBusSize i = 0; i < count; ++i) {
        const uint8_t *p = static_cast<const uint8_t *>(buf) + i * width;
        ViUInt32 v = 0;
        if (width == 1)
            v = *p;
        else if (width == 2) {
            uint16_t h;
            memcpy(&h, p, 2);
            v = h;
        } else
            memcpy(&v, p, 4);
        ViStatus status = inst->access(true, space, offset + (increment ? i * width : 0), width, v);
        if (status < VI_SUCCESS)
            return status;
    }
    return VI_SUCCESS;
}

// ---------------------------------------------------------------------------
// DMA memory

ViStatus Library::memAlloc(ViSession vi, ViBusSize size, ViBusAddress *offset)
{
    std::lock_guard<std::mutex> g(m_);
    Object *o = find(vi);
    if (!o)
        return VI_ERROR_INV_OBJECT;
    if (o->kind != Object::Kind::Memory)
        return VI_ERROR_NSUP_OPER;
    if (!offset)
        return VI_ERROR_INV_PARAMETER;
    return memory_.allocate(vi, size, *offset);
}

ViStatus Library::memFree(ViSession vi, ViBusAddress offset)
{
    std::lock_guard<std::mutex> g(m_);
    Object *o = find(vi);
    if (!o)
        return VI_ERROR_INV_OBJECT;
    if (o->kind != Object::Kind::Memory)
        return VI_ERROR_NSUP_OPER;
    // The block under this session's window stays until the window is unmapped.
    if (o->mapped && o->windowBase >= offset && o->windowBase - offset < memory_.blockSize(offset))
        return VI_ERROR_WINDOW_MAPPED;
    return memory_.free(vi, offset);
}

ViStatus Library::mapAddress(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize size, ViBoolean access,
                             ViAddr, ViAddr *address)
{
    std::lock_guard<std::mutex> g(m_);
    Object *o = find(vi);
    if (!o)
        return VI_ERROR_INV_OBJECT;
    if (o->kind != Object::Kind::Memory)
        return VI_ERROR_NSUP_OPER;
    if (!address)
        return VI_ERROR_INV_PARAMETER;
    if (space != VI_PXI_ALLOC_SPACE)
        return VI_ERROR_INV_SPACE;
    if (access != VI_FALSE)
        return VI_ERROR_INV_ACC_MODE;
    if (o->mapped)
        return VI_ERROR_WINDOW_MAPPED;
    if (size == 0)
        return VI_ERROR_INV_SIZE;
    void *host = memory_.hostAddress(offset, size);
    if (!host)
        return VI_ERROR_INV_OFFSET;
    o->mapped = true;
    o->windowSpace = space;
    o->windowBase = offset;
    o->windowSize = size;
    *address = host;
    return VI_SUCCESS;
}

ViStatus Library::unmapAddress(ViSession vi)
{
    std::lock_guard<std::mutex> g(m_);
    Object *o = find(vi);
    if (!o)
        return VI_ERROR_INV_OBJECT;
    if (o->kind != Object::Kind::Memory)
        return VI_ERROR_NSUP_OPER;
    if (!o->mapped)
        return VI_ERROR_WINDOW_NMAPPED;
    o->mapped = false;
    o->windowBase = o->windowSize = 0;
    return VI_SUCCESS;
}

// ---------------------------------------------------------------------------
// Events

ViStatus Library::eventSession(ViSession vi, std::shared_ptr<Instrument> &inst, ViUInt32 *queueLength)
{
    inst.reset();
    std::lock_guard<std::mutex> g(m_);
    Object *o = find(vi);
    if (!o)
        return VI_ERROR_INV_OBJECT;
    switch (o->kind) {
    case Object::Kind::Instrument:
        inst = o->instrument;
        if (queueLength)
            *queueLength = o->maxQueueLength;
        return VI_SUCCESS;
    case Object::Kind::Serial:
    case Object::Kind::Memory:
    case Object::Kind::Service:
    case Object::Kind::ResourceManager:
        return VI_SUCCESS;
    default:
        return VI_ERROR_INV_EVENT;
    }
}

namespace {

// Disabling or discarding on a session that supports no event: "all enabled
// events" names none there, which is no error. Clients switch events off
// that way on every session they close.
ViStatus noEventToStop(ViEventType type, ViUInt16 mechanism, ViStatus nothingDone)
{
    if (type != VI_ALL_ENABLED_EVENTS)
        return VI_ERROR_INV_EVENT;
    if (!EventHub::mechanismsToStop(mechanism))
        return VI_ERROR_INV_MECH;
    return nothingDone;
}

} // namespace

ViStatus Library::enableEvent(ViSession vi, ViEventType type, ViUInt16 mechanism, ViEventFilter context)
{
    std::shared_ptr<Instrument> inst;
    ViUInt32 queueLength = 50;
    ViStatus status = eventSession(vi, inst, &queueLength);
    if (status != VI_SUCCESS)
        return status;
    if (!inst)
        return VI_ERROR_INV_EVENT;
    if (context != VI_NULL)
        return VI_ERROR_INV_CONTEXT;
    return events_.enable(vi, *inst, type, mechanism, queueLength);
}

ViStatus Library::disableEvent(ViSession vi, ViEventType type, ViUInt16 mechanism)
{
    std::shared_ptr<Instrument> inst;
    ViStatus status = eventSession(vi, inst);
    if (status != VI_SUCCESS)
        return status;
    if (!inst)
        return noEventToStop(type, mechanism, VI_SUCCESS_EVENT_DIS);
    return events_.disable(vi, type, mechanism);
}

ViStatus Library::discardEvents(ViSession vi, ViEventType type, ViUInt16 mechanism)
{
    std::shared_ptr<Instrument> inst;
    ViStatus status = eventSession(vi, inst);
    if (status != VI_SUCCESS)
        return status;
    if (!inst)
        return noEventToStop(type, mechanism, VI_SUCCESS_QUEUE_EMPTY);
    return events_.discard(vi, type, mechanism);
}

ViStatus Library::waitOnEvent(ViSession vi, ViEventType type, ViUInt32 timeout, ViEventType *outType,
                              ViEvent *outContext)
{
    if (outType)
        *outType = 0;
    if (outContext)
        *outContext = VI_NULL;
    ViStatus status;
    if (!instrumentSession(vi, status))
        return status == VI_ERROR_NSUP_OPER ? VI_ERROR_INV_EVENT : status;
    InterruptEvent ev;
    status = events_.wait(vi, type, timeout, ev);
    if (status < VI_SUCCESS)
        return status;
    if (outType)
        *outType = VI_EVENT_PXI_INTR;
    if (outContext) {
        std::lock_guard<std::mutex> g(m_);
        if (!find(vi))
            return VI_ERROR_INV_OBJECT; // closed meanwhile
        auto o = std::make_unique<Object>();
        o->kind = Object::Kind::Event;
        o->owner = vi;
        o->eventType = VI_EVENT_PXI_INTR;
        o->event = ev;
        *outContext = addObject(std::move(o));
    }
    return status;
}

ViStatus Library::installHandler(ViSession vi, ViEventType type, ViHndlr handler, ViAddr user)
{
    ViStatus status;
    auto inst = instrumentSession(vi, status);
    if (!inst)
        return status == VI_ERROR_NSUP_OPER ? VI_ERROR_INV_EVENT : status;
    return events_.install(vi, *inst, type, handler, user);
}

ViStatus Library::uninstallHandler(ViSession vi, ViEventType type, ViHndlr handler, ViAddr user)
{
    ViStatus status;
    if (!instrumentSession(vi, status))
        return status == VI_ERROR_NSUP_OPER ? VI_ERROR_INV_EVENT : status;
    return events_.uninstall(vi, type, handler, user);
}

ViEvent Library::handlerContext(ViSession session, const InterruptEvent &event)
{
    std::lock_guard<std::mutex> g(m_);
    if (Object *o = find(handlerContext_)) {
        o->owner = session;
        o->event = event;
    }
    return handlerContext_;
}

// ---------------------------------------------------------------------------
// Message-based I/O

ViStatus Library::serialSession(ViSession vi, SerialSession &s)
{
    std::lock_guard<std::mutex> g(m_);
    Object *o = find(vi);
    if (!o)
        return VI_ERROR_INV_OBJECT;
    if (o->kind != Object::Kind::Serial)
        return VI_ERROR_NSUP_OPER;
    s.port = o->port;
    s.timeout = o->timeout;
    s.useTermChar = o->termCharEnabled || o->endIn == VI_ASRL_END_TERMCHAR;
    s.termChar = o->termChar;
    return VI_SUCCESS;
}

ViStatus Library::write(ViSession vi, const ViByte *buf, ViUInt32 count, ViUInt32 *retCount)
{
    if (retCount)
        *retCount = 0;
    std::shared_ptr<SerialPort> port;
    {
        std::lock_guard<std::mutex> g(m_);
        Object *o = find(vi);
        if (!o)
            return VI_ERROR_INV_OBJECT;
        if (o->kind != Object::Kind::Serial && o->kind != Object::Kind::Service)
            return VI_ERROR_NSUP_OPER;
        if (!buf && count)
            return VI_ERROR_USER_BUF;
        if (o->kind == Object::Kind::Service) {
            if (!resman_.present)
                return VI_ERROR_CONN_LOST;
            if (resman_.writeStatus < VI_SUCCESS)
                return resman_.writeStatus;
            // Bounded: a caller writing in a loop cannot grow it without end.
            if (resman_.log.size() < (1u << 16)) {
                resman_.log.append(reinterpret_cast<const char *>(buf), count);
                resman_.log += '\n';
            }
            if (retCount)
                *retCount = count;
            return VI_SUCCESS;
        }
        port = o->port;
    }
    ViStatus status = port->write(buf, count);
    if (status >= VI_SUCCESS && retCount)
        *retCount = count;
    return status;
}

ViStatus Library::read(ViSession vi, ViByte *buf, ViUInt32 count, ViUInt32 *retCount)
{
    if (retCount)
        *retCount = 0;
    SerialSession s;
    ViStatus status = serialSession(vi, s);
    if (status != VI_SUCCESS)
        return status;
    if (!buf && count)
        return VI_ERROR_USER_BUF;
    size_t got = 0;
    status = s.port->read(buf, count, got, s.timeout, s.useTermChar, s.termChar);
    if (retCount)
        *retCount = static_cast<ViUInt32>(got);
    return status;
}

ViStatus Library::clear(ViSession vi)
{
    SerialSession s;
    ViStatus status = serialSession(vi, s);
    if (status != VI_SUCCESS)
        return status;
    s.port->discardInput();
    return VI_SUCCESS;
}

ViStatus Library::readMessage(const SerialSession &s, std::string &message)
{
    // One message: up to the termination character, read as often as the
    // chunk fills. Without a termination character nothing ends it but the
    // time-out, as on a real line.
    constexpr size_t kChunk = 256;
    constexpr size_t kMaxMessage = 1 << 20;
    ViByte chunk[kChunk];
    for (;;) {
        size_t got = 0;
        ViStatus status = s.port->read(chunk, kChunk, got, s.timeout, s.useTermChar, s.termChar);
        if (status < VI_SUCCESS)
            return status;
        message.append(reinterpret_cast<const char *>(chunk), got);
        if (status != VI_SUCCESS_MAX_CNT || message.size() >= kMaxMessage)
            return VI_SUCCESS;
    }
}

ViStatus Library::formatted(ViSession vi, const char *writeFormat, const char *readFormat, va_list *args)
{
    // Both formats are checked before anything goes out: a request whose
    // answer could not be read is not sent.
    ViStatus status = VI_SUCCESS;
    if (writeFormat && (status = checkWriteFormat(writeFormat)) != VI_SUCCESS)
        return status;
    if (readFormat && (status = checkReadFormat(readFormat)) != VI_SUCCESS)
        return status;
    if (!knows(vi))
        return VI_ERROR_INV_OBJECT;
    if (writeFormat) {
        std::string text;
        status = formatWrite(writeFormat, args, text);
        if (status != VI_SUCCESS)
            return status;
        status = write(vi, reinterpret_cast<const ViByte *>(text.data()), static_cast<ViUInt32>(text.size()),
                       nullptr);
        if (status < VI_SUCCESS)
            return status;
    }
    if (!readFormat)
        return VI_SUCCESS;
    SerialSession s;
    status = serialSession(vi, s);
    if (status != VI_SUCCESS)
        return status;
    std::string message;
    status = readMessage(s, message);
    if (status < VI_SUCCESS)
        return status;
    return scanRead(readFormat, args, message);
}

// ---------------------------------------------------------------------------
// Test control

void Library::reset()
{
    std::unique_lock<std::mutex> lock(m_);
    // Resource managers first: they take their sessions with them.
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<ViSession> all;
        for (const auto &[v, obj] : objects_)
            if (v != handlerContext_ && (pass == 1 || obj->kind == Object::Kind::ResourceManager))
                all.push_back(v);
        for (ViSession v : all)
            closeLocked(lock, v);
    }
    std::vector<std::shared_ptr<Instrument>> gone;
    gone.swap(instruments_);
    std::vector<std::shared_ptr<SerialPort>> goneSerial;
    goneSerial.swap(ports_);
    resman_ = Resman{};
    lock.unlock();
    for (auto &inst : gone)
        inst->remove();
    for (auto &port : goneSerial)
        port->remove();
    memory_.clear();
    events_.clearCounters();
}

ViStatus Library::addInstrument(const std::string &name, const std::string &settings)
{
    if (isResman(name))
        return configureResman(settings, true);
    ResourceName r;
    if (parseResourceName(name, r) == VI_SUCCESS && r.kind == ResourceName::Kind::Serial)
        return addSerialPort(r, settings);
    if (parseResourceName(name, r) != VI_SUCCESS || r.kind != ResourceName::Kind::Instrument || r.bus < 0)
        return VI_ERROR_INV_RSRC_NAME;
    InstrumentConfig config;
    config.bus = r.bus;
    config.device = r.device;
    config.function = r.function;
    config.slot = r.device;
    std::string error;
    if (!parseInstrumentSettings(settings, config, error)) {
        platform::debugPrintf("simvisa: %s: %s\n", name.c_str(), error.c_str());
        return VI_ERROR_INV_SETUP;
    }
    std::lock_guard<std::mutex> g(m_);
    for (const auto &inst : instruments_) {
        const InstrumentConfig &c = inst->config();
        if (c.bus == config.bus && c.device == config.device && c.function == config.function)
            return VI_ERROR_RSRC_BUSY;
        if (!config.alias.empty() && inst->matchesAlias(config.alias)) {
            platform::debugPrintf("simvisa: %s: alias %s is taken\n", name.c_str(), config.alias.c_str());
            return VI_ERROR_INV_SETUP;
        }
    }
    for (const auto &port : ports_)
        if (!config.alias.empty() && port->matchesAlias(config.alias)) {
            platform::debugPrintf("simvisa: %s: alias %s is taken\n", name.c_str(), config.alias.c_str());
            return VI_ERROR_INV_SETUP;
        }
    auto inst = Instrument::create(canonicalInstrumentName(r.bus, r.device, r.function), config, events_, memory_,
                                   error);
    if (!inst) {
        platform::debugPrintf("simvisa: %s: %s\n", name.c_str(), error.c_str());
        return VI_ERROR_INV_SETUP;
    }
    instruments_.push_back(std::move(inst));
    return VI_SUCCESS;
}

ViStatus Library::addSerialPort(const ResourceName &r, const std::string &settings)
{
    const std::string name = canonicalSerialName(r.interfaceNumber);
    InstrumentConfig config;
    std::string error;
    if (!parseInstrumentSettings(settings, config, error)) {
        platform::debugPrintf("simvisa: %s: %s\n", name.c_str(), error.c_str());
        return VI_ERROR_INV_SETUP;
    }
    auto port = SerialPort::create(r.interfaceNumber, config, error);
    if (!port) {
        platform::debugPrintf("simvisa: %s: %s\n", name.c_str(), error.c_str());
        return VI_ERROR_INV_SETUP;
    }
    std::lock_guard<std::mutex> g(m_);
    for (const auto &p : ports_)
        if (p->board() == r.interfaceNumber)
            return VI_ERROR_RSRC_BUSY;
    if (!config.alias.empty()) {
        bool taken = lookupInstrument(config.alias) || lookupPort(config.alias);
        if (taken) {
            platform::debugPrintf("simvisa: %s: alias %s is taken\n", name.c_str(), config.alias.c_str());
            return VI_ERROR_INV_SETUP;
        }
    }
    ports_.push_back(std::move(port));
    return VI_SUCCESS;
}

ViStatus Library::configureResman(const std::string &settings, bool present)
{
    InstrumentConfig config;
    std::string error;
    if (!parseInstrumentSettings(settings, config, error))
        return VI_ERROR_INV_SETUP;
    ViStatus openStatus = VI_SUCCESS, writeStatus = VI_SUCCESS;
    for (const auto &[key, value] : config.boardSettings) {
        uint64_t n = 0;
        const bool open = !strcasecmp(key.c_str(), "failopen");
        if ((!open && strcasecmp(key.c_str(), "failwrite")) || !readSettingNumber(value, 0xFFFFFFFFu, n)) {
            platform::debugPrintf("simvisa: %s: does not take %s = %s\n", kResmanName, key.c_str(), value.c_str());
            return VI_ERROR_INV_SETUP;
        }
        (open ? openStatus : writeStatus) = static_cast<ViStatus>(static_cast<uint32_t>(n));
    }
    std::lock_guard<std::mutex> g(m_);
    if (!present && !resman_.present)
        return VI_ERROR_RSRC_NFOUND;
    resman_.present = true;
    resman_.openStatus = openStatus;
    resman_.writeStatus = writeStatus;
    return VI_SUCCESS;
}

bool Library::resmanLog(std::string &log)
{
    std::lock_guard<std::mutex> g(m_);
    log = resman_.log;
    return resman_.present;
}

ViStatus Library::clearResmanLog()
{
    std::lock_guard<std::mutex> g(m_);
    if (!resman_.present)
        return VI_ERROR_RSRC_NFOUND;
    resman_.log.clear();
    return VI_SUCCESS;
}

ViStatus Library::failResman(ViStatus openStatus, ViStatus writeStatus)
{
    std::lock_guard<std::mutex> g(m_);
    if (!resman_.present)
        return VI_ERROR_RSRC_NFOUND;
    resman_.openStatus = openStatus;
    resman_.writeStatus = writeStatus;
    return VI_SUCCESS;
}

ViStatus Library::removeInstrument(const std::string &name)
{
    {
        std::lock_guard<std::mutex> g(m_);
        if (isResman(name)) {
            if (!resman_.present)
                return VI_ERROR_RSRC_NFOUND;
            resman_ = Resman{};
            return VI_SUCCESS;
        }
    }
    std::shared_ptr<SerialPort> port;
    {
        std::lock_guard<std::mutex> g(m_);
        port = lookupPort(name);
        if (port)
            ports_.erase(std::find(ports_.begin(), ports_.end(), port));
    }
    if (port) {
        port->remove();
        return VI_SUCCESS;
    }
    std::shared_ptr<Instrument> inst;
    {
        std::lock_guard<std::mutex> g(m_);
        inst = lookupInstrument(name);
        if (!inst)
            return VI_ERROR_RSRC_NFOUND;
        instruments_.erase(std::find(instruments_.begin(), instruments_.end(), inst));
    }
    inst->remove();
    return VI_SUCCESS;
}

ViStatus Library::loadInventory(const std::string &path)
{
    std::ifstream in(path);
    if (!in)
        return VI_ERROR_FILE_ACCESS;
    std::string line, section, settings;
    int lineNo = 0, sectionLine = 0;
    auto flush = [&]() -> ViStatus {
        // USB devices share the inventory; the simulated USB library reads them.
        if (section.empty() || strncasecmp(section.c_str(), "usb", 3) == 0)
            return VI_SUCCESS;
        ViStatus s = addInstrument(section, settings);
        if (s != VI_SUCCESS)
            platform::debugPrintf("simvisa: %s:%d: instrument %s not added (%#x)\n", path.c_str(), sectionLine,
                                  section.c_str(), static_cast<uint32_t>(s));
        return s;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t b = line.find_first_not_of(" \t");
        if (b == std::string::npos || line[b] == '#')
            continue;
        if (line[b] == '[') {
            size_t e = line.find(']', b);
            if (e == std::string::npos) {
                platform::debugPrintf("simvisa: %s:%d: unclosed section name\n", path.c_str(), lineNo);
                return VI_ERROR_INV_SETUP;
            }
            ViStatus s = flush();
            if (s != VI_SUCCESS)
                return VI_ERROR_INV_SETUP;
            section = line.substr(b + 1, e - b - 1);
            sectionLine = lineNo;
            settings.clear();
            continue;
        }
        if (section.empty()) {
            platform::debugPrintf("simvisa: %s:%d: setting outside a section\n", path.c_str(), lineNo);
            return VI_ERROR_INV_SETUP;
        }
        settings += line;
        settings += '\n';
    }
    return flush() == VI_SUCCESS ? VI_SUCCESS : VI_ERROR_INV_SETUP;
}

} // namespace tq::sim
