// Stands in for xdg-open in the stream natives test: writes each argument on
// a line of its own, then the directory it runs in, to $XDG_OPEN_RECORD;
// written aside and renamed, so the record appears whole. A program rather
// than a shell script, because the test's java runs with a sanitizer's
// runtime preloaded, which the children inherit and the shell does not bear.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char **argv)
{
    const char *record = std::getenv("XDG_OPEN_RECORD");
    if (!record)
        return 2;
    const std::string part = std::string(record) + ".part";
    FILE *out = std::fopen(part.c_str(), "w");
    if (!out)
        return 1;
    for (int i = 1; i < argc; ++i)
        std::fprintf(out, "%s\n", argv[i]);
    char here[4096];
    std::fprintf(out, "%s\n", getcwd(here, sizeof here) ? here : "");
    if (std::fclose(out) != 0)
        return 1;
    return std::rename(part.c_str(), record) == 0 ? 0 : 1;
}
