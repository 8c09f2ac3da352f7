// Helpers shared by the stream engine's tests.
#pragma once

#include <cstdio>
#include <string>
#include <unistd.h>

#include "tq/platform/env.h"

namespace streamtest {

// A fresh directory for one test's files under the build's test directory.
inline std::string scratchDir(const std::string &name)
{
    std::string root = tq::platform::getEnv("TQ_TEST_TMPDIR").value_or("/tmp");
    std::string dir = root + "/stream." + name + "." + std::to_string(getpid());
    tq::platform::makeDirectories(dir);
    return dir;
}

inline std::string readFile(const std::string &path)
{
    std::string out;
    if (FILE *f = fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
            out.append(buffer, n);
        fclose(f);
    }
    return out;
}

} // namespace streamtest
