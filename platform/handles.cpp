#include "tq/platform/handles.h"

namespace tq::platform {

// Layout of a handle: bit 30 set, bits 24-29 the table's kind, bits 16-23
// the slot's generation, bits 0-15 the slot index plus one.
namespace {
constexpr uint32_t kMaxSlots = 0xFFFF;
}

HandleTable::HandleTable(unsigned kind) : kind_(kind & 0x3F) {}

uint32_t HandleTable::add(void *record)
{
    if (!record)
        return 0;
    std::lock_guard<std::mutex> lock(m_);
    uint32_t index;
    if (!free_.empty()) {
        index = free_.back();
        free_.pop_back();
    } else {
        if (slots_.size() >= kMaxSlots)
            return 0;
        slots_.emplace_back();
        index = static_cast<uint32_t>(slots_.size() - 1);
    }
    Slot &s = slots_[index];
    s.record = record;
    ++live_;
    return kBaseBit | (kind_ << 24) | (static_cast<uint32_t>(s.generation) << 16) | (index + 1);
}

bool HandleTable::decode(uint32_t handle, uint32_t &index) const
{
    if (!looksLikeHandle(handle) || ((handle >> 24) & 0x3F) != kind_)
        return false;
    uint32_t low = handle & 0xFFFF;
    if (low == 0 || low > slots_.size())
        return false;
    index = low - 1;
    const Slot &s = slots_[index];
    return s.record != nullptr && s.generation == ((handle >> 16) & 0xFF);
}

void *HandleTable::lookup(uint32_t handle) const
{
    std::lock_guard<std::mutex> lock(m_);
    uint32_t index;
    return decode(handle, index) ? slots_[index].record : nullptr;
}

void *HandleTable::remove(uint32_t handle)
{
    std::lock_guard<std::mutex> lock(m_);
    uint32_t index;
    if (!decode(handle, index))
        return nullptr;
    Slot &s = slots_[index];
    void *record = s.record;
    s.record = nullptr;
    ++s.generation; // a released value stays refused when the slot is reused
    free_.push_back(index);
    --live_;
    return record;
}

size_t HandleTable::size() const
{
    std::lock_guard<std::mutex> lock(m_);
    return live_;
}

} // namespace tq::platform
