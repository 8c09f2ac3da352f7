#include "child.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace hosttest
{

std::string freshDir(const std::string &name)
{
    const char *base = std::getenv("TQ_TEST_TMPDIR");
    const fs::path dir = fs::path(base ? base : "/tmp") / "panelmate-host" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

void writeFile(const std::string &path, const std::string &text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void copyFile(const std::string &from, const std::string &to)
{
    fs::create_directories(fs::path(to).parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

Outcome runChild(const std::string &program, const std::vector<std::string> &args, const std::string &cwd,
                 const std::map<std::string, std::optional<std::string>> &env)
{
    const std::string outFile = cwd + "/.child-out", errFile = cwd + "/.child-err";
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0)
            _exit(120);
        for (const auto &[name, value] : env) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
            _exit(121);
        std::vector<char *> argv{const_cast<char *>(program.c_str())};
        for (const auto &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(122);
    }
    Outcome o;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        o.status = WEXITSTATUS(status);
    o.out = readFile(outFile);
    o.err = readFile(errFile);
    return o;
}

} // namespace hosttest
