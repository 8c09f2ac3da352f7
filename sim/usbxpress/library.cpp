// The simulated USB library: the calls of tq/usbxpress.h over simulated
// model 176 devices, and the test control of tq/simusb.h.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <strings.h>

#include "device176.h"
#include "tq/platform/debug.h"
#include "tq/platform/env.h"
#include "tq/platform/thread.h"

namespace tq::sim::usb
{

namespace
{

constexpr uint32_t kDefaultTimeoutMs = 1000;

struct Handle {
    std::shared_ptr<Device176> device;
    std::deque<Packet> rx;
    bool unplugged = false;
};

class Library
{
  public:
    static Library &instance()
    {
        static Library library;
        return library;
    }

    std::mutex m;
    std::condition_variable arrived;
    std::vector<std::shared_ptr<Device176>> devices; // the device list, in plug-in order
    std::map<uintptr_t, Handle> handles;
    uintptr_t nextHandle = 0x1000;
    uint32_t readMs = kDefaultTimeoutMs, writeMs = kDefaultTimeoutMs;

    std::shared_ptr<Device176> device(const char *serial)
    {
        if (!serial)
            return nullptr;
        for (auto &d : devices)
            if (d->serial() == serial)
                return d;
        return nullptr;
    }
    Handle *handle(TQUsbHandle h)
    {
        auto it = handles.find(reinterpret_cast<uintptr_t>(h));
        return it == handles.end() ? nullptr : &it->second;
    }

    int addDevice(const std::string &serial, const std::string &settings)
    {
        if (serial.empty() || serial.size() >= TQ_USBX_STRING_SIZE || device(serial.c_str()))
            return -1;
        auto d = std::make_shared<Device176>(serial);
        size_t at = 0;
        while (at <= settings.size()) {
            size_t end = settings.find_first_of(";\n", at);
            if (end == std::string::npos)
                end = settings.size();
            std::string item = settings.substr(at, end - at);
            at = end + 1;
            const size_t b = item.find_first_not_of(" \t\r");
            if (b == std::string::npos || item[b] == '#')
                continue;
            const size_t eq = item.find('=');
            if (eq == std::string::npos)
                return -1;
            auto trim = [](std::string s) {
                const size_t f = s.find_first_not_of(" \t\r"), l = s.find_last_not_of(" \t\r");
                return f == std::string::npos ? std::string() : s.substr(f, l - f + 1);
            };
            if (!d->configure(trim(item.substr(0, eq)), trim(item.substr(eq + 1))))
                return -1;
        }
        devices.push_back(std::move(d));
        return 0;
    }

    int loadInventory(const std::string &path)
    {
        std::ifstream in(path);
        if (!in)
            return -1;
        std::string line, section, settings;
        bool ok = true;
        auto flush = [&] {
            if (section.empty())
                return;
            const size_t cut = section.rfind("::");
            const std::string serial = cut == std::string::npos ? std::string() : section.substr(cut + 2);
            if (addDevice(serial, settings) != 0) {
                platform::debugPrintf("simusb: %s: device %s not added\n", path.c_str(), section.c_str());
                ok = false;
            }
            section.clear();
        };
        bool usbSection = false;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const size_t b = line.find_first_not_of(" \t");
            if (b == std::string::npos || line[b] == '#')
                continue;
            if (line[b] == '[') {
                flush();
                const size_t e = line.find(']', b);
                if (e == std::string::npos)
                    return -1;
                const std::string name = line.substr(b + 1, e - b - 1);
                // Sections of other buses belong to the simulated VISA library.
                usbSection = strncasecmp(name.c_str(), "usb", 3) == 0;
                if (usbSection)
                    section = name;
                settings.clear();
                continue;
            }
            if (usbSection) {
                settings += line;
                settings += '\n';
            }
        }
        flush();
        return ok ? 0 : -1;
    }

  private:
    Library()
    {
        if (auto path = platform::getEnv("TQ_SIM_VISA"); path && !path->empty())
            loadInventory(*path);
    }
};

uint64_t nowUs()
{
    return platform::tickUs();
}

// Real time to sleep for a span at the test pace.
std::chrono::microseconds realSpan(uint64_t paceUs)
{
    const double scale = platform::timeScale();
    const double real = static_cast<double>(paceUs) / (scale > 0.0 ? scale : 1.0);
    return std::chrono::microseconds(static_cast<int64_t>(real) + 1);
}

} // namespace

} // namespace tq::sim::usb

using tq::sim::usb::Library;

TQ_API TQUsbStatus SI_GetNumDevices(uint32_t *count)
{
    if (!count)
        return TQ_USBX_BAD_PARAMETER;
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    *count = static_cast<uint32_t>(l.devices.size());
    return TQ_USBX_OK;
}

TQ_API TQUsbStatus SI_GetProductString(uint32_t device, void *buffer, uint32_t option)
{
    if (!buffer || option != TQ_USBX_SERIAL_NUMBER)
        return TQ_USBX_BAD_PARAMETER;
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    if (device >= l.devices.size())
        return TQ_USBX_NO_DEVICE;
    const std::string &serial = l.devices[device]->serial();
    memcpy(buffer, serial.c_str(), serial.size() + 1);
    return TQ_USBX_OK;
}

TQ_API TQUsbStatus SI_Open(uint32_t device, TQUsbHandle *handle)
{
    if (!handle)
        return TQ_USBX_BAD_PARAMETER;
    *handle = nullptr;
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    if (device >= l.devices.size())
        return TQ_USBX_NO_DEVICE;
    auto d = l.devices[device];
    if (d->takeFault(SIMUSB_BUSY_OPEN, 0))
        return TQ_USBX_IO_FAILED;
    const uintptr_t value = l.nextHandle++;
    l.handles[value].device = d;
    *handle = reinterpret_cast<TQUsbHandle>(value);
    return TQ_USBX_OK;
}

TQ_API TQUsbStatus SI_Close(TQUsbHandle handle)
{
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    auto it = l.handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == l.handles.end())
        return TQ_USBX_BAD_HANDLE;
    l.handles.erase(it);
    l.arrived.notify_all();
    return TQ_USBX_OK;
}

TQ_API TQUsbStatus SI_Write(TQUsbHandle handle, const void *buffer, uint32_t count, uint32_t *bytesWritten,
                            void *overlapped)
{
    if (bytesWritten)
        *bytesWritten = 0;
    if (!buffer || !bytesWritten || overlapped)
        return TQ_USBX_BAD_PARAMETER;
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    tq::sim::usb::Handle *h = l.handle(handle);
    if (!h)
        return TQ_USBX_BAD_HANDLE;
    if (h->unplugged)
        return TQ_USBX_IO_FAILED;
    if (const auto *f = h->device->takeFault(SIMUSB_FAIL_WRITE, static_cast<const uint8_t *>(buffer)[0]))
        return static_cast<TQUsbStatus>(f->amount);
    h->device->receive(static_cast<const uint8_t *>(buffer), count, tq::sim::usb::nowUs(), h->rx);
    *bytesWritten = count;
    l.arrived.notify_all();
    return TQ_USBX_OK;
}

TQ_API TQUsbStatus SI_Read(TQUsbHandle handle, void *buffer, uint32_t count, uint32_t *bytesRead, void *overlapped)
{
    if (bytesRead)
        *bytesRead = 0;
    if (!buffer || !bytesRead || overlapped)
        return TQ_USBX_BAD_PARAMETER;
    Library &l = Library::instance();
    std::unique_lock<std::mutex> g(l.m);
    const uint64_t deadline = tq::sim::usb::nowUs() + static_cast<uint64_t>(l.readMs) * 1000;
    auto *out = static_cast<uint8_t *>(buffer);
    for (;;) {
        tq::sim::usb::Handle *h = l.handle(handle);
        if (!h)
            return TQ_USBX_BAD_HANDLE;
        if (h->unplugged)
            return TQ_USBX_IO_FAILED;
        if (const auto *f = h->device->takeFault(SIMUSB_FAIL_READ, 0))
            return static_cast<TQUsbStatus>(f->amount);
        const uint64_t now = tq::sim::usb::nowUs();
        uint32_t n = 0;
        while (n < count && !h->rx.empty() && h->rx.front().readyUs <= now) {
            tq::sim::usb::Packet &p = h->rx.front();
            const uint32_t take = static_cast<uint32_t>(std::min<size_t>(count - n, p.bytes.size()));
            memcpy(out + n, p.bytes.data(), take);
            p.bytes.erase(p.bytes.begin(), p.bytes.begin() + take);
            n += take;
            if (p.bytes.empty())
                h->rx.pop_front();
        }
        if (n > 0 || count == 0) {
            *bytesRead = n;
            return TQ_USBX_OK;
        }
        if (now >= deadline)
            return TQ_USBX_READ_TIMEOUT;
        uint64_t until = deadline;
        if (!h->rx.empty() && h->rx.front().readyUs < until)
            until = h->rx.front().readyUs;
        l.arrived.wait_for(g, tq::sim::usb::realSpan(until - now));
    }
}

TQ_API TQUsbStatus SI_FlushBuffers(TQUsbHandle handle, uint8_t, uint8_t flushReceive)
{
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    tq::sim::usb::Handle *h = l.handle(handle);
    if (!h)
        return TQ_USBX_BAD_HANDLE;
    if (h->unplugged)
        return TQ_USBX_IO_FAILED;
    // Only bytes that have arrived are flushed; a reply still on its way
    // arrives afterwards.
    if (flushReceive) {
        const uint64_t now = tq::sim::usb::nowUs();
        while (!h->rx.empty() && h->rx.front().readyUs <= now)
            h->rx.pop_front();
    }
    return TQ_USBX_OK;
}

TQ_API TQUsbStatus SI_SetTimeouts(uint32_t readMs, uint32_t writeMs)
{
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    l.readMs = readMs;
    l.writeMs = writeMs;
    return TQ_USBX_OK;
}

TQ_API TQUsbStatus SI_GetTimeouts(uint32_t *readMs, uint32_t *writeMs)
{
    if (!readMs || !writeMs)
        return TQ_USBX_BAD_PARAMETER;
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    *readMs = l.readMs;
    *writeMs = l.writeMs;
    return TQ_USBX_OK;
}

TQ_API TQUsbStatus SI_CheckRXQueue(TQUsbHandle handle, uint32_t *bytesQueued, uint32_t *queueStatus)
{
    if (!bytesQueued || !queueStatus)
        return TQ_USBX_BAD_PARAMETER;
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    tq::sim::usb::Handle *h = l.handle(handle);
    if (!h)
        return TQ_USBX_BAD_HANDLE;
    if (h->unplugged)
        return TQ_USBX_IO_FAILED;
    const uint64_t now = tq::sim::usb::nowUs();
    uint32_t n = 0;
    for (const auto &p : h->rx)
        if (p.readyUs <= now)
            n += static_cast<uint32_t>(p.bytes.size());
    *bytesQueued = n;
    *queueStatus = n ? TQ_USBX_RX_READY : TQ_USBX_RX_EMPTY;
    return TQ_USBX_OK;
}

// ---- Test control ------------------------------------------------------------

TQ_API void simusb_reset(void)
{
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    l.devices.clear();
    l.handles.clear();
    l.readMs = l.writeMs = tq::sim::usb::kDefaultTimeoutMs;
    l.arrived.notify_all();
}

TQ_API int simusb_loadInventory(const char *path)
{
    if (!path)
        return -1;
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    return l.loadInventory(path);
}

TQ_API int simusb_addDevice(const char *serial, const char *settings)
{
    if (!serial)
        return -1;
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    return l.addDevice(serial, settings ? settings : "");
}

TQ_API int simusb_unplug(const char *serial)
{
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    auto d = l.device(serial);
    if (!d)
        return -1;
    for (auto &[value, h] : l.handles)
        if (h.device == d)
            h.unplugged = true;
    std::erase(l.devices, d);
    l.arrived.notify_all();
    return 0;
}

TQ_API int simusb_injectFault(const char *serial, int kind, uint32_t amount, uint32_t count, uint8_t command)
{
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    auto d = l.device(serial);
    if (!d || kind < SIMUSB_GARBAGE || kind > SIMUSB_FAIL_READ)
        return -1;
    d->faults.push_back(tq::sim::usb::Fault{kind, amount, count, command});
    return 0;
}

TQ_API int simusb_clearFaults(const char *serial)
{
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    auto d = l.device(serial);
    if (!d)
        return -1;
    d->faults.clear();
    return 0;
}

TQ_API int simusb_getRegister(const char *serial, uint8_t reg, uint16_t *value)
{
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    auto d = l.device(serial);
    if (!d || !value)
        return -1;
    *value = d->reg(reg);
    return 0;
}

TQ_API int simusb_setRegister(const char *serial, uint8_t reg, uint16_t value)
{
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    auto d = l.device(serial);
    if (!d)
        return -1;
    d->setReg(reg, value);
    return 0;
}

TQ_API int simusb_getOutputLog(const char *serial, SimUsbOutput *entries, uint32_t max, uint32_t *count)
{
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    auto d = l.device(serial);
    if (!d || !count || (max > 0 && !entries))
        return -1;
    uint32_t n = 0;
    for (const SimUsbOutput &o : d->outputLog) {
        if (n >= max)
            break;
        entries[n++] = o;
    }
    *count = n;
    return 0;
}

TQ_API int simusb_clearOutputLog(const char *serial)
{
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    auto d = l.device(serial);
    if (!d)
        return -1;
    d->outputLog.clear();
    return 0;
}

TQ_API int simusb_droppedScans(const char *serial, uint64_t *count)
{
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    auto d = l.device(serial);
    if (!d || !count)
        return -1;
    d->catchUp(tq::sim::usb::nowUs());
    *count = d->dropped();
    return 0;
}

TQ_API int simusb_isRunning(const char *serial)
{
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    auto d = l.device(serial);
    return d ? (d->running() ? 1 : 0) : -1;
}

TQ_API uint32_t simusb_openHandleCount(void)
{
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    return static_cast<uint32_t>(l.handles.size());
}

TQ_API int simusb_requestCount(const char *serial, uint64_t *count)
{
    Library &l = Library::instance();
    std::lock_guard<std::mutex> g(l.m);
    auto d = l.device(serial);
    if (!d || !count)
        return -1;
    *count = d->requests();
    return 0;
}
