// Shared by the store tests: a home of its own with a real database file in
// it, the fixture language files, raw views of the file, and fakes for the
// seams the rules act through.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "store/profile_rules.h"
#include "store/profile_store.h"
#include "store/profile_ui.h"
#include "store/settings.h"
#include "test_support.h"

namespace storetest {

inline const CString kKeyboard = L"K-Test";

// Every row of every table (sqlite_sequence included) as text, table by
// table, so two files can be compared for equal content.
inline std::string DumpDatabase(const std::string& path) {
    sqlite3* db = nullptr;
    std::string out;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return "<cannot open>";
    }
    std::vector<std::string> tables;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name", -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    for (const std::string& t : tables) {
        out += "[" + t + "]\n";
        sqlite3_prepare_v2(db, ("SELECT * FROM " + t + " ORDER BY 1").c_str(), -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                const unsigned char* v = sqlite3_column_text(st, c);
                out += v ? reinterpret_cast<const char*>(v) : "NULL";
                out += "|";
            }
            out += "\n";
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
}

// One value (first column of the first row) of a query run on the file itself.
inline std::string QueryText(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string out = "<none>";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
            const unsigned char* v = sqlite3_column_text(st, 0);
            out = v ? reinterpret_cast<const char*>(v) : "NULL";
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
}

inline void ExecRaw(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
    const std::string msg = err ? err : "";
    sqlite3_free(err);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << msg;
}

// Runs `body` in a child process that cannot write to files it does not
// own: as root the child drops to an unprivileged user, since root writes
// to read-only files. Returns the child's exit code (the body's result).
int RunUnprivileged(const std::function<int()>& body);

// A fresh home with the fixture program folder (language files) and the
// db folder, and a store of the test's own opened on the keyboard's file.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string DataFolder() const { return GetUserDataFolder().ToUtf8(); }
    std::string DbPath() const { return ProfileStore::BuildDatabasePath(GetUserDataFolder(), kKeyboard); }
    void Reopen();

    testsupport::IsolatedHome home_;
    testsupport::EnvGuard env_;
    ProfileStore store_;
    int savedLanguage_ = 0;
};

// ---- fakes ------------------------------------------------------------------

class FakeList : public EntryList {
public:
    std::vector<std::pair<CString, int>> entries;
    int sel = -1;

    int GetCount() const override { return static_cast<int>(entries.size()); }
    CString GetText(int i) const override { return entries.at(static_cast<size_t>(i)).first; }
    int GetItemData(int i) const override { return entries.at(static_cast<size_t>(i)).second; }
    int GetCurSel() const override { return sel; }
    void SetCurSel(int i) override { sel = i; }
    int AddEntry(const CString& text, int data) override {
        entries.emplace_back(text, data);
        return GetCount() - 1;
    }
    void SetText(int i, const CString& text) override { entries.at(static_cast<size_t>(i)).first = text; }
    void DeleteEntry(int i) override {
        entries.erase(entries.begin() + i);
        if (sel >= GetCount()) sel = -1;
    }
    void ResetContent() override {
        entries.clear();
        sel = -1;
    }
    std::vector<CString> Texts() const {
        std::vector<CString> t;
        for (const auto& e : entries) t.push_back(e.first);
        return t;
    }
};

struct ShownMessage {
    CString title;
    CString text;
    int style = -1;  // -1 for the system box
};

class FakePrompt : public MessagePrompt {
public:
    std::vector<ShownMessage> shown;
    int answer = kAnswerOk;

    int ShowMessage(const CString& title, const CString& text, int style) override {
        shown.push_back({title, text, style});
        return answer;
    }
    void ShowSystemMessage(const CString& caption, const CString& text) override {
        shown.push_back({caption, text, -1});
    }
};

class FakeFiles : public FileChooser {
public:
    CString path;           // answered when not cancelling
    bool cancel = false;
    int asked = 0;
    FileDialogKind lastKind = FileDialogKind::Open;
    CString lastFilter;

    bool ChooseFile(FileDialogKind kind, const CString& filter, const CString& pattern, CString& out) override {
        ++asked;
        lastKind = kind;
        lastFilter = filter + L"|" + pattern;
        if (cancel) return false;
        out = path;
        return true;
    }
};

// Records what the rules asked the main window to do, one word each.
class FakeHooks : public ProfileHooks {
public:
    std::vector<std::string> calls;

    void ShowProfileKeys(int profile) override { calls.push_back("show " + std::to_string(profile)); }
    void SetKeyboardEnabled(bool on) override { calls.push_back(on ? "enable" : "disable"); }
    void LoadSoftwareKeyTable() override { calls.push_back("table"); }
    void PushTask(int task) override { calls.push_back("task " + std::to_string(task)); }
    void OpenBusyDialog() override { calls.push_back("busy"); }
    void ResetCustomLightSlot() override { calls.push_back("slot"); }
};

}  // namespace storetest
