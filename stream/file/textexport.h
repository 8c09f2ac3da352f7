// What the stream engine's text exports share: time stamps of scans and
// values written as "%lf" writes them, in the C locale.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tq::stream
{

// One value as "%lf" writes it; the length written into out (400 bytes).
int formatFixed6(double value, char *out);

// Time stamp of the scan `index` scans after a start time (seconds since
// 1970): whole seconds and microseconds. The time is rounded to the
// microseconds that are written before it is split, so that a fraction that
// rounds up to a whole second carries into the seconds instead of being
// written a second early. A rate that gives no time (0, negative, not a
// number) stamps every scan with the start time.
void scanStamp(int64_t start, double rate, int64_t index, int64_t &seconds, long &micros);

// Local calendar time of whole seconds as the exports write it:
// "year/month/day hour:minute:second", no zero padding.
void formatStampDate(int64_t seconds, char *out, size_t size);

} // namespace tq::stream
