#include "store/settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <map>
#include <mutex>

#include "platform/autostart.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"
#include "tavri/manager.h"

std::atomic<int> CurrentLanguageId{0};

namespace {

constexpr size_t kMaxText = 259;  // a 260-character buffer with its terminator
const std::wstring kSettingsSection = L"settings";

std::string DeviceNameUtf8() { return platform::SafeFileName(Manager::GetDeviceName().ToUtf8()); }

// Parsed language files, keyed by path and checked against the file's time
// and size so that a replaced file is read again.
struct CachedIni {
    platform::IniFile ini;
    timespec mtime{};
    off_t size = -1;
    bool loaded = false;
};
std::mutex g_cacheMutex;
std::map<std::string, CachedIni> g_cache;

enum class StoreState { Opened, Created, Failed };

// Opens the settings file for reading, creating it (and its folder) when it is
// missing, as the registry key would be created.
StoreState OpenSettings(platform::IniFile& ini) {
    const std::string path = SettingsFilePath();
    if (access(path.c_str(), F_OK) != 0) {
        const std::string dir = path.substr(0, path.rfind('/'));
        platform::MakeDirectory(platform::ConfigHome());
        platform::MakeDirectory(dir);
        platform::IniFile empty;
        empty.Parse("[settings]\n");
        return empty.Save(path) ? StoreState::Created : StoreState::Failed;
    }
    return ini.Load(path) ? StoreState::Opened : StoreState::Failed;
}

void WriteValue(const CString& name, const CString& text) {
    const std::string path = SettingsFilePath();
    platform::IniFile ini;
    if (access(path.c_str(), F_OK) != 0 || !ini.Load(path)) return;  // no creation here
    ini.Set(kSettingsSection, name, text);
    ini.Save(path);
}

}  // namespace

CString ReadPrivateProfileText(const CString& section, const CString& key, const CString& file) {
    const std::string path = platform::NativePath(file);
    struct stat st {};
    std::lock_guard lock(g_cacheMutex);
    if (stat(path.c_str(), &st) != 0) {
        g_cache.erase(path);
        return CString();
    }
    CachedIni& c = g_cache[path];
    if (!c.loaded || c.size != st.st_size || c.mtime.tv_sec != st.st_mtim.tv_sec ||
        c.mtime.tv_nsec != st.st_mtim.tv_nsec) {
        c.loaded = c.ini.Load(path);
        c.size = st.st_size;
        c.mtime = st.st_mtim;
        if (!c.loaded) {
            g_cache.erase(path);
            return CString();
        }
    }
    std::optional<std::wstring> v = c.ini.Get(section, key);
    if (!v) return CString();
    if (v->size() > kMaxText) v->resize(kMaxText);
    return CString(*v);
}

CString GetLanguageText(const CString& section, int number) {
    CString key, file;
    key.Format(L"%d", number);
    file.Format(L"%slanguage\\%d.lan", GetProgramFolder().c_str(), CurrentLanguageId.load());
    return ReadPrivateProfileText(section, key, file);
}

void FlushLanguageCache() {
    std::lock_guard lock(g_cacheMutex);
    g_cache.clear();
}

std::string SettingsFilePath() { return platform::ConfigHome() + "/" + DeviceNameUtf8() + "/settings.ini"; }

int ReadLanguageId() {
    platform::IniFile ini;
    switch (OpenSettings(ini)) {
        case StoreState::Created: return 0;
        case StoreState::Failed: return 1046;
        case StoreState::Opened: break;
    }
    const auto v = ini.Get(kSettingsSection, L"LCID");
    return v ? platform::ParseDecimal(*v) : 0;
}

void WriteLanguageId(int id) { WriteValue(L"LCID", CString::Formatted(L"%d", id)); }

int ReadSettingInt(const CString& name) {
    platform::IniFile ini;
    if (OpenSettings(ini) != StoreState::Opened) return 0;
    const auto v = ini.Get(kSettingsSection, name);
    return v ? platform::ParseDecimal(*v) : 0;
}

void WriteSettingText(const CString& name, const CString& text) { WriteValue(name, text); }

bool IsAutostartOn() { return platform::IsAutostartEntryPresent(DeviceNameUtf8()); }

void SetAutostart(bool on) {
    if (on)
        platform::WriteAutostartEntry(DeviceNameUtf8(), platform::ExecutablePath());
    else
        platform::RemoveAutostartEntry(DeviceNameUtf8());
}

CString GetProgramFolder() { return CString::FromUtf8(platform::ProgramFolder()); }

CString GetProgramFolderNoSlash() {
    CString f = GetProgramFolder();
    while (f.size() > 1 && (f.back() == L'/' || f.back() == L'\\')) f.pop_back();
    return f;
}

CString GetUserDataFolder() {
    return CString::FromUtf8(platform::DataHome() + "/" + DeviceNameUtf8() + " Files/");
}

bool CreateFolderPath(const CString& path) {
    const std::string p = platform::NativePath(path);
    if (p.empty()) return false;
    if (platform::IsDirectory(p)) return true;
    // Every prefix that ends before a separator, from after the first one
    // (the root, like a drive, is never made on its own).
    const size_t first = p.find('/');
    if (first != std::string::npos) {
        for (size_t pos = p.find('/', first + 1); pos != std::string::npos; pos = p.find('/', pos + 1))
            platform::MakeDirectory(p.substr(0, pos));
    }
    errno = 0;
    if (platform::MakeDirectory(p)) return true;
    return errno == EEXIST && platform::IsDirectory(p);
}
