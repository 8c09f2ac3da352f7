#include "tq/platform/env.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fnmatch.h>
#include <strings.h>
#include <sys/stat.h>

#include "tq/platform/dynlib.h"

namespace tq::platform {

std::optional<std::string> getEnv(const std::string &name)
{
    if (name.empty())
        return std::nullopt;
    if (const char *v = std::getenv(name.c_str()))
        return std::string(v);
    std::string upper = name, lower = name;
    for (auto &c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (auto &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (const char *v = std::getenv(upper.c_str()))
        return std::string(v);
    if (const char *v = std::getenv(lower.c_str()))
        return std::string(v);
    return std::nullopt;
}

bool isSeparator(char c) { return c == '/' || c == '\\'; }

std::string nativePath(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string joinPath(const std::string &dir, const std::string &name)
{
    if (dir.empty())
        return name;
    if (name.empty())
        return dir;
    size_t start = 0;
    while (start < name.size() && isSeparator(name[start]))
        ++start;
    std::string out = dir;
    while (out.size() > 1 && isSeparator(out.back()))
        out.pop_back();
    if (!isSeparator(out.back()))
        out += '/';
    return out + name.substr(start);
}

static size_t lastSeparator(const std::string &path)
{
    size_t pos = path.find_last_of("/\\");
    return pos;
}

std::string directoryOf(const std::string &path)
{
    size_t pos = lastSeparator(path);
    if (pos == std::string::npos)
        return {};
    if (pos == 0)
        return path.substr(0, 1);
    return path.substr(0, pos);
}

std::string fileNameOf(const std::string &path)
{
    size_t pos = lastSeparator(path);
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

bool fileExists(const std::string &path)
{
    struct stat st;
    return !path.empty() && stat(nativePath(path).c_str(), &st) == 0;
}

bool isDirectory(const std::string &path)
{
    struct stat st;
    return !path.empty() && stat(nativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool makeDirectories(const std::string &pathIn)
{
    const std::string path = nativePath(pathIn);
    if (path.empty())
        return false;
    if (isDirectory(path))
        return true;
    std::string parent = directoryOf(path);
    if (!parent.empty() && parent != path && !isDirectory(parent) && !makeDirectories(parent))
        return false;
    if (mkdir(path.c_str(), 0777) == 0 || errno == EEXIST)
        return isDirectory(path);
    return false;
}

std::vector<std::string> findFiles(const std::string &dir, const std::string &pattern)
{
    std::vector<std::string> out;
    const std::string mapped = mapLibraryName(fileNameOf(pattern));
    DIR *d = opendir(dir.empty() ? "." : nativePath(dir).c_str());
    if (!d)
        return out;
    while (struct dirent *e = readdir(d)) {
        const char *n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        if (fnmatch(mapped.c_str(), n, FNM_CASEFOLD | FNM_NOESCAPE) == 0)
            out.emplace_back(n);
    }
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace tq::platform
