#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "tq/platform/debug.h"
#include "tq/platform/env.h"
#include "tq/platform/text.h"
#include "tq/platform/numfmt.h"

using namespace tq::platform;

namespace {

std::string tempDir()
{
    const char *base = std::getenv("TQ_TEST_TMPDIR");
    std::string dir = std::string(base ? base : "/tmp") + "/platform_env." + std::to_string(getpid());
    makeDirectories(dir);
    return dir;
}

void writeFile(const std::string &path, const std::string &text)
{
    std::ofstream(path) << text;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(Environment, LookupIgnoresCase)
{
    unsetenv("TQTESTVAR");
    unsetenv("tqtestvar");
    setenv("TQTESTVAR", "upper", 1);
    EXPECT_EQ(getEnv("tqTestVar").value_or(""), "upper");
    EXPECT_EQ(getEnv("tqtestvar").value_or(""), "upper");
    unsetenv("TQTESTVAR");
    setenv("tqtestvar", "lower", 1);
    EXPECT_EQ(getEnv("TQTESTVAR").value_or(""), "lower");
    setenv("TqTestVar", "exact", 1);
    EXPECT_EQ(getEnv("TqTestVar").value_or(""), "exact"); // exact name first
    unsetenv("tqtestvar");
    unsetenv("TqTestVar");
    EXPECT_FALSE(getEnv("TQTESTVAR").has_value());
    EXPECT_FALSE(getEnv("").has_value());
}

TEST(Paths, SplitJoinAndNormalise)
{
    struct Case {
        const char *path, *dir, *file;
    } cases[] = {
        {"/a/b/c.stm", "/a/b", "c.stm"},
        {"a\\b\\c.stm", "a\\b", "c.stm"},
        {"c:\\vxipnp/winnt\\tqdaq", "c:\\vxipnp/winnt", "tqdaq"},
        {"name", "", "name"},
        {"/name", "/", "name"},
        {"dir/", "dir", ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(directoryOf(c.path), c.dir) << c.path;
        EXPECT_EQ(fileNameOf(c.path), c.file) << c.path;
    }
    EXPECT_EQ(nativePath("c:\\winnt\\tqdaq\\device"), "c:/winnt/tqdaq/device");
    EXPECT_EQ(joinPath("/a/", "/b"), "/a/b");
    EXPECT_EQ(joinPath("/a", "b"), "/a/b");
    EXPECT_EQ(joinPath("", "b"), "b");
    EXPECT_EQ(joinPath("/", "b"), "/b");
}

TEST(Paths, DirectoriesAndFileSearch)
{
    std::string dir = tempDir() + "/search/deep";
    ASSERT_TRUE(makeDirectories(dir));
    EXPECT_TRUE(isDirectory(dir));
    EXPECT_TRUE(makeDirectories(dir)); // already there
    for (const char *f : {"b.stm", "a.STM", "c.txt", "libtq718_32.so", "libtq747_32.so", "libother.so"})
        writeFile(dir + "/" + f, "x");
    EXPECT_EQ(findFiles(dir, "*.stm"), (std::vector<std::string>{"a.STM", "b.stm"}));
    EXPECT_EQ(findFiles(dir, "tq*_32.dll"), (std::vector<std::string>{"libtq718_32.so", "libtq747_32.so"}));
    EXPECT_EQ(findFiles(dir, "?.txt"), (std::vector<std::string>{"c.txt"}));
    EXPECT_TRUE(fileExists(dir + "/c.txt"));
    EXPECT_FALSE(fileExists(dir + "/d.txt"));
    EXPECT_FALSE(isDirectory(dir + "/c.txt"));
    EXPECT_FALSE(makeDirectories(dir + "/c.txt/sub"));
}

namespace {
struct Captured {
    std::string text;
};
void capture(const char *text, void *context) { static_cast<Captured *>(context)->text += text; }
} // namespace

TEST(DebugOutput, CaptureHookFileAndSilence)
{
    Captured cap;
    setDebugCaptureHook(capture, &cap);
    debugOutput("one\n");
    debugPrintf("%s=%#x\n", "retVal", 0xbfff000eu);
    std::string longText(400, 'x');
    debugPrintf("%s", longText.c_str());
    setDebugCaptureHook(nullptr, nullptr);
    EXPECT_EQ(cap.text, "one\nretVal=0xbfff000e\n" + std::string(255, 'x'));

    std::string log = tempDir() + "/debug.log";
    std::remove(log.c_str());
    unsetenv("TQ_DEBUG_LOG");
    debugOutput("silent\n");
    EXPECT_FALSE(fileExists(log));
    setenv("TQ_DEBUG_LOG", log.c_str(), 1);
    debugOutput("a\n");
    debugOutput("b\n");
    unsetenv("TQ_DEBUG_LOG");
    EXPECT_EQ(readFile(log), "a\nb\n");
}

TEST(Registry, ValuesFromTheStandInFile)
{
    std::string file = tempDir() + "/registry";
    writeFile(file, "# comment\n"
                    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmarc\\tqdaq\\Spy=1\n"
                    "HKEY_LOCAL_MACHINE/Software/JavaSoft/Java Runtime Environment\\CurrentVersion = \"1.6\"\n"
                    "HKEY_LOCAL_MACHINE\\SOFTWARE\\x\\Hex=0x10\n"
                    "HKEY_LOCAL_MACHINE\\SOFTWARE\\x\\Bad=12abc\n"
                    "not a line\n");
    setenv("TQ_REGISTRY", file.c_str(), 1);
    const std::string tq = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmarc\\tqdaq";
    EXPECT_EQ(registryReadDword(tq, "Spy").value_or(99), 1u);
    EXPECT_EQ(registryReadDword("hkey_local_machine/software/velmarc/TQDAQ", "spy").value_or(99), 1u);
    EXPECT_EQ(registryReadString("HKEY_LOCAL_MACHINE\\Software\\JavaSoft\\Java Runtime Environment", "CurrentVersion")
                  .value_or(""),
              "1.6");
    EXPECT_EQ(registryReadDword("HKEY_LOCAL_MACHINE\\SOFTWARE\\x", "Hex").value_or(0), 16u);
    EXPECT_FALSE(registryReadDword("HKEY_LOCAL_MACHINE\\SOFTWARE\\x", "Bad").has_value());
    EXPECT_FALSE(registryReadDword(tq, "Missing").has_value());
    EXPECT_TRUE(registryKeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmarc"));
    EXPECT_FALSE(registryKeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Velma"));
    unsetenv("TQ_REGISTRY");
    EXPECT_FALSE(registryReadDword(tq, "Spy").has_value()); // no file, no values
}

TEST(Numbers, FormatAndParseInTheCLocaleWhateverTheProcessLocale)
{
    // A locale with a decimal comma, when the machine has one.
    const char *commaLocales[] = {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "C.UTF-8"};
    for (const char *l : commaLocales)
        if (std::setlocale(LC_ALL, l))
            break;
    char buf[64];
    cformat(buf, sizeof buf, "%.3f", 1.5);
    EXPECT_STREQ(buf, "1.500");
    EXPECT_EQ(cformatString("%g;%s", 2.25, std::string(300, 'y').c_str()), "2.25;" + std::string(300, 'y'));
    double d = 0;
    short s = 0;
    EXPECT_EQ(cscan("3,2.75", "%hd,%lf", &s, &d), 2);
    EXPECT_EQ(s, 3);
    EXPECT_DOUBLE_EQ(d, 2.75);
    char *end = nullptr;
    EXPECT_DOUBLE_EQ(cstrtod("0.125x", &end), 0.125);
    EXPECT_EQ(*end, 'x');
    std::setlocale(LC_ALL, "C");
}

TEST(Text, BoundedCopyCutsTerminatesAndMayOverlap)
{
    struct Case {
        const char *from;
        size_t size;
        const char *expected;
    } cases[] = {
        {nullptr, 8, ""},
        {"", 8, ""},
        {"abc", 8, "abc"},
        {"abcdefg", 8, "abcdefg"},  // exactly fills the field
        {"abcdefgh", 8, "abcdefg"}, // one too long: cut
        {"abcdefghijk", 1, ""},     // room for the terminator only
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.from ? c.from : "(null)");
        char field[16];
        memset(field, '#', sizeof field);
        tq::platform::copyText(field, c.size, c.from);
        EXPECT_STREQ(field, c.expected);
        EXPECT_EQ(field[c.size], '#') << "nothing written past the field";
    }
    // Copying a field onto itself, or from inside itself, keeps the text.
    char name[8] = "abcdef";
    tq::platform::copyText(name, name);
    EXPECT_STREQ(name, "abcdef");
    tq::platform::copyText(name, name + 2);
    EXPECT_STREQ(name, "cdef");
}
