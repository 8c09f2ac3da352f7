// Native method of com.orvane.util.ShellExecute: "open" hands the file to
// the desktop's opener, xdg-open, started directly (posix_spawn, found on
// PATH), never through a shell: the file and the parameters reach it as
// separate arguments, whatever characters they hold.
#include "natives.h"

#include <cerrno>
#include <spawn.h>
#include <strings.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "jnilayer.h"

extern char **environ;

using namespace tq::panelmate;

namespace
{

// The parameters as one text, split as a command line is: blanks separate
// arguments, double quotes group blanks into one and are dropped.
std::vector<std::string> splitParameters(const char *text)
{
    std::vector<std::string> out;
    if (!text)
        return out;
    std::string current;
    bool inArgument = false, quoted = false;
    for (const char *p = text; *p; ++p) {
        const char c = *p;
        if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inArgument)
                out.push_back(current);
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        out.push_back(current);
    return out;
}

// Starts xdg-open; false when it could not be started. The child is reaped
// on a thread of its own, so that no finished opener stays a zombie.
bool startOpener(const char *file, const char *parameters, const char *directory)
{
    std::vector<std::string> args{"xdg-open", file};
    for (std::string &a : splitParameters(parameters))
        args.push_back(std::move(a));
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return false;
    bool ok = true;
    if (directory && *directory)
        ok = posix_spawn_file_actions_addchdir_np(&actions, directory) == 0;
    pid_t pid = 0;
    if (ok)
        ok = posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!ok)
        return false;
    try {
        std::thread([pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // No thread: the child is left to the process's end rather than waited for here.
    }
    return true;
}

} // namespace

// The show command has no meaning to the opener and is not used.
void Java_com_orvane_util_ShellExecute_shellExecute(JNIEnv *env, jobject, jstring operation, jstring file,
                                                     jstring parameters, jstring directory, jint)
{
    const Ids &ids = javaIds(env);
    if (!ids.bound)
        return;
    JavaText op(env, operation);
    if (!op)
        return;
    JavaText path(env, file);
    if (!path)
        return;
    JavaText params(env, parameters, JavaText::Null::Null);
    if (!params)
        return;
    JavaText dir(env, directory, JavaText::Null::Null);
    if (!dir)
        return;
    bool started = false;
    try {
        started = strcasecmp(op.c_str(), "open") == 0 && startOpener(path.c_str(), params.c_str(), dir.c_str());
    } catch (...) {
        started = false;
    }
    if (!started)
        throwJava(env, ids.runtimeException, "Failure in ShellExecute");
}
