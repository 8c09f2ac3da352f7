#include "instrument.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "events.h"
#include "memory.h"

namespace tq::sim {

namespace {

constexpr size_t kLogCapacity = 16384;

std::string trim(const std::string &s)
{
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

bool readUnsigned(const std::string &text, uint64_t max, uint64_t &out)
{
    if (text.empty() || text[0] == '-')
        return false;
    char *end = nullptr;
    errno = 0;
    unsigned long long v = strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > max)
        return false;
    out = v;
    return true;
}

// "bar2" -> space 13; "reg13.0x7004" -> space 13, offset 0x7004.
bool barSpace(const std::string &key, uint16_t &space)
{
    if (key.size() != 4 || strncasecmp(key.c_str(), "bar", 3) != 0 || key[3] < '0' || key[3] > '5')
        return false;
    space = static_cast<uint16_t>(VI_PXI_BAR0_SPACE + (key[3] - '0'));
    return true;
}

bool registerKey(const std::string &key, uint16_t &space, uint64_t &offset)
{
    if (strncasecmp(key.c_str(), "reg", 3) != 0)
        return false;
    size_t dot = key.find('.');
    uint64_t s = 0;
    if (dot == std::string::npos || !readUnsigned(key.substr(3, dot - 3), 0xFFFF, s) ||
        !readUnsigned(key.substr(dot + 1), UINT64_MAX, offset))
        return false;
    space = static_cast<uint16_t>(s);
    return true;
}

} // namespace

bool readSettingNumber(const std::string &text, uint64_t max, uint64_t &out) { return readUnsigned(text, max, out); }

bool parseInstrumentSettings(const std::string &text, InstrumentConfig &config, std::string &error)
{
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(";\n", start);
        std::string item = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() + 1 : end + 1;
        if (size_t hash = item.find('#'); hash != std::string::npos)
            item.resize(hash);
        item = trim(item);
        if (item.empty())
            continue;
        size_t eq = item.find('=');
        if (eq == std::string::npos) {
            error = "missing '=' in \"" + item + "\"";
            return false;
        }
        std::string key = trim(item.substr(0, eq)), value = trim(item.substr(eq + 1));
        uint64_t n = 0;
        auto number = [&](uint64_t max) {
            if (readUnsigned(value, max, n))
                return true;
            error = "bad value for " + key + ": \"" + value + "\"";
            return false;
        };
        const char *k = key.c_str();
        if (!strcasecmp(k, "board"))
            config.board = value;
        else if (!strcasecmp(k, "manf")) {
            if (!number(0xFFFF))
                return false;
            config.manufacturerId = static_cast<ViUInt16>(n);
            config.hasManufacturerId = true;
        } else if (!strcasecmp(k, "model")) {
            if (!number(0xFFFF))
                return false;
            config.modelCode = static_cast<ViUInt16>(n);
            config.hasModelCode = true;
        } else if (!strcasecmp(k, "manfname"))
            config.manufacturerName = value;
        else if (!strcasecmp(k, "modelname"))
            config.modelName = value;
        else if (!strcasecmp(k, "alias")) {
            if (value.empty() || value.find("::") != std::string::npos || value.size() > 255) {
                error = "bad alias \"" + value + "\"";
                return false;
            }
            config.alias = value;
        } else if (!strcasecmp(k, "chassis")) {
            if (!number(255))
                return false;
            config.chassis = static_cast<int>(n);
        } else if (!strcasecmp(k, "slot")) {
            if (!number(255))
                return false;
            config.slot = static_cast<int>(n);
        } else
            config.boardSettings.emplace_back(key, value);
    }
    return true;
}

Instrument::Instrument(std::string name, InstrumentConfig config, std::unique_ptr<Board> board, EventHub &events,
                       DmaMemory &memory)
    : name_(std::move(name)), config_(std::move(config)), board_(std::move(board)), events_(events), memory_(memory)
{
}

Instrument::~Instrument() { remove(); }

std::shared_ptr<Instrument> Instrument::create(const std::string &canonicalName, const InstrumentConfig &config,
                                               EventHub &events, DmaMemory &memory, std::string &error)
{
    std::unique_ptr<Board> board = makeBoard(config.board);
    if (!board) {
        error = "unknown board \"" + config.board + "\"";
        return nullptr;
    }
    for (const auto &[key, value] : config.boardSettings) {
        uint16_t space = 0;
        uint64_t offset = 0, n = 0;
        if (barSpace(key, space)) {
            if (!readUnsigned(value, 0x1000000, n)) {
                error = "bad window size for " + key;
                return nullptr;
            }
            board->registers().setSize(space, n);
        } else if (registerKey(key, space, offset)) {
            if (!readUnsigned(value, 0xFFFFFFFFu, n) || !board->registers().contains(space, offset, 4) ||
                offset % 4 != 0) {
                error = "bad register setting " + key + " = " + value;
                return nullptr;
            }
            board->registers().set32(space, offset, static_cast<uint32_t>(n));
        } else if (!board->configure(key, value)) {
            error = "board " + config.board + " does not take " + key + " = " + value;
            return nullptr;
        }
    }
    InstrumentConfig identified = config;
    uint16_t manufacturer = 0, model = 0;
    boardIdentity(config.board, manufacturer, model);
    if (!config.hasManufacturerId)
        identified.manufacturerId = manufacturer;
    if (!config.hasModelCode)
        identified.modelCode = model;
    std::shared_ptr<Instrument> inst(
        new Instrument(canonicalName, std::move(identified), std::move(board), events, memory));
    inst->board_->attach(*inst);
    return inst;
}

bool Instrument::matchesAlias(const std::string &alias) const
{
    return !config_.alias.empty() && strcasecmp(config_.alias.c_str(), alias.c_str()) == 0;
}

ViStatus Instrument::checkAccess(ViUInt16 space, ViBusAddress offset, unsigned width) const
{
    // Every register access passes here: one look at the window's size, and
    // widths of 1, 2 or 4 bytes (the only ones the callers pass) aligned by mask.
    const size_t size = board_->registers().size(space); // 0 outside the register file
    if (size == 0)
        return board_->servesSpace(space, offset, width) ? VI_SUCCESS : VI_ERROR_INV_SPACE;
    if ((offset & (width - 1)) != 0)
        return VI_ERROR_NSUP_ALIGN_OFFSET;
    if (offset >= size || width > size - offset)
        return VI_ERROR_INV_OFFSET;
    return VI_SUCCESS;
}

size_t Instrument::windowSize(ViUInt16 space) const
{
    std::lock_guard<std::mutex> g(board_->lock());
    return board_->registers().size(space);
}

ViStatus Instrument::access(bool write, ViUInt16 space, ViBusAddress offset, unsigned width, ViUInt32 &value)
{
    std::lock_guard<std::mutex> g(board_->lock());
    return accessLocked(write, space, offset, width, value);
}

ViStatus Instrument::accessLocked(bool write, ViUInt16 space, ViBusAddress offset, unsigned width, ViUInt32 &value)
{
    if (removed_.load(std::memory_order_relaxed))
        return VI_ERROR_CONN_LOST;
    ViStatus status = checkAccess(space, offset, width);
    if (status != VI_SUCCESS)
        return status;
    const ViUInt16 kind = write ? SIMVISA_WRITES : SIMVISA_READS;
    if (countdown_ != 0 && (countdownKinds_ & kind) && --countdown_ == 0)
        return countdownStatus_;
    if (!offsetFaults_.empty()) {
        // A fault on a 32-bit register also catches the 16- and 8-bit accesses inside it.
        for (ViBusAddress base : {offset, offset & ~ViBusAddress(3), offset & ~ViBusAddress(1)}) {
            auto it = offsetFaults_.find({space, base});
            if (it != offsetFaults_.end() && (it->second.kinds & kind))
                return it->second.status;
        }
    }
    if (!write)
        return board_->read(space, offset, width, value);
    status = board_->write(space, offset, width, value);
    if (log_.empty())
        log_.resize(kLogCapacity);
    log_[(logHead_ + logCount_) % kLogCapacity] =
        SimVisaWrite{++logSequence_, offset, value, space, static_cast<uint16_t>(width)};
    if (logCount_ < kLogCapacity)
        ++logCount_;
    else
        logHead_ = (logHead_ + 1) % kLogCapacity;
    return status;
}

ViStatus Instrument::rawAccess(bool write, ViUInt16 space, ViBusAddress offset, unsigned width, ViUInt32 &value)
{
    if (width != 1 && width != 2 && width != 4)
        return VI_ERROR_INV_WIDTH;
    std::lock_guard<std::mutex> g(board_->lock());
    // Only the register file is reached behind the board's back.
    if (space < RegisterFile::kFirstSpace || space > RegisterFile::kLastSpace || !board_->registers().hasSpace(space))
        return VI_ERROR_INV_SPACE;
    ViStatus status = checkAccess(space, offset, width);
    if (status != VI_SUCCESS)
        return status;
    if (write)
        board_->registers().store(space, offset, width, value);
    else
        value = board_->registers().load(space, offset, width);
    return VI_SUCCESS;
}

void Instrument::failAccess(ViUInt32 nth, ViUInt16 kinds, ViStatus status)
{
    std::lock_guard<std::mutex> g(board_->lock());
    countdown_ = nth;
    countdownKinds_ = kinds;
    countdownStatus_ = status;
}

void Instrument::failOffset(ViUInt16 space, ViBusAddress offset, ViUInt16 kinds, ViStatus status)
{
    std::lock_guard<std::mutex> g(board_->lock());
    offsetFaults_[{space, offset}] = OffsetFault{kinds, status};
}

void Instrument::refuseMechanism(ViUInt16 mechanism)
{
    std::lock_guard<std::mutex> g(board_->lock());
    refusedMechanisms_ |= mechanism;
}

bool Instrument::refusesMechanism(ViUInt16 mechanism)
{
    std::lock_guard<std::mutex> g(board_->lock());
    return (refusedMechanisms_ & mechanism) != 0;
}

void Instrument::clearFaults()
{
    std::lock_guard<std::mutex> g(board_->lock());
    offsetFaults_.clear();
    countdown_ = 0;
    refusedMechanisms_ = 0;
}

ViUInt32 Instrument::copyWriteLog(SimVisaWrite *entries, ViUInt32 max)
{
    std::lock_guard<std::mutex> g(board_->lock());
    ViUInt32 n = 0;
    for (; n < max && n < logCount_; ++n)
        entries[n] = log_[(logHead_ + n) % kLogCapacity];
    return n;
}

void Instrument::clearWriteLog()
{
    std::lock_guard<std::mutex> g(board_->lock());
    logHead_ = logCount_ = 0;
}

ViStatus Instrument::copyOutputLog(SimVisaOutput *entries, ViUInt32 max, ViUInt32 &count)
{
    std::lock_guard<std::mutex> g(board_->lock());
    return board_->copyOutputLog(entries, max, count);
}

ViStatus Instrument::clearOutputLog()
{
    std::lock_guard<std::mutex> g(board_->lock());
    return board_->clearOutputLog();
}

void Instrument::remove()
{
    if (removed_.exchange(true))
        return;
    // Without the board's lock: a board stops its own threads here, and they
    // may be waiting for that lock.
    board_->detach();
}

void Instrument::raiseInterrupt(uint32_t data)
{
    if (!removed_.load())
        events_.raise(*this, data);
}

bool Instrument::dmaRead(uint64_t busAddress, void *buffer, size_t length)
{
    return memory_.read(busAddress, buffer, length);
}

bool Instrument::dmaWrite(uint64_t busAddress, const void *buffer, size_t length)
{
    return memory_.write(busAddress, buffer, length);
}

bool Instrument::dmaRead32(uint64_t busAddress, uint32_t &value) { return memory_.load32(busAddress, value); }

ViStatus Instrument::pulse(int line, unsigned count)
{
    std::lock_guard<std::mutex> g(board_->lock());
    if (removed_.load(std::memory_order_relaxed))
        return VI_ERROR_CONN_LOST;
    return board_->pulse(line, count);
}

ViStatus Instrument::configure(const std::string &key, const std::string &value)
{
    std::lock_guard<std::mutex> g(board_->lock());
    if (removed_.load(std::memory_order_relaxed))
        return VI_ERROR_CONN_LOST;
    return board_->configure(key, value) ? VI_SUCCESS : VI_ERROR_INV_SETUP;
}

ViStatus Instrument::configureSettings(const std::string &settings)
{
    InstrumentConfig parsed;
    std::string error;
    if (!parseInstrumentSettings(settings, parsed, error))
        return VI_ERROR_INV_SETUP;
    std::lock_guard<std::mutex> g(board_->lock());
    if (removed_.load(std::memory_order_relaxed))
        return VI_ERROR_CONN_LOST;
    for (const auto &[key, value] : parsed.boardSettings)
        if (!board_->configure(key, value))
            return VI_ERROR_INV_SETUP;
    return VI_SUCCESS;
}

} // namespace tq::sim
