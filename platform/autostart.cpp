#include "platform/autostart.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "platform/paths.h"

namespace platform {

namespace {
// Exec lines are parsed by the desktop, not a shell; quote so spaces survive.
std::string QuoteExec(const std::string& path) {
    std::string out = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}
}  // namespace

std::string AutostartEntryPath(const std::string& name) {
    return ConfigHome() + "/autostart/" + name + ".desktop";
}

bool IsAutostartEntryPresent(const std::string& name) {
    return access(AutostartEntryPath(name).c_str(), F_OK) == 0;
}

bool WriteAutostartEntry(const std::string& name, const std::string& exec) {
    const std::string dir = ConfigHome() + "/autostart";
    MakeDirectory(ConfigHome());
    MakeDirectory(dir);
    const std::string path = AutostartEntryPath(name);
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        if (!out) return false;
        out << "[Desktop Entry]\n"
            << "Type=Application\n"
            << "Name=" << name << "\n"
            << "Exec=" << QuoteExec(exec) << "\n"
            << "X-GNOME-Autostart-enabled=true\n"
            << "Terminal=false\n";
        if (!out.flush()) { std::remove(tmp.c_str()); return false; }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) { std::remove(tmp.c_str()); return false; }
    return true;
}

void RemoveAutostartEntry(const std::string& name) { std::remove(AutostartEntryPath(name).c_str()); }

}  // namespace platform
