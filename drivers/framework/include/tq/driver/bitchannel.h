// Channels that are one bit of a 32-bit word of the scan: the digital lines
// of the carrier and of the IndustryPack modules on its sites. Both drivers
// hand these records out through the carrier's stream, so the carrier reads
// a module's records through this one layout.
#pragma once

#include <atomic>
#include <cstdint>

#include "tqstream.h"

namespace tq::driver
{

struct BitChannel {
    TQStreamChannel head{};
    uint16_t wordIndex = 0; // word of the scan
    uint32_t mask = 0;      // the channel's bit in that word
    int16_t enable = 0;
    int16_t changeOfStateEnable = 0;
    int16_t patternEnable = 0;
    int16_t patternBit = 0;
    // The word a static output value goes to (synchronisation types other
    // than 1): the owner's static output word, played out by the carrier's
    // acquisition thread at its next period.
    std::atomic<uint32_t> *staticWord = nullptr;
};

// head.enableWord mirrors enable; head.ownerWord2 is 1 while the channel's
// group is an output group, so that a stream counts and hands out its input
// channels without knowing whose record it is.
inline bool isOutput(const TQStreamChannel &c)
{
    return c.ownerWord2 != 0;
}

// 1.0 when the scan's word at the channel's index has any bit of its mask set.
double convertBit32(TQStreamChannel *channel, const void *scan);
// 0.0 whatever the scan holds.
double convertZero(TQStreamChannel *channel, const void *scan);
// Type 1: the bit in the given output scan; any other type: the bit in the
// channel's static output word (atomically, so the thread that plays the
// word out never sees a torn update).
void setEvalBit32(TQStreamChannel *channel, double value, void *outputScan);
// Stores the type when it differs.
void storeOutputSyncType(TQStreamChannel *channel, int32_t type);

// Fills the head: name, unit "binary", the converters above, owner word =
// number, and the record's place in the scan.
void initBitChannel(BitChannel &c, int number, const char *name, uint16_t wordIndex, uint32_t mask,
                    std::atomic<uint32_t> *staticWord, TQStream *stream);

} // namespace tq::driver
