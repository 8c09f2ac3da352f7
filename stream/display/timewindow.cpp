// The time window of a graph object: moving, zooming and fitting it to the
// data its stream still keeps.
//
// A start of 0 or more counts seconds from the stream's first scan (an
// absolute window); a negative start counts back from the newest scan (a live
// window that follows the data). Every operation keeps the kind of window it
// was given and leaves the window alone when the stream gives no sound
// measure (no reader, a rate that is not a positive number) or when the
// result would not be a window of positive, finite length.
#include <cmath>

#include "displayimpl.h"

namespace tq::stream
{

namespace
{

struct Kept {
    double first = 0; // absolute index of the oldest kept scan
    double avail = 0; // number of kept scans
    double rate = 0;
};

// Measures the kept data with a temporary reader at the oldest scan.
bool measure(TQGraphObject *go, Kept *kept)
{
    TQStream *stream = streamOf(go);
    if (!stream)
        return false;
    double rate = stream->streamGetRate(stream);
    if (!(rate > 0) || !std::isfinite(rate))
        return false;
    TQReader *reader = stream->streamNewReader(stream, 0, TQ_WHENCE_OLDEST);
    if (!reader)
        return false;
    int64_t first = 0;
    reader->readerPeek(reader, nullptr, &first);
    int64_t avail = reader->readerAvail(reader);
    reader->readerUnlink(reader);
    reader->readerRelease(&reader);
    kept->first = static_cast<double>(first);
    kept->avail = static_cast<double>(avail > 0 ? avail : 0);
    kept->rate = rate;
    return true;
}

bool usable(double seconds)
{
    return std::isfinite(seconds) && seconds > 0;
}

// The zoomed duration, limited to ratio times the current one.
double zoomed(double duration, double zoom, double ratio)
{
    return zoom <= ratio ? duration * zoom : duration * ratio;
}

void resetStartTime(TQGraphObject *go, const Kept &k)
{
    if (go->starttime >= 0)
        go->starttime = k.first / k.rate;
    else
        go->starttime = -go->duration;
}

void resetDuration(TQGraphObject *go, const Kept &k)
{
    if (go->starttime >= 0) {
        double d = (k.first + k.avail) / k.rate - go->starttime;
        if (usable(d))
            go->duration = d;
        return;
    }
    // Nothing kept: a start of -0 would turn the live window absolute.
    if (k.avail <= 0)
        return;
    double d = go->duration + go->starttime + k.avail / k.rate;
    if (!usable(d))
        return;
    go->duration = d;
    go->starttime = -k.avail / k.rate;
}

} // namespace

int32_t graphObjectRescaleDomain(TQGraphObject *go, double zoom, double shift)
{
    Kept k;
    if (!measure(go, &k) || !usable(go->duration) || !usable(zoom) || !std::isfinite(shift) ||
        !std::isfinite(go->starttime))
        return 0;
    double step = go->duration * shift / 10.0;

    if (go->starttime >= 0) {
        double end = (k.first + k.avail) / k.rate;
        double s = go->starttime + step;
        if (s + go->duration > end)
            s = end - go->duration;
        // Also after the clamp to the end: a window longer than the data
        // starts at 0 rather than turning into a live window.
        if (s < 0)
            s = 0;
        double ratio = (end - s) / go->duration;
        double d = zoomed(go->duration, zoom, ratio);
        go->starttime = s;
        if (usable(d))
            go->duration = d;
        return 0;
    }

    double oldest = -k.avail / k.rate;
    double e = go->starttime + go->duration + step;
    if (go->starttime + step < oldest)
        e = oldest + go->duration;
    if (e > 0)
        e = 0;
    double ratio = (e - oldest) / go->duration;
    double d = zoomed(go->duration, zoom, ratio);
    if (!usable(d))
        d = go->duration;
    go->duration = d;
    go->starttime = e - d;
    return 0;
}

int32_t graphObjectResetDomain(TQGraphObject *go, int32_t resetStart, int32_t resetDuration_)
{
    Kept k;
    if (resetStart) {
        if (!measure(go, &k))
            return 0;
        resetStartTime(go, k);
    }
    if (resetDuration_) {
        if (!measure(go, &k))
            return 0;
        resetDuration(go, k);
    }
    return 0;
}

} // namespace tq::stream
