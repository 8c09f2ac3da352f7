// A directory of the test's own for the files it writes: below
// TQ_TEST_TMPDIR (which every test's CTest entry sets), or the system's
// temporary directory when run by hand.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace tq::test
{

inline std::filesystem::path scratchDirectory(const std::string &name)
{
    const char *tmp = std::getenv("TQ_TEST_TMPDIR");
    const std::filesystem::path dir = std::filesystem::path(tmp ? tmp : std::filesystem::temp_directory_path()) / name;
    std::filesystem::create_directories(dir);
    return dir;
}

} // namespace tq::test
