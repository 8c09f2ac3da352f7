// The display natives (TqStream's display rows, DisplayWindow, GraphObject)
// through JNI in a test VM: the case table of DisplayNativesCheck.java over
// in-memory streams of a test-only helper library, run headless with the
// VM's JNI checks on. Every case must pass with no JNI warning.
#include <gtest/gtest.h>

#include "child.h"

using namespace hosttest;

namespace
{

using Env = std::map<std::string, std::optional<std::string>>;

bool hasWarning(const std::string &text)
{
    return text.find("WARNING") != std::string::npos;
}

class DisplayNatives : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        work = freshDir(std::string("display-natives.") + info->name());
    }

    Outcome check(Env env)
    {
        // An instrumented library loads only where its sanitizer's runtime came first.
        if (*TQ_JAVA_PRELOAD)
            env["LD_PRELOAD"] = std::string(TQ_JAVA_PRELOAD);
        return runChild(TQ_JAVA,
                        {"-Djava.awt.headless=true", "-cp", std::string(TQ_PANELMATE_JAR) + ":" + TQ_CHECK_JAR,
                         "DisplayNativesCheck", TQ_JNI, TQ_HELPER, work},
                        work, env);
    }

    std::string work;
};

TEST_F(DisplayNatives, EveryCaseOfTheTablesUnderJniChecks)
{
    const Outcome o = check({{"JAVA_TOOL_OPTIONS", std::string("-Xcheck:jni")}});
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_NE(o.out.find("all cases passed"), std::string::npos) << o.out;
    EXPECT_FALSE(hasWarning(o.err) || hasWarning(o.out)) << o.err;
}

TEST_F(DisplayNatives, TheSameUnderADecimalCommaLocale)
{
    // Listings and graph.xml carry fixed-point numbers: a locale that writes
    // decimal commas must not reach them.
    const Outcome o = check({{"LC_ALL", std::string("de_DE.UTF-8")}, {"LANG", std::string("de_DE.UTF-8")}});
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_NE(o.out.find("all cases passed"), std::string::npos) << o.out;
}

} // namespace
