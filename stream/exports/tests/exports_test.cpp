// The flat exports, through the shared library as client programs link it:
// each export's result rule, the 32-bit twins, values at a scan index within
// piece lists, and averaging over pieces cut anywhere.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tqstream.h"

namespace
{

// ---- the result rules -----------------------------------------------------------

// What a record operation returns in the fakes below, and how often one ran.
int32_t g_code = 0;
int g_calls = 0;
// The stream a faked clone or graph object hands back.
TQStream *g_cloneTarget = nullptr;

template <class R = int32_t, class... A> R fakeCode(A...)
{
    ++g_calls;
    return static_cast<R>(g_code);
}

// The translation every mapped export applies.
struct Mapping {
    int32_t code;
    ViStatus status;
};
const Mapping kMapping[] = {
    {0, VI_SUCCESS},
    {1, static_cast<ViStatus>(0x3FFC0107)},
    {2, static_cast<ViStatus>(0x3FFF0004)},
    {-4, static_cast<ViStatus>(0xBFFF003C)},
    {-16, static_cast<ViStatus>(0xBFFF003B)},
    {-22, static_cast<ViStatus>(0xBFFF0015)},
    {-6, static_cast<ViStatus>(0xBFFF0000)},
    {-19, static_cast<ViStatus>(0xBFFF0000)},
    {-20, static_cast<ViStatus>(0xBFFF0000)},
    {3, static_cast<ViStatus>(0xBFFF0000)},
};

enum class Rule { Mapped, Zero };

// Records whose operations the cases replace. The stream is a real one, made
// through the handle table as a driver makes its stream.
struct Records {
    TQStreamHandles handles{};
    TQStream *stream = nullptr;
    TQGraphObject graph{};
    TQDisplayWindow window{};
    TQWidget widget{};
    TQStreamMsg *queue = nullptr; // ends in its ring: allocated apart
    TQFormulaEngine engine{};
    TQReader reader{};
    TQStreamChannel channel{};
};

struct RuleCase {
    const char *name;
    Rule rule;
    std::function<void(Records &)> arm; // puts fakeCode in the operation the export must call
    std::function<ViStatus(Records &)> call;
};

#define FAKE(field) [](Records &r) { field = fakeCode; }

const std::vector<RuleCase> &ruleCases()
{
    static const std::vector<RuleCase> cases = {
        // Streams.
        {"listAxes", Rule::Mapped, FAKE(r.stream->streamListAxes),
         [](Records &r) { return tqstream_listAxes(r.stream, nullptr, 0, nullptr); }},
        {"addListener", Rule::Mapped, FAKE(r.stream->streamAddListener),
         [](Records &r) { return tqstream_addListener(r.stream, nullptr, nullptr); }},
        {"removeListener", Rule::Zero, FAKE(r.stream->streamRemoveListener),
         [](Records &r) { return tqstream_removeListener(r.stream, nullptr, nullptr); }},
        {"writeXML", Rule::Mapped, FAKE(r.stream->streamWriteXML),
         [](Records &r) { return tqstream_writeXML(r.stream, "d"); }},
        {"readXML", Rule::Mapped, FAKE(r.stream->streamReadXML),
         [](Records &r) { return tqstream_readXML(r.stream, "d"); }},
        {"newData", Rule::Mapped, FAKE(r.stream->streamNewData),
         [](Records &r) { return tqstream_newData(r.stream, nullptr, 0, 0); }},
        {"lock", Rule::Mapped, FAKE(r.stream->streamLock), [](Records &r) { return tqstream_lock(r.stream, 5); }},
        {"installEventHandler", Rule::Mapped, FAKE(r.stream->streamInstallEventHandler),
         [](Records &r) { return tqstream_installEventHandler(r.stream, 1, nullptr, nullptr, nullptr); }},
        {"uninstallEventHandler", Rule::Mapped, FAKE(r.stream->streamUninstallEventHandler),
         [](Records &r) { return tqstream_uninstallEventHandler(r.stream, 1, nullptr, nullptr); }},
        {"captureOpen", Rule::Mapped, FAKE(r.stream->streamCaptureOpen),
         [](Records &r) { return tqstream_captureOpen(r.stream, "f"); }},
        {"captureOpenEx", Rule::Mapped, FAKE(r.stream->streamCaptureOpen),
         [](Records &r) { return tqstream_captureOpenEx(r.stream, "f", 2); }},
        {"captureClose", Rule::Zero, FAKE(r.stream->streamCaptureClose),
         [](Records &r) { return tqstream_captureClose(r.stream); }},
        {"setDecimation", Rule::Zero, FAKE(r.stream->streamSetDecimation),
         [](Records &r) { return tqstream_setDecimation(r.stream, 3); }},
        {"setBigFile", Rule::Zero, FAKE(r.stream->streamSetBigFile),
         [](Records &r) { return tqstream_setBigFile(r.stream, 1); }},
        {"setWriteHeaderFirst", Rule::Zero, FAKE(r.stream->streamSetWriteHeaderFirst),
         [](Records &r) { return tqstream_setWriteHeaderFirst(r.stream, 1); }},
        {"setGraphInfo", Rule::Mapped, FAKE(r.stream->streamSetGraphInfo),
         [](Records &r) { return tqstream_setGraphInfo(r.stream, "V", 0, 1, 0); }},
        {"getGraphInfo", Rule::Mapped, FAKE(r.stream->streamGetGraphInfo),
         [](Records &r) { return tqstream_getGraphInfo(r.stream, "V", nullptr, nullptr, nullptr); }},
        {"setGraphBg", Rule::Mapped, FAKE(r.stream->streamSetGraphBg),
         [](Records &r) { return tqstream_setGraphBg(r.stream, 0, 1); }},
        {"getGraphBg", Rule::Mapped, FAKE(r.stream->streamGetGraphBg),
         [](Records &r) { return tqstream_getGraphBg(r.stream, nullptr, nullptr); }},
        {"getGraph", Rule::Mapped, FAKE(r.stream->streamGetGraph),
         [](Records &r) { return tqstream_getGraph(r.stream, 10, 10, 0, 0, 1, nullptr, nullptr); }},
        {"freeGraph", Rule::Zero, FAKE(r.stream->graphObjectFreeGraph),
         [](Records &r) { return tqstream_freeGraph(r.stream, nullptr); }},
        {"getGraphNav", Rule::Mapped, FAKE(r.stream->streamGetGraphNav),
         [](Records &r) { return tqstream_getGraphNav(r.stream, 10, 10, nullptr, nullptr, nullptr, nullptr); }},
        {"verifyDisplayWindows", Rule::Mapped, FAKE(r.stream->streamVerifyDisplayWindows),
         [](Records &r) { return tqstream_verifyDisplayWindows(r.stream); }},
        {"setOutputRate", Rule::Zero, FAKE(r.stream->streamSetOutputRate),
         [](Records &r) { return tqstream_setOutputRate(r.stream, 2.0); }},
        {"setOutputRecycleRate", Rule::Zero, FAKE(r.stream->streamSetOutputRecycleRate),
         [](Records &r) { return tqstream_setOutputRecycleRate(r.stream, 2.0); }},
        {"reserveWrite", Rule::Zero, FAKE(r.stream->streamReserveWrite),
         [](Records &r) { return tqstream_reserveWrite(r.stream, 1, nullptr, nullptr, nullptr); }},
        {"completeWrite", Rule::Zero, FAKE(r.stream->streamCompleteWrite),
         [](Records &r) { return tqstream_completeWrite(r.stream, 1, nullptr); }},
        // Readers: every one gives 0 whatever the operation reported.
        {"readerSeek", Rule::Zero, FAKE(r.reader.readerSeek),
         [](Records &r) { return tqstream_readerSeek(&r.reader, 0, 0, nullptr); }},
        {"readerAvail", Rule::Zero, FAKE(r.reader.readerAvail),
         [](Records &r) { return tqstream_readerAvail(&r.reader, nullptr); }},
        {"readerRead", Rule::Zero, FAKE(r.reader.readerRead),
         [](Records &r) { return tqstream_readerRead(&r.reader, nullptr, 0, nullptr); }},
        {"readerReserveRead", Rule::Zero, FAKE(r.reader.readerReserveRead),
         [](Records &r) { return tqstream_readerReserveRead(&r.reader, nullptr, nullptr, 1, nullptr); }},
        {"readerCompleteRead", Rule::Zero, FAKE(r.reader.readerCompleteRead),
         [](Records &r) { return tqstream_readerCompleteRead(&r.reader, 1, nullptr); }},
        // Formula engine.
        {"formulaEngineRmvFormula", Rule::Zero, FAKE(r.engine.formulaEngineRmvFormula),
         [](Records &r) { return tqstream_formulaEngineRmvFormula(&r.engine, "x"); }},
        {"formulaEngineRmvAllFormulas", Rule::Zero, FAKE(r.engine.formulaEngineRmvAllFormulas),
         [](Records &r) { return tqstream_formulaEngineRmvAllFormulas(&r.engine); }},
        {"formulaEngineEvalScans", Rule::Zero, FAKE(r.engine.formulaEngineEvalScans),
         [](Records &r) { return tqstream_formulaEngineEvalScans(&r.engine, 1, nullptr); }},
        {"formulaEngineWriteXML", Rule::Mapped, FAKE(r.engine.formulaEngineWriteXML),
         [](Records &r) { return tqstream_formulaEngineWriteXML(&r.engine, "d"); }},
        {"formulaEngineReadXML", Rule::Mapped, FAKE(r.engine.formulaEngineReadXML),
         [](Records &r) { return tqstream_formulaEngineReadXML(&r.engine, "d"); }},
        // Message queues.
        {"streamMsgRead", Rule::Mapped, FAKE(r.queue->streamMsgRead),
         [](Records &r) { return tqstream_streamMsgRead(r.queue, nullptr, 0, nullptr); }},
        {"streamMsgAvail", Rule::Mapped, FAKE(r.queue->streamMsgGetUsed),
         [](Records &r) { return tqstream_streamMsgAvail(r.queue, nullptr); }},
        {"streamMsgSize", Rule::Mapped, FAKE(r.queue->streamMsgGetCapacity),
         [](Records &r) { return tqstream_streamMsgSize(r.queue, nullptr); }},
        {"streamMsgEmpty", Rule::Mapped, FAKE(r.queue->streamMsgGetFree),
         [](Records &r) { return tqstream_streamMsgEmpty(r.queue, nullptr); }},
        {"streamMsgFlush", Rule::Mapped, FAKE(r.queue->streamMsgFlush),
         [](Records &r) { return tqstream_streamMsgFlush(r.queue); }},
        {"streamMsgLock", Rule::Mapped, FAKE(r.queue->streamMsgLock),
         [](Records &r) { return tqstream_streamMsgLock(r.queue, 1); }},
        {"streamMsgClose", Rule::Mapped, FAKE(r.queue->streamMsgRelease),
         [](Records &r) { return tqstream_streamMsgClose(r.queue); }},
        // Display windows: the geometry pairs each reach their own field.
        {"setDisplayWindowTitle", Rule::Mapped, FAKE(r.window.displayWindowSetTitle),
         [](Records &r) { return tqstream_setDisplayWindowTitle(&r.window, "t"); }},
        {"getDisplayWindowTitle", Rule::Mapped, FAKE(r.window.displayWindowGetTitle),
         [](Records &r) { return tqstream_getDisplayWindowTitle(&r.window, nullptr, 0); }},
        {"setDisplayWindowXPos", Rule::Mapped, FAKE(r.window.displayWindowSetXPos),
         [](Records &r) { return tqstream_setDisplayWindowXPos(&r.window, 1); }},
        {"getDisplayWindowYPos", Rule::Mapped, FAKE(r.window.displayWindowGetYPos),
         [](Records &r) { return tqstream_getDisplayWindowYPos(&r.window, nullptr); }},
        {"setDisplayWindowWidth", Rule::Mapped, FAKE(r.window.displayWindowSetWidth),
         [](Records &r) { return tqstream_setDisplayWindowWidth(&r.window, 1); }},
        {"getDisplayWindowHeight", Rule::Mapped, FAKE(r.window.displayWindowGetHeight),
         [](Records &r) { return tqstream_getDisplayWindowHeight(&r.window, nullptr); }},
        {"addGraphObject", Rule::Zero, [](Records &r) { r.window.displayWindowAddGraphObject = fakeCode<void>; },
         [](Records &r) { return tqstream_addGraphObject(&r.window, &r.graph); }},
        {"removeGraphObject", Rule::Zero, [](Records &r) { r.window.displayWindowRemoveGraphObject = fakeCode<void>; },
         [](Records &r) { return tqstream_removeGraphObject(&r.window, &r.graph); }},
        {"closeDisplayWindow", Rule::Mapped, FAKE(r.window.displayWindowSlotRelease),
         [](Records &r) { return tqstream_closeDisplayWindow(&r.window); }},
        // Graph objects.
        {"setGraphObjectTitle", Rule::Mapped, FAKE(r.graph.graphObjectSetTitle),
         [](Records &r) { return tqstream_setGraphObjectTitle(&r.graph, "t"); }},
        {"getGraphObjectXPos", Rule::Mapped, FAKE(r.graph.graphObjectGetXPos),
         [](Records &r) { return tqstream_getGraphObjectXPos(&r.graph, nullptr); }},
        {"setGraphObjectHeight", Rule::Mapped, FAKE(r.graph.graphObjectSetHeight),
         [](Records &r) { return tqstream_setGraphObjectHeight(&r.graph, 1); }},
        {"setGraphObjectDuration", Rule::Mapped, FAKE(r.graph.graphObjectSetDuration),
         [](Records &r) { return tqstream_setGraphObjectDuration(&r.graph, 1.0); }},
        {"getGraphObjectStartTime", Rule::Mapped, FAKE(r.graph.graphObjectGetStartTime),
         [](Records &r) { return tqstream_getGraphObjectStartTime(&r.graph, nullptr); }},
        {"rescaleGraphObjectAxis", Rule::Mapped, FAKE(r.graph.graphObjectRescaleAxis),
         [](Records &r) { return tqstream_rescaleGraphObjectAxis(&r.graph, "V", 2, 0); }},
        {"resetGraphObjectDomain", Rule::Mapped, FAKE(r.graph.graphObjectResetDomain),
         [](Records &r) { return tqstream_resetGraphObjectDomain(&r.graph, 1, 1); }},
        {"setGraphObjectGraphInfo", Rule::Mapped, FAKE(r.graph.graphObjectSetGraphInfo),
         [](Records &r) { return tqstream_setGraphObjectGraphInfo(&r.graph, "V", 0, 1, 0); }},
        {"getGraphObjectGraphInfo", Rule::Mapped, FAKE(r.graph.graphObjectGetGraphInfo),
         [](Records &r) { return tqstream_getGraphObjectGraphInfo(&r.graph, "V", nullptr, nullptr, nullptr); }},
        {"getGraphObjectAxisSpan", Rule::Mapped, FAKE(r.graph.graphObjectGetAxisSpan),
         [](Records &r) { return tqstream_getGraphObjectAxisSpan(&r.graph, "V", nullptr); }},
        {"setGraphObjectChannelColor", Rule::Mapped, FAKE(r.graph.graphObjectSetChannelColor),
         [](Records &r) { return tqstream_setGraphObjectChannelColor(&r.graph, "c", 0); }},
        {"getGraphObjectGraph", Rule::Mapped, FAKE(r.graph.graphObjectGetGraph),
         [](Records &r) { return tqstream_getGraphObjectGraph(&r.graph, 1, 1, 0, nullptr, nullptr); }},
        {"freeGraphObjectGraph", Rule::Zero, FAKE(r.graph.graphObjectFreeGraph),
         [](Records &r) { return tqstream_freeGraphObjectGraph(&r.graph, nullptr); }},
        {"getGraphObjectGraphEu", Rule::Mapped, FAKE(r.graph.graphObjectGetGraphEu),
         [](Records &r) { return tqstream_getGraphObjectGraphEu(&r.graph, 1, 1, 1, 1, nullptr, nullptr); }},
        {"lockGraphObject", Rule::Mapped, FAKE(r.graph.graphObjectLock),
         [](Records &r) { return tqstream_lockGraphObject(&r.graph, 1); }},
        {"convertGraphObjectToAscii", Rule::Mapped, FAKE(r.graph.graphObjectConvertToAscii),
         [](Records &r) { return tqstream_convertGraphObjectToAscii(&r.graph, "p"); }},
        {"listGraphObjectAxes", Rule::Mapped, FAKE(r.graph.graphObjectListAxes),
         [](Records &r) { return tqstream_listGraphObjectAxes(&r.graph, nullptr, 0, nullptr); }},
        {"closeGraphObject", Rule::Mapped, FAKE(r.graph.graphObjectSlotRelease),
         [](Records &r) { return tqstream_closeGraphObject(&r.graph); }},
        // Widgets.
        {"setWidgetHeight", Rule::Mapped, FAKE(r.widget.widgetSetHeight),
         [](Records &r) { return tqstream_setWidgetHeight(&r.widget, 1); }},
        {"getWidgetMax", Rule::Mapped, FAKE(r.widget.widgetGetMax),
         [](Records &r) { return tqstream_getWidgetMax(&r.widget, nullptr); }},
        {"setWidgetColor", Rule::Mapped, FAKE(r.widget.widgetSetColor),
         [](Records &r) { return tqstream_setWidgetColor(&r.widget, 1, 0); }},
        {"getWidgetChannel", Rule::Mapped, FAKE(r.widget.widgetGetChannel),
         [](Records &r) { return tqstream_getWidgetChannel(&r.widget, nullptr, 0); }},
        {"getWidgetImage", Rule::Mapped, FAKE(r.widget.widgetGetImage),
         [](Records &r) { return tqstream_getWidgetImage(&r.widget, nullptr, nullptr); }},
        {"freeWidgetImage", Rule::Zero, FAKE(r.widget.widgetFreeImage),
         [](Records &r) { return tqstream_freeWidgetImage(&r.widget, nullptr); }},
        {"resetWidget", Rule::Mapped, FAKE(r.widget.widgetReset),
         [](Records &r) { return tqstream_resetWidget(&r.widget); }},
        {"closeWidget", Rule::Mapped,
         [](Records &r) {
             r.widget.widgetClose = fakeCode;
             r.widget.widgetRelease = [](TQWidget **) { return int32_t{-6}; };
         },
         [](Records &r) { return tqstream_closeWidget(&r.widget); }},
    };
    return cases;
}

#undef FAKE

class ExportRules : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_EQ(tqstream_getHandles(&r.handles), VI_SUCCESS);
        r.stream = r.handles.newStream("rules", 10.0, nullptr);
        ASSERT_NE(r.stream, nullptr);
        r.queue = static_cast<TQStreamMsg *>(calloc(1, sizeof(TQStreamMsg)));
        ASSERT_NE(r.queue, nullptr);
    }
    void TearDown() override
    {
        r.handles.destroyStream(r.stream);
        free(r.queue);
    }

    Records r;
};

TEST_F(ExportRules, EachExportCallsItsOperationAndKeepsItsResultRule)
{
    for (const RuleCase &c : ruleCases()) {
        c.arm(r);
        for (const Mapping &m : kMapping) {
            g_code = m.code;
            g_calls = 0;
            const ViStatus status = c.call(r);
            EXPECT_EQ(g_calls, 1) << c.name;
            const ViStatus expected = c.rule == Rule::Mapped ? m.status : VI_SUCCESS;
            EXPECT_EQ(static_cast<uint32_t>(status), static_cast<uint32_t>(expected)) << c.name << " code " << m.code;
        }
    }
}

TEST_F(ExportRules, NullRecordsAreRefusedBeforeAnythingIsCalled)
{
    struct Case {
        const char *name;
        std::function<ViStatus()> call;
        ViStatus expected;
    };
    const ViStatus noObject = VI_ERROR_INV_OBJECT;
    const ViStatus noChannel = VI_ERROR_INV_PARAMETER;
    const Case cases[] = {
        {"getRate", [] { return tqstream_getRate(nullptr, nullptr); }, noObject},
        {"lock", [] { return tqstream_lock(nullptr, 1); }, noObject},
        {"close", [] { return tqstream_close(nullptr); }, noObject},
        {"getAveraged", [] { return tqstream_getAveraged(nullptr, 1, nullptr, 1, nullptr); }, noObject},
        {"readerClose", [] { return tqstream_readerClose(nullptr); }, noObject},
        {"formulaEngineClose", [] { return tqstream_formulaEngineClose(nullptr); }, noObject},
        {"streamMsgRead", [] { return tqstream_streamMsgRead(nullptr, nullptr, 0, nullptr); }, noObject},
        {"setGraphObjectWidth", [] { return tqstream_setGraphObjectWidth(nullptr, 1); }, noObject},
        {"getDisplayWindowXPos", [] { return tqstream_getDisplayWindowXPos(nullptr, nullptr); }, noObject},
        {"closeWidget", [] { return tqstream_closeWidget(nullptr); }, noObject},
        {"getChannelName",
         [] {
             char b[TQ_CHANNEL_NAME_SIZE];
             return tqstream_getChannelName(nullptr, b);
         },
         noChannel},
        {"getChannelEval", [] { return tqstream_getChannelEval(nullptr, nullptr, nullptr); }, noChannel},
        {"setOutputChannelSyncType", [] { return tqstream_setOutputChannelSyncType(nullptr, 1); }, noChannel},
    };
    for (const Case &c : cases)
        EXPECT_EQ(static_cast<uint32_t>(c.call()), static_cast<uint32_t>(c.expected)) << c.name;
    EXPECT_EQ(tqstream_wait(nullptr, 1, 0, nullptr, nullptr), TQS_ERR_FAILED);
    TQStream *stream = r.stream;
    EXPECT_EQ(tqstream_getStreamFromReader(nullptr, &stream), -1);
    EXPECT_EQ(stream, nullptr);
}

// "Found": 0 and the object, or the export's own status and null, stored
// either way; a null result pointer is refused without a call.
TEST_F(ExportRules, LookupsStoreTheObjectOrNullAndTellWhichByTheirStatus)
{
    static TQStreamChannel channel{};
    static TQGraphObject graph{};
    static TQDisplayWindow window{};
    static TQWidget widget{};
    static TQReader reader{};
    static bool give = false;
    struct Case {
        const char *name;
        std::function<void(Records &)> arm;
        std::function<ViStatus(Records &, void **)> call;
        void *object;
        ViStatus missing;
    };
    const ViStatus badParameter = static_cast<ViStatus>(0xBFFF0078);
    const ViStatus alloc = static_cast<ViStatus>(0xBFFF003C);
    const ViStatus system = static_cast<ViStatus>(0xBFFF0000);
    const Case cases[] = {
        {"getChannel",
         [](Records &r) {
             r.stream->streamGetChannel = [](TQStream *, const char *) { return give ? &channel : nullptr; };
         },
         [](Records &r, void **out) {
             return tqstream_getChannel(r.stream, "x", reinterpret_cast<TQStreamChannel **>(out));
         },
         &channel, badParameter},
        {"getChannelByIndex",
         [](Records &r) {
             r.stream->streamGetChannelByIndex = [](TQStream *, int32_t) { return give ? &channel : nullptr; };
         },
         [](Records &r, void **out) {
             return tqstream_getChannelByIndex(r.stream, 3, reinterpret_cast<TQStreamChannel **>(out));
         },
         &channel, badParameter},
        {"getOutputChannel",
         [](Records &r) {
             r.stream->streamGetOutputChannel = [](TQStream *, const char *) { return give ? &channel : nullptr; };
         },
         [](Records &r, void **out) {
             return tqstream_getOutputChannel(r.stream, "x", reinterpret_cast<TQStreamChannel **>(out));
         },
         &channel, badParameter},
        {"getOutputChannelByIndex",
         [](Records &r) {
             r.stream->streamGetOutputChannelByIndex = [](TQStream *, int32_t) { return give ? &channel : nullptr; };
         },
         [](Records &r, void **out) {
             return tqstream_getOutputChannelByIndex(r.stream, 0, reinterpret_cast<TQStreamChannel **>(out));
         },
         &channel, badParameter},
        {"getGraphObject",
         [](Records &r) { r.stream->streamGetGraphObject = [](TQStream *) { return give ? &graph : nullptr; }; },
         [](Records &r, void **out) {
             return tqstream_getGraphObject(r.stream, reinterpret_cast<TQGraphObject **>(out));
         },
         &graph, badParameter},
        {"newDisplayWindow",
         [](Records &r) {
             r.stream->streamNewDisplayWindow = [](TQStream *, const char *, int32_t, int32_t, int32_t, int32_t) {
                 return give ? &window : nullptr;
             };
         },
         [](Records &r, void **out) {
             return tqstream_newDisplayWindow(r.stream, "w", 0, 0, 1, 1, reinterpret_cast<TQDisplayWindow **>(out));
         },
         &window, alloc},
        {"getDisplayWindow",
         [](Records &r) {
             r.stream->streamGetDisplayWindow = [](TQStream *, const char *) { return give ? &window : nullptr; };
         },
         [](Records &r, void **out) {
             return tqstream_getDisplayWindow(r.stream, "w", reinterpret_cast<TQDisplayWindow **>(out));
         },
         &window, alloc},
        {"getDisplayWindowByIndex",
         [](Records &r) {
             r.stream->streamGetDisplayWindowByIndex = [](TQStream *, int32_t) { return give ? &window : nullptr; };
         },
         [](Records &r, void **out) {
             return tqstream_getDisplayWindowByIndex(r.stream, 0, reinterpret_cast<TQDisplayWindow **>(out));
         },
         &window, alloc},
        {"newReader",
         [](Records &r) {
             r.stream->streamNewReader = [](TQStream *, int64_t, int32_t) { return give ? &reader : nullptr; };
         },
         [](Records &r, void **out) { return tqstream_newReader(r.stream, 0, 0, reinterpret_cast<TQReader **>(out)); },
         &reader, system},
        {"readerCloneStream",
         [](Records &r) {
             r.reader.readerCloneStream = [](TQReader *, int64_t) { return give ? g_cloneTarget : nullptr; };
         },
         [](Records &r, void **out) {
             return tqstream_readerCloneStream(&r.reader, 4, reinterpret_cast<TQStream **>(out));
         },
         nullptr, system},
        {"newGraphObject",
         [](Records &r) {
             r.window.displayWindowNewGraphObject = [](TQDisplayWindow *, const char *, int32_t, int32_t, int32_t,
                                                       int32_t) { return give ? &graph : nullptr; };
         },
         [](Records &r, void **out) {
             return tqstream_newGraphObject(&r.window, "g", 0, 0, 1, 1, reinterpret_cast<TQGraphObject **>(out));
         },
         &graph, alloc},
        {"getGraphObjectByTitle",
         [](Records &r) {
             r.window.displayWindowGetGraphObjectByTitle = [](TQDisplayWindow *, const char *) {
                 return give ? &graph : nullptr;
             };
         },
         [](Records &r, void **out) {
             return tqstream_getGraphObjectByTitle(&r.window, "g", reinterpret_cast<TQGraphObject **>(out));
         },
         &graph, alloc},
        {"getGraphObjectByIndex",
         [](Records &r) {
             r.window.displayWindowGetGraphObjectByIndex = [](TQDisplayWindow *, int32_t) {
                 return give ? &graph : nullptr;
             };
         },
         [](Records &r, void **out) {
             return tqstream_getGraphObjectByIndex(&r.window, 0, reinterpret_cast<TQGraphObject **>(out));
         },
         &graph, alloc},
        {"newWidget",
         [](Records &r) {
             r.window.displayWindowNewWidget = [](TQDisplayWindow *, int32_t, const char *, int32_t, int32_t, int32_t,
                                                  int32_t) { return give ? &widget : nullptr; };
         },
         [](Records &r, void **out) {
             return tqstream_newWidget(&r.window, 0, "d", 0, 0, 1, 1, reinterpret_cast<TQWidget **>(out));
         },
         &widget, alloc},
        {"getWidgetByTitle",
         [](Records &r) {
             r.window.displayWindowGetWidgetByTitle = [](TQDisplayWindow *, const char *) {
                 return give ? &widget : nullptr;
             };
         },
         [](Records &r, void **out) {
             return tqstream_getWidgetByTitle(&r.window, "d", reinterpret_cast<TQWidget **>(out));
         },
         &widget, alloc},
        {"getWidgetByIndex",
         [](Records &r) {
             r.window.displayWindowGetWidgetByIndex = [](TQDisplayWindow *, int32_t) {
                 return give ? &widget : nullptr;
             };
         },
         [](Records &r, void **out) {
             return tqstream_getWidgetByIndex(&r.window, 0, reinterpret_cast<TQWidget **>(out));
         },
         &widget, alloc},
        {"getStreamFromGraphObject",
         [](Records &r) {
             r.graph.graphObjectGetStream = [](TQGraphObject *) { return give ? g_cloneTarget : nullptr; };
         },
         [](Records &r, void **out) {
             return tqstream_getStreamFromGraphObject(&r.graph, reinterpret_cast<TQStream **>(out));
         },
         nullptr, static_cast<ViStatus>(0xBFFF0011)},
    };
    g_cloneTarget = r.stream;
    for (const Case &c : cases) {
        c.arm(r);
        void *expected = c.object ? c.object : r.stream;
        void *out = &out;
        give = true;
        EXPECT_EQ(c.call(r, &out), VI_SUCCESS) << c.name;
        EXPECT_EQ(out, expected) << c.name;
        give = false;
        EXPECT_EQ(static_cast<uint32_t>(c.call(r, &out)), static_cast<uint32_t>(c.missing)) << c.name;
        EXPECT_EQ(out, nullptr) << c.name;
        give = true;
        EXPECT_EQ(static_cast<uint32_t>(c.call(r, nullptr)), 0xBFFF0078u) << c.name << " without a result pointer";
    }
}

} // namespace
