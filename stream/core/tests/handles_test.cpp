// The stream handle table and the exports of the stream library, through
// the shared library itself, as a driver loads it.
#include <gtest/gtest.h>

#include <cstring>

#include "tq/platform/dynlib.h"
#include "tqstream.h"

namespace {

TEST(StreamHandleTable, EveryEntryIsFilled)
{
    TQStreamHandles handles;
    memset(&handles, 0, sizeof handles);
    EXPECT_EQ(tqstream_getHandles(&handles), 0);
    void *entries[TQ_STREAM_HANDLE_COUNT];
    static_assert(sizeof entries == sizeof handles);
    memcpy(entries, &handles, sizeof handles);
    for (int i = 0; i < TQ_STREAM_HANDLE_COUNT; ++i)
        EXPECT_NE(entries[i], nullptr) << "entry " << i;
    EXPECT_EQ(handles.thermoc2mv, &thermoc2mv);
    EXPECT_EQ(handles.thermomv2c, &thermomv2c);
    EXPECT_EQ(handles.TQCreateBuffer, &TQCreateBuffer);
    EXPECT_EQ(handles.StreamCommonFree, &StreamCommonFree);
}

// A driver's use of the table: a stream with a reader, a segmented buffer,
// a conversion, and the stream torn down again.
TEST(StreamHandleTable, EntriesWorkAsADriverUsesThem)
{
    TQStreamHandles h;
    ASSERT_EQ(tqstream_getHandles(&h), 0);
    EXPECT_EQ(h.thermoc2mv(100.0, TQ_THERMOCOUPLE_K), 4.09623);
    EXPECT_EQ(h.thermomv2c(4.09623, TQ_THERMOCOUPLE_K), 100.0);

    TQBuffer *buffer = h.TQCreateBuffer(256, 2560, 3840);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->minimumSegments, 11);
    EXPECT_EQ(buffer->maximumSegments, 16);
    uint8_t scan[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(buffer->bufferWrite(buffer, scan, sizeof scan), 8);

    TQStream *stream = h.newStream("handles", 100.0, nullptr);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(*h.streamRefCountAddress(stream), 1);
    EXPECT_EQ(h.setNumberChannels(stream, 4), 4);
    EXPECT_EQ(h.setScanSize(stream, 8), 8);
    EXPECT_EQ(h.setNumberOutputChannels(stream, 2), 2);
    EXPECT_EQ(h.setOutputScanSize(stream, 16), 16);
    EXPECT_EQ(h.isCapturing(stream), 0);
    TQReader *reader = h.newReaderBase(stream, 0, 0, nullptr);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(h.firstReader(stream), reader);
    EXPECT_EQ(h.nextReader(reader), nullptr);
    EXPECT_EQ(*h.readerRefCountAddress(reader), 2);
    h.destroyStream(stream);
    EXPECT_EQ(*h.readerRefCountAddress(reader), 1);
    reader->readerRelease(&reader);
    EXPECT_EQ(reader, nullptr);
    buffer->bufferClose(buffer);
}

// Values stand for streams in 32-bit fields: distinct, never 0, and refused
// once the stream is gone, even when a new stream takes the freed slot.
TEST(StreamValues, StandForLiveStreamsOnly)
{
    TQStreamHandles h;
    ASSERT_EQ(tqstream_getHandles(&h), 0);
    TQStream *a = h.newStream("a", 1.0, nullptr);
    TQStream *b = h.newStream("b", 1.0, nullptr);
    ASSERT_TRUE(a && b);
    const uint32_t va = tqstream_streamValue(a), vb = tqstream_streamValue(b);
    EXPECT_NE(va, 0u);
    EXPECT_NE(vb, 0u);
    EXPECT_NE(va, vb);
    EXPECT_EQ(tqstream_streamOfValue(va), a);
    EXPECT_EQ(tqstream_streamOfValue(vb), b);
    EXPECT_EQ(tqstream_streamValue(nullptr), 0u);
    EXPECT_EQ(tqstream_streamOfValue(0), nullptr);
    EXPECT_EQ(tqstream_streamOfValue(va ^ 0x00010000u), nullptr);

    h.destroyStream(a);
    EXPECT_EQ(tqstream_streamOfValue(va), nullptr);
    TQStream *c = h.newStream("c", 1.0, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(tqstream_streamValue(c), va);
    EXPECT_EQ(tqstream_streamOfValue(va), nullptr);
    EXPECT_EQ(tqstream_streamOfValue(tqstream_streamValue(c)), c);
    h.destroyStream(b);
    h.destroyStream(c);
}

// Drivers find the table by name in the library they load.
TEST(StreamHandleTable, ExportedByName)
{
    TQStreamHandles viaExport;
    ASSERT_EQ(tqstream_getHandles(&viaExport), 0);
    tq::platform::LibraryHandle library = tq::platform::loadLibrary("tqstream_32.dll");
    ASSERT_NE(library, nullptr) << tq::platform::lastLibraryError();
    for (const char *name : {"tqstream_getHandles", "tqstream_error_message", "TQCreateBuffer", "thermoc2mv",
                             "thermomv2c", "StreamMsgCommonCreate", "tqstream_streamValue", "tqstream_streamOfValue"})
        EXPECT_NE(tq::platform::findSymbol(library, name), nullptr) << name;
    auto getHandles = reinterpret_cast<TQGetHandlesFn>(tq::platform::findSymbol(library, "tqstream_getHandles"));
    ASSERT_NE(getHandles, nullptr);
    TQStreamHandles viaName;
    ASSERT_EQ(getHandles(&viaName), 0);
    EXPECT_EQ(memcmp(&viaName, &viaExport, sizeof viaName), 0);
    // Internal helpers stay hidden.
    EXPECT_EQ(tq::platform::findSymbol(library, "TQAllocBuffer"), nullptr);
    EXPECT_EQ(tq::platform::findSymbol(library, "TQBufferDataDelRef"), nullptr);
    tq::platform::freeLibrary(library);
}

} // namespace
