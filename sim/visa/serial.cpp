#include "serial.h"

#include <chrono>
#include <cstring>
#include <strings.h>

#include "boards/crate.h"
#include "rsrcname.h"
#include "tq/platform/text.h"
#include "tq/platform/thread.h"

namespace tq::sim
{

namespace
{

// Bounds on what the port keeps, so that a host that never reads, or never
// ends a line, cannot grow it without end.
constexpr size_t kInputCapacity = 1 << 20;
constexpr size_t kLineCapacity = 1 << 16;
constexpr size_t kLogCapacity = 1 << 16;

class Silent final : public LineDevice
{
  public:
    bool configure(const std::string &, const std::string &) override { return false; }
    void receive(std::string_view, std::string &) override {}
};

class Echo final : public LineDevice
{
  public:
    bool configure(const std::string &, const std::string &) override { return false; }
    void receive(std::string_view line, std::string &reply) override { reply.append(line); }
};

} // namespace

std::unique_ptr<LineDevice> makeLineDevice(const std::string &kind)
{
    // "generic" is what an inventory section without a board key names.
    if (!strcasecmp(kind.c_str(), "none") || !strcasecmp(kind.c_str(), "generic"))
        return std::make_unique<Silent>();
    if (!strcasecmp(kind.c_str(), "echo"))
        return std::make_unique<Echo>();
    if (!strcasecmp(kind.c_str(), "crate"))
        return std::make_unique<Crate>();
    return nullptr;
}

bool decodeEscapes(const std::string &text, std::string &out)
{
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text[i]) {
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
            out += '\\';
            break;
        case 'x': {
            int hi = i + 1 < text.size() ? tq::platform::hexDigit(text[i + 1]) : -1;
            int lo = i + 2 < text.size() ? tq::platform::hexDigit(text[i + 2]) : -1;
            if (hi < 0 || lo < 0)
                return false;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

SerialPort::SerialPort(uint16_t board, std::string alias, std::unique_ptr<LineDevice> device)
    : board_(board), name_(canonicalSerialName(board)), alias_(std::move(alias)), device_(std::move(device))
{
}

std::shared_ptr<SerialPort> SerialPort::create(uint16_t board, const InstrumentConfig &config, std::string &error)
{
    std::unique_ptr<LineDevice> device = makeLineDevice(config.board);
    if (!device) {
        error = "unknown serial device \"" + config.board + "\"";
        return nullptr;
    }
    for (const auto &[key, value] : config.boardSettings)
        if (!device->configure(key, value)) {
            error = "serial device " + config.board + " does not take " + key + " = " + value;
            return nullptr;
        }
    return std::shared_ptr<SerialPort>(new SerialPort(board, config.alias, std::move(device)));
}

bool SerialPort::matchesAlias(const std::string &alias) const
{
    return !alias_.empty() && strcasecmp(alias_.c_str(), alias.c_str()) == 0;
}

void SerialPort::deliverLine(std::string_view line)
{
    if (log_.size() + line.size() > kLogCapacity) {
        // Whole lines go, oldest first.
        size_t drop = log_.size() + line.size() - kLogCapacity;
        size_t cut = log_.find('\n', drop > 0 ? drop - 1 : 0);
        log_.erase(0, cut == std::string::npos ? log_.size() : cut + 1);
    }
    if (line.size() <= kLogCapacity)
        log_.append(line);
    reply_.clear();
    device_->receive(line, reply_);
    if (input_.size() + reply_.size() > kInputCapacity) {
        overrun_ = true;
        return;
    }
    input_ += reply_;
}

ViStatus SerialPort::write(const ViByte *data, size_t count)
{
    {
        std::lock_guard<std::mutex> g(m_);
        if (removed_)
            return VI_ERROR_CONN_LOST;
        const size_t before = input_.size();
        const char *p = reinterpret_cast<const char *>(data);
        const char *end = p + count;
        while (p < end) {
            const char *lf = static_cast<const char *>(memchr(p, '\n', static_cast<size_t>(end - p)));
            if (!lf) {
                partial_.append(p, static_cast<size_t>(end - p));
                if (partial_.size() > kLineCapacity) {
                    // No device takes a line this long; it goes as it is.
                    deliverLine(partial_);
                    partial_.clear();
                }
                break;
            }
            if (partial_.empty())
                deliverLine(std::string_view(p, static_cast<size_t>(lf + 1 - p)));
            else {
                partial_.append(p, static_cast<size_t>(lf + 1 - p));
                deliverLine(partial_);
                partial_.clear();
            }
            p = lf + 1;
        }
        if (input_.size() == before && !overrun_)
            return VI_SUCCESS;
    }
    arrived_.notify_all();
    return VI_SUCCESS;
}

ViStatus SerialPort::read(ViByte *buffer, size_t count, size_t &got, ViUInt32 timeoutMs, bool useTermChar,
                          ViByte termChar)
{
    got = 0;
    const int64_t ns = platform::scaledTimeoutNs(timeoutMs);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::nanoseconds(ns < 0 ? 0 : ns);
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
        if (removed_)
            return VI_ERROR_CONN_LOST;
        if (overrun_) {
            overrun_ = false;
            return VI_ERROR_ASRL_OVERRUN;
        }
        size_t n = 0;
        bool ended = false;
        while (n < input_.size() && got < count) {
            const ViByte c = static_cast<ViByte>(input_[n++]);
            buffer[got++] = c;
            if (useTermChar && c == termChar) {
                ended = true;
                break;
            }
        }
        input_.erase(0, n);
        if (ended)
            return VI_SUCCESS_TERM_CHAR;
        if (got == count)
            return VI_SUCCESS_MAX_CNT;
        if (timeoutMs == VI_TMO_IMMEDIATE)
            return VI_ERROR_TMO;
        if (ns < 0)
            arrived_.wait(lock);
        else if (arrived_.wait_until(lock, deadline) == std::cv_status::timeout && input_.empty() && !removed_ &&
                 !overrun_)
            return VI_ERROR_TMO;
    }
}

void SerialPort::discardInput()
{
    std::lock_guard<std::mutex> g(m_);
    input_.clear();
    partial_.clear();
    overrun_ = false;
}

std::string SerialPort::log()
{
    std::lock_guard<std::mutex> g(m_);
    return log_;
}

void SerialPort::clearLog()
{
    std::lock_guard<std::mutex> g(m_);
    log_.clear();
}

ViStatus SerialPort::configure(const std::string &key, const std::string &value)
{
    std::lock_guard<std::mutex> g(m_);
    if (removed_)
        return VI_ERROR_CONN_LOST;
    return device_->configure(key, value) ? VI_SUCCESS : VI_ERROR_INV_SETUP;
}

ViStatus SerialPort::configureSettings(const std::string &settings)
{
    InstrumentConfig parsed;
    std::string error;
    if (!parseInstrumentSettings(settings, parsed, error))
        return VI_ERROR_INV_SETUP;
    std::lock_guard<std::mutex> g(m_);
    if (removed_)
        return VI_ERROR_CONN_LOST;
    for (const auto &[key, value] : parsed.boardSettings)
        if (!device_->configure(key, value))
            return VI_ERROR_INV_SETUP;
    return VI_SUCCESS;
}

void SerialPort::remove()
{
    {
        std::lock_guard<std::mutex> g(m_);
        removed_ = true;
    }
    arrived_.notify_all();
}

} // namespace tq::sim
