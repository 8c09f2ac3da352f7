#include "tq/driver/bitchannel.h"

#include <cstring>

#include "tq/driver/driver.h"

namespace tq::driver
{

namespace
{

BitChannel &bit(TQStreamChannel *c)
{
    return *reinterpret_cast<BitChannel *>(c);
}

} // namespace

double convertBit32(TQStreamChannel *channel, const void *scan)
{
    if (!channel || !scan)
        return 0.0;
    const BitChannel &c = bit(channel);
    uint32_t word;
    memcpy(&word, static_cast<const uint8_t *>(scan) + 4 * static_cast<size_t>(c.wordIndex), sizeof word);
    return (word & c.mask) ? 1.0 : 0.0;
}

double convertZero(TQStreamChannel *, const void *)
{
    return 0.0;
}

void setEvalBit32(TQStreamChannel *channel, double value, void *outputScan)
{
    if (!channel)
        return;
    BitChannel &c = bit(channel);
    if (channel->outputSyncType == 1) {
        if (!outputScan)
            return;
        uint8_t *at = static_cast<uint8_t *>(outputScan) + 4 * static_cast<size_t>(c.wordIndex);
        uint32_t word;
        memcpy(&word, at, sizeof word);
        word = value != 0.0 ? (word | c.mask) : (word & ~c.mask);
        memcpy(at, &word, sizeof word);
        return;
    }
    if (!c.staticWord)
        return;
    if (value != 0.0)
        c.staticWord->fetch_or(c.mask, std::memory_order_relaxed);
    else
        c.staticWord->fetch_and(~c.mask, std::memory_order_relaxed);
}

void storeOutputSyncType(TQStreamChannel *channel, int32_t type)
{
    if (channel && channel->outputSyncType != type)
        channel->outputSyncType = type;
}

namespace
{

// Writes a field only when it changes: a record rebuilt while the carrier
// runs is read meanwhile by the stream's readers, which must neither find a
// function missing nor meet a write of what they are reading.
template <typename T> void keep(T &field, T value)
{
    if (field != value)
        field = value;
}

void keepText(char *field, size_t size, const char *text)
{
    if (strncmp(field, text, size - 1) != 0)
        copyName(field, size, text);
}

} // namespace

void initBitChannel(BitChannel &c, int number, const char *name, uint16_t wordIndex, uint32_t mask,
                    std::atomic<uint32_t> *staticWord, TQStream *stream)
{
    keepText(c.head.name, sizeof c.head.name, name);
    keepText(c.head.eu, sizeof c.head.eu, "binary");
    keep<intptr_t>(c.head.ownerWord, number);
    keep(c.head.streamChannelEval, &convertBit32);
    keep(c.head.streamChannelEvalRaw, &convertZero);
    keep(c.head.streamChannelSetEval, &setEvalBit32);
    keep(c.head.streamChannelSetOutputSyncType, &storeOutputSyncType);
    keep(c.head.stream, stream);
    keep(c.wordIndex, wordIndex);
    keep(c.mask, mask);
    keep(c.staticWord, staticWord);
}

} // namespace tq::driver
