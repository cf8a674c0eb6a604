// The per-keyboard database: one SQLite file per keyboard model holding
// profiles, key assignments, macros, lighting and the music light.
//
//   rows ............ one record per table, fields in the documented order
//   ProfileStore .... the process-wide connection and every record operation
//
// Record operations serialise on one recursive lock, so calls from the UI
// thread, the worker and the filter listener never interleave, and a caller
// can hold the lock over several operations (see Transaction). Failures are
// reported only through results: 0 for inserts, false, an empty list.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "store/sqlite_db.h"
#include "tavri/types.h"

struct ProfileRow {
    int profile = 0;
    CString name;
    CString app;
    int type = 0;
    int status = 0;  // 1 for the active profile
};

struct KeyAssignmentRow {
    int keyId = 0;
    int profile = 0;
    int fnLayer = 0;
    int keyCode = 0;
    int layoutValue = 0;
    CString layoutDesc;
    int macroType = 0;  // function kind 0..12
    int macroValue = 0;
    int macroValue2 = 0;
    int macroValue3 = 0;
    CString macroDesc;
};

struct KeyOtherDataRow {
    int macroValue = 0;  // the row id a key's macro_value points to
    CString macroDesc;
    CString param;
    int type = 0;
};

struct MacroRow {
    int macroId = 0;
    CString name;
    int linkCount = 0;
    int playTimes = 0;
    int delayType = 0;
    int delayTime = 0;
};

struct MacroRecordRow {
    int recordId = 0;
    int macroId = 0;
    int type = 0;
    int recordIndex = 0;
    int value = 0;
    int delayTime = 0;
    CString desc;
};

struct LightSettingRow {
    int lightId = 0;
    int profile = 0;
    CString name;
    int mode = 0;
    int brightness = 0;
    int speed = 0;
    int direction = 0;
    int colorful = 0;
    int colorindex = 0;
    int colorValue = 0;
    int configFunc = 0;
    int reserved = 0;
    int status = 0;  // 1 for the active mode
};

struct KeyLightRow {
    int keylightId = 0;
    int profile = 0;
    int lightId = 0;  // colour-set number, not a t_light_data id
    int keyCode = 0;
    int keyRgb = 0;   // COLORREF stored as a signed 32-bit value
};

struct MusicLayerRow {
    int layerId = 0;
    int profile = 0;
    CString name;
    int deviceindex = 0;
    int foremode = 0;
    int foreAmplitude = 0;
    int backmode = 0;
    int backbRight = 0;
};

// The custom colour set the lighting page writes.
constexpr int kCustomLightSet = 128;
// Function kind of a key that runs a macro.
constexpr int kKeyKindMacro = 3;

class ProfileStore {
public:
    // The process-wide store, made on first use and closed at exit. Tests and
    // tools may make stores of their own.
    static ProfileStore& Instance();

    ProfileStore();
    virtual ~ProfileStore();
    ProfileStore(const ProfileStore&) = delete;
    ProfileStore& operator=(const ProfileStore&) = delete;

    // ---- lifetime ---------------------------------------------------------
    // <folder>db\<keyboard name>_data_v1.db; an existing file is opened as it
    // is, a missing one is created with the schema. The result is kept as the
    // open flag.
    bool OpenDatabase(const CString& folder, const CString& keyboardName);
    bool CreateSchema();
    void CloseDatabase();
    void DeleteDatabaseFile(const CString& folder, const CString& keyboardName);
    // The eleven t_configdata rows of a new database; true when all were written.
    bool SeedConfig();

    bool IsDatabaseOpen() const;
    std::string DatabasePath() const;
    static std::string BuildDatabasePath(const CString& folder, const CString& keyboardName);
    void SetDeviceType(int deviceType);
    int DeviceType() const;

    // ---- profiles ---------------------------------------------------------
    int AddProfile(const ProfileRow& row);
    bool DeleteProfile(int id);
    bool RenameProfile(int id, const CString& name);
    bool GetProfileName(int id, CString& name);
    int ListProfiles(std::vector<ProfileRow>& list);
    bool SetActiveProfile(int id);
    int GetActiveProfile();

    // ---- key assignments --------------------------------------------------
    // Removes the key's row and, when macro_value or macro_value2 is set,
    // stores the new one: its id, or 0 (nothing stored, or a failure).
    int SaveKeyAssignment(const KeyAssignmentRow& row);
    // The same write, telling a failure apart from "back to default": false
    // on a failed statement; newId is 0 when nothing was stored.
    bool TrySaveKeyAssignment(const KeyAssignmentRow& row, int& newId);
    bool GetKeyAssignment(int profile, int fnLayer, int keyCode, KeyAssignmentRow& row);
    int ListKeyAssignments(int profile, int fnLayer, std::vector<KeyAssignmentRow>& list);
    void DeleteKeyAssignments(int profile);

    // ---- software key functions -------------------------------------------
    int AddKeyOtherData(const CString& text, const CString& param, int kind);
    // Always true; the outputs stay as they were when no row matches.
    bool GetKeyOtherData(int id, CString& text, CString& param, int& kind);

    // ---- lighting -----------------------------------------------------------
    int CountLightSettings(int profile);
    int AddLightSetting(const LightSettingRow& row);
    bool UpdateLightSetting(int profile, int mode, const LightSettingRow& row);
    bool SetActiveLightMode(int profile, int mode);
    int GetActiveLightMode(int profile);
    bool GetLightSetting(int profile, int mode, LightSettingRow& row);
    int ListLightSettings(int profile, std::vector<LightSettingRow>& list);
    int SaveKeyLights(const std::vector<KeyLightRow>& rows);
    bool DeleteCustomKeyLights();
    int ListKeyLights(int lightId, std::vector<KeyLightRow>& list);

    // ---- macros -------------------------------------------------------------
    int CreateMacro(const CString& name);
    int AddMacro(const MacroRow& row);
    bool RenameMacro(int id, const CString& name);
    bool UpdateMacroPlayback(const MacroRow& row);
    // Also removes the macro's steps and every key row (any profile) running it.
    bool DeleteMacro(int id);
    bool GetMacroPlayTimes(int id, int& times);
    bool GetMacro(int id, MacroRow& row);
    int ListMacros(std::vector<MacroRow>& list);
    int AddMacroRecord(const MacroRecordRow& row);
    void AddMacroRecords(const std::vector<MacroRecordRow>& rows);
    int ListMacroRecords(int macroId, std::vector<MacroRecordRow>& list);
    bool DeleteMacroRecords(int macroId);
    // Steps whose kind is not 1.
    int CountMacroActions(int macroId);

    // ---- music light (layer 1 of profile 1, shared by all profiles) ---------
    int CountMusicLayers();
    int AddMusicLayer(const CString& name, int foremode);
    bool GetMusicLayer(int layerId, MusicLayerRow& row);
    bool UpdateMusicLayer(const MusicLayerRow& row);
    bool SelectMusicLayer();
    int GetSelectedMusicLayer();

    // Holds the store lock and one BEGIN for several record operations, so
    // nothing of another thread lands inside it. Ends with Commit; anything
    // else (Rollback, destruction) undoes what was written. When a
    // transaction is already open on the connection the writes join it.
    class Transaction {
    public:
        explicit Transaction(ProfileStore& store);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        // False when the connection is closed or END failed (then rolled back).
        bool Commit();
        void Rollback();

    private:
        std::unique_lock<std::recursive_mutex> lock_;
        SQLiteDB& db_;
        bool begun_ = false;
    };

    // The connection itself, for tools that run their own statements.
    SQLiteDB& Database() { return db_; }

private:
    using Guard = std::lock_guard<std::recursive_mutex>;

    SQLiteDB db_;
    mutable std::recursive_mutex lock_;
    std::string path_;
    std::string key_;
    std::string rekey_;
    int deviceType_ = 0;
    bool open_ = false;
};
