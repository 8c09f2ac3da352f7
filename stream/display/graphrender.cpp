// Drawing a graph object to a PNG image with GD: one value axis per shown
// unit, a time axis, an optional dashed grid, and the traces of the enabled
// channels over the graph object's time window. The layout used is kept in
// the graph object so that a position in the image maps back to a time and a
// value.
//
// Every number that becomes a pixel position or a loop bound is checked
// first: rates, spans and windows come from callers and stored layouts, and
// a NaN or an infinity converted to int is undefined behaviour.
#include <gd.h>
#include <gdfonts.h>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "displayimpl.h"
#include "gdtext.h"

namespace tq::stream
{

bool tickStep(double range, double low, double pixels, double spacing, TickStep *out)
{
    if (!(range > 0) || !(pixels > 0) || !(spacing > 0) || !std::isfinite(range) || !std::isfinite(low))
        return false;
    double rough = spacing * range / pixels;
    if (!(rough > 0) || !std::isfinite(rough))
        return false;
    double p = std::pow(10.0, std::ceil(std::log10(rough)));
    double step = p / std::ceil(p / rough);
    double first = std::ceil(low / step) * step;
    if (!(step > 0) || !std::isfinite(step) || !std::isfinite(first))
        return false;
    int32_t decimals = 0;
    double f = step - std::floor(step);
    if (f > 0) {
        double n = std::ceil(std::log10(1.0 / f));
        if (n > 4) {
            decimals = n > 20 ? 20 : static_cast<int32_t>(n);
        } else {
            char text[64];
            snprintf(text, sizeof text, "%lf", f);
            size_t len = strlen(text);
            while (len > 0 && text[len - 1] == '0')
                --len;
            const char *point = strchr(text, '.');
            decimals = point ? static_cast<int32_t>(text + len - point - 1) : 0;
            if (decimals > 4)
                decimals = 4;
        }
    }
    out->step = step;
    out->first = first;
    out->decimals = decimals;
    return true;
}

void graphFontPath(char *path, size_t size)
{
    const char *root = getenv("SYSTEMROOT");
    if (root && *root) {
        int n = snprintf(path, size, "%s/fonts/times.ttf", root);
        if (n > 0 && static_cast<size_t>(n) < size && access(path, R_OK) == 0)
            return;
    }
    snprintf(path, size, "%s", "/usr/share/fonts/truetype/liberation/LiberationSerif-Regular.ttf");
}

namespace
{

constexpr double kPixelLimit = 1e6; // far outside any 16-bit image, still an int

int toPixel(double v)
{
    if (v < -kPixelLimit)
        return static_cast<int>(-kPixelLimit);
    if (v > kPixelLimit)
        return static_cast<int>(kPixelLimit);
    return static_cast<int>(v);
}

int64_t toScans(double v)
{
    if (!(v > 0))
        return 0;
    if (v >= 9e18)
        return static_cast<int64_t>(9e18);
    return static_cast<int64_t>(v);
}

int red(uint32_t c)
{
    return static_cast<int>((c >> 16) & 0xff);
}
int green(uint32_t c)
{
    return static_cast<int>((c >> 8) & 0xff);
}
int blue(uint32_t c)
{
    return static_cast<int>(c & 0xff);
}

gdImagePtr makeBrush(int width, int height, uint32_t colour)
{
    int n = std::max(width, height) / 800 + 1;
    gdImagePtr brush = gdImageCreate(n, n);
    if (brush)
        gdImageColorAllocate(brush, red(colour), green(colour), blue(colour));
    return brush;
}

void brushedLine(gdImagePtr im, gdImagePtr brush, int x1, int y1, int x2, int y2)
{
    if (!brush)
        return;
    gdImageSetBrush(im, brush);
    gdImageLine(im, x1, y1, x2, y2, gdBrushed);
}

int32_t digitsOf(double value)
{
    value = std::fabs(value);
    if (!std::isfinite(value))
        return 24;
    double whole = value < 1 ? 1 : std::ceil(std::log10(value));
    double f = value - std::floor(value);
    double frac = f == 0 ? 4 : std::max(4.0, std::ceil(std::log10(1.0 / f)));
    double digits = whole + frac;
    return digits > 24 ? 24 : static_cast<int32_t>(digits);
}

bool shown(TQAxisInfo *axis)
{
    return axis->activeChannels.first && axis->visible == 1;
}

template <typename F> void forAxes(TQListHead *head, size_t link, F f)
{
    for (void *a = head->first; a; a = tqListNext(a, link))
        f(static_cast<TQAxisInfo *>(a));
}

struct Trace {
    TQChannelEnable *entry;
    TQStreamChannel *channel;
    double lo;
    double span;
    gdImagePtr brush;
    int colour; // the brush's colour in the image
    double min;
    double max;
    double sum;
    int64_t count;
    bool hasLast;
};

int mapY(const Trace &t, double v, int plotHeight, bool *ok)
{
    double y = (1.0 - (v - t.lo) / t.span) * plotHeight;
    *ok = std::isfinite(y);
    return *ok ? toPixel(y) + 10 : 0;
}

// Joins the trace's last point to (x, y); a point that cannot be placed
// breaks the line.
void joinTo(gdImagePtr im, Trace &t, int x, double v, int plotHeight)
{
    bool ok = false;
    int y = mapY(t, v, plotHeight, &ok);
    if (!ok) {
        t.hasLast = false;
        return;
    }
    if (t.hasLast)
        brushedLine(im, t.brush, t.entry->lastX, t.entry->lastY, x, y);
    t.entry->lastX = x;
    t.entry->lastY = y;
    t.hasLast = true;
}

// Walks `count` scans of a reservation's pieces.
template <typename F> int64_t forScans(TQPiece *pieces, uint32_t pieceCount, uint16_t scanSize, int64_t count, F f)
{
    int64_t done = 0;
    for (uint32_t p = 0; p < pieceCount && done < count; ++p) {
        const auto *data = static_cast<const unsigned char *>(pieces[p].data);
        if (!data)
            break;
        for (uint32_t off = 0; off + scanSize <= pieces[p].length && done < count; off += scanSize, ++done)
            f(done, data + off);
    }
    return done;
}

void releaseReader(TQReader *reader)
{
    reader->readerUnlink(reader);
    reader->readerRelease(&reader);
}

void drawPlot(TQStream *stream, TQGraphObject *go, gdImagePtr im, int width, int height, int32_t mode)
{
    GraphText text;
    text.init(go->fontSize);
    int tw = 0, th = 0;
    text.measure("0", &tw, &th);
    go->textHeight = th;
    go->charWidth = tw;

    // Label columns.
    int L = 10;
    go->shownAxisCount = 0;
    TQAxisInfo *timeAxis = nullptr;
    forAxes(&go->activeAxes, kAxisActiveLink, [&](TQAxisInfo *a) {
        if (!shown(a))
            return;
        ++go->shownAxisCount;
        int32_t chars = std::max(digitsOf(a->center - a->span / 2), digitsOf(a->center + a->span / 2)) + 2;
        a->labelWidth = chars * go->charWidth;
        L += a->labelWidth;
        timeAxis = a;
    });
    if (!timeAxis)
        return;

    // A rate that is not a positive number gives no time window at all.
    double rate = stream->streamGetRate(stream);
    if (!(rate > 0) || !std::isfinite(rate) || !std::isfinite(go->starttime))
        return;
    double d = go->duration;
    if (!(rate * d >= 2.0))
        d = 2.0 / rate;

    TQReader *reader = nullptr;
    double shownStart = 0;
    if (go->starttime >= 0) {
        reader = stream->streamNewReader(stream, toScans(go->starttime * rate), TQ_WHENCE_OLDEST);
        shownStart = go->starttime;
    } else {
        double X = go->starttime;
        if (-go->starttime * rate > 5.0 * width)
            X = -5.0 * width / rate;
        if (X + d > 0)
            d = -X;
        reader = stream->streamNewReader(stream, -toScans(-X * rate), TQ_WHENCE_NEWEST);
        if (!reader)
            return;
        int64_t index = 0, count = 0;
        if (!reader->readerPeek(reader, &count, &index) || count <= 0) {
            releaseReader(reader);
            return;
        }
        shownStart = static_cast<double>(index) / rate;
        int64_t want = toScans(rate * d);
        TQPiece *pieces = nullptr;
        int64_t got = reader->readerReserveRead(reader, &pieces, nullptr, want);
        if (got < 0)
            got = 0;
        if (got < want)
            d = static_cast<double>(got) / rate;
        reader->readerCompleteRead(reader, 0);
    }
    if (!reader)
        return;
    go->shownStart = shownStart;
    go->shownDuration = d;

    // Layout.
    int bottom = height - go->textHeight - 16;
    int W = width - L - 20;
    int H = bottom - 10;
    if (H % 2 == 0)
        --H;
    go->plotLeft = L;
    go->plotRight = width - 20;
    go->plotTop = 10;
    go->plotBottom = bottom;
    if (W < 1 || H < 1) {
        releaseReader(reader);
        return;
    }
    const int fontSize = go->fontSize;
    // At most one tick per pixel: bounds the tick loops whatever the span.
    const int maxTicks = std::max(W, H) + 2;

    // Time axis.
    uint32_t tc = timeAxis->color;
    int c = gdImageColorAllocate(im, red(tc), green(tc), blue(tc));
    if (c < 0)
        c = gdImageColorResolve(im, red(tc), green(tc), blue(tc));
    gdImagePtr brush = makeBrush(width, height, tc);
    int style[8] = {c, c, c, c, gdTransparent, gdTransparent, gdTransparent, gdTransparent};
    gdImageSetStyle(im, style, 8);
    brushedLine(im, brush, L, bottom + 3, L + W, bottom + 3);
    TickStep ts;
    if (d > 0 && tickStep(d, shownStart, W, 10.0 * fontSize, &ts)) {
        for (int k = 0; k < maxTicks; ++k) {
            double t = ts.first + k * ts.step;
            if (!(t <= shownStart + d))
                break;
            int x = L + toPixel((t - shownStart) / d * W);
            brushedLine(im, brush, x, bottom, x, bottom + 6);
            if (go->gridenable)
                gdImageLine(im, x, bottom - 6, x, 10, gdStyled);
            char label[64];
            snprintf(label, sizeof label, "%.*lf", ts.decimals, t);
            int lw = 0, lh = 0;
            text.measure(label, &lw, &lh);
            if (x - lw / 2 >= L)
                text.draw(im, x - lw / 2, height - 10, label, c);
        }
    }
    if (brush)
        gdImageDestroy(brush);

    // Value axes.
    int X = 5;
    forAxes(&go->activeAxes, kAxisActiveLink, [&](TQAxisInfo *a) {
        if (!shown(a))
            return;
        int ac = gdImageColorResolve(im, red(a->color), green(a->color), blue(a->color));
        gdImagePtr ab = makeBrush(width, height, a->color);
        X += a->labelWidth;
        brushedLine(im, ab, X, bottom, X, bottom - H);
        double lo = a->center - a->span / 2;
        double hi = a->center + a->span / 2;
        TickStep vs;
        if (tickStep(a->span, lo, H, 3.0 * fontSize, &vs)) {
            for (int k = 0; k < maxTicks; ++k) {
                double v = vs.first + k * vs.step;
                if (!(v <= hi))
                    break;
                int y = bottom - toPixel((v - lo) / a->span * H);
                brushedLine(im, ab, X - 3, y, X + 3, y);
                if (a == timeAxis && go->gridenable)
                    gdImageLine(im, X + 6, y, go->plotRight, y, gdStyled);
                char label[64];
                snprintf(label, sizeof label, "%.*lf", vs.decimals, v);
                int lw = 0, lh = 0;
                text.measure(label, &lw, &lh);
                int baseline = y + go->textHeight / 2;
                if (baseline < bottom)
                    text.draw(im, X - 3 - lw, baseline, label, ac);
            }
        }
        int ew = 0, eh = 0;
        text.measure(a->eu, &ew, &eh);
        text.draw(im, X - a->labelWidth + (a->labelWidth - ew) / 2, height - 10, a->eu, ac);
        if (ab)
            gdImageDestroy(ab);
    });

    // Traces.
    gdImageSetClip(im, L, bottom - H, L + W, bottom);
    std::vector<Trace> traces;
    forAxes(&go->activeAxes, kAxisActiveLink, [&](TQAxisInfo *a) {
        if (!a->enable || !(a->span != 0) || !std::isfinite(a->span))
            return;
        for (void *e = a->activeChannels.first; e; e = tqListNext(e, kEntryActiveLink)) {
            auto *entry = static_cast<TQChannelEnable *>(e);
            if (!entry->enable || !entry->channel || !entry->channel->streamChannelEval)
                continue;
            traces.push_back(
                Trace{entry, entry->channel, a->center - a->span / 2, a->span, nullptr, 0, 0, 0, 0, 0, false});
        }
    });
    for (Trace &t : traces) {
        t.brush = makeBrush(width, height, t.entry->color);
        t.entry->brush = t.brush;
        t.colour = gdImageColorResolve(im, red(t.entry->color), green(t.entry->color), blue(t.entry->color));
    }

    const uint16_t scanSize = stream->scanSize;
    const int64_t n = toScans(rate * d);
    const double spp = static_cast<double>(n) / W;
    if (!traces.empty() && scanSize > 0 && n > 0) {
        if (spp < 1) {
            TQPiece *pieces = nullptr;
            uint32_t pieceCount = 0;
            int64_t got = reader->readerReserveRead(reader, &pieces, &pieceCount, n);
            if (got > 0 && pieces) {
                int64_t read =
                    forScans(pieces, pieceCount, scanSize, std::min(got, n), [&](int64_t i, const void *scan) {
                        // A single scan has no span to spread over: it is drawn at
                        // the plot's left edge.
                        int x = n > 1 ? L + static_cast<int>(i * W / (n - 1)) : L;
                        for (Trace &t : traces) {
                            double v = t.channel->streamChannelEval(t.channel, scan);
                            bool ok = false;
                            int y = mapY(t, v, H, &ok);
                            if (ok && n == 1)
                                brushedLine(im, t.brush, x, y, x, y);
                            joinTo(im, t, x, v, H);
                        }
                    });
                reader->readerCompleteRead(reader, read);
            } else {
                reader->readerCompleteRead(reader, 0);
            }
        } else {
            int64_t pos0 = 0;
            reader->readerPeek(reader, nullptr, &pos0);
            int64_t done = 0; // scans of the window behind the reader's position
            for (int col = 0; col < W; ++col) {
                int64_t T = toScans(std::ceil((col + 1) * spp)) - 1;
                if (T > n - 1)
                    T = n - 1;
                int x = L + col;
                int64_t columnScans = 0;
                for (Trace &t : traces) {
                    t.min = HUGE_VAL;
                    t.max = -HUGE_VAL;
                    t.sum = 0;
                    t.count = 0;
                }
                if (mode == 5) {
                    if (T < done)
                        continue;
                    reader->readerSeek(reader, T - done, TQ_WHENCE_CURRENT);
                    int64_t at = 0, count = 0;
                    void *scan = reader->readerPeek(reader, &count, &at);
                    done = at - pos0;
                    if (!scan || count <= 0 || done != T)
                        continue;
                    for (Trace &t : traces)
                        joinTo(im, t, x, t.channel->streamChannelEval(t.channel, scan), H);
                    continue;
                }
                // The column's scans, through as many reservations as the
                // buffer hands out; none is ever left open.
                int64_t want = T - done;
                while (want > 0) {
                    TQPiece *pieces = nullptr;
                    uint32_t pieceCount = 0;
                    int64_t got = reader->readerReserveRead(reader, &pieces, &pieceCount, want);
                    if (got <= 0 || !pieces) {
                        reader->readerCompleteRead(reader, 0);
                        break;
                    }
                    int64_t read =
                        forScans(pieces, pieceCount, scanSize, std::min(got, want), [&](int64_t, const void *scan) {
                            for (Trace &t : traces) {
                                double v = t.channel->streamChannelEval(t.channel, scan);
                                t.min = std::min(t.min, v);
                                t.max = std::max(t.max, v);
                                t.sum += v;
                                ++t.count;
                            }
                        });
                    reader->readerCompleteRead(reader, read);
                    if (read <= 0)
                        break;
                    done += read;
                    want -= read;
                    columnScans += read;
                }
                if (columnScans == 0)
                    continue;
                for (Trace &t : traces) {
                    if (mode == 4) {
                        bool ok1 = false, ok2 = false;
                        int y1 = mapY(t, t.min, H, &ok1);
                        int y2 = mapY(t, t.max, H, &ok2);
                        // The pixels a vertical brushed line covers, filled
                        // at once: a brush stamped per pixel costs several
                        // times the whole rest of the rendering.
                        if (ok1 && ok2 && t.brush) {
                            int side = gdImageSX(t.brush);
                            int x0 = x - side / 2;
                            int top = std::min(y1, y2) - side / 2;
                            int low = std::max(y1, y2) - side / 2 + side - 1;
                            gdImageFilledRectangle(im, x0, top, x0 + side - 1, low, t.colour);
                        }
                        t.hasLast = false;
                        continue;
                    }
                    double v = mode == 1   ? t.min
                               : mode == 2 ? t.max
                               : mode == 3 ? t.sum / static_cast<double>(t.count)
                                           : 0.0;
                    joinTo(im, t, x, v, H);
                }
            }
        }
    }
    for (Trace &t : traces) {
        if (t.brush)
            gdImageDestroy(t.brush);
        t.entry->brush = nullptr;
    }
    releaseReader(reader);
}

} // namespace

int32_t renderGraph(TQStream *stream, TQGraphObject *go, int32_t width, int32_t height, int32_t mode, void **image,
                    uint32_t *size)
{
    if (image)
        *image = nullptr;
    if (size)
        *size = 0;
    if (!go || !image || !size)
        return TQS_ERR_FAILED;
    width = static_cast<int16_t>(width);
    height = static_cast<int16_t>(height);
    // No image can have such a size: the rendering makes none, which is no
    // error (the caller gets a null image of size 0).
    if (width <= 0 || height <= 0)
        return TQS_OK;
    go->fontSize = height * 10 / 400;
    gdImagePtr im = gdImageCreate(width, height);
    if (!im)
        return TQS_ERR_NOMEM;
    gdImageColorAllocate(im, red(go->bgcolor), green(go->bgcolor), blue(go->bgcolor));
    if (stream)
        drawPlot(stream, go, im, width, height, mode);
    int length = 0;
    void *png = gdImagePngPtr(im, &length);
    gdImageDestroy(im);
    if (!png || length <= 0) {
        if (png)
            gdFree(png);
        return TQS_ERR_NOMEM;
    }
    *image = png;
    *size = static_cast<uint32_t>(length);
    return TQS_OK;
}

int32_t graphGetGraph(TQGraphObject *go, int32_t width, int32_t height, int32_t mode, void **image, uint32_t *size)
{
    return renderGraph(streamOf(go), go, width, height, mode, image, size);
}

int32_t streamGetGraph(TQStream *stream, int32_t width, int32_t height, int32_t mode, double start, double duration,
                       void **image, uint32_t *size)
{
    TQGraphObject *go = defaultGraphObject(stream);
    if (!go) {
        if (image)
            *image = nullptr;
        if (size)
            *size = 0;
        return TQS_ERR_FAILED;
    }
    go->starttime = start;
    go->duration = duration;
    return renderGraph(stream, go, width, height, mode, image, size);
}

int32_t freeGraph(void *, void *image)
{
    if (image)
        gdFree(image);
    return TQS_OK;
}

int32_t graphGetGraphEu(TQGraphObject *go, int32_t x, int32_t y, int32_t, int32_t, double *time, double *value)
{
    auto *axis = go ? static_cast<TQAxisInfo *>(go->activeAxes.last) : nullptr;
    if (!axis)
        return TQS_ERR_NO_AXIS;
    // Before the first rendering there is no plot to map from.
    if (go->plotBottom == go->plotTop || go->plotRight == go->plotLeft)
        return TQS_ERR_FAILED;
    x = static_cast<int16_t>(x);
    y = static_cast<int16_t>(y);
    if (value)
        *value = axis->center + axis->span / 2 -
                 static_cast<double>(y - go->plotTop) / (go->plotBottom - go->plotTop) * axis->span;
    if (time)
        *time =
            static_cast<double>(x - go->plotLeft) / (go->plotRight - go->plotLeft) * go->shownDuration + go->shownStart;
    return TQS_OK;
}

int32_t graphGetGraphNav(TQGraphObject *go, int32_t, int32_t, uint16_t *plotLeft, uint16_t *plotRight,
                         uint16_t *plotBottom, uint16_t *plotTop)
{
    if (!go)
        return TQS_ERR_FAILED;
    if (plotLeft)
        *plotLeft = static_cast<uint16_t>(go->plotLeft);
    if (plotRight)
        *plotRight = static_cast<uint16_t>(go->plotRight);
    if (plotBottom)
        *plotBottom = static_cast<uint16_t>(go->plotBottom);
    if (plotTop)
        *plotTop = static_cast<uint16_t>(go->plotTop);
    return TQS_OK;
}

int32_t streamGetGraphNav(TQStream *stream, int32_t width, int32_t height, uint16_t *plotLeft, uint16_t *plotRight,
                          uint16_t *plotBottom, uint16_t *plotTop)
{
    TQGraphObject *go = defaultGraphObject(stream);
    if (!go)
        return TQS_ERR_FAILED;
    return graphGetGraphNav(go, width, height, plotLeft, plotRight, plotBottom, plotTop);
}

} // namespace tq::stream
