// Widgets of a display window: small instrument faces bound by name to one
// channel of the window's stream. The only kind drawn is the dial gauge: a
// circular scale from a minimum to a maximum with eleven labels and a needle
// at the channel's newest value, rendered to a PNG image with GD.
#include <gd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "displayimpl.h"
#include "gdtext.h"
#include "tq/platform/numfmt.h"

namespace tq::stream
{

namespace
{

constexpr int32_t kDialGauge = 0;
// Failure of widgetGetImage for a widget that is not drawn: none of the
// engine's other results, so that a caller can tell it apart.
constexpr int32_t kNotDrawn = -1;
// Largest side of a dial image, in pixels: far above any window a dial is
// shown in, and small enough to draw in a fraction of a second.
constexpr int kMaxDialSide = 4096;
constexpr double kPi = 3.1415; // the dial's angles were laid out with it

TQDisplayWindow *windowOfWidget(TQWidget *widget)
{
    return static_cast<TQDisplayWindow *>(widget->link.owner);
}

int32_t widgetAddRef(TQWidget *widget)
{
    ++widget->refCount;
    return 0;
}

// Takes the widget out of its window's list and drops the list's reference.
int32_t widgetClose(TQWidget *widget)
{
    TQDisplayWindow *window = windowOfWidget(widget);
    if (!window)
        return 0;
    tqListRemove(&window->widgets, widget, kWidgetLink);
    TQWidget *copy = widget;
    widget->internalRelease(&copy);
    return 0;
}

int32_t widgetRelease(TQWidget **holder)
{
    if (!holder || !*holder)
        return 0;
    TQWidget *widget = *holder;
    if (--widget->refCount > 0)
        return 0;
    // A caller that dropped the list's reference too leaves the widget
    // linked: take it out rather than leave the window's list pointing at
    // freed memory.
    if (TQDisplayWindow *window = windowOfWidget(widget))
        tqListRemove(&window->widgets, widget, kWidgetLink);
    free(widget);
    *holder = nullptr;
    return 0;
}

int32_t setTitle(TQWidget *widget, const char *title)
{
    copyBounded(widget->title, sizeof widget->title, title);
    return 0;
}

// Copies a field into the caller's buffer of size bytes, terminated in its
// last byte.
int32_t copyOut(const char *field, size_t fieldSize, char *buffer, int32_t size)
{
    if (!buffer || size <= 0)
        return 0;
    size_t n = static_cast<size_t>(size);
    strncpy(buffer, field, n < fieldSize ? n : fieldSize);
    if (n > fieldSize)
        buffer[fieldSize] = '\0';
    buffer[n - 1] = '\0';
    return 0;
}

int32_t getTitle(TQWidget *widget, char *buffer, int32_t size)
{
    return copyOut(widget->title, sizeof widget->title, buffer, size);
}

// Channel names of a stream hold at most 127 characters; a longer name is
// cut like a title (and then names no channel).
int32_t setChannel(TQWidget *widget, const char *name)
{
    copyBounded(widget->channel, sizeof widget->channel, name);
    return 0;
}

int32_t getChannel(TQWidget *widget, char *buffer, int32_t size)
{
    return copyOut(widget->channel, sizeof widget->channel, buffer, size);
}

template <int32_t TQWidget::*Field> int32_t setInt(TQWidget *widget, int32_t value)
{
    widget->*Field = value;
    return 0;
}

template <int32_t TQWidget::*Field> int32_t getInt(TQWidget *widget, int32_t *value)
{
    if (value)
        *value = widget->*Field;
    return 0;
}

int32_t setColor(TQWidget *widget, int32_t index, uint32_t colour)
{
    if (index < 0 || index >= TQ_WIDGET_COLORS)
        return TQS_ERR_NO_AXIS;
    widget->colors[index] = colour;
    return 0;
}

int32_t getColor(TQWidget *widget, int32_t index, uint32_t *colour)
{
    if (index < 0 || index >= TQ_WIDGET_COLORS)
        return TQS_ERR_NO_AXIS;
    if (colour)
        *colour = widget->colors[index];
    return 0;
}

int32_t widgetReset(TQWidget *)
{
    return TQS_ERR_NOTSUPPORTED;
}

// Images come from GD's PNG encoder and go back to it.
int32_t widgetFreeImage(TQWidget *, void *image)
{
    if (image)
        gdFree(image);
    return 0;
}

// The newest value of the widget's channel; 0.0 without a stream, a reader,
// data or a channel of that name.
double newestValue(TQWidget *widget)
{
    TQDisplayWindow *window = windowOfWidget(widget);
    auto *stream = window ? static_cast<TQStream *>(window->streamLink.owner) : nullptr;
    if (!stream)
        return 0.0;
    TQReader *reader = stream->streamNewReader(stream, -1, TQ_WHENCE_NEWEST);
    if (!reader)
        return 0.0;
    double value = 0.0;
    TQPiece *pieces = nullptr;
    int64_t got = reader->readerReserveRead(reader, &pieces, nullptr, 1);
    if (got >= 1 && pieces && pieces[0].data) {
        char name[TQ_ENABLE_NAME_SIZE];
        copyBounded(name, sizeof name, widget->channel);
        TQStreamChannel *channel = stream->streamGetChannel(stream, name);
        if (channel && channel->streamChannelEval)
            value = channel->streamChannelEval(channel, pieces[0].data);
    }
    reader->readerCompleteRead(reader, 0);
    reader->readerUnlink(reader);
    reader->readerRelease(&reader);
    return value;
}

void drawDial(gdImagePtr im, int size, double min, double max, double value)
{
    const int half = size / 2;
    const double range = max - min;
    const int grey = gdImageColorAllocate(im, 128, 128, 128);
    gdImageColorTransparent(im, grey);
    const int black = gdImageColorAllocate(im, 0, 0, 0);
    const int white = gdImageColorAllocate(im, 255, 255, 255);

    gdImageSetThickness(im, 3);
    gdImageArc(im, half, half, size - 2, size - 2, 0, 360, black);
    gdImageFillToBorder(im, half, half, black, white);

    // Eleven labels from the minimum at 250 degrees clockwise over the top
    // to the maximum at -70 degrees; t grows by repeated addition, so the
    // last label sits at the sum of ten steps, just below 1.
    GraphText text;
    text.init(0.05 * size);
    for (double t = 0.0; t <= 1.0; t += 0.1) {
        char label[64];
        tq::platform::cformat(label, sizeof label, "%.1lf", min + t * range);
        const double a = (250.0 - 320.0 * t) * kPi / 180.0;
        const int x = static_cast<int>(half + 0.38 * size * std::cos(a));
        const int y = static_cast<int>(half - 0.38 * size * std::sin(a));
        int w = 0, h = 0;
        text.measure(label, &w, &h);
        text.draw(im, x - w / 2, y + h / 2, label, black);
    }

    // The needle points at the value on the scale, beyond its ends for
    // values outside it. An empty scale (minimum equal to maximum) or a value
    // that is not a number puts it at the minimum rather than computing
    // positions from a NaN.
    double f = range != 0.0 ? (value - min) / range : 0.0;
    if (!std::isfinite(f))
        f = 0.0;
    const double b = (160.0 - 320.0 * f) * kPi / 180.0;
    const int k = size / 50;
    const int r = static_cast<int>(-0.3 * size);
    const int local[3][2] = {{-k, k}, {0, r}, {k, k}};
    gdPoint corners[3];
    for (int i = 0; i < 3; ++i) {
        const double u = local[i][0];
        const double v = local[i][1];
        corners[i].x = static_cast<int>(half - u * std::cos(b) + v * std::sin(b));
        corners[i].y = static_cast<int>(half + u * std::sin(b) + v * std::cos(b));
    }
    gdImageFilledPolygon(im, corners, 3, black);
}

int32_t widgetGetImage(TQWidget *widget, void **image, uint32_t *size)
{
    if (image)
        *image = nullptr;
    if (size)
        *size = 0;
    if (widget->type != kDialGauge)
        return kNotDrawn;
    if (!image || !size)
        return TQS_ERR_FAILED;
    // A dial of no size is no image at all.
    const int side = widget->width < widget->height ? widget->width : widget->height;
    if (side <= 0)
        return TQS_ERR_FAILED;
    // The image and its drawing grow with the square of the side: a dial
    // larger than any screen shows would take seconds and gigabytes, so it
    // is refused as the resources it would exhaust (0xBFFF003C at the export).
    if (side > kMaxDialSide)
        return TQS_ERR_NOMEM;

    const double value = newestValue(widget);
    gdImagePtr im = gdImageCreate(side, side);
    if (!im)
        return TQS_ERR_NOMEM;
    drawDial(im, side, static_cast<double>(widget->min), static_cast<double>(widget->max), value);
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
    return 0;
}

} // namespace

TQWidget *displayWindowNewWidget(TQDisplayWindow *window, int32_t type, const char *title, int32_t x, int32_t y,
                                 int32_t width, int32_t height)
{
    auto *w = static_cast<TQWidget *>(calloc(1, sizeof(TQWidget)));
    if (!w)
        return nullptr;
    w->refCount = 1;
    w->widgetAddRef = widgetAddRef;
    w->widgetRelease = widgetRelease;
    w->widgetSetTitle = setTitle;
    w->widgetGetTitle = getTitle;
    w->widgetSetXPos = setInt<&TQWidget::x>;
    w->widgetGetXPos = getInt<&TQWidget::x>;
    w->widgetSetYPos = setInt<&TQWidget::y>;
    w->widgetGetYPos = getInt<&TQWidget::y>;
    w->widgetSetWidth = setInt<&TQWidget::width>;
    w->widgetGetWidth = getInt<&TQWidget::width>;
    w->widgetSetHeight = setInt<&TQWidget::height>;
    w->widgetGetHeight = getInt<&TQWidget::height>;
    w->widgetSetMin = setInt<&TQWidget::min>;
    w->widgetGetMin = getInt<&TQWidget::min>;
    w->widgetSetMax = setInt<&TQWidget::max>;
    w->widgetGetMax = getInt<&TQWidget::max>;
    w->widgetSetChannel = setChannel;
    w->widgetGetChannel = getChannel;
    w->widgetSetType = setInt<&TQWidget::type>;
    w->widgetGetType = getInt<&TQWidget::type>;
    w->widgetSetColor = setColor;
    w->widgetGetColor = getColor;
    w->widgetGetImage = widgetGetImage;
    w->widgetFreeImage = widgetFreeImage;
    w->widgetReset = widgetReset;
    w->widgetClose = widgetClose;
    w->internalAddRef = widgetAddRef;
    w->internalRelease = widgetRelease;
    copyBounded(w->title, sizeof w->title, title);
    w->type = type;
    w->x = x;
    w->y = y;
    w->width = width;
    w->height = height;
    if (window) {
        tqListAppend(&window->widgets, window, w, kWidgetLink);
        w->internalAddRef(w);
    }
    return w;
}

} // namespace tq::stream
