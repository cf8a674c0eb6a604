// Import and export of a full profile file: 104 key items, 13 of them
// running macros of 82 steps each. Each import goes into a fresh database;
// the baseline writes the same rows with a plain loop of prepared inserts in
// one transaction, so the ratio shows what the store's rules cost on top.
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "store/exchange.h"
#include "store/profile_store.h"

namespace {

constexpr int kKeys = 104;
constexpr int kMacros = 13;
constexpr int kSteps = 82;
constexpr int kRuns = 31;

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void FillSource(ProfileStore& store) {
    ProfileRow p;
    p.name = L"Source";
    const int profile = store.AddProfile(p);
    std::vector<int> macros;
    for (int m = 0; m < kMacros; ++m) {
        MacroRow row;
        row.name = CString::Formatted(L"Macro %d", m + 1);
        row.playTimes = 1;
        row.delayType = 1;
        const int id = store.AddMacro(row);
        std::vector<MacroRecordRow> steps;
        for (int s = 0; s < kSteps; ++s)
            steps.push_back(MacroRecordRow{0, id, 2 + (s & 1), s, 65 + s % 26, 10 + s, L"Key"});
        store.AddMacroRecords(steps);
        macros.push_back(id);
    }
    for (int k = 0; k < kKeys; ++k) {
        KeyAssignmentRow r;
        r.profile = profile;
        r.keyCode = k + 4;
        const bool macro = k < kMacros;
        r.macroType = macro ? kKeyKindMacro : 2;
        r.macroValue = macro ? macros[static_cast<size_t>(k)] : 4 + (k % 100);
        r.macroDesc = macro ? CString::Formatted(L"Macro %d", k + 1) : CString(L"Key & \"desc\"");
        store.SaveKeyAssignment(r);
    }
}

// The same rows as the import writes, through one prepared statement each.
void PlainLoop(sqlite3* db, const ProfileFileData& file) {
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* macro = nullptr;
    sqlite3_stmt* step = nullptr;
    sqlite3_stmt* profile = nullptr;
    sqlite3_stmt* del = nullptr;
    sqlite3_stmt* key = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t_macro_data(play_times, delay_type, delay_time, link_count, name) VALUES (?, ?, ?, ?, ?)", -1, &macro, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO t_macrorecord(macro_id, type, record_index, desc, value, delay_time) VALUES (?, ?, ?, ?, ?, ?)", -1, &step, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO t_profile_data(name, status, app, type) VALUES (?, 0, '', 0)", -1, &profile, nullptr);
    sqlite3_prepare_v2(db, "DELETE FROM t_key_macro_data WHERE profile = ? and fn_layer = ? and key_code = ?", -1, &del, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO t_key_macro_data(profile, fn_layer, key_code, layout_value, layout_desc, macro_type, macro_value, macro_value2, macro_value3, macro_desc) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", -1, &key, nullptr);
    for (const ExchangeMacro& m : file.macros) {
        const std::string name = m.name.ToUtf8();
        sqlite3_bind_int(macro, 1, m.playTimes);
        sqlite3_bind_int(macro, 2, m.delayType);
        sqlite3_bind_int(macro, 3, m.delayTime);
        sqlite3_bind_int(macro, 4, 0);
        sqlite3_bind_text(macro, 5, name.c_str(), static_cast<int>(name.size()), SQLITE_STATIC);
        sqlite3_step(macro);
        sqlite3_reset(macro);
        const int id = static_cast<int>(sqlite3_last_insert_rowid(db));
        for (const MacroRecordRow& s : m.steps) {
            const std::string desc = s.desc.ToUtf8();
            sqlite3_bind_int(step, 1, id);
            sqlite3_bind_int(step, 2, s.type);
            sqlite3_bind_int(step, 3, s.recordIndex);
            sqlite3_bind_text(step, 4, desc.c_str(), static_cast<int>(desc.size()), SQLITE_STATIC);
            sqlite3_bind_int(step, 5, s.value);
            sqlite3_bind_int(step, 6, s.delayTime);
            sqlite3_step(step);
            sqlite3_reset(step);
        }
    }
    sqlite3_bind_text(profile, 1, "Bench", 5, SQLITE_STATIC);
    sqlite3_step(profile);
    const int profileId = static_cast<int>(sqlite3_last_insert_rowid(db));
    for (const KeyAssignmentRow& k : file.items) {
        sqlite3_bind_int(del, 1, profileId);
        sqlite3_bind_int(del, 2, k.fnLayer);
        sqlite3_bind_int(del, 3, k.keyCode);
        sqlite3_step(del);
        sqlite3_reset(del);
        const std::string layout = k.layoutDesc.ToUtf8();
        const std::string desc = k.macroDesc.ToUtf8();
        const int values[] = {profileId, k.fnLayer, k.keyCode, k.layoutValue};
        for (int i = 0; i < 4; ++i) sqlite3_bind_int(key, i + 1, values[i]);
        sqlite3_bind_text(key, 5, layout.c_str(), static_cast<int>(layout.size()), SQLITE_STATIC);
        sqlite3_bind_int(key, 6, k.macroType);
        sqlite3_bind_int(key, 7, k.macroValue);
        sqlite3_bind_int(key, 8, k.macroValue2);
        sqlite3_bind_int(key, 9, k.macroValue3);
        sqlite3_bind_text(key, 10, desc.c_str(), static_cast<int>(desc.size()), SQLITE_STATIC);
        sqlite3_step(key);
        sqlite3_reset(key);
    }
    for (sqlite3_stmt* s : {macro, step, profile, del, key}) sqlite3_finalize(s);
    sqlite3_exec(db, "END", nullptr, nullptr, nullptr);
}

}  // namespace

int main() {
    char tmpl[] = "/tmp/keyloom-store-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl;
    std::filesystem::create_directories(dir + "/db");
    const CString folder = CString::FromUtf8(dir + "/");
    const CString file = CString::FromUtf8(dir + "/bench.profile.xml");

    ProfileStore store;
    store.OpenDatabase(folder, L"Source");
    FillSource(store);

    std::vector<double> exportMs, importMs, plainMs;
    for (int run = 0; run < kRuns; ++run) {
        const auto t0 = Clock::now();
        if (!WriteProfileFile(store, 1, L"Source", file)) return 2;
        exportMs.push_back(Ms(Clock::now() - t0));
    }
    const std::string bytes = BuildProfileDocument(store, 1, L"Source");
    store.CloseDatabase();
    ProfileFileData parsed;
    ParseProfileDocument(bytes, parsed);

    for (int run = 0; run < kRuns; ++run) {
        ProfileStore target;
        target.DeleteDatabaseFile(folder, L"Target");
        target.OpenDatabase(folder, L"Target");
        ProfileImportResult result;
        const auto t0 = Clock::now();
        const ExchangeStatus s = ImportProfileFile(target, file, result);
        importMs.push_back(Ms(Clock::now() - t0));
        if (s != ExchangeStatus::Ok || result.addedMacros.size() != kMacros) return 3;
    }

    for (int run = 0; run < kRuns; ++run) {
        {
            // A fresh file with the schema, then a raw connection opened as the store opens it.
            ProfileStore target;
            target.DeleteDatabaseFile(folder, L"Plain");
            target.OpenDatabase(folder, L"Plain");
        }
        sqlite3* db = nullptr;
        const std::string path = ProfileStore::BuildDatabasePath(folder, L"Plain");
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK)
            return 4;
        sqlite3_exec(db, "PRAGMA synchronous = OFF; ", nullptr, nullptr, nullptr);
        const auto t0 = Clock::now();
        PlainLoop(db, parsed);
        plainMs.push_back(Ms(Clock::now() - t0));
        sqlite3_close(db);
    }

    std::printf("profile file: %d key items, %d macros x %d steps, %zu bytes; median of %d runs\n", kKeys, kMacros,
                kSteps, bytes.size(), kRuns);
    std::printf("export:     %8.3f ms\n", Median(exportMs));
    std::printf("import:     %8.3f ms (read, parse, check, write in one transaction)\n", Median(importMs));
    std::printf("plain loop: %8.3f ms (the same rows, prepared once, one transaction)\n", Median(plainMs));
    std::printf("import / plain loop: %.2f\n", Median(importMs) / Median(plainMs));
    std::printf("export / plain loop: %.2f\n", Median(exportMs) / Median(plainMs));
    std::filesystem::remove_all(dir);
    return 0;
}
