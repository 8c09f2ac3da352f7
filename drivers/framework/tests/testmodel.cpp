// A small instrument model that exercises the framework the way a real
// driver does: its own session record, option word read at open, one
// setting with defaults and applying, a reset, and the template exports.
#include "testmodel.h"

#include <cstdarg>
#include <cstdio>

#include "tq/driver/driver.h"
#include "tq/driver/registers.h"
#include "tq/driver/visa_binding.h"

namespace {

using namespace tq::driver;

struct TestSession : Session {
    ViUInt32 optionWord = 0;
    ViUInt32 level = 0;
};

const StatusText kTexts[] = {
    {TQ_WARN_ALREADY_RUNNING, "Device already Running."},
    {static_cast<ViStatus>(0xBFFC0107), "Operation failed because no channels are enabled."},
};

class TestModel : public Model {
public:
    Session *createSession(ViSession vi) override
    {
        auto *s = new TestSession();
        if (vi != VI_NULL &&
            tq::visa::visa().viIn32(vi, VI_PXI_BAR2_SPACE, TQTEST_OPTION_REG, &s->optionWord) < VI_SUCCESS) {
            delete s;
            return nullptr;
        }
        return s;
    }
    void setDefaultSettings(Session &s) override { static_cast<TestSession &>(s).level = TQTEST_DEFAULT_LEVEL; }
    ViStatus applySettings(Session &s) override
    {
        if (s.simulated())
            return VI_ERROR_INV_SETUP;
        return tq::visa::visa().viOut32(s.value, VI_PXI_BAR2_SPACE, TQTEST_LEVEL_REG,
                                        static_cast<TestSession &>(s).level);
    }
    ViStatus reset(Session &s) override
    {
        if (s.simulated()) {
            setDefaultSettings(s);
            return VI_SUCCESS;
        }
        ViStatus status = setRegisterField(s.value, VI_PXI_BAR2_SPACE, TQTEST_RESET_REG, 1, 0, 1);
        if (status < VI_SUCCESS)
            return status;
        setDefaultSettings(s);
        applySettings(s);
        return status;
    }
};

ModelInfo makeInfo()
{
    ModelInfo info;
    info.prefix = "tqtest";
    info.modelCode = TQTEST_MODEL_CODE;
    info.handleKind = kHandleKindTest;
    info.statusTexts = kTexts;
    info.statusTextCount = sizeof kTexts / sizeof kTexts[0];
    info.errorMessageUsesFirstSession = true;
    return info;
}

Driver &driver()
{
    static TestModel model;
    static Driver d(makeInfo(), model);
    return d;
}

} // namespace

TQ_DRIVER_EXPORT_TEMPLATE(tqtest, driver())

TQ_API ViStatus tqtest_setLevel(ViSession vi, ViUInt32 level)
{
    auto *s = static_cast<TestSession *>(driver().find(vi));
    if (!s)
        return VI_ERROR_INV_OBJECT;
    if (!s->simulated()) {
        ViStatus status = tq::visa::visa().viOut32(vi, VI_PXI_BAR2_SPACE, TQTEST_LEVEL_REG, level);
        if (status < VI_SUCCESS)
            return status;
    }
    s->level = level;
    return VI_SUCCESS;
}

TQ_API ViStatus tqtest_getLevel(ViSession vi, ViUInt32 *level)
{
    auto *s = static_cast<TestSession *>(driver().find(vi));
    if (!s)
        return VI_ERROR_INV_OBJECT;
    *level = s->level;
    return VI_SUCCESS;
}

TQ_API ViStatus tqtest_getState(ViSession vi, ViUInt16 *mode, ViUInt32 *optionWord, ViChar *resourceName)
{
    auto *s = static_cast<TestSession *>(driver().find(vi));
    if (!s)
        return VI_ERROR_INV_OBJECT;
    *mode = s->mode;
    *optionWord = s->optionWord;
    copyName(resourceName, kNameLength, s->resourceName);
    return VI_SUCCESS;
}

namespace {
// A sink with the first operations of a message queue whose print hands
// each finished line to the test's callback.
struct LineSink {
    int32_t (*addRef)(LineSink *);
    int32_t (*release)(LineSink **);
    int32_t (*read)(LineSink *, char *, uint32_t, uint32_t *);
    int32_t (*print)(LineSink *, const char *, ...);
    int32_t references;
    TqTestLineSink fn;
    void *context;
};
int32_t lineAddRef(LineSink *s)
{
    ++s->references;
    return 0;
}
int32_t lineRelease(LineSink **s)
{
    if (--(*s)->references == 0)
        delete *s;
    *s = nullptr;
    return 0;
}
int32_t linePrint(LineSink *s, const char *format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    s->fn(s->context, line);
    return 0;
}
} // namespace

TQ_API ViStatus tqtest_setStatusSink(ViSession vi, TqTestLineSink sink, void *context)
{
    if (!sink)
        return driver().registerStreamMsg(vi, nullptr);
    auto *line = new LineSink{lineAddRef, lineRelease, nullptr, linePrint, 1, sink, context};
    ViStatus status = driver().registerStreamMsg(vi, reinterpret_cast<TQStreamMsg *>(line));
    lineRelease(&line); // the session holds the only reference now
    return status;
}

TQ_API ViStatus tqtest_setField(ViSession vi, ViBusAddress offset, ViUInt32 mask, ViUInt16 shift, ViUInt32 value)
{
    return setRegisterField(vi, VI_PXI_BAR2_SPACE, offset, mask, shift, value);
}

TQ_API ViStatus tqtest_getField(ViSession vi, ViBusAddress offset, ViUInt32 mask, ViUInt16 shift, ViUInt32 *value)
{
    return getRegisterField(vi, VI_PXI_BAR2_SPACE, offset, mask, shift, value);
}
