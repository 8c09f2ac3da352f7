// The stream thread end to end on a simulated device: every scan the device
// produced arrives once, in order and unshifted, at the rates the device
// runs; FIFO overrun raises its event; outputs play the committed block;
// recordings read back scan by scan.
#include <atomic>
#include <filesystem>
#include <thread>

#include "drivertest/scratch.h"
#include "drivertest/stoppers.h"
#include "fixture176.h"
#include "tq/platform/sync.h"
#include "tqstream/filestream.h"

namespace
{

using namespace ux176test;

// The device's counting samples: in scan n input k reads n + 0x1000 k and
// the digital word reads n (all mod 65536).
struct Layout {
    std::vector<int> inputs;
    bool digital = false;
    uint32_t scanSize() const { return 2 * static_cast<uint32_t>(inputs.size() + (digital ? 1 : 0)); }
    size_t words() const { return inputs.size() + (digital ? 1 : 0); }
};

// Scan numbers of whole scans; -1 for a scan whose words disagree (shifted).
std::vector<int64_t> scanNumbers(const std::vector<uint16_t> &words, const Layout &l)
{
    std::vector<int64_t> numbers;
    const size_t w = l.words();
    for (size_t at = 0; at + w <= words.size(); at += w) {
        const uint16_t n = static_cast<uint16_t>(words[at] - 0x1000 * l.inputs[0]);
        bool same = true;
        for (size_t i = 0; i < l.inputs.size(); ++i)
            same = same && static_cast<uint16_t>(words[at + i] - 0x1000 * l.inputs[i]) == n;
        if (l.digital)
            same = same && words[at + l.inputs.size()] == n;
        numbers.push_back(same ? n : -1);
    }
    return numbers;
}

void configure(ViSession vi, const Layout &l, double rate)
{
    for (int k : l.inputs)
        ASSERT_EQ(ux176_setAnalogChannelEnable(vi, static_cast<ViInt16>(k), 1), VI_SUCCESS);
    if (l.digital) {
        ASSERT_EQ(ux176_setDigitalChannelEnable(vi, 3, 1), VI_SUCCESS);
    }
    ASSERT_EQ(ux176_setAdcScanRate(vi, rate), VI_SUCCESS);
}

// Collects at least want scans from the reader (or until the time runs out).
std::vector<uint16_t> collect(TQReader *r, int64_t want, const Layout &l, uint32_t timeoutMs = 20000)
{
    std::vector<uint16_t> words;
    const uint64_t end = tq::platform::tickMs() + timeoutMs;
    while (static_cast<int64_t>(words.size() / l.words()) < want && tq::platform::tickMs() < end) {
        std::vector<uint16_t> more = readWords(r, 4096, l.scanSize());
        if (more.empty())
            tq::platform::sleepMs(2);
        words.insert(words.end(), more.begin(), more.end());
    }
    return words;
}

TEST_F(UsbTest, EveryScanArrivesOnceInOrder)
{
    struct Case {
        double rate;
        Layout layout;
        int64_t scans;
    };
    const Case cases[] = {
        {1000.0, {{1, 4}, true}, 200},
        {50000.0, {{2}, false}, 20000},
    };
    for (const Case &c : cases) {
        ViSession vi = open();
        configure(vi, c.layout, c.rate);
        TQStream *s = stream(vi);
        ASSERT_EQ(s->streamGetScanSize(s), c.layout.scanSize());
        TQReader *r = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
        ASSERT_NE(r, nullptr);
        ASSERT_EQ(ux176_start(vi), VI_SUCCESS);
        EXPECT_EQ(ux176_start(vi), UX176_WARN_ALREADY_RUNNING);
        const std::vector<uint16_t> words = collect(r, c.scans, c.layout);
        ASSERT_EQ(ux176_stop(vi), VI_SUCCESS);
        EXPECT_EQ(simusb_isRunning(kSerial), 0);
        const std::vector<int64_t> numbers = scanNumbers(words, c.layout);
        ASSERT_GE(static_cast<int64_t>(numbers.size()), c.scans) << c.rate;
        // Whole, unshifted scans in order. (A reader descheduled for longer
        // than the stream's buffer holds may miss some: that is the
        // buffer's, and is not what this test looks at.)
        EXPECT_EQ(numbers[0], 0) << c.rate;
        for (size_t i = 1; i < numbers.size(); ++i)
            ASSERT_GT(numbers[i], numbers[i - 1]) << c.rate << " scan " << i;
        uint64_t dropped = 1;
        ASSERT_EQ(simusb_droppedScans(kSerial, &dropped), 0);
        EXPECT_EQ(dropped, 0u) << c.rate << ": the thread kept up with the device";
        // The driver stored every scan the device produced up to the last one read.
        EXPECT_GE(s->streamGetScansWritten(s), numbers.back() + 1) << c.rate;
        // Values as the channels convert them.
        TQStreamChannel *first = s->streamGetChannelByIndex(s, 0);
        const int16_t sample = static_cast<int16_t>(words[0]);
        EXPECT_DOUBLE_EQ(first->streamChannelEval(first, words.data()), sample * 10.0 / 32768.0);
        r->readerRelease(&r);
        close(vi);
    }
}

std::atomic<int> overruns{0};
char overrunText[256];

ViStatus onOverrun(ViConstString, ViUInt32 events, void *, ViUInt32 *, ViChar *message)
{
    if (events == 1 && message && strcmp(message, "FIFO overrrun") == 0)
        overruns.fetch_add(1);
    return VI_SUCCESS;
}

// While another holder keeps the device mutex the FIFO overruns: the event
// goes to every handler and waiter; the driver stores every scan the device
// sent, so the stream lacks the scans the device dropped, nothing shifted.
TEST_F(UsbTest, OverrunRaisesTheEventAndShowsAsAGap)
{
    ViSession vi = open();
    const Layout l{{1}, false};
    configure(vi, l, 50000.0);
    ASSERT_EQ(ux176_setEventEnable(vi, 1, 1), VI_SUCCESS);
    overruns = 0;
    ASSERT_EQ(ux176_installEventHandler(vi, 0x80, onOverrun, nullptr, overrunText), VI_SUCCESS);
    TQStream *s = stream(vi);
    TQReader *r = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
    ASSERT_EQ(ux176_start(vi), VI_SUCCESS);
    std::atomic<int> woken{0};
    std::thread waiter([&] {
        ViUInt32 status = 0;
        char text[256] = {};
        if (ux176_wait(vi, 1, 60000, &status, text) == VI_SUCCESS && status == 1 &&
            strcmp(text, "FIFO overrrun") == 0)
            woken.fetch_add(1);
    });
    // The reader keeps up all along: the stream's buffer holds less than the FIFO.
    std::vector<uint16_t> words;
    std::atomic<bool> enough{false};
    std::thread reader([&] {
        while (!enough.load()) {
            std::vector<uint16_t> more = readWords(r, 4096, l.scanSize());
            if (more.empty())
                tq::platform::sleepMs(1);
            words.insert(words.end(), more.begin(), more.end());
        }
    });
    tq::platform::sleepMs(50);
    {
        tq::platform::NamedMutex other;
        ASSERT_TRUE(other.open("ux176"));
        ASSERT_EQ(other.lock(15000), tq::platform::WaitResult::Signaled);
        tq::platform::sleepMs(200); // 10000 scans due, the FIFO holds 4096
        other.unlock();
    }
    ASSERT_TRUE(eventually([&] { return overruns.load() > 0; }));
    waiter.join();
    EXPECT_EQ(woken.load(), 1);
    tq::platform::sleepMs(150);
    ASSERT_EQ(ux176_stop(vi), VI_SUCCESS);
    tq::platform::sleepMs(20);
    enough = true;
    reader.join();
    uint64_t dropped = 0;
    ASSERT_EQ(simusb_droppedScans(kSerial, &dropped), 0);
    EXPECT_GT(dropped, 0u);
    const std::vector<int64_t> numbers = scanNumbers(words, l);
    uint64_t gaps = 0;
    for (size_t i = 1; i < numbers.size(); ++i) {
        ASSERT_GE(numbers[i], 0) << "scan " << i << " shifted";
        gaps += static_cast<uint16_t>(numbers[i] - numbers[i - 1] - 1);
    }
    // The driver stored every scan the device sent: what it wrote and what
    // the device dropped make up every scan produced. (A reader that falls
    // behind the stream's buffer may miss more; this one saw the gap at least.)
    const int64_t written = s->streamGetScansWritten(s);
    ASSERT_FALSE(numbers.empty());
    EXPECT_EQ(static_cast<uint64_t>(written) + dropped, static_cast<uint64_t>(numbers.back()) + 1);
    EXPECT_GE(gaps, dropped);
    r->readerRelease(&r);
}

// The reply that reports the overrun arrives without its scans (the header
// alone): it raises no event; the scans that follow carry no overrun.
TEST_F(UsbTest, OverrunInAReplyOfItsHeaderAloneRaisesNothing)
{
    ViSession vi = open();
    const Layout l{{1}, false};
    configure(vi, l, 20000.0);
    ASSERT_EQ(ux176_setEventEnable(vi, 1, 1), VI_SUCCESS);
    ASSERT_EQ(ux176_installEventHandler(vi, 0, onOverrun, nullptr, overrunText), VI_SUCCESS);
    TQStream *s = stream(vi);
    TQReader *r = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
    ASSERT_NE(r, nullptr);
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done.load())
            if (readWords(r, 4096, l.scanSize()).empty())
                tq::platform::sleepMs(1);
    });
    ASSERT_EQ(ux176_start(vi), VI_SUCCESS);
    tq::platform::sleepMs(20);
    {
        tq::platform::NamedMutex other;
        ASSERT_TRUE(other.open("ux176"));
        ASSERT_EQ(other.lock(15000), tq::platform::WaitResult::Signaled);
        tq::platform::sleepMs(300); // 6000 scans due, the FIFO holds 4096
        uint64_t dropped = 0;
        ASSERT_EQ(simusb_droppedScans(kSerial, &dropped), 0);
        ASSERT_GT(dropped, 0u) << "the FIFO overran";
        // The device stops acquiring behind the driver's back, so that no
        // later reply reports another overrun; the next reply, the one
        // that reports this one, loses its 30 scans.
        TQUsbHandle own = nullptr;
        ASSERT_EQ(SI_Open(0, &own), TQ_USBX_OK);
        const uint8_t stopCommand = 0x09;
        uint8_t answer[1] = {};
        uint32_t n = 0;
        ASSERT_EQ(SI_Write(own, &stopCommand, 1, &n, nullptr), TQ_USBX_OK);
        ASSERT_EQ(SI_Read(own, answer, 1, &n, nullptr), TQ_USBX_OK);
        ASSERT_EQ(answer[0], 0x89);
        SI_Close(own);
        ASSERT_EQ(simusb_injectFault(kSerial, SIMUSB_SHORT, 60, 1, 0x0A), 0);
        // Overruns of a driver slowed down before the wait (a loaded
        // machine, a sanitizer) are no part of this.
        overruns = 0;
        other.unlock();
    }
    // The driver empties the FIFO: all but the scans of the cut reply.
    const int64_t before = s->streamGetScansWritten(s);
    EXPECT_TRUE(eventually([&] { return s->streamGetScansWritten(s) >= before + 4096 - 30; }));
    ASSERT_EQ(ux176_stop(vi), VI_SUCCESS);
    done = true;
    reader.join();
    r->readerRelease(&r);
    EXPECT_EQ(overruns.load(), 0);
}

// Replies that come apart or behind stray bytes while streaming: no scan is
// stored shifted, and the numbers only go up.
TEST_F(UsbTest, BrokenDataRepliesNeverShiftScans)
{
    ViSession vi = open();
    const Layout l{{1, 2, 3}, true};
    configure(vi, l, 5000.0);
    TQStream *s = stream(vi);
    TQReader *r = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
    ASSERT_EQ(simusb_injectFault(kSerial, SIMUSB_SPLIT, 7, 20, 0x0A), 0);
    ASSERT_EQ(simusb_injectFault(kSerial, SIMUSB_GARBAGE, 3, 20, 0x0A), 0);
    ASSERT_EQ(simusb_injectFault(kSerial, SIMUSB_SHORT, 3, 5, 0x0A), 0);
    ASSERT_EQ(ux176_start(vi), VI_SUCCESS);
    const std::vector<uint16_t> words = collect(r, 3000, l);
    ASSERT_EQ(ux176_stop(vi), VI_SUCCESS);
    const std::vector<int64_t> numbers = scanNumbers(words, l);
    ASSERT_GE(numbers.size(), 3000u);
    for (size_t i = 0; i < numbers.size(); ++i) {
        ASSERT_GE(numbers[i], 0) << "scan " << i << " shifted";
        if (i > 0) {
            ASSERT_GT(numbers[i], numbers[i - 1]) << "scan " << i;
        }
    }
    r->readerRelease(&r);
}

// The committed block plays cyclically at the output rate on the DAC and
// the output lines; a synchronous DAC writes its static value; a DAC whose
// type the formula engine never set is not written.
TEST_F(UsbTest, OutputsPlayTheCommittedBlock)
{
    ViSession vi = open();
    // Passes of the thread come with the input replies: fast inputs play every output scan.
    configure(vi, Layout{{1}, false}, 20000.0);
    TQStream *s = stream(vi);
    ASSERT_EQ(ux176_setDacChannelEnable(vi, 0, 1), VI_SUCCESS);
    ASSERT_EQ(ux176_setDigitalDirection(vi, 2, 1), VI_SUCCESS);
    ASSERT_EQ(ux176_setDigitalChannelEnable(vi, 2, 1), VI_SUCCESS);
    TQStreamChannel *dac1 = s->streamGetChannel(s, "DacChannel1");
    TQStreamChannel *line2 = s->streamGetChannel(s, "DigitalChannel2");
    dac1->streamChannelSetOutputSyncType(dac1, UX176_SYNC_ASYNCHRONOUS);
    line2->streamChannelSetOutputSyncType(line2, UX176_SYNC_ASYNCHRONOUS);
    ASSERT_EQ(s->streamGetOutputScanSize(s), 4);
    ASSERT_EQ(ux176_setOutputScanRate(vi, 10.0), VI_SUCCESS);
    const double volts[4] = {-5.0, 0.0, 5.0, 7.5};
    TQPiece *pieces = nullptr;
    int64_t granted = 0;
    ASSERT_EQ(s->streamReserveWrite(s, 4, &granted, &pieces), 4);
    EXPECT_EQ(s->streamReserveWrite(s, 4, &granted, &pieces), 0) << "one reservation at a time";
    EXPECT_EQ(granted, 0);
    // A commit of nothing drops the reservation; room is reserved again.
    ASSERT_EQ(s->streamCompleteWrite(s, 0), 0);
    ASSERT_EQ(s->streamReserveWrite(s, 4, &granted, &pieces), 4);
    auto *scan = static_cast<uint8_t *>(pieces[0].data);
    memset(scan, 0, 16);
    for (int i = 0; i < 4; ++i) {
        dac1->streamChannelSetEval(dac1, volts[i], scan + 4 * i);
        line2->streamChannelSetEval(line2, i % 2, scan + 4 * i);
    }
    ASSERT_EQ(s->streamCompleteWrite(s, 4), 4);
    ASSERT_EQ(simusb_clearOutputLog(kSerial), 0);
    ASSERT_EQ(ux176_start(vi), VI_SUCCESS);
    tq::platform::sleepMs(700);
    ASSERT_EQ(ux176_stop(vi), VI_SUCCESS);
    const std::vector<SimUsbOutput> log = outputs();
    std::vector<uint16_t> dacValues;
    int lineWrites = 0, dac2Writes = 0;
    for (const SimUsbOutput &o : log) {
        if (o.reg == UX176_REG_DAC1 && (dacValues.empty() || dacValues.back() != o.value))
            dacValues.push_back(o.value);
        if (o.reg == UX176_REG_DAC2)
            ++dac2Writes;
        if (o.reg == UX176_REG_DIGITAL_LOW) {
            ++lineWrites;
            EXPECT_EQ(o.value & ~0x2, 0) << "only the enabled output line";
        }
    }
    EXPECT_EQ(dac2Writes, 0) << "a DAC of type 0 is not written";
    EXPECT_GT(lineWrites, 0);
    const uint16_t codes[4] = {0x4000, 0x8000, 0xC000, 0xE000};
    ASSERT_GE(dacValues.size(), 5u) << "at 10 scans/s the block plays about 7 scans in 700 ms";
    size_t at = 0;
    while (at < 4 && codes[at] != dacValues[0])
        ++at;
    ASSERT_LT(at, 4u);
    for (size_t i = 0; i < dacValues.size(); ++i)
        EXPECT_EQ(dacValues[i], codes[(at + i) % 4]) << "write " << i;

    // Synchronous: the static code each setEval replaced.
    TQStreamChannel *dac2 = s->streamGetChannel(s, "DacChannel2");
    dac2->streamChannelSetOutputSyncType(dac2, UX176_SYNC_SYNCHRONOUS);
    dac2->streamChannelSetEval(dac2, 2.5, nullptr);
    ASSERT_EQ(simusb_clearOutputLog(kSerial), 0);
    ASSERT_EQ(ux176_start(vi), VI_SUCCESS);
    ASSERT_TRUE(eventually([&] {
        for (const SimUsbOutput &o : outputs())
            if (o.reg == UX176_REG_DAC2 && o.value == 0xA000)
                return true;
        return false;
    }));
    ASSERT_EQ(ux176_stop(vi), VI_SUCCESS);
}

TEST_F(UsbTest, RecordingReadsBackScanByScan)
{
    namespace fs = std::filesystem;
    const fs::path dir = tq::test::scratchDirectory("ux176_recording");
    const std::string file = (dir / "usb.stm").string();
    fs::remove(file);

    ViSession vi = open();
    const Layout l{{2, 5}, true};
    configure(vi, l, 2000.0);
    ASSERT_EQ(ux176_setAnalogGroupInputVoltageRange(vi, 3, 0), VI_SUCCESS);
    TQStream *s = stream(vi);
    EXPECT_EQ(s->streamCaptureOpen(s, file.c_str(), 2), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(s->streamCaptureOpen(s, file.c_str(), 0), VI_ERROR_INV_PARAMETER);
    ASSERT_EQ(s->streamCaptureOpen(s, file.c_str(), 5), VI_SUCCESS);
    ASSERT_EQ(ux176_start(vi), VI_SUCCESS);
    ASSERT_TRUE(eventually([&] { return s->streamGetScansWritten(s) >= 500; }));
    ASSERT_EQ(ux176_stop(vi), VI_SUCCESS);
    const int64_t written = s->streamGetScansWritten(s);
    ASSERT_EQ(s->streamCaptureClose(s), 0);

    TQStream *f = nullptr;
    ASSERT_EQ(OpenFileStream(file.c_str(), &f), 0);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->streamGetNumberChannels(f), 3);
    EXPECT_EQ(f->streamGetScanSize(f), l.scanSize());
    TQReader *r = f->streamNewReader(f, 0, TQ_WHENCE_OLDEST);
    ASSERT_NE(r, nullptr);
    const std::vector<uint16_t> words = collect(r, written, l, 2000);
    const std::vector<int64_t> numbers = scanNumbers(words, l);
    ASSERT_EQ(static_cast<int64_t>(numbers.size()), written);
    for (size_t i = 0; i < numbers.size(); ++i)
        ASSERT_EQ(numbers[i], static_cast<int64_t>(i)) << "scan " << i;
    // The channels of the file convert as the driver's did.
    TQStreamChannel *five = f->streamGetChannel(f, "AnalogChannel5");
    TQStreamChannel *three = f->streamGetChannel(f, "DigitalChannel3");
    ASSERT_TRUE(five && three);
    const uint16_t *scan = words.data() + 3 * 5; // scan 5
    EXPECT_DOUBLE_EQ(five->streamChannelEval(five, scan), static_cast<int16_t>(5 + 0x5000) * 10.0 / 32768.0 * 0.5);
    EXPECT_EQ(three->streamChannelEval(three, scan), (5 >> 2) & 1);
    r->readerRelease(&r);
    f->streamRelease(&f);
}

// Readers and the thread at once; then close while running with the
// readers still held (not in use: closing does not overlap other calls, as
// for every driver).
TEST_F(UsbTest, CloseWhileRunningWithReadersHeld)
{
    ViSession vi = open();
    const Layout l{{1, 2}, false};
    configure(vi, l, 20000.0);
    TQStream *s = stream(vi);
    TQReader *readers[2] = {s->streamNewReader(s, 0, TQ_WHENCE_OLDEST), s->streamNewReader(s, 0, TQ_WHENCE_NEWEST)};
    ASSERT_EQ(ux176_start(vi), VI_SUCCESS);
    std::atomic<bool> done{false};
    std::atomic<int64_t> seen{0};
    std::vector<std::thread> threads;
    for (TQReader *r : readers)
        threads.emplace_back([&, r] {
            while (!done.load()) {
                if (r->readerAvail(r) == 0) {
                    std::this_thread::yield();
                    continue;
                }
                seen.fetch_add(static_cast<int64_t>(readWords(r, 256, l.scanSize()).size() / 2));
            }
        });
    ASSERT_TRUE(eventually([&] { return seen.load() > 2000; }));
    done = true;
    for (std::thread &t : threads)
        t.join();
    close(vi);
    for (TQReader *r : readers) {
        EXPECT_EQ(r->readerAvail(r), 0);
        r->readerRelease(&r);
    }
    EXPECT_EQ(simusb_isRunning(kSerial), 0) << "close stopped the thread and the device";
}

// Two threads stopping, or stopping and resetting, one running session.
TEST_F(UsbTest, TwoThreadsEndingOneRunningSession)
{
    ViSession vi = open();
    ASSERT_EQ(ux176_setAdcScanRate(vi, 5000.0), VI_SUCCESS);
    // A reset leaves no channel enabled: every start enables one.
    auto start = [vi] {
        const ViStatus status = ux176_setAnalogChannelEnable(vi, 1, 1);
        return status < VI_SUCCESS ? status : ux176_start(vi);
    };
    auto stop = [vi] { return ux176_stop(vi); };
    auto reset = [vi] { return ux176_reset(vi); };
    tq::test::raceStopsAndResets(start, stop, reset);
    EXPECT_EQ(ux176_stop(vi), VI_SUCCESS);
    EXPECT_EQ(simusb_isRunning(kSerial), 0);
}

} // namespace
