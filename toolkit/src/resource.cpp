#include "tavri/resource.h"

#include <map>
#include <mutex>
#include <tuple>

namespace {

struct Key {
    HINSTANCE module;
    UINT id;
    CString type;
    bool operator<(const Key& o) const { return std::tie(module, id, type) < std::tie(o.module, o.id, o.type); }
};

struct Registry {
    std::mutex lock;
    std::map<Key, ResourceData> entries;
};

// Filled from static initialisers of several files, so built on first use.
Registry& R() {
    static Registry r;
    return r;
}

CString Lower(const wchar_t* type) {
    CString t(type ? type : L"");
    t.MakeLower();
    return t;
}

int g_moduleAnchor = 0;

}  // namespace

HINSTANCE TavriModule() { return &g_moduleAnchor; }

void RegisterResource(HINSTANCE module, UINT id, const wchar_t* type, const void* data, std::size_t size) {
    std::lock_guard<std::mutex> lock(R().lock);
    R().entries[Key{module, id, Lower(type)}] = ResourceData{data, size};
}

bool FindResourceData(HINSTANCE module, UINT id, const wchar_t* type, ResourceData* out) {
    std::lock_guard<std::mutex> lock(R().lock);
    auto it = R().entries.find(Key{module, id, Lower(type)});
    if (it == R().entries.end() || !it->second.data || it->second.size == 0) return false;
    if (out) *out = it->second;
    return true;
}
