// The VISA binding: where the library is looked for, what a missing library
// or a missing export leaves in the table, and the retry after a failed
// load. Loading happens once per process, so each situation is its own
// CTest entry of this program, with its own environment.
#include <gtest/gtest.h>

#include <cstdarg>

#include "support/simvisa_testenv.h"
#include "testmodel.h"
#include "tq/driver/visa_binding.h"
#include "tq/platform/env.h"

namespace {

using namespace tq::visa;

// Calls a function with value-initialised arguments (and some variadic
// ones); the stand-ins must not look at any of them. A va_list parameter
// has decayed to a pointer in the function type, so it is null here.
template <typename R, typename... A> R callWithDefaults(R (*f)(A...)) { return f(A{}...); }
template <typename R, typename... A> R callWithDefaults(R (*f)(A..., ...)) { return f(A{}..., 1, 2.5, "x", 4); }

// 1 when the call answered "not supported"; peek and poke have no answer.
template <int Kind, typename F> int notSupportedCall(F *f)
{
    if constexpr (Kind == TQ_VISA_NO_RESULT) {
        callWithDefaults(f);
        return 0;
    } else
        return callWithDefaults(f) == VI_ERROR_NSUP_OPER;
}

// Which entries hold their stand-in.
int standInCount(const FunctionTable &t)
{
    int n = 0;
#define TQ_COUNT(result, name, arguments, parameters) n += t.name == standInFor<arguments, name##_t>();
    TQ_VISA_FUNCTIONS(TQ_COUNT)
#undef TQ_COUNT
    return n;
}

TEST(NoLibrary, StandInsAnswerNotSupportedAndALaterLoadSucceeds)
{
    tq::test::removeVisa(tq::test::bindingDirectory()); // left by an earlier run
    ASSERT_FALSE(loadVisa());
    EXPECT_FALSE(visaLoaded());
    const FunctionTable &t = visa();
    EXPECT_EQ(standInCount(t), kFunctionCount);
    int notSupported = 0;
#define TQ_CALL(result, name, arguments, parameters) notSupported += notSupportedCall<arguments>(t.name);
    TQ_VISA_FUNCTIONS(TQ_CALL)
#undef TQ_CALL
    EXPECT_EQ(notSupported, kFunctionCount - 6);
    ViUInt32 untouched = 0x5A5A5A5A;
    t.viPeek32(1, &untouched, &untouched);
    EXPECT_EQ(untouched, 0x5A5A5A5Au);

    // A driver without VISA: sessions without an instrument still open.
    ViSession vi = VI_NULL;
    ASSERT_EQ(tqtest_init(const_cast<ViRsrc>(""), 0, 0, &vi), VI_SUCCESS);
    EXPECT_EQ(tqtest_getSimulationMode(vi, nullptr), 1);
    EXPECT_EQ(tqtest_close(vi), VI_SUCCESS);
    ViSession other = 99;
    EXPECT_EQ(tqtest_init(const_cast<ViRsrc>("PXI1::5::INSTR"), 0, 0, &other), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(other, VI_NULL);
    ViSession all[2];
    ViInt16 count = 5;
    EXPECT_EQ(tqtest_autoConnectToAll(all, 2, &count), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(count, 0);

    // The library appears: the next load binds it, and so does the driver's next init.
    ASSERT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory()));
    EXPECT_TRUE(loadVisa());
    EXPECT_TRUE(visaLoaded());
    EXPECT_LT(standInCount(t), kFunctionCount);
    ViSession rm = VI_NULL;
    EXPECT_EQ(t.viOpenDefaultRM(&rm), VI_SUCCESS);
    t.viClose(rm);
    EXPECT_EQ(tqtest_init(const_cast<ViRsrc>("PXI1::5::INSTR"), 0, 0, &other), VI_ERROR_RSRC_NFOUND);
}

TEST(PartialLibrary, MissingExportsGetTheirStandIns)
{
    ASSERT_TRUE(tq::test::layOutVisa(tq::test::bindingDirectory(), TQ_PARTIAL_VISA));
    ASSERT_TRUE(loadVisa());
    const FunctionTable &t = visa();
    EXPECT_EQ(standInCount(t), kFunctionCount - 4);
    ViSession rm = VI_NULL;
    EXPECT_EQ(t.viOpenDefaultRM(&rm), VI_SUCCESS);
    EXPECT_EQ(rm, 0x4242u);
    ViUInt32 v = 0;
    EXPECT_EQ(t.viIn32(rm, VI_PXI_BAR2_SPACE, 0x10, &v), VI_SUCCESS);
    EXPECT_EQ(v, 0xFEED0010u);
    // Missing ones take exactly their own arguments and answer "not supported".
    ViJobId job = 7;
    EXPECT_EQ(t.viMoveAsync(rm, VI_PXI_BAR2_SPACE, 0, VI_WIDTH_32, VI_PXI_BAR0_SPACE, 0, VI_WIDTH_32, 4, &job),
              VI_ERROR_NSUP_OPER);
    EXPECT_EQ(job, 7u);
    EXPECT_EQ(t.viGpibControlREN(rm, 1), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(t.viGpibSendIFC(rm), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(t.viPrintf(rm, "%d %s %f", 1, "two", 3.0), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(t.viUsbControlIn(rm, 1, 2, 3, 4, 5, nullptr, nullptr), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(t.viUsbControlOut(rm, 1, 2, 3, 4, 5, nullptr), VI_ERROR_NSUP_OPER);
    char desc[VI_FIND_BUFLEN];
    EXPECT_EQ(t.viStatusDesc(rm, VI_ERROR_TMO, desc), VI_SUCCESS);
    EXPECT_STREQ(desc, "partial library");

    // Binding a table from no module leaves only stand-ins.
    FunctionTable empty{};
    bindVisaFunctions(nullptr, empty);
    EXPECT_EQ(standInCount(empty), kFunctionCount);
}

// systemroot and vpnppath both set: the system directory wins.
TEST(BothVariables, SystemDirectoryIsUsed)
{
    const std::string sys = tq::platform::getEnv("systemroot").value();
    const std::string vpnp = tq::platform::getEnv("vpnppath").value();
    EXPECT_EQ(visaLibraryPath(), sys + "/system32/visa32.dll");
    ASSERT_TRUE(tq::test::layOutVisa(sys + "/system32", TQ_PARTIAL_VISA));
    ASSERT_TRUE(tq::test::layOutVisa(vpnp + "/linux/bin"));
    ASSERT_TRUE(loadVisa());
    ViSession rm = VI_NULL;
    EXPECT_EQ(visa().viOpenDefaultRM(&rm), VI_SUCCESS);
    EXPECT_EQ(rm, 0x4242u) << "the library of the system directory";
}

// Only VPNPPATH, in capitals: the variable is found regardless of case.
TEST(FrameworkDirectory, UsedWithoutSystemRoot)
{
    const std::string vpnp = tq::platform::getEnv("VPNPPATH").value();
    EXPECT_EQ(visaLibraryPath(), vpnp + "/linux/bin/visa32.dll");
    ASSERT_TRUE(tq::test::layOutVisa(vpnp + "/linux/bin"));
    ASSERT_TRUE(loadVisa());
    ViSession rm = VI_NULL;
    EXPECT_EQ(visa().viOpenDefaultRM(&rm), VI_SUCCESS);
    EXPECT_NE(rm, 0x4242u);
    visa().viClose(rm);
}

} // namespace
