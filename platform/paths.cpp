#include "platform/paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/text.h"

namespace platform {

namespace {
std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string WithSlash(std::string s) {
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}
}  // namespace

std::string NativePath(const std::wstring& path) {
    std::string out = WideToUtf8(path);
    for (char& c : out)
        if (c == '\\') c = '/';
    // Joining "folder/" with "\file" leaves doubled separators; collapse them.
    std::string clean;
    clean.reserve(out.size());
    for (char c : out) {
        if (c == '/' && !clean.empty() && clean.back() == '/') continue;
        clean += c;
    }
    return clean;
}

std::string ExecutableFolder() {
    std::vector<char> buf(PATH_MAX + 1);
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return "./";
    std::string exe(buf.data(), static_cast<size_t>(n));
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? "./" : exe.substr(0, slash + 1);
}

std::string ProgramFolder() {
    const std::string overridden = Env("KEYLOOM_PROGRAM_DIR");
    if (!overridden.empty()) return WithSlash(overridden);
    const std::string exe = ExecutableFolder();
    if (FileExists(exe + "config.xml")) return exe;
    return exe + "../share/keyloom/";
}

std::string HomeFolder() {
    std::string home = Env("HOME");
    if (!home.empty()) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

std::string DataHome() {
    const std::string v = Env("XDG_DATA_HOME");
    return !v.empty() && v[0] == '/' ? v : HomeFolder() + "/.local/share";
}

std::string ConfigHome() {
    const std::string v = Env("XDG_CONFIG_HOME");
    return !v.empty() && v[0] == '/' ? v : HomeFolder() + "/.config";
}

std::string RuntimeFolder() {
    const std::string v = Env("XDG_RUNTIME_DIR");
    if (!v.empty() && v[0] == '/' && IsDirectory(v)) return v;
    // Without a runtime folder, a per-user folder that only its owner may use.
    const std::string dir = "/tmp/keyloom-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    struct stat st {};
    if (lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid()) {
        chmod(dir.c_str(), 0700);
        return dir;
    }
    return "/tmp";
}

std::string TempFolder() {
    const std::string v = Env("TMPDIR");
    return WithSlash(!v.empty() ? v : "/tmp");
}

std::string SafeFileName(const std::string& name) {
    std::string out = name.empty() ? std::string("_") : name;
    for (char& c : out)
        if (c == '/' || c == '\0') c = '_';
    if (out == "." || out == "..") out = "_";
    return out;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool MakeDirectory(const std::string& path) { return mkdir(path.c_str(), 0755) == 0; }

}  // namespace platform
