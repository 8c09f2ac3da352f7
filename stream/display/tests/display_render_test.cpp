// Rendering of graph objects: tick spacing, layout, the pixels of known
// waveforms in each mode (the PNG decoded with libpng), the mapping back from
// pixels, the live window's reach, and hostile windows and axes.
#include <gtest/gtest.h>
#include <png.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "display/displayimpl.h"
#include "core/tests/memstream.h"

using namespace tq::stream;

namespace
{

constexpr uint32_t kRed = 0xff0000;

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    uint32_t at(int x, int y) const
    {
        const uint8_t *p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    }
};

Picture decode(const void *data, uint32_t size)
{
    Picture pic;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size))
        return pic;
    image.format = PNG_FORMAT_RGB;
    pic.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pic.rgb.data(), 0, nullptr)) {
        pic.rgb.clear();
        return pic;
    }
    pic.width = static_cast<int>(image.width);
    pic.height = static_cast<int>(image.height);
    return pic;
}

bool pngcheckAccepts(const void *data, uint32_t size)
{
    char path[] = "/tmp/tq_render_XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return false;
    FILE *f = fdopen(fd, "wb");
    fwrite(data, 1, size, f);
    fclose(f);
    std::string cmd = std::string("pngcheck -q ") + path + " >/dev/null 2>&1";
    int rc = system(cmd.c_str());
    remove(path);
    return rc == 0;
}

// Waveforms of the test channels, by ownerWord: scan k holds k.
double evalWave(TQStreamChannel *ch, const void *scan)
{
    int64_t k = *static_cast<const int64_t *>(scan);
    switch (ch->ownerWord) {
    case 0:
        return 0.0;
    case 1:
        return k % 2 ? 5.0 : -5.0; // alternating
    default:
        return 2.5;
    }
}

struct Fixture {
    memstream::Owner o;
    TQGraphObject *go = nullptr;
    explicit Fixture(double rate = 100.0, int wave = 1, int channels = 1)
    {
        std::vector<std::string> names;
        for (int i = 0; i < channels; ++i)
            names.push_back("c" + std::to_string(i));
        memstream::make(o, "r", rate, names, 1 << 20);
        for (auto &ch : o.channels) {
            strcpy(ch.eu, "V");
            ch.ownerWord = wave;
            ch.streamChannelEval = evalWave;
        }
        go = o.stream->defaultGraphObject;
        syncGraphObject(go);
        go->graphObjectSetGraphInfo(go, "V", 0.0, 20.0, 0x0000ff);
        go->graphObjectSetChannelColor(go, "c0", kRed);
        go->graphObjectSetGridEnable(go, 0);
        go->graphObjectSetBgColor(go, 0xffffff);
    }
    ~Fixture() { destroyStream(o.stream); }

    // Renders; the image decoded (empty on failure).
    Picture render(int width, int height, int mode, int32_t *rc = nullptr)
    {
        void *image = nullptr;
        uint32_t size = 0;
        int32_t r = go->graphObjectGetGraph(go, width, height, mode, &image, &size);
        if (rc)
            *rc = r;
        Picture pic;
        if (image) {
            EXPECT_TRUE(pngcheckAccepts(image, size));
            pic = decode(image, size);
            go->graphObjectFreeGraph(nullptr, image);
        }
        return pic;
    }
    int plotWidth() const { return go->plotRight - go->plotLeft; }
    int plotHeight() const { return ((go->plotBottom - 10) % 2 == 0) ? go->plotBottom - 11 : go->plotBottom - 10; }
    int yOf(double v) const { return static_cast<int>((1 - (v + 10) / 20) * plotHeight()) + 10; }
};

TEST(TickStep, Table)
{
    struct Case {
        double range, low, pixels, spacing;
        double step, first;
        int decimals;
    } cases[] = {
        {20, -10, 300, 21, 1.25, -10, 2}, {10, 0.5, 600, 70, 10.0 / 9, 10.0 / 9, 4},
        {1, 0, 100, 10, 0.1, 0, 1},       {1000, 3, 500, 100, 200, 200, 0},
        {1e-6, 0, 100, 10, 1e-7, 0, 7},
    };
    for (const Case &c : cases) {
        TickStep t{};
        ASSERT_TRUE(tickStep(c.range, c.low, c.pixels, c.spacing, &t)) << c.range;
        EXPECT_NEAR(t.step, c.step, c.step * 1e-12) << c.range;
        EXPECT_NEAR(t.first, c.first, c.step * 1e-9) << c.range;
        EXPECT_EQ(t.decimals, c.decimals) << c.range;
    }
    // No finite positive step: refused, so that no tick loop starts.
    struct Bad {
        double range, low, pixels, spacing;
    } bad[] = {{0, 0, 100, 10},   {-1, 0, 100, 10},  {1, 0, 0, 10},          {1, 0, 100, 0},
               {NAN, 0, 100, 10}, {1, NAN, 100, 10}, {INFINITY, 0, 100, 10}, {1, INFINITY, 100, 10}};
    for (const Bad &b : bad) {
        TickStep t{};
        EXPECT_FALSE(tickStep(b.range, b.low, b.pixels, b.spacing, &t)) << b.range << " " << b.low;
    }
}

TEST(Render, LayoutAtTenPoints)
{
    Fixture f;
    f.o.write(1000);
    f.go->starttime = 0;
    f.go->duration = 5;
    Picture pic = f.render(640, 400, 3);
    ASSERT_EQ(pic.width, 640);
    EXPECT_EQ(f.go->fontSize, 10);
    EXPECT_EQ(f.go->charWidth, 6);
    EXPECT_EQ(f.go->plotLeft, 52);
    EXPECT_EQ(f.go->plotRight, 620);
    EXPECT_EQ(f.go->plotTop, 10);
    EXPECT_EQ(f.go->plotBottom, 400 - f.go->textHeight - 16);
    EXPECT_EQ(f.go->shownAxisCount, 1);
    uint16_t l, r, b, t;
    EXPECT_EQ(f.go->graphObjectGetGraphNav(f.go, 0, 0, &l, &r, &b, &t), 0);
    EXPECT_EQ(l, 52);
    EXPECT_EQ(r, 620);
    EXPECT_EQ(b, f.go->plotBottom);
    EXPECT_EQ(t, 10);
    // Small images get no font size.
    f.render(640, 39, 3);
    EXPECT_EQ(f.go->fontSize, 0);
}

// Alternating -5 / +5 at 10 scans per pixel column, axis -10..10.
TEST(Render, ModesDrawTheirValues)
{
    struct Case {
        int mode;
        double lo, hi; // the span each column must cover
    } cases[] = {{1, -5, -5}, {2, 5, 5}, {3, 0, 0}, {4, -5, 5}, {5, 5, 5}, {7, 0, 0}};
    for (const Case &c : cases) {
        Fixture f;
        f.go->starttime = 0;
        f.render(640, 480, c.mode); // layout first: the window is sized from it
        int W = f.plotWidth();
        f.go->duration = 10.0 * W / 100.0;
        f.o.write(10 * W);
        Picture pic = f.render(640, 480, c.mode);
        ASSERT_EQ(pic.height, 480);
        int yTop = f.yOf(c.hi), yBottom = f.yOf(c.lo);
        int missing = 0, stray = 0;
        // The first column holds one scan less than the others.
        for (int x = f.go->plotLeft + 2; x < f.go->plotLeft + W; ++x) {
            for (int y = yTop; y <= yBottom; ++y)
                missing += pic.at(x, y) != kRed;
            stray += pic.at(x, yTop - 3) == kRed;
            stray += pic.at(x, yBottom + 3) == kRed;
        }
        EXPECT_EQ(missing, 0) << "mode " << c.mode;
        EXPECT_EQ(stray, 0) << "mode " << c.mode;
    }
}

TEST(Render, TraceThicknessFollowsImageSize)
{
    struct Case {
        int width, height;
        bool thick;
    } cases[] = {{640, 480, false}, {800, 600, true}};
    for (const Case &c : cases) {
        Fixture f(100.0, 2); // constant 2.5
        f.o.write(100000);
        f.go->starttime = 0;
        f.go->duration = 100;
        Picture pic = f.render(c.width, c.height, 3);
        int y = f.yOf(2.5);
        int x = f.go->plotLeft + 100;
        EXPECT_EQ(pic.at(x, y), kRed);
        EXPECT_EQ(pic.at(x, y + 1) == kRed || pic.at(x, y - 1) == kRed, c.thick) << c.width;
    }
}

TEST(Render, FewScansJoinEveryScan)
{
    Fixture f(100.0, 2);
    f.o.write(5);
    f.go->starttime = 0;
    f.go->duration = 0.05;
    Picture pic = f.render(640, 480, 1);
    int y = f.yOf(2.5);
    for (int x = f.go->plotLeft; x <= f.go->plotRight; ++x)
        ASSERT_EQ(pic.at(x, y), kRed) << x;
}

// One scan in the window: drawn at the left edge instead of dividing by zero.
TEST(Render, SingleScanWindow)
{
    Fixture f(100.0, 2);
    f.o.write(50);
    f.go->starttime = -0.01;
    f.go->duration = 0.01;
    Picture pic = f.render(640, 480, 3);
    ASSERT_EQ(pic.width, 640);
    EXPECT_DOUBLE_EQ(f.go->shownDuration, 0.01);
    EXPECT_DOUBLE_EQ(f.go->shownStart, 0.49);
    EXPECT_EQ(pic.at(f.go->plotLeft, f.yOf(2.5)), kRed);
}

TEST(Render, LiveWindowReachesFiveScansPerPixel)
{
    Fixture f;
    f.o.write(10000);
    f.go->starttime = -100;
    f.go->duration = 1;
    f.render(600, 400, 3);
    EXPECT_DOUBLE_EQ(f.go->shownStart, 70.0); // 3000 scans before the newest
    EXPECT_DOUBLE_EQ(f.go->shownDuration, 1.0);
}

// A buffer that hands out fewer scans per reservation than asked: every
// column is still drawn, and no reservation is left open.
int64_t cappedReserve(TQReader *r, TQPiece **pieces, uint32_t *count, int64_t n)
{
    return memstream::reserveRead(r, pieces, count, n < 7 ? n : 7);
}
TQReader *cappedReader(TQStream *s, int64_t position, int32_t whence)
{
    TQReader *r = memstream::newReader(s, position, whence);
    if (r)
        r->readerReserveRead = cappedReserve;
    return r;
}

TEST(Render, ShortReservationsDrawEveryColumn)
{
    Fixture f(100.0, 2);
    f.o.stream->streamNewReader = cappedReader;
    f.go->starttime = 0;
    f.render(640, 480, 3);
    int W = f.plotWidth();
    f.go->duration = 10.0 * W / 100.0;
    f.o.write(10 * W);
    Picture pic = f.render(640, 480, 3);
    int y = f.yOf(2.5);
    int missing = 0;
    for (int x = f.go->plotLeft + 1; x < f.go->plotLeft + W; ++x)
        missing += pic.at(x, y) != kRed;
    EXPECT_EQ(missing, 0);
}

// Windows and axes no tick loop or pixel conversion may choke on: each gives
// an image. The bound only catches a loop that runs away (seconds to hours),
// far above a render under sanitizers on a loaded machine.
TEST(Render, HostileWindowsAndAxesGiveImages)
{
    struct Case {
        const char *what;
        double rate, start, duration, center, span;
    } cases[] = {
        {"rate 0", 0, -1, 1, 0, 20},           {"negative rate", -5, 0, 1, 0, 20},
        {"NaN start", 100, NAN, 1, 0, 20},     {"infinite duration", 100, 0, INFINITY, 0, 20},
        {"NaN duration", 100, -1, NAN, 0, 20}, {"tiny span far out", 100, 0, 1, 1e300, 1e-300},
        {"zero span", 100, 0, 1, 0, 0},        {"NaN span", 100, 0, 1, 0, NAN},
        {"huge start", 100, 1e300, 1, 0, 20},  {"huge live start", 100, -1e300, 1e-300, 0, 20},
    };
    for (const Case &c : cases) {
        Fixture f(c.rate);
        f.o.write(1000);
        f.go->starttime = c.start;
        f.go->duration = c.duration;
        f.go->graphObjectSetGraphInfo(f.go, "V", c.center, c.span, 0x0000ff);
        auto t0 = std::chrono::steady_clock::now();
        int32_t rc = -1;
        Picture pic = f.render(640, 480, 4, &rc);
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
        EXPECT_EQ(rc, 0) << c.what;
        EXPECT_EQ(pic.width, 640) << c.what;
        EXPECT_LT(ms.count(), 60000) << c.what;
    }
}

TEST(Render, NoSizeGivesNoImageAndNoError)
{
    Fixture f;
    for (int size : {0, -5}) {
        SCOPED_TRACE(size);
        void *image = reinterpret_cast<void *>(1);
        uint32_t bytes = 77;
        EXPECT_EQ(f.go->graphObjectGetGraph(f.go, size, 100, 3, &image, &bytes), 0);
        EXPECT_EQ(image, nullptr);
        EXPECT_EQ(bytes, 0u);
        image = reinterpret_cast<void *>(1);
        bytes = 77;
        EXPECT_EQ(tqstream_getGraph(f.o.stream, size, size, 3, 0.0, 1.0, &image, &bytes), VI_SUCCESS);
        EXPECT_EQ(image, nullptr);
        EXPECT_EQ(bytes, 0u);
    }
}

TEST(Render, StreamGraphUsesTheDefaultGraphObject)
{
    Fixture f(100.0, 2);
    f.o.write(1000);
    void *image = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(f.o.stream->streamGetGraph(f.o.stream, 640, 480, 3, 2.0, 4.0, &image, &size), 0);
    ASSERT_NE(image, nullptr);
    EXPECT_DOUBLE_EQ(f.go->shownStart, 2.0);
    EXPECT_DOUBLE_EQ(f.go->shownDuration, 4.0);
    Picture pic = decode(image, size);
    EXPECT_EQ(pic.at(f.go->plotLeft + 50, f.yOf(2.5)), kRed);
    EXPECT_EQ(f.o.stream->graphObjectFreeGraph(nullptr, image), 0);
    uint16_t l = 0, r = 0, b = 0, t = 0;
    EXPECT_EQ(f.o.stream->streamGetGraphNav(f.o.stream, 0, 0, &l, &r, &b, &t), 0);
    EXPECT_EQ(l, f.go->plotLeft);
    EXPECT_EQ(b, f.go->plotBottom);
}

TEST(Render, GraphEuIsTheInverseOfTheLayout)
{
    Fixture f;
    double t = 0, v = 0;
    f.o.write(1000);
    f.go->starttime = 1;
    f.go->duration = 4;
    f.render(640, 480, 3);
    struct Case {
        int x, y;
        double time, value;
    } cases[] = {
        {f.go->plotLeft, f.go->plotTop, 1.0, 10.0},
        {f.go->plotRight, f.go->plotBottom, 5.0, -10.0},
        {(f.go->plotLeft + f.go->plotRight) / 2, (f.go->plotTop + f.go->plotBottom) / 2, 3.0, 0.0},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(f.go->graphObjectGetGraphEu(f.go, c.x, c.y, 0, 0, &t, &v), 0);
        EXPECT_NEAR(t, c.time, 0.01);
        EXPECT_NEAR(v, c.value, 0.05);
    }
    // Without an active axis there is nothing to map to.
    memstream::Owner bare;
    memstream::make(bare, "n", 100.0, {});
    TQGraphObject *go = bare.stream->defaultGraphObject;
    EXPECT_EQ(go->graphObjectGetGraphEu(go, 10, 10, 0, 0, &t, &v), TQS_ERR_NO_AXIS);
    destroyStream(bare.stream);
}

} // namespace
