#include "device176.h"

#include <cstdlib>
#include <cstring>

namespace tq::sim::usb
{

namespace
{

// Bytes of each request, by command.
size_t requestLength(uint8_t command)
{
    switch (command) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x05:
        return 4;
    case 0x08:
    case 0x09:
    case 0x0A:
        return 1;
    default:
        return 0; // not a command: the byte is dropped
    }
}

void put16(std::vector<uint8_t> &out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

bool parseNumber(const std::string &text, long &value)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    value = strtol(text.c_str(), &end, 0);
    return end && *end == '\0';
}

} // namespace

bool Device176::configure(const std::string &key, const std::string &value)
{
    long v = 0;
    if (!parseNumber(value, v))
        return false;
    if (key == "firmware" && v >= 0 && v <= 255) {
        firmware_ = static_cast<uint8_t>(v);
        return true;
    }
    if (key == "modelbyte" && v >= 0 && v <= 255) {
        modelByte_ = static_cast<uint8_t>(v);
        return true;
    }
    if (key.size() == 6 && key.compare(0, 5, "level") == 0 && key[5] >= '1' && key[5] <= '6' && v >= -32768 &&
        v <= 32767) {
        levels_[key[5] - '1'] = static_cast<int16_t>(v);
        return true;
    }
    return false;
}

void Device176::resetRegisters()
{
    memset(regs_, 0, sizeof regs_);
    // 1000 scans per second until told otherwise.
    regs_[16] = 10000;
    running_ = false;
    fifo_.clear();
    overrun_ = false;
}

const Fault *Device176::takeFault(int kind, uint8_t command)
{
    for (Fault &f : faults) {
        if (f.kind != kind || f.count == 0 || (f.command != 0 && f.command != command))
            continue;
        --f.count;
        return &f;
    }
    return nullptr;
}

uint32_t Device176::scanSize() const
{
    const uint16_t mask = regs_[18];
    uint32_t words = 0;
    for (int k = 0; k < 6; ++k)
        words += (mask >> k) & 1u;
    words += (mask >> 12) & 1u;
    return 2 * words;
}

void Device176::appendScan(std::vector<uint8_t> &out, uint32_t n) const
{
    const uint16_t mask = regs_[18];
    for (uint32_t k = 1; k <= 6; ++k)
        if (mask & (1u << (k - 1)))
            put16(out, static_cast<uint16_t>(n + 0x1000u * k));
    if (mask & (1u << 12))
        put16(out, static_cast<uint16_t>(n));
}

void Device176::fill(uint64_t nowUs)
{
    if (!running_)
        return;
    const uint64_t ticks = static_cast<uint64_t>(regs_[16]) | (static_cast<uint64_t>(regs_[17]) << 16);
    if (ticks == 0 || nowUs < startUs_)
        return;
    const uint64_t due = (nowUs - startUs_) * 10 / ticks;
    if (due <= produced_)
        return;
    const uint64_t fresh = due - produced_;
    const uint64_t room = kFifoScans - fifo_.size();
    const uint64_t taken = fresh < room ? fresh : room;
    for (uint64_t i = 0; i < taken; ++i)
        fifo_.push_back(static_cast<uint32_t>(produced_ + i));
    if (taken < fresh) {
        overrun_ = true;
        dropped_ += fresh - taken;
    }
    produced_ = due;
}

void Device176::writeRegister(uint8_t r, uint16_t v, uint64_t nowUs)
{
    if (r == 129) {
        if (v == 1)
            resetRegisters();
        return;
    }
    regs_[r] = v;
    if (r == 32 || r == 33 || r == 96 || r == 97) {
        if (outputLog.size() >= kOutputLogSize)
            outputLog.pop_front();
        outputLog.push_back(SimUsbOutput{nowUs, r, v});
    }
}

std::vector<uint8_t> Device176::answer(const uint8_t *q, uint64_t nowUs, uint64_t &delayUs)
{
    std::vector<uint8_t> out;
    out.push_back(static_cast<uint8_t>(q[0] | 0x80));
    switch (q[0]) {
    case 0x01:
        writeRegister(q[1], static_cast<uint16_t>(q[2] | (q[3] << 8)), nowUs);
        break;
    case 0x02: {
        uint16_t v = regs_[q[1]];
        if (q[1] < 4)
            v = static_cast<uint16_t>(levels_[q[1]]);
        put16(out, v);
        break;
    }
    case 0x03:
        out.push_back(firmware_);
        break;
    case 0x04:
        out.push_back(modelByte_);
        break;
    case 0x05: {
        // Averaging takes as long as the scans it averages.
        const uint32_t n = static_cast<uint32_t>(q[1] | (q[2] << 8));
        const uint64_t ticks = static_cast<uint64_t>(regs_[16]) | (static_cast<uint64_t>(regs_[17]) << 16);
        delayUs = ticks * n / 10;
        out.push_back(static_cast<uint8_t>(regs_[22] & 0x7));
        for (int16_t level : levels_)
            put16(out, static_cast<uint16_t>(level));
        break;
    }
    case 0x08:
        running_ = true;
        startUs_ = nowUs;
        produced_ = 0;
        fifo_.clear();
        overrun_ = false;
        dropped_ = 0;
        break;
    case 0x09:
        running_ = false;
        break;
    case 0x0A: {
        fill(nowUs);
        const uint32_t size = scanSize();
        size_t scans = size ? kMaxDataBytes / size : 0;
        // The firmware counts the scans of a reply by its analog inputs
        // alone (1: 30, 2: 15, 3: 10, otherwise 7), and sends no more
        // than fit the packet.
        uint32_t analog = 0;
        for (int k = 0; k < 6; ++k)
            analog += (regs_[18] >> k) & 1u;
        const size_t packed = analog == 1 ? 30 : analog == 2 ? 15 : analog == 3 ? 10 : 7;
        if (scans > packed)
            scans = packed;
        if (scans > fifo_.size())
            scans = fifo_.size();
        put16(out, static_cast<uint16_t>(fifo_.size() - scans));
        out.push_back(overrun_ ? 0x02 : 0x00);
        overrun_ = false;
        for (size_t i = 0; i < scans; ++i) {
            appendScan(out, fifo_.front());
            fifo_.pop_front();
        }
        break;
    }
    default:
        break;
    }
    return out;
}

void Device176::receive(const uint8_t *data, size_t length, uint64_t nowUs, std::deque<Packet> &out)
{
    for (size_t i = 0; i < length; ++i) {
        if (pending_.empty() && requestLength(data[i]) == 0)
            continue;
        pending_.push_back(data[i]);
        if (pending_.size() < requestLength(pending_[0]))
            continue;
        const uint8_t command = pending_[0];
        uint64_t delayUs = 0;
        std::vector<uint8_t> reply = answer(pending_.data(), nowUs, delayUs);
        pending_.clear();
        ++requests_;

        if (const Fault *f = takeFault(SIMUSB_SHORT, command))
            reply.resize(reply.size() > f->amount ? reply.size() - f->amount : 0);
        if (const Fault *f = takeFault(SIMUSB_GARBAGE, command))
            reply.insert(reply.begin(), f->amount, 0x00);
        if (const Fault *f = takeFault(SIMUSB_LATE, command))
            delayUs += static_cast<uint64_t>(f->amount) * 1000;
        size_t split = 0;
        if (const Fault *f = takeFault(SIMUSB_SPLIT, command))
            split = f->amount ? f->amount : reply.size() / 2;
        if (reply.empty())
            continue;
        if (split > 0 && split < reply.size()) {
            out.push_back(Packet{std::vector<uint8_t>(reply.begin(), reply.begin() + static_cast<long>(split)),
                                 nowUs + delayUs});
            out.push_back(
                Packet{std::vector<uint8_t>(reply.begin() + static_cast<long>(split), reply.end()), nowUs + delayUs + 1000});
        } else {
            out.push_back(Packet{std::move(reply), nowUs + delayUs});
        }
    }
}

} // namespace tq::sim::usb
