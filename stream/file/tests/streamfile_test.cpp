// Stream files: golden files built by an independent script are read by our
// parser, files written by our writers and by capture are read back by that
// script, and the byte layout and the parser's limits are checked directly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "core/tests/stream_test_util.h"
#include "file/streamfile_io.h"
#include "core/streamimpl.h"

using streamtest::readFile;
using streamtest::scratchDir;

namespace {

struct ScriptResult {
    int status = -1;
    std::string output;
};

ScriptResult runScript(const std::string &arguments)
{
    ScriptResult r;
    std::string command = std::string(TQ_PYTHON) + " " + TQ_GOLDEN_SCRIPT + " " + arguments + " 2>&1";
    FILE *p = popen(command.c_str(), "r");
    if (!p)
        return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        r.output.append(buffer, n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Parses a file and keeps what stdout received meanwhile.
struct Parse {
    TQParseContext ctx{};
    int32_t result = -1;
    std::string out;

    explicit Parse(const std::string &path)
    {
        int fd = ACQDOpenFile(path.c_str(), O_RDONLY, 0);
        EXPECT_GE(fd, 0) << path;
        testing::internal::CaptureStdout();
        result = ACQDParse(fd, &ctx);
        fflush(stdout);
        out = testing::internal::GetCapturedStdout();
        ACQDCloseReadFile(fd);
    }
    ~Parse() { tq::stream::parseContextFree(&ctx); }
};

std::string goldenDir()
{
    static std::string dir;
    if (dir.empty()) {
        dir = scratchDir("golden");
        ScriptResult r = runScript("generate " + dir);
        EXPECT_EQ(r.status, 0) << r.output;
    }
    return dir;
}

// ---- expected dumps, in the script's notation ---------------------------------

std::string num(double v)
{
    char b[64];
    snprintf(b, sizeof b, "%.17g", v);
    return b;
}

std::string hex(const std::string &bytes)
{
    std::string out;
    char b[3];
    for (unsigned char c : bytes) {
        snprintf(b, sizeof b, "%02x", c);
        out += b;
    }
    return out;
}

std::string dumpChannel(const TQCaptureChannel &c, const std::string &indent)
{
    std::string s = indent + "CHAN\n";
    s += indent + "  NAME '" + c.name + "'\n";
    s += indent + "  EU   '" + c.eu + "'\n";
    s += indent + "  XFRM " + std::to_string(c.kind) + "\n";
    s += indent + "  PRCS\n";
    for (int i = 0; i < c.coefficientCount; ++i)
        s += indent + "    PREC " + num(c.coefficients[i]) + "\n";
    s += indent + "  POCS\n";
    for (int i = 0; i < c.sensorCoefficientCount; ++i)
        s += indent + "    POSC " + num(c.sensorCoefficients[i]) + "\n";
    return s;
}

std::string dumpConf(const TQCaptureHeader &h)
{
    std::string s = "CONF\n  CHNS\n";
    for (int i = 0; i < h.channelCount; ++i)
        s += dumpChannel(h.channels[i], "    ");
    s += "  CLKR " + num(h.rate) + "\n";
    s += "  DECI " + std::to_string(h.decimation) + "\n";
    s += "  TIME " + std::to_string(h.startTime) + "\n";
    s += "  SCPP " + std::to_string(h.scansPerPoll) + "\n";
    return s;
}

std::string bulkLine(const char *id, const std::string &bytes, uint64_t at)
{
    return std::string(id) + " length " + std::to_string(bytes.size()) + " at " + std::to_string(at) + " " +
           hex(bytes) + "\n";
}

// A temporary file holding bytes, open for reading from its start.
int sourceFile(const std::string &path, const std::string &bytes)
{
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    return fd;
}

struct TestHeader {
    double prec[3] = {0.0, 1.5, -2.25};
    double posc[2] = {1e-3, 7.0};
    TQCaptureChannel channels[2] = {};
    TQCaptureHeader header{};

    TestHeader()
    {
        strcpy(channels[0].name, "Ch1"); // odd: padded
        strcpy(channels[0].eu, "mV");
        channels[0].kind = TQ_XFRM_POLYNOMIAL;
        channels[0].coefficientCount = 3;
        channels[0].coefficients = prec;
        strcpy(channels[1].name, "Strain");
        strcpy(channels[1].eu, "u");
        channels[1].kind = TQ_XFRM_BRIDGE;
        channels[1].coefficientCount = 0; // empty PRCS
        channels[1].sensorCoefficientCount = 2;
        channels[1].sensorCoefficients = posc;
        header = {2500.0, 4, 1712345678, 2, 16, channels};
    }
};

} // namespace

// ---- golden files ------------------------------------------------------------

TEST(StreamFileGolden, StrmWithPaddedTextsAndOddBulkChunks)
{
    Parse p(goldenDir() + "/strm_odd.stm");
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.ctx.formType, TQ_FORM_STRM);
    const auto &s = p.ctx.u.strm;
    EXPECT_EQ(s.rate, 1000.0);
    EXPECT_EQ(s.decimation, 3);
    EXPECT_EQ(s.startTime, 1700000000);
    EXPECT_EQ(s.scansPerPoll, 0);
    ASSERT_EQ(s.channelCount, 2);
    EXPECT_STREQ(s.channels[0].name, "Ch1");
    EXPECT_STREQ(s.channels[0].eu, "V");
    EXPECT_EQ(s.channels[0].kind, 1);
    ASSERT_EQ(s.channels[0].coefficientCount, 2);
    EXPECT_EQ(s.channels[0].coefficients[0], 0.5);
    EXPECT_EQ(s.channels[0].coefficients[1], 2.0);
    EXPECT_EQ(s.channels[0].sensorCoefficientCount, 0);
    EXPECT_EQ(s.channels[0].sensorCoefficients, nullptr);
    EXPECT_STREQ(s.channels[1].name, "Event1");
    EXPECT_STREQ(s.channels[1].eu, "binary");
    EXPECT_EQ(s.channels[1].kind, 13);
    ASSERT_EQ(s.channels[1].coefficientCount, 1);
    EXPECT_EQ(s.channels[1].coefficients[0], 3.0);
    // DATA of 9 bytes, followed at once by EVNT (no pad byte between).
    EXPECT_EQ(s.dataLength, 9u);
    EXPECT_EQ(s.dataPosition, 258u);
    EXPECT_EQ(s.eventLength, 3u);
    EXPECT_EQ(s.eventPosition, 258u + 9 + 8);
    EXPECT_EQ(s.pollLength, 0u);
    EXPECT_EQ(p.out, "");
}

TEST(StreamFileGolden, EmptyChunksAndUnknownSubtags)
{
    Parse e(goldenDir() + "/strm_empty.stm");
    ASSERT_EQ(e.result, 1);
    const auto &s = e.ctx.u.strm;
    EXPECT_EQ(s.channelCount, 0);
    EXPECT_EQ(s.rate, 250.0);
    EXPECT_EQ(s.decimation, 1);
    EXPECT_EQ(s.startTime, -5);
    EXPECT_EQ(s.scansPerPoll, 16);
    EXPECT_EQ(s.dataLength, 0u);
    EXPECT_EQ(s.dataPosition, 106u);
    EXPECT_EQ(e.out, "don't know subtag 58545241\n");

    // An unknown chunk inside a channel is skipped; the channel's other chunks are read.
    Parse u(goldenDir() + "/strm_unknown.stm");
    ASSERT_EQ(u.result, 1);
    EXPECT_EQ(u.out, "don't know subtag 58545241\n");
    ASSERT_EQ(u.ctx.u.strm.channelCount, 1);
    EXPECT_STREQ(u.ctx.u.strm.channels[0].name, "Lone");
    EXPECT_STREQ(u.ctx.u.strm.channels[0].eu, "hz");
    EXPECT_EQ(u.ctx.u.strm.channels[0].kind, 7);
    EXPECT_EQ(u.ctx.u.strm.dataLength, 2u);
}

TEST(StreamFileGolden, St64WithTwelveByteHeaders)
{
    Parse p(goldenDir() + "/st64.stm");
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.ctx.formType, TQ_FORM_ST64);
    const auto &s = p.ctx.u.st64;
    EXPECT_EQ(s.rate, 5000.0);
    EXPECT_EQ(s.decimation, 2);
    EXPECT_EQ(s.startTime, 1234567890123);
    EXPECT_EQ(s.scansPerPoll, 8);
    ASSERT_EQ(s.channelCount, 1);
    const TQCaptureChannel &c = s.channels[0];
    EXPECT_STREQ(c.name, "Bridge7");
    EXPECT_STREQ(c.eu, "ustrain");
    EXPECT_EQ(c.kind, 4);
    ASSERT_EQ(c.coefficientCount, 3);
    EXPECT_EQ(c.coefficients[2], 0.25);
    ASSERT_EQ(c.sensorCoefficientCount, 2);
    EXPECT_EQ(c.sensorCoefficients[0], 1e-3);
    EXPECT_EQ(c.sensorCoefficients[1], -2.5);
    EXPECT_EQ(s.dataLength, 16u);
    EXPECT_EQ(s.dataPosition, 314u);
    EXPECT_EQ(s.pollLength, 4u);
    EXPECT_EQ(s.pollPosition, 342u);
}

TEST(StreamFileGolden, AcqdConfigurationAndScans)
{
    const std::string path = goldenDir() + "/acqd.stm";
    Parse p(path);
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.ctx.formType, TQ_FORM_ACQD);
    const auto &a = p.ctx.u.acqd;
    EXPECT_EQ(a.clockRate, 200.0);
    EXPECT_EQ(a.startTime, 1600000000);
    ASSERT_EQ(a.channelCount, 2);
    EXPECT_STREQ(a.channels[0].name, "in0");
    EXPECT_STREQ(a.channels[0].conversionType, "volts");
    EXPECT_STREQ(a.channels[0].eu, "V");
    EXPECT_STREQ(a.channels[0].tcReference, "");
    EXPECT_EQ(a.channels[0].countsPerVolt, 3276.8);
    EXPECT_EQ(a.channels[0].zeroOffset, 2.0);
    EXPECT_STREQ(a.channels[1].name, "strain1");
    EXPECT_STREQ(a.channels[1].conversionType, "bridge");
    EXPECT_STREQ(a.channels[1].tcReference, "none");
    EXPECT_STREQ(a.channels[1].calibration, "cal7");
    EXPECT_EQ(a.channels[1].tare, 0.5);
    EXPECT_EQ(a.channels[1].scale, 3.0);
    EXPECT_EQ(a.channels[1].gaugeFactor, 2.1);
    EXPECT_EQ(a.dataLength, 12u);
    EXPECT_EQ(a.dataPosition, 360u);

    // Scans are read by index (the fraction is dropped).
    TQAcqdReader reader{ACQDOpenFile(path.c_str(), O_RDONLY, 0), p.ctx};
    uint16_t scan[2] = {};
    EXPECT_EQ(ACQDSetSample(1.7, &reader, scan), 1);
    EXPECT_EQ(scan[0], 3);
    EXPECT_EQ(scan[1], 4);
    EXPECT_EQ(ACQDSetSample(2.0, &reader, scan), 1);
    EXPECT_EQ(scan[0], 65535);
    EXPECT_EQ(scan[1], 32768);
    // Past the end: a short read.
    testing::internal::CaptureStderr();
    EXPECT_EQ(ACQDSetSample(3.0, &reader, scan), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("read failure"), std::string::npos);
    // A position that cannot be reached: both messages.
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(ACQDSetSample(-1.0, &reader, scan), 0);
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "file des " + std::to_string(reader.fd) + "\n");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("lseek failure"), std::string::npos);
    ACQDCloseReadFile(reader.fd); // the reader shares the context's channels
}

TEST(StreamFileGolden, RefusedAndAcceptedEdges)
{
    struct Case {
        const char *file;
        int32_t result;
        int channels; // when accepted
    } cases[] = {
        {"bad_formtype.stm", 0, 0},
        {"bad_container.stm", 0, 0},
        {"bad_st64_in_form.stm", 0, 0},
        {"bad_channels129.stm", 0, 0},
        {"ok_channels128.stm", 1, 128},
        {"bad_longname.stm", 0, 0},
        {"ok_name63.stm", 1, 1},
        {"bad_xfrm_width.stm", 0, 0},
        {"bad_truncated_conf.stm", 0, 0},
        {"ok_truncated_bulk.stm", 1, 2}, // bulk bodies are only noted, not read
        {"bad_container_length.stm", 0, 0},
    };
    for (const Case &c : cases) {
        Parse p(goldenDir() + "/" + c.file);
        EXPECT_EQ(p.result, c.result) << c.file;
        if (c.result == 1) {
            EXPECT_EQ(p.ctx.u.strm.channelCount, c.channels) << c.file;
        }
    }
    Parse name(goldenDir() + "/ok_name63.stm");
    EXPECT_EQ(strlen(name.ctx.u.strm.channels[0].name), 63u);
}

// ---- our files, read by the script ---------------------------------------------

TEST(StreamFileWriters, StrmFileReadByTheScript)
{
    const std::string dir = scratchDir("writers");
    const std::string path = dir + "/ours.stm";
    TestHeader h;
    const std::string data = "ABCDE", event = "xyz";
    int fd = ACQDCreateFile(path.c_str());
    ASSERT_GE(fd, 0);
    int32_t total = ACQDWriteChunk(fd, TQ_CHUNK_ID('F', 'O', 'R', 'M'), STRMWriteForm, &h.header);
    ASSERT_GT(total, 0);
    int dataFd = sourceFile(dir + "/ours.data", data);
    int eventFd = sourceFile(dir + "/ours.evnt", event);
    ASSERT_EQ(STRMCloseWriteFile(fd, dataFd, -1, eventFd), 0);
    // Every descriptor it was given is closed.
    EXPECT_EQ(fcntl(dataFd, F_GETFD), -1);
    EXPECT_EQ(fcntl(eventFd, F_GETFD), -1);

    const uint64_t dataAt = static_cast<uint64_t>(total) + 8;
    std::string expected = "FORM STRM\n" + dumpConf(h.header) + bulkLine("DATA", data, dataAt) +
                           bulkLine("EVNT", event, dataAt + data.size() + 8);
    ScriptResult r = runScript("dump " + path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, expected);

    Parse p(path);
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.ctx.u.strm.dataPosition, dataAt);
    EXPECT_EQ(p.ctx.u.strm.eventPosition, dataAt + 5 + 8);
}

TEST(StreamFileWriters, St64FileReadByTheScript)
{
    const std::string dir = scratchDir("writers64");
    const std::string path = dir + "/ours64.stm";
    TestHeader h;
    const std::string data(37, 'd'), poll = "PQR";
    int fd = ACQDCreateFile(path.c_str());
    int64_t total = ST64WriteChunk(fd, TQ_CHUNK_ID('F', 'O', '6', '4'), ST64WriteFo64, &h.header);
    ASSERT_GT(total, 0);
    ASSERT_EQ(ST64CloseWriteFile(fd, sourceFile(dir + "/d", data), sourceFile(dir + "/p", poll), -1), 0);
    const uint64_t dataAt = static_cast<uint64_t>(total) + 12;
    std::string expected = "FO64 ST64\n" + dumpConf(h.header) + bulkLine("DATA", data, dataAt) +
                           bulkLine("POLL", poll, dataAt + data.size() + 12);
    ScriptResult r = runScript("dump " + path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, expected);

    // Every chunk header is 12 bytes, down to the channel's name.
    std::string bytes = readFile(path);
    ASSERT_GT(bytes.size(), 64u);
    EXPECT_EQ(bytes.substr(0, 4), "FO64");
    EXPECT_EQ(bytes.substr(12, 4), "ST64");
    EXPECT_EQ(bytes.substr(16, 4), "CONF");
    EXPECT_EQ(bytes.substr(28, 4), "CHNS");
    EXPECT_EQ(bytes.substr(40, 4), "CHAN");
    EXPECT_EQ(bytes.substr(52, 4), "NAME");
    EXPECT_EQ(tq::stream::io::getBE64(reinterpret_cast<const uint8_t *>(bytes.data()) + 56), 3u);
    EXPECT_EQ(bytes.substr(64, 4), std::string("Ch1\0", 4)); // odd text, pad byte 0
    EXPECT_EQ(bytes.substr(68, 4), "EU  ");
}

TEST(StreamFileWriters, AcqdFileReadByTheScriptAndByTheParser)
{
    const std::string dir = scratchDir("acqd");
    const std::string path = dir + "/ours.acq";
    TQAcqdChannel channels[1] = {};
    strcpy(channels[0].name, "in7");
    strcpy(channels[0].conversionType, "type_k");
    strcpy(channels[0].eu, "degC");
    strcpy(channels[0].tcReference, "cj");
    strcpy(channels[0].calibration, "k1");
    channels[0].countsPerVolt = 1000.0;
    channels[0].tare = 0.125;
    channels[0].scale = 1.0;
    channels[0].gaugeFactor = 2.0;
    channels[0].zeroOffset = -3.0;
    TQAcqdConfig config{50.0, 1500000000, 1, channels};
    int fd = ACQDCreateFile(path.c_str());
    ASSERT_GT(ACQDWriteChunk(fd, TQ_CHUNK_ID('F', 'O', 'R', 'M'), ACQDWriteForm, &config), 0);
    const uint16_t samples[3] = {10, 20, 30};
    ASSERT_EQ(ACQDWriteBytes(fd, samples, sizeof samples), 0);
    EXPECT_EQ(ACQDWriteRaw(fd, samples, 2), 2); // one more scan
    ASSERT_EQ(ACQDCloseWriteFile(fd), 0);

    ScriptResult r = runScript("dump " + path);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("FORM ACQD\nCONF\n  CHNS\n    CHAN\n      NAME 'in7'\n      CVTP 'type_k'\n"
                            "      EU   'degC'\n      TCRF 'cj'\n      MCAL 'k1'\n      CPV  1000\n"
                            "      ZO   -3\n      TARE 0.125\n      SCAL 1\n      GFAC 2\n  CLKR 50\n"
                            "  TIME 1500000000\nDATA length 8 at "),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find(" 0a0014001e000a00\n"), std::string::npos) << r.output;

    Parse p(path);
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.ctx.u.acqd.dataLength, 8u);
    EXPECT_STREQ(p.ctx.u.acqd.channels[0].conversionType, "type_k");
    EXPECT_EQ(p.ctx.u.acqd.channels[0].zeroOffset, -3.0);
}

TEST(StreamFileWriters, CaptureFilesReadByTheScript)
{
    const std::string dir = scratchDir("capturedump");
    TestHeader h;
    const std::string scans = "0123456789ab"; // two scans of 6 bytes
    for (int wide : {0, 1})
        for (int headerFirst : {0, 1}) {
            SCOPED_TRACE(std::to_string(wide) + std::to_string(headerFirst));
            const std::string path = dir + "/cap" + std::to_string(wide) + std::to_string(headerFirst) + ".stm";
            TQStream *s = newStream("c", 10.0, nullptr);
            setScanSize(s, 6);
            s->streamSetBigFile(s, wide);
            s->streamSetWriteHeaderFirst(s, headerFirst);
            ASSERT_EQ(commonCaptureOpen(s, path.c_str(), 1, &h.header), 0);
            ASSERT_EQ(s->streamNewData(s, scans.data(), 2, 0), 0);
            ASSERT_EQ(commonCaptureClose(s, &h.header), 0);
            destroyStream(s);
            ScriptResult r = runScript("dump " + path);
            EXPECT_EQ(r.status, 0) << r.output;
            std::string head = wide ? "FO64 ST64\n" : "FORM STRM\n";
            EXPECT_EQ(r.output.substr(0, head.size() + dumpConf(h.header).size()), head + dumpConf(h.header));
            EXPECT_NE(r.output.find("DATA length 12 at "), std::string::npos);
            EXPECT_NE(r.output.find(" " + hex(scans) + "\n"), std::string::npos);
        }
}

// ---- writer details ----------------------------------------------------------------

TEST(StreamFileWriters, ChunkResultsAndPadding)
{
    const std::string dir = scratchDir("chunks");
    const std::string path = dir + "/chunks.bin";
    int fd = ACQDCreateFile(path.c_str());
    TQBodyWriter five = [](int32_t d, void *) -> int32_t { return write(d, "12345", 5) == 5 ? 5 : -4; };
    TQBodyWriter none = [](int32_t, void *) -> int32_t { return 0; };
    TQBodyWriter fails = [](int32_t, void *) -> int32_t { return -7; };
    // An odd body counts its pad in the total, though the writer adds no pad
    // byte itself (as the bulk chunks need).
    EXPECT_EQ(ACQDWriteChunk(fd, TQ_CHUNK_ID('A', 'B', 'C', 'D'), five, nullptr), 5 + 8 + 1);
    EXPECT_EQ(ACQDWriteChunk(fd, TQ_CHUNK_ID('N', 'O', 'N', 'E'), none, nullptr), 8);
    EXPECT_EQ(ACQDWriteChunk(fd, TQ_CHUNK_ID('F', 'A', 'I', 'L'), fails, nullptr), -7);
    TQBodyWriter64 five64 = [](int32_t d, void *) -> int64_t { return write(d, "12345", 5) == 5 ? 5 : -4; };
    EXPECT_EQ(ST64WriteChunk(fd, TQ_CHUNK_ID('W', 'I', 'D', 'E'), five64, nullptr), 5 + 12 + 1);
    close(fd);
    const std::string bytes = readFile(path);
    EXPECT_EQ(bytes.substr(0, 13), std::string("ABCD\0\0\0\x05" "12345", 13));
    EXPECT_EQ(bytes.substr(13, 8), std::string("NONE\0\0\0\0", 8));
    EXPECT_EQ(bytes.substr(21, 8), std::string("FAIL\0\0\0\0", 8));
    EXPECT_EQ(bytes.substr(29, 17), std::string("WIDE\0\0\0\0\0\0\0\x05" "12345", 17));

    // Odd texts are followed by a pad byte; parents count it; empty lists are
    // bare headers.
    TestHeader h;
    fd = ACQDCreateFile(path.c_str());
    ASSERT_GT(ACQDWriteChunk(fd, TQ_CHUNK_ID('F', 'O', 'R', 'M'), STRMWriteForm, &h.header), 0);
    close(fd);
    const std::string form = readFile(path);
    EXPECT_EQ(form.substr(36, 12), std::string("NAME\0\0\0\x03" "Ch1\0", 12));
    EXPECT_EQ(form.substr(48, 10), std::string("EU  \0\0\0\x02" "mV", 10));
    size_t empty = form.find("PRCS", 100); // second channel: no coefficients
    ASSERT_NE(empty, std::string::npos);
    EXPECT_EQ(form.substr(empty, 16), std::string("PRCS\0\0\0\0POCS\0\0\0\x20", 16));
    EXPECT_EQ(tq::stream::io::getBE32(reinterpret_cast<const uint8_t *>(form.data()) + 4), form.size() - 8);
}

TEST(StreamFileWriters, CloseWriteFailures)
{
    const std::string dir = scratchDir("closefail");
    int a = sourceFile(dir + "/a", "abc"), b = sourceFile(dir + "/b", "def");
    // Without a file the result is -4, and the sources are still closed.
    EXPECT_EQ(STRMCloseWriteFile(-1, a, -1, b), -4);
    EXPECT_EQ(fcntl(a, F_GETFD), -1);
    EXPECT_EQ(fcntl(b, F_GETFD), -1);
    a = sourceFile(dir + "/a", "abc");
    EXPECT_EQ(ST64CloseWriteFile(-1, a, -1, -1), -4);
    EXPECT_EQ(fcntl(a, F_GETFD), -1);
    // A null configuration is refused rather than read.
    int fd = ACQDCreateFile((dir + "/x").c_str());
    EXPECT_LT(ACQDWriteChunk(fd, TQ_CHUNK_ID('F', 'O', 'R', 'M'), STRMWriteForm, nullptr), 0);
    EXPECT_LT(ST64WriteChunk(fd, TQ_CHUNK_ID('F', 'O', '6', '4'), ST64WriteFo64, nullptr), 0);
    EXPECT_LT(ACQDWriteChunk(fd, TQ_CHUNK_ID('F', 'O', 'R', 'M'), ACQDWriteForm, nullptr), 0);
    close(fd);
}

// The data copy of the close-write functions: the source's bytes follow the
// DATA header exactly, whatever their number and whether the source lies on
// the same file system as the file (the kernel may copy between files of one
// file system only; the copy must come out the same either way).
TEST(StreamFileWriters, CloseWriteCopiesTheWholeSourceExactly)
{
    const std::string dir = scratchDir("bigcopy");
    std::vector<std::string> sourceDirs = {dir};
    struct stat st;
    if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode))
        sourceDirs.push_back("/dev/shm/stream.bigcopy." + std::to_string(getpid()));
    const size_t kSizes[] = {0, 1, 511, 5121, (size_t{1} << 20) + 1, (size_t{3} << 20) + 7};
    TestHeader h;
    for (const std::string &sourceDir : sourceDirs) {
        tq::platform::makeDirectories(sourceDir);
        for (bool wide : {false, true}) {
            for (size_t size : kSizes) {
                SCOPED_TRACE(sourceDir + (wide ? " FO64 " : " FORM ") + std::to_string(size));
                std::string data(size, '\0');
                for (size_t i = 0; i < size; ++i)
                    data[i] = static_cast<char>((i * 131 + 7) ^ (i >> 9));
                const std::string path = dir + "/copy.stm";
                int fd = ACQDCreateFile(path.c_str());
                ASSERT_GE(fd, 0);
                if (wide)
                    ASSERT_GT(ST64WriteChunk(fd, TQ_CHUNK_ID('F', 'O', '6', '4'), ST64WriteFo64, &h.header), 0);
                else
                    ASSERT_GT(ACQDWriteChunk(fd, TQ_CHUNK_ID('F', 'O', 'R', 'M'), STRMWriteForm, &h.header), 0);
                std::string expected = readFile(path);
                int source = sourceFile(sourceDir + "/copy.ad", data);
                ASSERT_GE(source, 0);
                ASSERT_EQ(wide ? ST64CloseWriteFile(fd, source, -1, -1) : STRMCloseWriteFile(fd, source, -1, -1), 0);
                EXPECT_EQ(fcntl(source, F_GETFD), -1);

                // What the file must hold: the configuration as written,
                // then DATA with its length and the source's bytes, and the
                // container length covering all of it.
                uint8_t length[8];
                expected += "DATA";
                if (wide) {
                    tq::stream::io::putBE64(length, size);
                    expected.append(reinterpret_cast<char *>(length), 8);
                } else {
                    tq::stream::io::putBE32(length, static_cast<uint32_t>(size));
                    expected.append(reinterpret_cast<char *>(length), 4);
                }
                expected += data;
                if (wide) {
                    tq::stream::io::putBE64(length, expected.size() - 12);
                    expected.replace(4, 8, reinterpret_cast<char *>(length), 8);
                } else {
                    tq::stream::io::putBE32(length, static_cast<uint32_t>(expected.size() - 8));
                    expected.replace(4, 4, reinterpret_cast<char *>(length), 4);
                }
                const std::string got = readFile(path);
                EXPECT_EQ(got.size(), expected.size());
                EXPECT_TRUE(got == expected) << "the file differs from its layout";
            }
        }
        unlink((sourceDir + "/copy.ad").c_str());
        if (sourceDir != dir)
            rmdir(sourceDir.c_str());
    }
}

TEST(StreamFileWriters, SeekAndOpenHelpers)
{
    const std::string dir = scratchDir("seek");
    const std::string path = dir + "/s.bin";
    int fd = ACQDCreateFile(path.c_str());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ACQDWriteBytes(fd, "0123456789", 10), 0);
    EXPECT_EQ(ACQDLseek(fd, 4, 0), 4);
    EXPECT_EQ(ACQDLseek(fd, 2, 1), 6);
    EXPECT_EQ(ST64Lseek(fd, -1, 2), 9);
    EXPECT_EQ(ACQDCloseReadFile(fd), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(ACQDLseek(fd, 0, 0), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr().substr(0, 17), "ACQDLseek failed:");
    EXPECT_EQ(ACQDOpenFile((dir + "/missing").c_str(), O_RDONLY, 0), -1);
    EXPECT_EQ(ACQDCreateFile((dir + "/no/such/dir").c_str()), -1);
    int r = ACQDOpenFile(path.c_str(), O_RDONLY, 0);
    char b[10];
    EXPECT_EQ(read(r, b, 10), 10);
    close(r);
}

TEST(StreamFileParser, HeaderFirstCaptureNeverClosedHoldsNoScans)
{
    const std::string path = scratchDir("unclosed") + "/open.stm";
    TestHeader h;
    for (int wide : {0, 1}) {
        TQStream *s = newStream("u", 1.0, nullptr);
        setScanSize(s, 4);
        s->streamSetBigFile(s, wide);
        s->streamSetWriteHeaderFirst(s, 1);
        ASSERT_EQ(commonCaptureOpen(s, path.c_str(), 1, &h.header), 0);
        ASSERT_EQ(s->streamNewData(s, "abcdefgh", 2, 0), 0);
        {
            Parse p(path);
            EXPECT_EQ(p.result, 1) << wide;
            EXPECT_EQ(p.ctx.u.strm.channelCount, 2);
            EXPECT_EQ(wide ? p.ctx.u.st64.dataLength : p.ctx.u.strm.dataLength, 0u);
        }
        EXPECT_EQ(commonCaptureClose(s, nullptr), 0);
        Parse closed(path);
        EXPECT_EQ(closed.result, 1);
        EXPECT_EQ(wide ? closed.ctx.u.st64.dataLength : closed.ctx.u.strm.dataLength, 8u);
        destroyStream(s);
    }
}

TEST(StreamFileParser, ContextIsClearedBeforeAnythingIsRead)
{
    TQParseContext ctx;
    memset(&ctx, 0x5a, sizeof ctx);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[1]); // empty input
    EXPECT_EQ(ACQDParse(fds[0], &ctx), 0);
    close(fds[0]);
    EXPECT_EQ(ctx.formType, 0u);
    EXPECT_EQ(ctx.u.strm.channels, nullptr);
    EXPECT_EQ(ACQDParse(-1, nullptr), 0);
}
