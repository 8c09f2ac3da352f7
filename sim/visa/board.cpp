#include "board.h"

#include <cstring>

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
    // Little-endian whatever the width: the host is little-endian too, but
    // spell it out so that the aliasing of the halves does not depend on it.
    uint32_t v = 0;
    for (unsigned i = 0; i < width; ++i)
        v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
}

void RegisterFile::store(uint16_t space, uint64_t offset, unsigned width, uint32_t value)
{
    uint8_t *p = spaces_[space - kFirstSpace].data() + offset;
    for (unsigned i = 0; i < width; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * i));
}

Board::Board() = default;
Board::~Board() = default;

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
