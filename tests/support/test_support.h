// Test helpers shared by every subsystem's tests.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// Polls `pred` every 2 ms until it holds (true) or `timeout` has passed (false),
// for results that other threads produce.
template <class Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A fresh folder under the system's temporary folder, removed with all its
// contents when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets (or with nullopt unsets) environment variables for the scope and puts
// the old values back afterwards.
class EnvGuard {
public:
    EnvGuard() = default;
    ~EnvGuard();
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;
    void Set(const std::string& name, const std::optional<std::string>& value);

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

// A home of its own for a test: HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and
// XDG_RUNTIME_DIR all point into one temporary folder.
class IsolatedHome {
public:
    IsolatedHome();
    const TempDir& dir() const { return dir_; }
    std::string config() const { return dir_ / "config"; }
    std::string data() const { return dir_ / "data"; }
    std::string runtime() const { return dir_ / "run"; }

private:
    TempDir dir_;
    EnvGuard env_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
void MakeDirs(const std::string& path);

// Where the built program, its shipped files and the sources are.
std::string SourceDir();
std::string RuntimeDir();

// Runs a program with arguments and extra environment, waits at most
// `timeoutMs`; returns the exit code (-1 when it did not end in time or did not
// exit normally) and what it printed on standard output and standard error.
struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
ProcessResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env = {}, int timeoutMs = 10000);

}  // namespace testsupport
