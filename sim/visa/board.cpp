#include "board.h"

#include <bit>
#include <cstring>
#include <deque>
#include <vector>

namespace tq::sim {

void RegisterFile::setSize(uint16_t space, size_t bytes)
{
    if (space < kFirstSpace || space > kLastSpace)
        return;
    spaces_[space - kFirstSpace].resize(bytes, 0);
}

size_t RegisterFile::size(uint16_t space) const
{
    if (space < kFirstSpace || space > kLastSpace)
        return 0;
    return spaces_[space - kFirstSpace].size();
}

bool RegisterFile::contains(uint16_t space, uint64_t offset, unsigned width) const
{
    const size_t n = size(space);
    return width != 0 && offset < n && width <= n - offset;
}

uint32_t RegisterFile::load(uint16_t space, uint64_t offset, unsigned width) const
{
    const uint8_t *p = spaces_[space - kFirstSpace].data() + offset;
    // Little-endian whatever the width, so that the aliasing of the halves
    // does not depend on the host; on a little-endian host a whole word is
    // one copy (this is every register read).
    if (std::endian::native == std::endian::little && width == 4) {
        uint32_t v;
        memcpy(&v, p, 4);
        return v;
    }
    uint32_t v = 0;
    for (unsigned i = 0; i < width; ++i)
        v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
}

void RegisterFile::store(uint16_t space, uint64_t offset, unsigned width, uint32_t value)
{
    uint8_t *p = spaces_[space - kFirstSpace].data() + offset;
    if (std::endian::native == std::endian::little && width == 4) {
        memcpy(p, &value, 4);
        return;
    }
    for (unsigned i = 0; i < width; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * i));
}

namespace {

// Board locks are never freed: a register access may find the lock of a
// board whose session is being closed, take it and only then see that the
// session is gone, by which time the board may be freed. Locks of freed
// boards serve new ones.
class LockPool {
public:
    std::mutex *take()
    {
        std::lock_guard<std::mutex> g(m_);
        if (free_.empty())
            return &all_.emplace_back();
        std::mutex *lock = free_.back();
        free_.pop_back();
        return lock;
    }
    void giveBack(std::mutex *lock)
    {
        std::lock_guard<std::mutex> g(m_);
        free_.push_back(lock);
    }

private:
    std::mutex m_;
    std::deque<std::mutex> all_; // stable addresses
    std::vector<std::mutex *> free_;
};

LockPool &lockPool()
{
    // Never destroyed: boards of a library torn down at exit give their
    // locks back after other statics are gone.
    static LockPool *pool = new LockPool;
    return *pool;
}

} // namespace

Board::Board() : lock_(lockPool().take()) {}
Board::~Board() { lockPool().giveBack(lock_); }

bool Board::configure(const std::string &, const std::string &) { return false; }

ViStatus Board::pulse(int, unsigned) { return VI_ERROR_NSUP_OPER; }

void Board::attach(BoardHost &host) { host_ = &host; }

void Board::detach() { host_ = nullptr; }

ViStatus Board::read(uint16_t space, uint64_t offset, unsigned width, uint32_t &value)
{
    value = registers_.load(space, offset, width);
    return VI_SUCCESS;
}

ViStatus Board::write(uint16_t space, uint64_t offset, unsigned width, uint32_t value)
{
    registers_.store(space, offset, width, value);
    return VI_SUCCESS;
}

} // namespace tq::sim
