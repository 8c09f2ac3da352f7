// Capture: the four container layouts, decimation across calls, file names,
// and the failures that must not leave a wrong file behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "stream_test_util.h"
#include "file/streamfile_io.h"
#include "core/streamimpl.h"

using streamtest::readFile;
using streamtest::scratchDir;

namespace {

constexpr uint16_t kScanSize = 6;

// Scan g of the whole capture: bytes derived from g, so every scan differs.
std::vector<uint8_t> scans(int first, int count)
{
    std::vector<uint8_t> out;
    for (int g = first; g < first + count; ++g)
        for (int b = 0; b < kScanSize; ++b)
            out.push_back(static_cast<uint8_t>(g * 7 + b * 31 + 1));
    return out;
}

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

struct Header {
    double c0[2] = {0.5, 2.0};
    double s0[1] = {-1.25};
    TQCaptureChannel channels[3] = {};
    TQCaptureHeader header = {};

    explicit Header(int32_t decimation)
    {
        strcpy(channels[0].name, "Analog1");
        strcpy(channels[0].eu, "V");
        channels[0].kind = TQ_XFRM_POLYNOMIAL;
        channels[0].coefficientCount = 2;
        channels[0].coefficients = c0;
        strcpy(channels[1].name, "Bridge2");
        strcpy(channels[1].eu, "ustrain");
        channels[1].kind = TQ_XFRM_BRIDGE;
        channels[1].coefficientCount = 2;
        channels[1].coefficients = c0;
        channels[1].sensorCoefficientCount = 1;
        channels[1].sensorCoefficients = s0;
        strcpy(channels[2].name, "Event1");
        strcpy(channels[2].eu, "binary");
        channels[2].kind = TQ_XFRM_EVENT_BIT;
        header = {1000.0, decimation, 1700000000, 3, 0, channels};
    }
};

struct Parsed {
    TQParseContext ctx{};
    int32_t result = 0;
    std::string data;
    ~Parsed() { tq::stream::parseContextFree(&ctx); }
};

void parseFile(const std::string &path, Parsed &out)
{
    int fd = ACQDOpenFile(path.c_str(), O_RDONLY, 0);
    ASSERT_GE(fd, 0) << path;
    out.result = ACQDParse(fd, &out.ctx);
    uint64_t length, position;
    if (out.ctx.formType == TQ_FORM_ST64) {
        length = out.ctx.u.st64.dataLength;
        position = out.ctx.u.st64.dataPosition;
    } else {
        length = out.ctx.u.strm.dataLength;
        position = out.ctx.u.strm.dataPosition;
    }
    if (length < (1u << 24)) {
        out.data.resize(length);
        if (pread(fd, out.data.data(), length, static_cast<off_t>(position)) != static_cast<ssize_t>(length))
            out.data.clear();
    }
    ACQDCloseReadFile(fd);
}

struct StreamDeleter {
    void operator()(TQStream *s) const { destroyStream(s); }
};
using StreamPtr = std::unique_ptr<TQStream, StreamDeleter>;

StreamPtr captureStream(int32_t bigFile, int32_t headerFirst, int32_t decimation)
{
    StreamPtr s(newStream("cap", 1000.0, nullptr));
    setScanSize(s.get(), kScanSize);
    setNumberChannels(s.get(), 3);
    s->streamSetBigFile(s.get(), bigFile);
    s->streamSetWriteHeaderFirst(s.get(), headerFirst);
    s->streamSetDecimation(s.get(), decimation);
    return s;
}

} // namespace

struct Layout {
    int32_t bigFile;
    int32_t headerFirst;
    int32_t decimation;
};

class CaptureLayouts : public ::testing::TestWithParam<Layout> {};

TEST_P(CaptureLayouts, ScansComeBackOneByOne)
{
    const Layout layout = GetParam();
    const std::string dir = scratchDir("layout");
    const std::string name = dir + "/run_" + std::to_string(layout.bigFile) + std::to_string(layout.headerFirst) +
                             std::to_string(layout.decimation) + ".stm";
    unlink(name.c_str());
    unlink((name + ".ad").c_str());
    StreamPtr s = captureStream(layout.bigFile, layout.headerFirst, layout.decimation);
    Header header(layout.decimation);

    ASSERT_EQ(commonCaptureOpen(s.get(), name.c_str(), 1, layout.headerFirst ? &header.header : nullptr), 0);
    EXPECT_EQ(isCapturing(s.get()), 1);
    EXPECT_EQ(commonCaptureOpen(s.get(), name.c_str(), 1, &header.header), TQS_ERR_CAPTURE_OPEN);
    // Raw data go to "<name>.ad" unless the header is written first.
    EXPECT_EQ(exists(name + ".ad"), !layout.headerFirst);
    EXPECT_EQ(exists(name), !!layout.headerFirst);

    // Switching the options during a capture changes nothing of its layout.
    s->streamSetBigFile(s.get(), !layout.bigFile);
    s->streamSetWriteHeaderFirst(s.get(), !layout.headerFirst);
    s->streamSetDecimation(s.get(), 5);

    int global = 0;
    for (int count : {4, 4, 4, 5, 1, 7, 0, 2, 300}) {
        std::vector<uint8_t> block = scans(global, count);
        ASSERT_EQ(s->streamNewData(s.get(), block.data(), count, 0), 0);
        global += count;
    }
    ASSERT_EQ(commonCaptureClose(s.get(), layout.headerFirst ? nullptr : &header.header), 0);
    EXPECT_EQ(isCapturing(s.get()), 0);
    EXPECT_EQ(s->captureData, -1);
    EXPECT_EQ(commonCaptureClose(s.get(), &header.header), TQS_ERR_NO_CAPTURE);
    EXPECT_EQ(s->streamNewData(s.get(), scans(0, 1).data(), 1, 0), TQS_ERR_NO_CAPTURE);
    EXPECT_EQ(exists(name + ".ad"), !layout.headerFirst); // the raw file stays

    Parsed parsed;
    parseFile(name, parsed);
    ASSERT_EQ(parsed.result, 1);
    auto &c = parsed.ctx.u.strm;
    EXPECT_EQ(parsed.ctx.formType, layout.bigFile ? TQ_FORM_ST64 : TQ_FORM_STRM);
    EXPECT_EQ(c.rate, 1000.0);
    EXPECT_EQ(c.decimation, layout.decimation);
    EXPECT_EQ(c.startTime, 1700000000);
    ASSERT_EQ(c.channelCount, 3);
    EXPECT_STREQ(c.channels[1].name, "Bridge2");
    EXPECT_STREQ(c.channels[1].eu, "ustrain");
    EXPECT_EQ(c.channels[1].kind, TQ_XFRM_BRIDGE);
    ASSERT_EQ(c.channels[1].coefficientCount, 2);
    EXPECT_EQ(c.channels[1].coefficients[1], 2.0);
    ASSERT_EQ(c.channels[1].sensorCoefficientCount, 1);
    EXPECT_EQ(c.channels[1].sensorCoefficients[0], -1.25);
    EXPECT_EQ(c.channels[2].coefficientCount, 0);

    // Every decimation-th scan of the whole capture, in order.
    std::vector<int> kept;
    for (int g = 0; g < global; g += layout.decimation)
        kept.push_back(g);
    ASSERT_EQ(parsed.data.size(), kept.size() * kScanSize);
    for (size_t i = 0; i < kept.size(); ++i) {
        std::vector<uint8_t> want = scans(kept[i], 1);
        ASSERT_EQ(0, memcmp(parsed.data.data() + i * kScanSize, want.data(), kScanSize)) << "scan " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(FourLayoutsTwoDecimations, CaptureLayouts,
                         ::testing::Values(Layout{0, 0, 1}, Layout{0, 1, 1}, Layout{1, 0, 1}, Layout{1, 1, 1},
                                           Layout{0, 0, 3}, Layout{0, 1, 3}, Layout{1, 0, 3}, Layout{1, 1, 3}),
                         [](const ::testing::TestParamInfo<Layout> &info) {
                             return std::string(info.param.bigFile ? "FO64" : "FORM") +
                                    (info.param.headerFirst ? "HeaderFirst" : "DataFirst") + "Decimation" +
                                    std::to_string(info.param.decimation);
                         });

TEST(Capture, DecimationCarriesAcrossCalls)
{
    // Decimation 3 over calls of 4, 4 and 4 scans keeps scans 0 and 3 of the
    // first call, 2 of the second and 1 of the third.
    const std::string dir = scratchDir("decimation");
    const std::string name = dir + "/deci.stm";
    StreamPtr s = captureStream(0, 1, 3);
    Header header(3);
    ASSERT_EQ(commonCaptureOpen(s.get(), name.c_str(), 1, &header.header), 0);
    std::vector<uint8_t> calls[3] = {scans(100, 4), scans(200, 4), scans(300, 4)};
    for (auto &block : calls)
        ASSERT_EQ(s->streamNewData(s.get(), block.data(), 4, 0), 0);
    EXPECT_EQ(s->decimationPhase, 0);
    ASSERT_EQ(commonCaptureClose(s.get(), nullptr), 0);
    Parsed parsed;
    parseFile(name, parsed);
    ASSERT_EQ(parsed.result, 1);
    std::vector<uint8_t> want;
    for (int g : {100, 103, 202, 301}) {
        std::vector<uint8_t> one = scans(g, 1);
        want.insert(want.end(), one.begin(), one.end());
    }
    ASSERT_EQ(parsed.data.size(), want.size());
    EXPECT_EQ(0, memcmp(parsed.data.data(), want.data(), want.size()));

    // A new capture starts its rhythm again at its first scan.
    ASSERT_EQ(commonCaptureOpen(s.get(), name.c_str(), 1, &header.header), 0);
    EXPECT_EQ(s->decimationPhase, 0);
    ASSERT_EQ(commonCaptureClose(s.get(), nullptr), 0);
}

TEST(Capture, FileIndexAndClosedFiles)
{
    StreamPtr s = captureStream(0, 1, 1);
    std::vector<uint8_t> block = scans(0, 2);
    // Nothing open: every index is refused.
    for (int32_t index : {0, 1, 2})
        EXPECT_EQ(s->streamNewData(s.get(), block.data(), 2, index), TQS_ERR_NO_CAPTURE);
    const std::string name = scratchDir("index") + "/idx.stm";
    Header header(1);
    ASSERT_EQ(commonCaptureOpen(s.get(), name.c_str(), 1, &header.header), 0);
    // Only the data file is ever open.
    EXPECT_EQ(s->streamNewData(s.get(), block.data(), 2, 1), TQS_ERR_NO_CAPTURE);
    EXPECT_EQ(s->streamNewData(s.get(), block.data(), 2, 2), TQS_ERR_NO_CAPTURE);
    EXPECT_EQ(s->streamNewData(s.get(), block.data(), 2, 3), TQS_ERR_NO_CAPTURE);
    EXPECT_EQ(s->streamNewData(s.get(), block.data(), 2, -1), TQS_ERR_NO_CAPTURE);
    EXPECT_EQ(s->streamNewData(s.get(), block.data(), 2, 0), 0);
    EXPECT_EQ(commonCaptureClose(s.get(), nullptr), 0);
}

TEST(Capture, NameRule)
{
    struct Case {
        const char *name;
        bool valid;
    } cases[] = {
        {"a1_b.stm", true},
        {"1abc", false},
        {"_abc", false},
        {"ab-c.stm", false},
        {"c:\\data\\run1.stm", true},    // only "run1.stm" is examined
        {"/var/data/run1.stm", true},    // Linux paths split at '/'
        {"/var/data/1run.stm", false},   // ... and the name after it is examined
        {"/var/my-data/run.stm", true},  // the directory part is not checked
        {"x.y.z", false},                // "x.y" is examined and fails on its '.'
        {"run", true},
        {"r.", true},
        {"", false},
        {"dir/", false},
        {".stm", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(tq::stream::captureNameValid(c.name), c.valid) << c.name;
    EXPECT_FALSE(tq::stream::captureNameValid(nullptr));

    StreamPtr s = captureStream(0, 0, 1);
    const std::string dir = scratchDir("names");
    EXPECT_EQ(commonCaptureOpen(s.get(), (dir + "/1bad.stm").c_str(), 1, nullptr), TQS_ERR_CAPTURE_NAME);
    EXPECT_FALSE(exists(dir + "/1bad.stm.ad"));
    EXPECT_EQ(commonCaptureOpen(s.get(), (dir + "/missing/run.stm").c_str(), 1, nullptr), TQS_ERR_CAPTURE_NAME);
    std::string tooLong = dir + "/" + std::string(300, 'a') + ".stm";
    EXPECT_EQ(commonCaptureOpen(s.get(), tooLong.c_str(), 1, nullptr), TQS_ERR_CAPTURE_NAME);
    EXPECT_EQ(isCapturing(s.get()), 0);
    ASSERT_EQ(commonCaptureOpen(s.get(), (dir + "/good_1.stm").c_str(), 1, nullptr), 0);
    EXPECT_STREQ(s->captureFileName, (dir + "/good_1.stm").c_str());
    Header header(1);
    EXPECT_EQ(commonCaptureClose(s.get(), &header.header), 0);
}

TEST(Capture, DataFirstCreatesTheNamedFileOnlyAtClose)
{
    const std::string dir = scratchDir("datafirst");
    const std::string name = dir + "/later.stm";
    unlink(name.c_str());
    StreamPtr s = captureStream(0, 0, 1);
    ASSERT_EQ(commonCaptureOpen(s.get(), name.c_str(), 1, nullptr), 0);
    std::vector<uint8_t> block = scans(0, 3);
    ASSERT_EQ(s->streamNewData(s.get(), block.data(), 3, 0), 0);
    EXPECT_FALSE(exists(name));
    EXPECT_EQ(readFile(name + ".ad"), std::string(block.begin(), block.end()));
    Header header(1);
    ASSERT_EQ(commonCaptureClose(s.get(), &header.header), 0);
    EXPECT_TRUE(exists(name));
}

TEST(Capture, HeaderFailuresFailTheOpenOrTheClose)
{
    // A header-first capture whose header cannot be written does not open.
    StreamPtr s = captureStream(0, 1, 1);
    Header header(1);
    EXPECT_EQ(commonCaptureOpen(s.get(), "/dev/full", 1, &header.header), TQS_ERR_CAPTURE_NAME);
    EXPECT_EQ(isCapturing(s.get()), 0);
    EXPECT_EQ(s->captureData, -1);
    struct stat st;
    ASSERT_EQ(stat("/dev/full", &st), 0); // the device is left alone
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    // Nor without a header to write.
    const std::string dir = scratchDir("headerless");
    EXPECT_EQ(commonCaptureOpen(s.get(), (dir + "/nohead.stm").c_str(), 1, nullptr), TQS_ERR_CAPTURE_NAME);
    EXPECT_FALSE(exists(dir + "/nohead.stm"));
    EXPECT_EQ(isCapturing(s.get()), 0);

    // A data-first close without a header cannot complete the file.
    StreamPtr d = captureStream(0, 0, 1);
    ASSERT_EQ(commonCaptureOpen(d.get(), (dir + "/noclosehead.stm").c_str(), 1, nullptr), 0);
    EXPECT_EQ(commonCaptureClose(d.get(), nullptr), TQS_ERR_CAPTURE_NAME);
    EXPECT_EQ(isCapturing(d.get()), 0);
    EXPECT_EQ(d->captureData, -1);
}

TEST(Capture, ThirtyTwoBitContainersRefuseToGrowPastTheirLengths)
{
    const std::string dir = scratchDir("big");
    StreamPtr s = captureStream(0, 1, 1);
    Header header(1);
    const std::string name = dir + "/huge.stm";
    ASSERT_EQ(commonCaptureOpen(s.get(), name.c_str(), 1, &header.header), 0);
    std::vector<uint8_t> block = scans(0, 4);
    ASSERT_EQ(s->streamNewData(s.get(), block.data(), 4, 0), 0);
    off_t before = lseek(s->captureData, 0, SEEK_END);

    // As if almost 4 GiB had been recorded: scans that would push the
    // container past its 32-bit length are refused and not written.
    auto *p = tq::stream::priv(s.get());
    const uint64_t recorded = p->captureEnd;
    p->captureEnd = p->captureLimit - kScanSize;
    EXPECT_EQ(s->streamNewData(s.get(), block.data(), 2, 0), TQS_ERR_FAILED);
    EXPECT_EQ(lseek(s->captureData, 0, SEEK_END), before);
    EXPECT_EQ(s->streamNewData(s.get(), block.data(), 1, 0), 0); // still fits
    p->captureEnd = recorded + kScanSize;

    // A data file that did grow past 4 GiB (a sparse file here) is not
    // completed with wrapped lengths: the close fails and the lengths stay.
    const off_t dataAt = s->dataPosition;
    ASSERT_EQ(lseek(s->captureData, (off_t{1} << 32) + 100, SEEK_SET), (off_t{1} << 32) + 100);
    ASSERT_EQ(write(s->captureData, "x", 1), 1);
    EXPECT_EQ(commonCaptureClose(s.get(), nullptr), TQS_ERR_CAPTURE_NAME);
    EXPECT_EQ(isCapturing(s.get()), 0);
    {
        int fd = open(name.c_str(), O_RDONLY);
        uint8_t b[4];
        ASSERT_EQ(pread(fd, b, 4, dataAt + 4), 4);
        EXPECT_EQ(tq::stream::io::getBE32(b), 0u); // DATA length never patched
        ASSERT_EQ(pread(fd, b, 4, 4), 4);
        EXPECT_EQ(tq::stream::io::getBE32(b), static_cast<uint32_t>(dataAt - 8)); // FORM: type and CONF only
        close(fd);
    }
    unlink(name.c_str());

    // The same with 64-bit lengths completes, and the lengths hold the truth.
    StreamPtr w = captureStream(1, 1, 1);
    const std::string wide = dir + "/huge64.stm";
    ASSERT_EQ(commonCaptureOpen(w.get(), wide.c_str(), 1, &header.header), 0);
    ASSERT_EQ(w->streamNewData(w.get(), block.data(), 4, 0), 0);
    ASSERT_EQ(lseek(w->captureData, (off_t{1} << 32) + 100, SEEK_SET), (off_t{1} << 32) + 100);
    ASSERT_EQ(write(w->captureData, "x", 1), 1);
    const off_t wideDataAt = w->dataPosition;
    ASSERT_EQ(commonCaptureClose(w.get(), nullptr), 0);
    Parsed parsed;
    parseFile(wide, parsed);
    EXPECT_EQ(parsed.result, 1);
    EXPECT_EQ(parsed.ctx.u.st64.dataLength, (uint64_t{1} << 32) + 101 - static_cast<uint64_t>(wideDataAt) - 12);
    unlink(wide.c_str());

    // Data first: a raw file past 4 GiB is not copied into a 32-bit container.
    StreamPtr df = captureStream(0, 0, 1);
    const std::string later = dir + "/hugedf.stm";
    ASSERT_EQ(commonCaptureOpen(df.get(), later.c_str(), 1, nullptr), 0);
    ASSERT_EQ(lseek(df->captureData, (off_t{1} << 32) + 100, SEEK_SET), (off_t{1} << 32) + 100);
    ASSERT_EQ(write(df->captureData, "x", 1), 1);
    EXPECT_EQ(commonCaptureClose(df.get(), &header.header), TQS_ERR_CAPTURE_NAME);
    EXPECT_EQ(isCapturing(df.get()), 0);
    unlink(later.c_str());
    unlink((later + ".ad").c_str());
}

// Closing a capture recorded data-first copies the raw data file into the
// container. Whatever way the copy moves the bytes, the file must be the
// very file a header-first capture of the same scans writes directly, and
// the raw data file must stay behind holding the scans. The scan counts
// cross every block size a copy might use and leave odd remainders.
TEST(Capture, DataFirstCopyMatchesHeaderFirstByteForByte)
{
    const std::string dir = scratchDir("copycompare");
    Header header(1);
    const int kScanCounts[] = {0, 1, 85, 853, 174763, 524289};
    for (int32_t bigFile : {0, 1}) {
        for (int count : kScanCounts) {
            SCOPED_TRACE("bigFile " + std::to_string(bigFile) + ", " + std::to_string(count) + " scans");
            const std::vector<uint8_t> data = scans(0, count);
            std::string files[2];
            for (int32_t headerFirst : {0, 1}) {
                const std::string name = dir + "/run" + std::to_string(headerFirst) + ".stm";
                StreamPtr s = captureStream(bigFile, headerFirst, 1);
                ASSERT_EQ(commonCaptureOpen(s.get(), name.c_str(), 1, &header.header), 0);
                // In uneven blocks, as owners hand them in.
                for (int at = 0; at < count;) {
                    int n = std::min(count - at, 1000 + at % 7);
                    ASSERT_EQ(s->streamNewData(s.get(), data.data() + at * kScanSize, n, 0), 0);
                    at += n;
                }
                ASSERT_EQ(commonCaptureClose(s.get(), &header.header), 0);
                files[headerFirst] = readFile(name);
                if (headerFirst == 0) {
                    EXPECT_TRUE(readFile(name + ".ad") == std::string(data.begin(), data.end()));
                }
            }
            ASSERT_FALSE(files[1].empty());
            EXPECT_EQ(files[0].size(), files[1].size());
            EXPECT_TRUE(files[0] == files[1]) << "the two files differ";
            Parsed parsed;
            parseFile(dir + "/run0.stm", parsed);
            EXPECT_EQ(parsed.result, 1);
        }
    }
}
