// Widgets of a display window: the record and its settings, membership in
// the window, and the dial drawn from the channel's newest value (the PNG
// decoded with libpng).
#include <gtest/gtest.h>

#include <png.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "display/displayimpl.h"
#include "core/tests/memstream.h"
#include "core/streamimpl.h"

namespace
{

double indexValue(TQStreamChannel *, const void *scan)
{
    int64_t v;
    memcpy(&v, scan, sizeof v);
    return static_cast<double>(v);
}

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
    const uint8_t *at(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
    bool transparent(int x, int y) const { return at(x, y)[3] == 0; }
    bool black(int x, int y) const
    {
        const uint8_t *p = at(x, y);
        return p[3] == 255 && p[0] == 0 && p[1] == 0 && p[2] == 0;
    }
    bool white(int x, int y) const
    {
        const uint8_t *p = at(x, y);
        return p[3] == 255 && p[0] == 255 && p[1] == 255 && p[2] == 255;
    }
};

Picture decode(const void *data, uint32_t size)
{
    Picture pic;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size))
        return pic;
    image.format = PNG_FORMAT_RGBA;
    pic.rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pic.rgba.data(), 0, nullptr)) {
        pic.rgba.clear();
        return pic;
    }
    pic.width = static_cast<int>(image.width);
    pic.height = static_cast<int>(image.height);
    return pic;
}

// A stream with one channel "level" whose newest value is the scan index,
// and a widget in its default window.
struct Dial : ::testing::Test {
    memstream::Owner owner;
    TQDisplayWindow *window = nullptr;
    TQWidget *widget = nullptr;

    void SetUp() override
    {
        memstream::make(owner, "src", 100.0, {"level"}, 1024);
        owner.channels[0].streamChannelEval = indexValue;
        window = owner.stream->streamGetDisplayWindowByIndex(owner.stream, 0);
        widget = window->displayWindowNewWidget(window, 0, "dial", 5, 6, 200, 120);
        ASSERT_NE(widget, nullptr);
        widget->widgetSetChannel(widget, "level");
        widget->widgetSetMin(widget, 0);
        widget->widgetSetMax(widget, 100);
    }
    void TearDown() override
    {
        if (widget) {
            widget->widgetClose(widget);
            widget->widgetRelease(&widget);
        }
        owner.stream->streamRelease(&owner.stream);
    }

    Picture draw()
    {
        void *image = nullptr;
        uint32_t size = 0;
        EXPECT_EQ(widget->widgetGetImage(widget, &image, &size), 0);
        if (!image)
            return {};
        Picture pic = decode(image, size);
        EXPECT_EQ(widget->widgetFreeImage(widget, image), 0);
        return pic;
    }
};

// Whether the needle covers the point 40 % of the way from the centre
// towards its tip at the scale angle (degrees, counter-clockwise from the
// right), and leaves the point opposite it white.
void expectNeedleAt(const Picture &pic, double degrees)
{
    const int size = pic.width;
    const double half = size / 2;
    const double a = degrees * 3.1415 / 180.0;
    const double r = 0.4 * 0.3 * size;
    const int x = static_cast<int>(std::lround(half + r * std::cos(a)));
    const int y = static_cast<int>(std::lround(half - r * std::sin(a)));
    const int ox = static_cast<int>(std::lround(half - r * std::cos(a)));
    const int oy = static_cast<int>(std::lround(half + r * std::sin(a)));
    EXPECT_TRUE(pic.black(x, y)) << "needle at " << x << "," << y;
    EXPECT_TRUE(pic.white(ox, oy)) << "opposite at " << ox << "," << oy;
}

TEST_F(Dial, ImageIsTheSmallerSideWithTransparentCornersAndARim)
{
    owner.write(51); // the newest scan's value is 50
    Picture pic = draw();
    ASSERT_EQ(pic.width, 120);
    ASSERT_EQ(pic.height, 120);
    expectNeedleAt(pic, 90);
    for (auto [x, y] : {std::pair{0, 0}, {119, 0}, {0, 119}, {119, 119}, {8, 8}})
        EXPECT_TRUE(pic.transparent(x, y)) << x << "," << y;
    // Rim of diameter 118 around (60, 60), white inside.
    EXPECT_TRUE(pic.black(60, 1));
    EXPECT_TRUE(pic.black(1, 60));
    EXPECT_TRUE(pic.black(118, 60));
    EXPECT_TRUE(pic.white(60, 100));
    // The label 50.0 sits at the top, at radius 45.6.
    int dark = 0;
    for (int y = 10; y <= 18; ++y)
        for (int x = 52; x <= 68; ++x)
            dark += pic.at(x, y)[0] < 128 ? 1 : 0;
    EXPECT_GT(dark, 3);
}

double gValue = 0.0;

TEST_F(Dial, NeedlePointsAtTheValueOnTheScale)
{
    struct Case {
        double value;
        int32_t min, max;
        double degrees;
    } cases[] = {
        {50, 0, 100, 90},                             // straight up
        {0, 0, 100, 250},                             // the minimum, lower left
        {100, 0, 100, -70},                           // the maximum, lower right
        {25, 0, 100, 170},       {150, 0, 100, -230}, // beyond the end of the scale
        {-150, 0, 100, 730},                          // beyond its start
        {-50, -100, 100, 170},                        // a scale below zero
        {7, 40, 40, 250},                             // an empty scale: the minimum
        {NAN, 0, 100, 250},                           // no number: the minimum
        {INFINITY, 0, 100, 250},
    };
    owner.write(1);
    owner.channels[0].streamChannelEval = [](TQStreamChannel *, const void *) { return gValue; };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        gValue = c.value;
        widget->widgetSetMin(widget, c.min);
        widget->widgetSetMax(widget, c.max);
        Picture pic = draw();
        ASSERT_EQ(pic.width, 120);
        expectNeedleAt(pic, c.degrees);
    }
}

TEST_F(Dial, WithoutAValueTheNeedleStandsAtZero)
{
    owner.write(80);
    struct Case {
        const char *channel;
        bool dropReaders;
    } cases[] = {{"nothing-by-this-name", false}, {"level", true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.channel);
        widget->widgetSetChannel(widget, c.channel);
        if (c.dropReaders)
            owner.stream->streamNewReader = [](TQStream *, int64_t, int32_t) -> TQReader * { return nullptr; };
        expectNeedleAt(draw(), 250);
    }
}

TEST_F(Dial, NoImageForNoSizeOrAnotherType)
{
    struct Case {
        int32_t type, width, height;
        bool nonzero;
    } cases[] = {{0, 0, 100, true}, {0, 100, 0, true}, {0, -5, 100, true}, {1, 100, 100, true}, {7, 100, 100, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.type << " " << c.width << "x" << c.height);
        widget->widgetSetType(widget, c.type);
        widget->widgetSetWidth(widget, c.width);
        widget->widgetSetHeight(widget, c.height);
        void *image = &owner; // anything but null
        uint32_t size = 99;
        EXPECT_NE(widget->widgetGetImage(widget, &image, &size), 0);
        EXPECT_EQ(image, nullptr);
        EXPECT_EQ(size, 0u);
    }
}

TEST_F(Dial, SizesBeyondTheBoundAreRefused)
{
    // A dial larger than any window shows would take seconds and gigabytes
    // to draw; it is refused as exhausting resources, whatever its value.
    for (int32_t side : {4097, 30000, 1 << 30}) {
        SCOPED_TRACE(side);
        widget->widgetSetWidth(widget, side);
        widget->widgetSetHeight(widget, side + 1);
        void *image = &owner;
        uint32_t size = 99;
        EXPECT_EQ(widget->widgetGetImage(widget, &image, &size), TQS_ERR_NOMEM);
        EXPECT_EQ(image, nullptr);
        EXPECT_EQ(size, 0u);
        EXPECT_EQ(tqstream_getWidgetImage(widget, &image, &size), static_cast<ViStatus>(0xBFFF003C));
        EXPECT_EQ(image, nullptr);
    }
    // The bound is on the smaller side, the one the square image has.
    widget->widgetSetWidth(widget, 100);
    widget->widgetSetHeight(widget, 1 << 30);
    void *image = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(widget->widgetGetImage(widget, &image, &size), 0);
    EXPECT_GT(size, 0u);
    widget->widgetFreeImage(widget, image);
}

TEST_F(Dial, SettingsAndBoundedTexts)
{
    int32_t v = 0;
    widget->widgetGetXPos(widget, &v);
    EXPECT_EQ(v, 5);
    widget->widgetGetYPos(widget, &v);
    EXPECT_EQ(v, 6);
    widget->widgetSetHeight(widget, 77);
    widget->widgetGetHeight(widget, &v);
    EXPECT_EQ(v, 77);
    widget->widgetSetMin(widget, -12);
    widget->widgetGetMin(widget, &v);
    EXPECT_EQ(v, -12);

    const std::string longName(300, 'n');
    widget->widgetSetTitle(widget, longName.c_str());
    widget->widgetSetChannel(widget, longName.c_str());
    char buffer[400];
    widget->widgetGetTitle(widget, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer), longName.substr(0, 127));
    widget->widgetGetChannel(widget, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer), longName.substr(0, 127));
    widget->widgetSetChannel(widget, "pressure_12");
    memset(buffer, 'x', sizeof buffer);
    widget->widgetGetChannel(widget, buffer, 10);
    EXPECT_STREQ(buffer, "pressure_");

    for (int32_t index : {-1, 6, 100}) {
        uint32_t colour = 7;
        EXPECT_EQ(widget->widgetSetColor(widget, index, 0x123456), -17);
        EXPECT_EQ(widget->widgetGetColor(widget, index, &colour), -17);
        EXPECT_EQ(colour, 7u);
    }
    for (int32_t index = 0; index < 6; ++index)
        EXPECT_EQ(widget->widgetSetColor(widget, index, 0x100000u + static_cast<uint32_t>(index)), 0);
    for (int32_t index = 0; index < 6; ++index) {
        uint32_t colour = 0;
        EXPECT_EQ(widget->widgetGetColor(widget, index, &colour), 0);
        EXPECT_EQ(colour, 0x100000u + static_cast<uint32_t>(index));
    }
    EXPECT_EQ(widget->widgetReset(widget), -13);
}

TEST_F(Dial, MembershipOfTheWindow)
{
    EXPECT_EQ(widget->refCount, 2);
    TQWidget *second = window->displayWindowNewWidget(window, 0, "dial", 0, 0, 50, 50);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(window->displayWindowGetNumberWidgets(window), 2);
    EXPECT_EQ(window->displayWindowGetWidgetByTitle(window, "dial"), widget); // the first made
    EXPECT_EQ(widget->refCount, 2);                                           // no reference added
    EXPECT_EQ(window->displayWindowGetWidgetByIndex(window, 1), second);

    // Closing takes it out of the window; the holder's release frees it.
    EXPECT_EQ(second->widgetClose(second), 0);
    EXPECT_EQ(second->widgetClose(second), 0); // a second close changes nothing
    EXPECT_EQ(second->refCount, 1);
    EXPECT_EQ(window->displayWindowGetNumberWidgets(window), 1);
    second->widgetRelease(&second);
    EXPECT_EQ(second, nullptr);
}

// A window freed with widgets still in it lets them go; a widget its holder
// keeps then draws without a stream, the needle at 0.0.
TEST(DialWindow, AWidgetOutlivesItsWindow)
{
    memstream::Owner owner;
    memstream::make(owner, "src", 100.0, {"level"}, 64);
    TQDisplayWindow *window = owner.stream->streamNewDisplayWindow(owner.stream, "w", 0, 0, 10, 10);
    TQWidget *widget = window->displayWindowNewWidget(window, 0, "dial", 0, 0, 100, 100);
    widget->widgetSetMax(widget, 10);
    window->displayWindowReleaseGraphObjects(window); // out of the stream
    window->displayWindowSlotRelease(&window);        // and freed
    ASSERT_EQ(window, nullptr);
    EXPECT_EQ(widget->link.owner, nullptr);
    EXPECT_EQ(widget->refCount, 1);
    void *image = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(widget->widgetGetImage(widget, &image, &size), 0);
    Picture pic = decode(image, size);
    widget->widgetFreeImage(widget, image);
    ASSERT_EQ(pic.width, 100);
    expectNeedleAt(pic, 250);
    EXPECT_EQ(widget->widgetClose(widget), 0);
    widget->widgetRelease(&widget);
    EXPECT_EQ(widget, nullptr);
    owner.stream->streamRelease(&owner.stream);
}

} // namespace
