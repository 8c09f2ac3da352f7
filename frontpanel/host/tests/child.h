// Runs a program as a child process with its own working directory and
// environment changes, and collects its exit status and output.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hosttest
{

struct Outcome {
    int status = -1; // exit status, or -1 when the child did not exit normally
    std::string out;
    std::string err;
};

// env: a value sets the variable, nullopt removes it; the rest is inherited.
Outcome runChild(const std::string &program, const std::vector<std::string> &args, const std::string &cwd,
                 const std::map<std::string, std::optional<std::string>> &env);

// A fresh empty directory under the test temporary directory.
std::string freshDir(const std::string &name);
void writeFile(const std::string &path, const std::string &text);
std::string readFile(const std::string &path);
void copyFile(const std::string &from, const std::string &to);

} // namespace hosttest
