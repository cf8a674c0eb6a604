#include "test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace testsupport {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "keyloom-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may make folders read-only; give write access back before removal.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path_, ec);
}

EnvGuard::~EnvGuard() {
    for (const auto& [name, value] : saved_) {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
}

void EnvGuard::Set(const std::string& name, const std::optional<std::string>& value) {
    if (!saved_.count(name)) {
        const char* old = std::getenv(name.c_str());
        saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value)
        setenv(name.c_str(), value->c_str(), 1);
    else
        unsetenv(name.c_str());
}

IsolatedHome::IsolatedHome() {
    MakeDirs(config());
    MakeDirs(data());
    MakeDirs(runtime());
    chmod(runtime().c_str(), 0700);
    env_.Set("HOME", dir_.path());
    env_.Set("XDG_CONFIG_HOME", config());
    env_.Set("XDG_DATA_HOME", data());
    env_.Set("XDG_RUNTIME_DIR", runtime());
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out << bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

void MakeDirs(const std::string& path) { std::filesystem::create_directories(path); }

std::string SourceDir() { return KEYLOOM_SOURCE_DIR; }
std::string RuntimeDir() { return KEYLOOM_RUNTIME_DIR; }

ProcessResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env, int timeoutMs) {
    ProcessResult result;
    int outFds[2];
    int errFds[2];
    if (pipe2(outFds, O_CLOEXEC) != 0) return result;
    if (pipe2(errFds, O_CLOEXEC) != 0) {
        close(outFds[0]);
        close(outFds[1]);
        return result;
    }

    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string key = entry.substr(0, entry.find('='));
        if (!env.count(key)) envStrings.push_back(entry);
    }
    for (const auto& [k, v] : env) envStrings.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);

    std::vector<std::string> argStrings{path};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argStrings) argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errFds[1], STDERR_FILENO);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outFds[1]);
    close(errFds[1]);
    if (rc != 0) {
        close(outFds[0]);
        close(errFds[0]);
        return result;
    }

    // Both pipes are drained together, so that a program filling one of them
    // never blocks while the other is read.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buf[4096];
    pollfd p[2] = {{outFds[0], POLLIN, 0}, {errFds[0], POLLIN, 0}};
    std::string* sink[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        if (poll(p, 2, static_cast<int>(left)) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (p[i].fd < 0 || !(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = read(p[i].fd, buf, sizeof buf);
            if (n > 0) {
                sink[i]->append(buf, static_cast<size_t>(n));
            } else {
                close(p[i].fd);
                p[i].fd = -1;  // poll ignores it from now on
                --open;
            }
        }
    }
    for (const pollfd& f : p)
        if (f.fd >= 0) close(f.fd);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace testsupport
