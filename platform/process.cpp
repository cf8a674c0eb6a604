#include "platform/process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

extern char** environ;

namespace platform {

pid_t StartProcess(const std::string& path, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    // posix_spawnp finds bare names on PATH, as the shell would, without one.
    const int rc = path.find('/') == std::string::npos
                       ? posix_spawnp(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ)
                       : posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ);
    return rc == 0 ? pid : -1;
}

int RunProcess(const std::string& path, const std::vector<std::string>& args) {
    const pid_t pid = StartProcess(path, args);
    if (pid < 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (!WIFEXITED(status)) return -1;
    // posix_spawn reports an exec failure as exit code 127 from the child.
    return WEXITSTATUS(status);
}

bool ShellOpen(const std::string& target) {
    if (target.empty()) return false;
    const pid_t pid = StartProcess("xdg-open", {target});
    if (pid < 0) return false;
    // xdg-open returns quickly; reap it so it leaves no zombie.
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string ExecutablePath() {
    char buf[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

}  // namespace platform
