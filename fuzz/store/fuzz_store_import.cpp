// Feeds arbitrary bytes to the profile and the macro importer. Beyond not
// crashing, it checks the promises the importers make: a refused file
// writes nothing, and whatever was accepted exports to a file that reads
// back.
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "store/exchange.h"
#include "store/profile_store.h"

namespace {

struct Counts {
    int profiles = 0;
    int macros = 0;
    int keys = 0;
    int steps = 0;
    bool operator==(const Counts&) const = default;
};

class Target {
public:
    Target() {
        char tmpl[] = "/tmp/keyloom-fuzz-store-XXXXXX";
        if (!mkdtemp(tmpl)) abort();
        dir_ = tmpl;
        std::filesystem::create_directories(dir_ + "/db");
        folder_ = CString::FromUtf8(dir_ + "/");
        Fresh();
    }
    ~Target() { std::filesystem::remove_all(dir_); }

    ProfileStore& Store() {
        // A new file now and then, so the database stays small and fast.
        if (++uses_ % 500 == 0) Fresh();
        return store_;
    }

    Counts Count() {
        SQLiteStatement st;
        store_.Database().Prepare(st,
                                  "SELECT (SELECT count(*) FROM t_profile_data), (SELECT count(*) FROM t_macro_data), "
                                  "(SELECT count(*) FROM t_key_macro_data), (SELECT count(*) FROM t_macrorecord)");
        if (st.Step() != kSqliteRow) abort();
        return Counts{st.ColumnInt(0), st.ColumnInt(1), st.ColumnInt(2), st.ColumnInt(3)};
    }

private:
    void Fresh() {
        store_.CloseDatabase();
        store_.DeleteDatabaseFile(folder_, L"fuzz");
        if (!store_.OpenDatabase(folder_, L"fuzz")) abort();
    }

    std::string dir_;
    CString folder_;
    ProfileStore store_;
    unsigned uses_ = 0;
};

Target& Shared() {
    static Target t;
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    Target& target = Shared();
    ProfileStore& store = target.Store();

    Counts before = target.Count();
    ProfileImportResult profile;
    const ExchangeStatus ps = ImportProfileData(store, bytes, L"fuzz", profile);
    if (ps != ExchangeStatus::Ok) {
        if (!(target.Count() == before) || profile.profileId != 0) abort();
    } else {
        if (profile.profileId <= 0) abort();
        // What went in comes out as a file that reads back with the same keys.
        ProfileFileData back;
        if (ParseProfileDocument(BuildProfileDocument(store, profile.profileId, L"fuzz"), back) != ExchangeStatus::Ok)
            abort();
    }

    before = target.Count();
    MacroImportResult macro;
    const ExchangeStatus ms = ImportMacroData(store, bytes, L"fuzz", macro);
    if (ms != ExchangeStatus::Ok) {
        if (!(target.Count() == before) || macro.macroId != 0) abort();
    } else {
        ExchangeMacro back;
        if (ParseMacroDocument(BuildMacroDocument(store, macro.macroId), back) != ExchangeStatus::Ok) abort();
        std::vector<MacroRecordRow> steps;
        if (back.steps.size() != static_cast<std::size_t>(store.ListMacroRecords(macro.macroId, steps))) abort();
    }
    return 0;
}
