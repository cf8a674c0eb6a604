#include "tavri/factory.h"

#include <map>
#include <mutex>

namespace {

struct Entry {
    ControlCreator creator;
    int levels;
};

struct Registry {
    std::mutex lock;
    std::map<CString, Entry> classes;
};

// Control classes register from static initialisers in their own files.
Registry& R() {
    static Registry r;
    return r;
}

}  // namespace

bool RegisterControlClass(const wchar_t* className, ControlCreator creator, int levels) {
    if (!className || !*className || !creator || !(levels & kFactoryBoth)) return false;
    std::lock_guard<std::mutex> lock(R().lock);
    return R().classes.emplace(CString(className), Entry{creator, levels}).second;
}

ControlCreator FindControlClass(const wchar_t* className, int level) {
    if (!className || !*className) return nullptr;
    std::lock_guard<std::mutex> lock(R().lock);
    auto it = R().classes.find(CString(className));
    if (it == R().classes.end() || !(it->second.levels & level)) return nullptr;
    return it->second.creator;
}

std::vector<CString> RegisteredControlClasses() {
    std::lock_guard<std::mutex> lock(R().lock);
    std::vector<CString> names;
    for (const auto& [name, entry] : R().classes) names.push_back(name);
    return names;
}
