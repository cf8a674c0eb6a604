#include "store/profile_store.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <deque>

#include "platform/paths.h"

namespace {

// Step results that count as success for a record operation.
bool IsOk(int rc) { return rc == kSqliteOk || rc == kSqliteRow || rc == kSqliteDone; }

// The schema, in the order it is created. Kept byte for byte (tabs included)
// so files made by other builds compare equal in sqlite_master.
const std::array<const char*, 17>& SchemaStatements() {
    static const std::array<const char*, 17> statements = {
        "CREATE TABLE IF NOT EXISTS t_configdata(config_id INTEGER PRIMARY KEY AUTOINCREMENT, "
        "\t\t\t\t\t\t\t\t  profile INTEGER, key TEXT, value TEXT)",
        "CREATE TABLE IF NOT EXISTS t_profile_data(profile INTEGER PRIMARY KEY AUTOINCREMENT, "
        "\t\t\t\t\t\t\t\t  name TEXT, status INTEGER, app TEXT, type INTEGER)",
        "CREATE INDEX IF NOT EXISTS profileindex ON t_profile_data(profile)",
        "CREATE TABLE IF NOT EXISTS t_key_macro_data(key_id INTEGER PRIMARY KEY AUTOINCREMENT, "
        "\t\t\t\t\t\t\t\tprofile INTEGER, fn_layer INTEGER, key_code INTEGER, layout_value INTEGER, "
        "layout_desc TEXT, \t\t\t\t\t\t\t\tmacro_type INTEGER, macro_value INTEGER, macro_value2 INTEGER, "
        "macro_value3 INTEGER, macro_desc TEXT)",
        "CREATE INDEX IF NOT EXISTS keyindex ON t_key_macro_data(key_id)",
        "CREATE TABLE IF NOT EXISTS t_key_otherdata(macro_value INTEGER PRIMARY KEY AUTOINCREMENT, "
        "\t\t\t\t\t\t\t\t  macro_desc TEXT, param TEXT, type INTEGER)",
        "CREATE INDEX IF NOT EXISTS otheridindex ON t_key_otherdata(macro_value)",
        "CREATE TABLE IF NOT EXISTS t_macro_data(macro_id INTEGER PRIMARY KEY AUTOINCREMENT, "
        "\t\t\t\t\t\t\t\t  play_times INTEGER, delay_type INTEGER, delay_time INTEGER, link_count INTEGER, "
        "name TEXT)",
        "CREATE INDEX IF NOT EXISTS macroidindex ON t_macro_data(macro_id)",
        "CREATE TABLE IF NOT EXISTS t_macrorecord(record_id INTEGER PRIMARY KEY AUTOINCREMENT, "
        "\t\t\t\t\t\t\t\t  macro_id INTEGER, type INTEGER, record_index INTEGER, desc TEXT, value INTEGER, "
        "delay_time INTEGER)",
        "CREATE INDEX IF NOT EXISTS macrorecordindex ON t_macrorecord(record_id)",
        "CREATE TABLE IF NOT EXISTS t_light_data(light_id INTEGER PRIMARY KEY AUTOINCREMENT, "
        "\t\t\t\t\t\t\t\t\t\t  profile INTEGER, name TEXT, mode INTEGER, brightness INTEGER, speed INTEGER, "
        "\t\t\t\t\t\t\t\t\t\tdirection INTEGER, colorful INTEGER, colorindex INTEGER, "
        "\t\t\t\t\t\t\t\t\t\tcolor_value INTEGER, config_func INTEGER, reserved INTEGER, status INTEGER)",
        "CREATE INDEX IF NOT EXISTS lightindex ON t_light_data(light_id)",
        "CREATE TABLE IF NOT EXISTS t_key_light_data(keylight_id INTEGER PRIMARY KEY AUTOINCREMENT, "
        "\t\t\t\t\t\t\t\t   profile INTEGER, light_id INTEGER, key_code INTEGER, key_rgb INTEGER)",
        "CREATE INDEX IF NOT EXISTS keylightindex ON t_key_light_data(keylight_id)",
        "CREATE TABLE IF NOT EXISTS t_musiclayer_data(layer_id INTEGER PRIMARY KEY AUTOINCREMENT, "
        "\t\t\t\t\t\t\t\t   profile INTEGER, name TEXT, deviceindex INTEGER, foremode INTEGER, "
        "fore_amplitude INTEGER,\t\t\t\t\t\t\t\t   backmode INTEGER, backb_right INTEGER, sel INTEGER)",
        "CREATE INDEX IF NOT EXISTS musiclayerindex ON t_musiclayer_data(layer_id)",
    };
    return statements;
}

// One prepared statement with its parameters bound in order. Text
// parameters are converted to UTF-8 here and the buffers live as long as
// the query, because SQLite reads them only when the statement is stepped.
class Query {
public:
    Query(SQLiteDB& db, const char* sql) { db.Prepare(stmt_, sql); }
    Query& Int(int value) {
        stmt_.BindInt(++index_, value);
        return *this;
    }
    Query& Text(const CString& text) {
        const std::string& utf8 = texts_.emplace_back(text.ToUtf8());
        stmt_.BindText(++index_, utf8.c_str(), static_cast<int>(utf8.size()));
        return *this;
    }
    int Step() { return stmt_.Step(); }
    bool Run() { return IsOk(Step()); }
    int ColInt(int column) const { return stmt_.ColumnInt(column); }
    CString ColText(int column) const { return CString::FromUtf8(stmt_.ColumnText(column)); }

private:
    SQLiteStatement stmt_;
    std::deque<std::string> texts_;  // deque: references stay valid as it grows
    int index_ = 0;
};

void Read(const Query& q, ProfileRow& r) {
    r.profile = q.ColInt(0);
    r.name = q.ColText(1);
    r.status = q.ColInt(2);
    r.app = q.ColText(3);
    r.type = q.ColInt(4);
}

void Read(const Query& q, KeyAssignmentRow& r) {
    r.keyId = q.ColInt(0);
    r.profile = q.ColInt(1);
    r.fnLayer = q.ColInt(2);
    r.keyCode = q.ColInt(3);
    r.layoutValue = q.ColInt(4);
    r.layoutDesc = q.ColText(5);
    r.macroType = q.ColInt(6);
    r.macroValue = q.ColInt(7);
    r.macroValue2 = q.ColInt(8);
    r.macroValue3 = q.ColInt(9);
    r.macroDesc = q.ColText(10);
}

void Read(const Query& q, MacroRow& r) {
    r.macroId = q.ColInt(0);
    r.playTimes = q.ColInt(1);
    r.delayType = q.ColInt(2);
    r.delayTime = q.ColInt(3);
    r.linkCount = q.ColInt(4);
    r.name = q.ColText(5);
}

void Read(const Query& q, MacroRecordRow& r) {
    r.recordId = q.ColInt(0);
    r.macroId = q.ColInt(1);
    r.type = q.ColInt(2);
    r.recordIndex = q.ColInt(3);
    r.desc = q.ColText(4);
    r.value = q.ColInt(5);
    r.delayTime = q.ColInt(6);
}

void Read(const Query& q, LightSettingRow& r) {
    r.lightId = q.ColInt(0);
    r.profile = q.ColInt(1);
    r.name = q.ColText(2);
    r.mode = q.ColInt(3);
    r.brightness = q.ColInt(4);
    r.speed = q.ColInt(5);
    r.direction = q.ColInt(6);
    r.colorful = q.ColInt(7);
    r.colorindex = q.ColInt(8);
    r.colorValue = q.ColInt(9);
    r.configFunc = q.ColInt(10);
    r.reserved = q.ColInt(11);
    r.status = q.ColInt(12);
}

void Read(const Query& q, KeyLightRow& r) {
    r.keylightId = q.ColInt(0);
    r.profile = q.ColInt(1);
    r.lightId = q.ColInt(2);
    r.keyCode = q.ColInt(3);
    r.keyRgb = q.ColInt(4);
}

void Read(const Query& q, MusicLayerRow& r) {
    r.layerId = q.ColInt(0);
    r.profile = q.ColInt(1);
    r.name = q.ColText(2);
    r.deviceindex = q.ColInt(3);
    r.foremode = q.ColInt(4);
    r.foreAmplitude = q.ColInt(5);
    r.backmode = q.ColInt(6);
    r.backbRight = q.ColInt(7);
}

// Every row of a stepped query into `list`, which is emptied first so one
// vector can be reused. Returns the count.
template <typename Row>
int ReadAll(Query& q, std::vector<Row>& list) {
    list.clear();
    while (q.Step() == kSqliteRow) Read(q, list.emplace_back());
    return static_cast<int>(list.size());
}

template <typename Row>
bool ReadFirst(Query& q, Row& row) {
    if (q.Step() != kSqliteRow) return false;
    Read(q, row);
    return true;
}

int FirstInt(Query& q) { return q.Step() == kSqliteRow ? q.ColInt(0) : 0; }

constexpr const char* kInsertMacro =
    "INSERT INTO t_macro_data(play_times, delay_type, delay_time, link_count, name) VALUES (?, ?, ?, ?, ?);";
constexpr const char* kInsertMacroRecord =
    "INSERT INTO t_macrorecord(macro_id, type, record_index, desc, value, delay_time) \t\t\t\t\t VALUES (?, ?, ?, "
    "?, ?, ?);";
constexpr const char* kListMacroRecords = "SELECT * FROM t_macrorecord WHERE macro_id = ? ORDER BY record_index ASC";

void BindRecord(Query& q, const MacroRecordRow& r) {
    q.Int(r.macroId).Int(r.type).Int(r.recordIndex).Text(r.desc).Int(r.value).Int(r.delayTime);
}

}  // namespace

// ---- lifetime ---------------------------------------------------------------

ProfileStore& ProfileStore::Instance() {
    static ProfileStore store;
    return store;
}

ProfileStore::ProfileStore() = default;

ProfileStore::~ProfileStore() {
    if (open_) db_.Close();
}

std::string ProfileStore::BuildDatabasePath(const CString& folder, const CString& keyboardName) {
    // The name comes from config.xml and becomes part of a path: a separator
    // in it must not lead out of the db folder.
    CString name = keyboardName;
    for (wchar_t& c : name)
        if (c == L'/' || c == L'\\' || c == L'\0') c = L'_';
    CString path;
    path.Format(L"%sdb\\%s_data_v1.db", folder.c_str(), name.c_str());
    return platform::NativePath(path);
}

bool ProfileStore::OpenDatabase(const CString& folder, const CString& keyboardName) {
    Guard g(lock_);
    path_ = BuildDatabasePath(folder, keyboardName);
    bool ok;
    if (access(path_.c_str(), F_OK) == 0)
        ok = db_.IsOpen() || db_.Open(path_, kSqliteOpenReadWrite | kSqliteOpenFullMutex, key_);
    else
        ok = CreateSchema();
    open_ = ok;
    return ok;
}

bool ProfileStore::CreateSchema() {
    Guard g(lock_);
    if (db_.IsOpen()) return true;
    if (!db_.Open(path_, kSqliteOpenReadWrite | kSqliteOpenCreate | kSqliteOpenFullMutex, key_)) return false;
    bool ok = true;
    for (const char* statement : SchemaStatements())
        if (db_.Execute(statement) != kSqliteOk) ok = false;
    return ok;
}

void ProfileStore::CloseDatabase() {
    Guard g(lock_);
    db_.Close();
    open_ = false;
}

void ProfileStore::DeleteDatabaseFile(const CString& folder, const CString& keyboardName) {
    const std::string path = BuildDatabasePath(folder, keyboardName);
    std::remove(path.c_str());
    // A journal left by an interrupted run would otherwise be played back
    // into the fresh file that takes this name.
    std::remove((path + "-journal").c_str());
    std::remove((path + "-wal").c_str());
    std::remove((path + "-shm").c_str());
}

bool ProfileStore::SeedConfig() {
    static const std::array<std::pair<const wchar_t*, const wchar_t*>, 11> rows = {{
        {L"version", L"1.0.1"},
        {L"keyboard_layout", L"1"},
        {L"fn_layer", L"0"},
        {L"lightmode", L"1"},
        {L"sleep_light", L"1"},
        {L"userlight", L"0"},
        {L"customlight_run", L"0"},
        {L"gamemode", L"0"},
        {L"disable_alttab", L"0"},
        {L"disable_altf4", L"0"},
        {L"disable_win", L"0"},
    }};
    Guard g(lock_);
    SQLiteAutoTransaction tx(db_);
    bool ok = true;
    for (const auto& [key, value] : rows) {
        Query q(db_, "INSERT INTO t_configdata(profile, key, value) VALUES (?, ?, ?);");
        q.Int(1).Text(key).Text(value);
        if (!q.Run()) ok = false;
    }
    return ok;
}

bool ProfileStore::IsDatabaseOpen() const {
    Guard g(lock_);
    return open_;
}

std::string ProfileStore::DatabasePath() const {
    Guard g(lock_);
    return path_;
}

void ProfileStore::SetDeviceType(int deviceType) {
    Guard g(lock_);
    deviceType_ = deviceType;
}

int ProfileStore::DeviceType() const {
    Guard g(lock_);
    return deviceType_;
}

// ---- profiles ---------------------------------------------------------------

int ProfileStore::AddProfile(const ProfileRow& row) {
    Guard g(lock_);
    Query q(db_, "INSERT INTO t_profile_data(name, status, app, type) VALUES (?, ?, ?, ?);");
    q.Text(row.name).Int(0).Text(row.app).Int(0);
    return q.Run() ? static_cast<int>(db_.LastInsertId()) : 0;
}

bool ProfileStore::DeleteProfile(int id) {
    Guard g(lock_);
    Query q(db_, "DELETE FROM t_profile_data WHERE profile = ?");
    return q.Int(id).Run();
}

bool ProfileStore::RenameProfile(int id, const CString& name) {
    Guard g(lock_);
    Query q(db_, "UPDATE t_profile_data SET name = ? WHERE profile = ?");
    return q.Text(name).Int(id).Run();
}

bool ProfileStore::GetProfileName(int id, CString& name) {
    name.clear();
    Guard g(lock_);
    Query q(db_, "SELECT name FROM t_profile_data WHERE profile = ?");
    q.Int(id);
    if (q.Step() != kSqliteRow) return false;
    name = q.ColText(0);
    return true;
}

int ProfileStore::ListProfiles(std::vector<ProfileRow>& list) {
    Guard g(lock_);
    Query q(db_, "SELECT * FROM t_profile_data");
    return ReadAll(q, list);
}

bool ProfileStore::SetActiveProfile(int id) {
    Guard g(lock_);
    Query clear(db_, "UPDATE t_profile_data SET status = ?");
    clear.Int(0).Step();
    Query set(db_, "UPDATE t_profile_data SET status = ? WHERE profile = ?");
    return set.Int(1).Int(id).Run();
}

int ProfileStore::GetActiveProfile() {
    Guard g(lock_);
    Query q(db_, "SELECT profile FROM t_profile_data WHERE status = ?");
    q.Int(1);
    return FirstInt(q);
}

// ---- key assignments --------------------------------------------------------

bool ProfileStore::TrySaveKeyAssignment(const KeyAssignmentRow& row, int& newId) {
    newId = 0;
    if (row.keyCode == 0) return true;
    Guard g(lock_);
    {
        Query del(db_, "DELETE FROM t_key_macro_data WHERE profile = ? and fn_layer = ? and key_code = ?");
        if (!del.Int(row.profile).Int(row.fnLayer).Int(row.keyCode).Run()) return false;
    }
    if (row.macroValue == 0 && row.macroValue2 == 0) return true;
    Query ins(db_,
              "INSERT INTO t_key_macro_data(profile, fn_layer, key_code, layout_value, layout_desc,                     "
              "macro_type, macro_value, macro_value2, macro_value3, macro_desc) \t\t\t\t\t VALUES (?, ?, ?, ?, ?, ?, ?, "
              "?, ?, ?);");
    ins.Int(row.profile).Int(row.fnLayer).Int(row.keyCode).Int(row.layoutValue).Text(row.layoutDesc);
    ins.Int(row.macroType).Int(row.macroValue).Int(row.macroValue2).Int(row.macroValue3).Text(row.macroDesc);
    if (!ins.Run()) return false;
    newId = static_cast<int>(db_.LastInsertId());
    return true;
}

int ProfileStore::SaveKeyAssignment(const KeyAssignmentRow& row) {
    int id = 0;
    TrySaveKeyAssignment(row, id);
    return id;
}

bool ProfileStore::GetKeyAssignment(int profile, int fnLayer, int keyCode, KeyAssignmentRow& row) {
    Guard g(lock_);
    Query q(db_, "SELECT * FROM t_key_macro_data WHERE profile = ? and fn_layer = ? and key_code = ?");
    q.Int(profile).Int(fnLayer).Int(keyCode);
    return ReadFirst(q, row);
}

int ProfileStore::ListKeyAssignments(int profile, int fnLayer, std::vector<KeyAssignmentRow>& list) {
    Guard g(lock_);
    Query q(db_, "SELECT * FROM t_key_macro_data WHERE profile = ? and fn_layer = ?");
    q.Int(profile).Int(fnLayer);
    return ReadAll(q, list);
}

void ProfileStore::DeleteKeyAssignments(int profile) {
    // Taken like every other operation: it costs nothing and keeps a worker's
    // statement from running between this one's prepare and step.
    Guard g(lock_);
    Query q(db_, "DELETE FROM t_key_macro_data WHERE profile = ?");
    q.Int(profile).Step();
}

// ---- software key functions -------------------------------------------------

int ProfileStore::AddKeyOtherData(const CString& text, const CString& param, int kind) {
    Guard g(lock_);
    Query q(db_, "INSERT INTO t_key_otherdata(macro_desc, param, type) VALUES (?, ?, ?);");
    q.Text(text).Text(param).Int(kind);
    return q.Run() ? static_cast<int>(db_.LastInsertId()) : 0;
}

bool ProfileStore::GetKeyOtherData(int id, CString& text, CString& param, int& kind) {
    Guard g(lock_);
    Query q(db_, "SELECT macro_desc, param, type FROM t_key_otherdata WHERE macro_value = ?");
    q.Int(id);
    if (q.Step() == kSqliteRow) {
        text = q.ColText(0);
        param = q.ColText(1);
        kind = q.ColInt(2);
    }
    return true;
}

// ---- lighting ---------------------------------------------------------------

int ProfileStore::CountLightSettings(int profile) {
    Guard g(lock_);
    Query q(db_, "select count(*) FROM t_light_data WHERE profile = ?");
    q.Int(profile);
    return FirstInt(q);
}

int ProfileStore::AddLightSetting(const LightSettingRow& r) {
    Guard g(lock_);
    Query q(db_,
            "INSERT INTO t_light_data(profile, name, mode, brightness, speed, direction, \t\t\t\t\t colorful, colorindex, "
            "color_value, config_func, reserved, status) \t\t\t\t\t VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?);");
    q.Int(r.profile).Text(r.name).Int(r.mode).Int(r.brightness).Int(r.speed).Int(r.direction);
    q.Int(r.colorful).Int(r.colorindex).Int(r.colorValue).Int(r.configFunc).Int(r.reserved).Int(r.status);
    return q.Run() ? static_cast<int>(db_.LastInsertId()) : 0;
}

bool ProfileStore::UpdateLightSetting(int profile, int mode, const LightSettingRow& r) {
    Guard g(lock_);
    Query q(db_,
            "UPDATE t_light_data SET brightness = ?, speed = ?, direction = ?, colorful = ?, colorindex = ?,\t\t\t "
            "color_value = ?, config_func = ?, reserved = ? WHERE profile = ? AND mode = ?");
    q.Int(r.brightness).Int(r.speed).Int(r.direction).Int(r.colorful).Int(r.colorindex);
    q.Int(r.colorValue).Int(r.configFunc).Int(r.reserved).Int(profile).Int(mode);
    return q.Run();
}

bool ProfileStore::SetActiveLightMode(int profile, int mode) {
    Guard g(lock_);
    Query clear(db_, "UPDATE t_light_data SET status = ?");
    clear.Int(0).Step();
    Query set(db_, "UPDATE t_light_data SET status = ? WHERE profile = ? and mode = ?");
    return set.Int(1).Int(profile).Int(mode).Run();
}

int ProfileStore::GetActiveLightMode(int profile) {
    Guard g(lock_);
    Query q(db_, "SELECT mode FROM t_light_data WHERE profile = ? and status = ?");
    q.Int(profile).Int(1);
    return FirstInt(q);
}

bool ProfileStore::GetLightSetting(int profile, int mode, LightSettingRow& row) {
    Guard g(lock_);
    Query q(db_, "SELECT * FROM t_light_data WHERE profile = ? AND mode = ?");
    q.Int(profile).Int(mode);
    return ReadFirst(q, row);
}

int ProfileStore::ListLightSettings(int profile, std::vector<LightSettingRow>& list) {
    Guard g(lock_);
    Query q(db_, "SELECT * FROM t_light_data WHERE profile = ?");
    q.Int(profile);
    return ReadAll(q, list);
}

int ProfileStore::SaveKeyLights(const std::vector<KeyLightRow>& rows) {
    Guard g(lock_);
    SQLiteAutoTransaction tx(db_);
    for (const KeyLightRow& r : rows) {
        Query q(db_, "INSERT INTO t_key_light_data(profile, light_id, key_code, key_rgb) VALUES (?, ?, ?, ?);");
        q.Int(r.profile).Int(r.lightId).Int(r.keyCode).Int(r.keyRgb).Step();
    }
    return static_cast<int>(rows.size());
}

bool ProfileStore::DeleteCustomKeyLights() {
    Guard g(lock_);
    Query q(db_, "DELETE FROM t_key_light_data WHERE light_id = ?");
    return q.Int(kCustomLightSet).Run();
}

int ProfileStore::ListKeyLights(int lightId, std::vector<KeyLightRow>& list) {
    Guard g(lock_);
    Query q(db_, "SELECT * FROM t_key_light_data WHERE light_id = ?");
    q.Int(lightId);
    return ReadAll(q, list);
}

// ---- macros -----------------------------------------------------------------

int ProfileStore::CreateMacro(const CString& name) {
    Guard g(lock_);
    Query q(db_, kInsertMacro);
    q.Int(1).Int(1).Int(0).Int(0).Text(name);
    return q.Run() ? static_cast<int>(db_.LastInsertId()) : 0;
}

int ProfileStore::AddMacro(const MacroRow& r) {
    Guard g(lock_);
    Query q(db_, kInsertMacro);
    q.Int(r.playTimes).Int(r.delayType).Int(r.delayTime).Int(r.linkCount).Text(r.name);
    return q.Run() ? static_cast<int>(db_.LastInsertId()) : 0;
}

bool ProfileStore::RenameMacro(int id, const CString& name) {
    Guard g(lock_);
    Query q(db_, "UPDATE t_macro_data SET name = ? WHERE macro_id = ?");
    return q.Text(name).Int(id).Run();
}

bool ProfileStore::UpdateMacroPlayback(const MacroRow& r) {
    Guard g(lock_);
    Query q(db_, "UPDATE t_macro_data SET play_times = ?, delay_type = ?, \t\t\t\t\t delay_time = ? WHERE macro_id = ?");
    return q.Int(r.playTimes).Int(r.delayType).Int(r.delayTime).Int(r.macroId).Run();
}

bool ProfileStore::DeleteMacro(int id) {
    Guard g(lock_);
    {
        Query q(db_, "DELETE FROM t_macro_data WHERE macro_id = ?");
        if (!q.Int(id).Run()) return false;
    }
    {
        Query q(db_, "DELETE FROM t_macrorecord WHERE macro_id = ?");
        q.Int(id).Step();
    }
    Query q(db_, "DELETE FROM t_key_macro_data WHERE macro_type = ? and macro_value = ?");
    return q.Int(kKeyKindMacro).Int(id).Run();
}

bool ProfileStore::GetMacroPlayTimes(int id, int& times) {
    Guard g(lock_);
    Query q(db_, "SELECT play_times FROM t_macro_data WHERE macro_id = ?");
    q.Int(id);
    if (q.Step() != kSqliteRow) return false;
    times = q.ColInt(0);
    return true;
}

bool ProfileStore::GetMacro(int id, MacroRow& row) {
    Guard g(lock_);
    Query q(db_, "SELECT * FROM t_macro_data WHERE macro_id = ?");
    q.Int(id);
    return ReadFirst(q, row);
}

int ProfileStore::ListMacros(std::vector<MacroRow>& list) {
    Guard g(lock_);
    Query q(db_, "SELECT * FROM t_macro_data");
    return ReadAll(q, list);
}

int ProfileStore::AddMacroRecord(const MacroRecordRow& row) {
    Guard g(lock_);
    Query q(db_, kInsertMacroRecord);
    BindRecord(q, row);
    return q.Run() ? static_cast<int>(db_.LastInsertId()) : 0;
}

void ProfileStore::AddMacroRecords(const std::vector<MacroRecordRow>& rows) {
    Guard g(lock_);
    SQLiteAutoTransaction tx(db_);
    for (const MacroRecordRow& r : rows) {
        Query q(db_, kInsertMacroRecord);
        BindRecord(q, r);
        q.Step();
    }
}

int ProfileStore::ListMacroRecords(int macroId, std::vector<MacroRecordRow>& list) {
    Guard g(lock_);
    Query q(db_, kListMacroRecords);
    q.Int(macroId);
    return ReadAll(q, list);
}

bool ProfileStore::DeleteMacroRecords(int macroId) {
    Guard g(lock_);
    Query q(db_, "DELETE FROM t_macrorecord WHERE macro_id = ?");
    return q.Int(macroId).Run();
}

int ProfileStore::CountMacroActions(int macroId) {
    Guard g(lock_);
    Query q(db_, kListMacroRecords);
    q.Int(macroId);
    int count = 0;
    while (q.Step() == kSqliteRow)
        if (q.ColInt(2) != 1) ++count;
    return count;
}

// ---- music light ------------------------------------------------------------

int ProfileStore::CountMusicLayers() {
    Guard g(lock_);
    Query q(db_, "select count(*) FROM t_musiclayer_data WHERE profile = ?");
    q.Int(1);
    return FirstInt(q);
}

int ProfileStore::AddMusicLayer(const CString& name, int foremode) {
    Guard g(lock_);
    Query q(db_,
            "INSERT INTO t_musiclayer_data(profile, name, deviceindex, foremode, fore_amplitude, backmode, backb_right, "
            "sel) \t\t\t\t\t\t\t\t\t\t\t\t\tVALUES (?, ?, ?, ?, ?, ?, ?, ?);");
    q.Int(1).Text(name).Int(0).Int(foremode).Int(300).Int(0).Int(100).Int(0);
    return q.Run() ? static_cast<int>(db_.LastInsertId()) : 0;
}

bool ProfileStore::GetMusicLayer(int layerId, MusicLayerRow& row) {
    Guard g(lock_);
    Query q(db_, "SELECT * FROM t_musiclayer_data WHERE layer_id = ?");
    q.Int(layerId);
    return ReadFirst(q, row);
}

bool ProfileStore::UpdateMusicLayer(const MusicLayerRow& r) {
    Guard g(lock_);
    Query q(db_,
            "UPDATE t_musiclayer_data SET deviceindex= ?, foremode= ?, fore_amplitude = ?, backmode= ?, backb_right= ? "
            "WHERE layer_id = ?");
    // The one shared record is layer 1, whatever the row says.
    q.Int(r.deviceindex).Int(r.foremode).Int(r.foreAmplitude).Int(r.backmode).Int(r.backbRight).Int(1);
    return q.Run();
}

bool ProfileStore::SelectMusicLayer() {
    Guard g(lock_);
    Query clear(db_, "UPDATE t_musiclayer_data SET sel = ? WHERE profile = ?");
    clear.Int(0).Int(1).Step();
    Query set(db_, "UPDATE t_musiclayer_data SET sel = ? WHERE profile = ? AND layer_id = ?");
    return set.Int(1).Int(1).Int(1).Run();
}

int ProfileStore::GetSelectedMusicLayer() {
    Guard g(lock_);
    Query q(db_, "SELECT layer_id FROM t_musiclayer_data WHERE profile = ? AND sel = ?");
    q.Int(1).Int(1);
    return FirstInt(q);
}

// ---- transactions -----------------------------------------------------------

ProfileStore::Transaction::Transaction(ProfileStore& store) : lock_(store.lock_), db_(store.db_) {
    begun_ = db_.IsOpen() && db_.Execute("BEGIN") == kSqliteOk;
}

ProfileStore::Transaction::~Transaction() { Rollback(); }

bool ProfileStore::Transaction::Commit() {
    // Joined to a transaction the caller already holds: that one decides.
    if (!begun_) return db_.IsOpen();
    begun_ = false;
    if (db_.Execute("END") == kSqliteOk) return true;
    // END can fail (a locked or full file); the writes must not stay pending
    // on the connection for whatever runs next.
    db_.Execute("ROLLBACK");
    return false;
}

void ProfileStore::Transaction::Rollback() {
    if (!begun_) return;
    begun_ = false;
    db_.Execute("ROLLBACK");
}
