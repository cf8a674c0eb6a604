// The commands of keyloomctl. Each handler reads and checks all of its
// arguments first (a UsageError leaves everything unopened), then opens what
// it needs through the session, and commits the database only when it has
// succeeded.
//
// Listings print one record per line, fields separated by tabs in the order
// of the record's fields; tabs and line breaks inside texts become blanks.
#include <climits>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <sstream>
#include <vector>

#include "cli/ctl.h"
#include "cli/ctl_session.h"
#include "link/commands/encoders.h"
#include "link/keys/key_codes.h"
#include "platform/text.h"
#include "store/exchange.h"
#include "store/settings.h"

namespace ctl {

namespace {

constexpr int kMaxKeyCode = 255;
constexpr int kFnKeyCode = 255;
constexpr int kMaxKind = 12;
using keys::kKindDisabled;
using keys::kKindMacro;
using keys::kKindShortcut;
constexpr int kMaxColour = 0xFFFFFF;

// Texts of section "KB.DIALOG" used for default descriptions.
constexpr int kTextDisabled = 202;
constexpr int kTextShortcutBase = 700;  // 701 to 715

struct Call {
    Session& s;
    const Options& o;
    std::ostream& out;
};

// ---- output -----------------------------------------------------------------

std::string Field(const CString& text) {
    std::string s = text.ToUtf8();
    for (char& c : s)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return s;
}
std::string Field(int v) { return std::to_string(v); }
std::string Field(const std::string& s) { return Field(CString::FromUtf8(s)); }
std::string Hex(int v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, static_cast<unsigned>(v));
    return buf;
}

void Record(std::ostream& out, std::initializer_list<std::string> fields) {
    bool first = true;
    for (const std::string& f : fields) {
        if (!first) out << '\t';
        out << f;
        first = false;
    }
    out << '\n';
}

// ---- arguments --------------------------------------------------------------

std::optional<int> OptionInt(const Options& o, const char* name, int lo, int hi) {
    const auto it = o.options.find(name);
    if (it == o.options.end()) return std::nullopt;
    return ParseInt(it->second, lo, hi, std::string("--") + name);
}

int KeyCodeArg(const std::string& text) { return ParseInt(text, 1, kMaxKeyCode, "KEYCODE"); }
int IdArg(const std::string& text, const char* what) { return ParseInt(text, 1, INT_MAX, what); }

CString Text(const std::string& utf8) { return CString::FromUtf8(utf8); }

// ---- checks against the database ----------------------------------------------

bool ProfileExists(ProfileStore& store, int id) {
    CString name;
    return store.GetProfileName(id, name);
}

int ResolveProfile(Session& s, std::optional<int> given) {
    ProfileStore& store = s.Store();
    if (!given) {
        const int active = s.ActiveProfile();
        if (active <= 0) throw Failure{"there is no active profile"};
        return active;
    }
    if (!ProfileExists(store, *given)) throw Failure{"no profile with id " + std::to_string(*given)};
    return *given;
}

void RequireMacro(ProfileStore& store, int id, MacroRow& row) {
    if (!store.GetMacro(id, row)) throw Failure{"no macro with id " + std::to_string(id)};
}

void CheckName(const CString& name) {
    if (name.empty()) throw Failure{"a name may not be empty"};
    if (ContainsBlockedWord(name)) throw Failure{"the name \"" + name.ToUtf8() + "\" contains a blocked word"};
}

// ---- devices and profiles -------------------------------------------------------

void Devices(Call& c) {
    const std::vector<InterfaceInfo> list = c.s.ScanAll();
    if (list.empty()) throw Failure{"no keyboard found"};
    for (const InterfaceInfo& i : list)
        Record(c.out, {Field(i.index), Hex(i.vendorId, 4), Hex(i.productId, 4), Field(i.path), Field(i.productString),
                       Field(i.releaseNumber), Field(i.deviceType), Field(i.mode), Field(i.isWired)});
}

void Profiles(Call& c) {
    ProfileStore& store = c.s.Store();
    std::vector<ProfileRow> rows;
    store.ListProfiles(rows);
    for (const ProfileRow& r : rows) Record(c.out, {Field(r.profile), Field(r.name), Field(r.app), Field(r.type), Field(r.status)});
    c.s.Commit();  // a fresh database keeps its default profiles
}

void ProfileAdd(Call& c) {
    const std::optional<CString> name = c.o.args.empty() ? std::nullopt : std::optional<CString>(Text(c.o.args[0]));
    ProfileRules& rules = c.s.Rules();
    ProfileStore& store = c.s.Store();
    if (c.s.ProfileList().GetCount() >= ProfileRules::kMaxProfiles)
        throw Failure{"there are already " + std::to_string(ProfileRules::kMaxProfiles) + " profiles"};
    int id = 0;
    if (name) {
        CheckName(*name);
        ProfileRow row;
        row.name = *name;
        id = store.AddProfile(row);
    } else {
        // The key page's add button: the default word with the smallest free number.
        const int before = c.s.ProfileList().GetCount();
        rules.AddProfileEntry();
        if (c.s.ProfileList().GetCount() > before) id = c.s.ProfileList().GetItemData(before);
    }
    if (id <= 0) throw Failure{"the profile could not be added"};
    c.s.Commit();
    c.out << id << '\n';
}

void ProfileRename(Call& c) {
    const int id = IdArg(c.o.args[0], "ID");
    const CString name = Text(c.o.args[1]);
    ProfileStore& store = c.s.Store();
    if (!ProfileExists(store, id)) throw Failure{"no profile with id " + std::to_string(id)};
    CheckName(name);
    if (!store.RenameProfile(id, name)) throw Failure{"the profile could not be renamed"};
    c.s.Commit();
}

void ProfileDelete(Call& c) {
    const int id = IdArg(c.o.args[0], "ID");
    ProfileStore& store = c.s.Store();
    MemoryEntryList& list = c.s.ProfileList();
    int position = -1;
    for (int i = 0; i < list.GetCount(); ++i)
        if (list.GetItemData(i) == id) position = i;
    if (position < 0) throw Failure{"no profile with id " + std::to_string(id)};
    if (list.GetCount() <= 1) throw Failure{"the last profile cannot be deleted"};
    const bool wasActive = c.s.ActiveProfile() == id;
    if (!store.DeleteProfile(id)) throw Failure{"the profile could not be deleted"};
    // The key page then shows the entry before it (or the new first); that
    // one becomes the active profile, so that there always is one.
    if (wasActive) store.SetActiveProfile(list.GetItemData(position > 0 ? position - 1 : 1));
    c.s.Commit();
}

void ProfileSwitch(Call& c) {
    const int id = IdArg(c.o.args[0], "ID");
    ProfileStore& store = c.s.Store();
    if (!ProfileExists(store, id)) throw Failure{"no profile with id " + std::to_string(id)};
    if (!store.SetActiveProfile(id)) throw Failure{"the profile could not be made active"};
    c.s.Commit();
}

// ---- keys -------------------------------------------------------------------------

void Keys(Call& c) {
    const std::optional<int> profileArg = OptionInt(c.o, "profile", 1, INT_MAX);
    const int layer = OptionInt(c.o, "layer", 0, INT_MAX).value_or(0);
    const int profile = ResolveProfile(c.s, profileArg);
    std::vector<KeyAssignmentRow> rows;
    c.s.Store().ListKeyAssignments(profile, layer, rows);
    for (const KeyAssignmentRow& r : rows)
        Record(c.out, {Field(r.keyId), Field(r.profile), Field(r.fnLayer), Field(r.keyCode), Field(r.layoutValue),
                       Field(r.layoutDesc), Field(r.macroType), Field(r.macroValue), Field(r.macroValue2),
                       Field(r.macroValue3), Field(r.macroDesc)});
    c.s.Commit();
}

void KeySet(Call& c) {
    const int key = KeyCodeArg(c.o.args[0]);
    const int kind = ParseInt(c.o.args[1], 0, kMaxKind, "TYPE");
    const int value = ParseInt(c.o.args[2], INT_MIN + 1, INT_MAX, "VALUE");
    if (kind == kKindShortcut && (value < 1 || value > 15)) throw UsageError{"a shortcut (TYPE 7) is numbered 1 to 15"};
    const std::optional<CString> desc = c.o.args.size() > 3 ? std::optional<CString>(Text(c.o.args[3])) : std::nullopt;
    const std::optional<int> profileArg = OptionInt(c.o, "profile", 1, INT_MAX);
    const int layer = OptionInt(c.o, "layer", 0, INT_MAX).value_or(0);

    if (key == kFnKeyCode) throw Failure{"the Fn key (255) cannot be assigned"};
    const int profile = ResolveProfile(c.s, profileArg);
    ProfileStore& store = c.s.Store();
    KeyAssignmentRow row;
    row.profile = profile;
    row.fnLayer = layer;
    row.keyCode = key;
    row.macroType = kind;
    row.macroValue = value;
    // Without DESC, the text the key page would give it.
    if (desc) {
        row.macroDesc = *desc;
    } else if (kind == kKindDisabled) {
        row.macroDesc = DialogText(kTextDisabled);
    } else if (kind == kKindShortcut) {
        row.macroDesc = DialogText(kTextShortcutBase + value);
    }
    if (kind == kKindMacro) {
        MacroRow macro;
        RequireMacro(store, value, macro);
        if (!desc) row.macroDesc = macro.name;
    }
    int newId = 0;
    if (!store.TrySaveKeyAssignment(row, newId)) throw Failure{"the key assignment could not be stored"};
    c.s.Commit();
}

void KeyReset(Call& c) {
    const int key = KeyCodeArg(c.o.args[0]);
    const std::optional<int> profileArg = OptionInt(c.o, "profile", 1, INT_MAX);
    const int profile = ResolveProfile(c.s, profileArg);
    KeyAssignmentRow row;
    row.profile = profile;
    row.keyCode = key;  // kind 0, value 0: the row goes and nothing is stored
    int newId = 0;
    if (!c.s.Store().TrySaveKeyAssignment(row, newId)) throw Failure{"the key assignment could not be removed"};
    c.s.Commit();
}

// ---- macros -------------------------------------------------------------------------

void Macros(Call& c) {
    std::vector<MacroRow> rows;
    c.s.Store().ListMacros(rows);
    for (const MacroRow& r : rows)
        Record(c.out, {Field(r.macroId), Field(r.name), Field(r.linkCount), Field(r.playTimes), Field(r.delayType),
                       Field(r.delayTime)});
    c.s.Commit();
}

void MacroAdd(Call& c) {
    const CString name = Text(c.o.args[0]);
    const std::optional<int> times = OptionInt(c.o, "times", 1, 99);
    const std::optional<int> delayType = OptionInt(c.o, "delay-type", 1, 3);
    const std::optional<int> delayTime = OptionInt(c.o, "delay-time", 0, 9999);
    CheckName(name);
    ProfileStore& store = c.s.Store();
    const int id = store.CreateMacro(name);
    if (id <= 0) throw Failure{"the macro could not be added"};
    if (times || delayType || delayTime) {
        MacroRow row;
        store.GetMacro(id, row);
        row.playTimes = times.value_or(row.playTimes);
        row.delayType = delayType.value_or(row.delayType);
        row.delayTime = delayTime.value_or(row.delayTime);
        if (!store.UpdateMacroPlayback(row)) throw Failure{"the macro could not be added"};
    }
    c.s.Commit();
    c.out << id << '\n';
}

void MacroSteps(Call& c) {
    const int id = IdArg(c.o.args[0], "ID");
    ProfileStore& store = c.s.Store();
    MacroRow macro;
    RequireMacro(store, id, macro);
    std::vector<MacroRecordRow> rows;
    store.ListMacroRecords(id, rows);
    for (const MacroRecordRow& r : rows)
        Record(c.out, {Field(r.recordId), Field(r.macroId), Field(r.type), Field(r.recordIndex), Field(r.value),
                       Field(r.delayTime), Field(r.desc)});
    c.s.Commit();
}

void MacroAddStep(Call& c) {
    const int id = IdArg(c.o.args[0], "ID");
    const int kind = ParseInt(c.o.args[1], 0, 255, "TYPE");
    const int value = ParseInt(c.o.args[2], 0, 65535, "VALUE");
    const int delay = ParseInt(c.o.args[3], 0, 65535, "DELAY");
    const CString desc = c.o.args.size() > 4 ? Text(c.o.args[4]) : CString();
    ProfileStore& store = c.s.Store();
    MacroRow macro;
    RequireMacro(store, id, macro);
    std::vector<MacroRecordRow> rows;
    store.ListMacroRecords(id, rows);
    MacroRecordRow step;
    step.macroId = id;
    step.type = kind;
    step.recordIndex = rows.empty() ? 0 : rows.back().recordIndex + 1;
    step.value = value;
    step.delayTime = delay;
    step.desc = desc;
    if (store.AddMacroRecord(step) <= 0) throw Failure{"the step could not be added"};
    c.s.Commit();
}

// ---- lighting ---------------------------------------------------------------------

void Light(Call& c) {
    c.s.EnsureLightingDefaults();
    std::vector<LightSettingRow> rows;
    c.s.Store().ListLightSettings(commands::kLightingProfile, rows);
    for (const LightSettingRow& r : rows)
        Record(c.out, {Field(r.lightId), Field(r.profile), Field(r.name), Field(r.mode), Field(r.brightness),
                       Field(r.speed), Field(r.direction), Field(r.colorful), Field(r.colorindex), Hex(r.colorValue, 6),
                       Field(r.configFunc), Field(r.reserved), Field(r.status)});
    c.s.Commit();
}

void LightSet(Call& c) {
    const int mode = ParseInt(c.o.args[0], 0, 255, "MODE");
    std::map<std::string, int> values;
    std::optional<int> option;
    for (size_t i = 1; i < c.o.args.size(); ++i) {
        const std::string& a = c.o.args[i];
        const size_t eq = a.find('=');
        if (eq == std::string::npos) throw UsageError{"light-set takes NAME=VALUE, not \"" + a + "\""};
        const std::string key = a.substr(0, eq);
        const std::string text = a.substr(eq + 1);
        int v;
        if (key == "brightness" || key == "speed" || key == "direction" || key == "colorindex")
            v = ParseInt(text, 0, 255, key);
        else if (key == "colorful")
            v = ParseInt(text, 0, 1, key);
        else if (key == "color")
            v = ParseInt(text, 0, kMaxColour, key);
        else if (key == "option")
            v = ParseInt(text, 0, 2, key);
        else
            throw UsageError{"light-set knows brightness, speed, direction, colorful, colorindex, color and option, not " +
                             key};
        if (key == "option")
            option = v;
        else
            values[key] = v;
    }
    c.s.EnsureLightingDefaults();
    ProfileStore& store = c.s.Store();
    LightSettingRow row;
    if (!store.GetLightSetting(commands::kLightingProfile, mode, row))
        throw Failure{"no light mode " + std::to_string(mode)};
    for (const auto& [key, v] : values) {
        if (key == "brightness") row.brightness = v;
        if (key == "speed") row.speed = v;
        if (key == "direction") row.direction = v;
        if (key == "colorful") row.colorful = v;
        if (key == "colorindex") row.colorindex = v;
        if (key == "color") row.colorValue = v;
    }
    if (!values.empty() && !store.UpdateLightSetting(commands::kLightingProfile, mode, row))
        throw Failure{"the light mode could not be stored"};
    c.s.Commit();
    if (option) c.s.SetLightOption(*option);
}

void LightMode(Call& c) {
    const int mode = ParseInt(c.o.args[0], 0, 255, "MODE");
    c.s.EnsureLightingDefaults();
    ProfileStore& store = c.s.Store();
    LightSettingRow row;
    if (!store.GetLightSetting(commands::kLightingProfile, mode, row))
        throw Failure{"no light mode " + std::to_string(mode)};
    if (!store.SetActiveLightMode(commands::kLightingProfile, mode)) throw Failure{"the light mode could not be chosen"};
    c.s.Commit();
}

void CustomColors(Call& c) {
    std::vector<std::pair<int, int>> given;
    for (const std::string& a : c.o.args) {
        const size_t eq = a.find('=');
        if (eq == std::string::npos) throw UsageError{"custom-colors takes KEYCODE=0xBBGGRR, not \"" + a + "\""};
        given.emplace_back(KeyCodeArg(a.substr(0, eq)), ParseInt(a.substr(eq + 1), 0, kMaxColour, "colour"));
    }
    ProfileStore& store = c.s.Store();
    // The lighting page rewrites the whole set; the keys not named keep
    // their colours.
    std::vector<KeyLightRow> rows;
    store.ListKeyLights(kCustomLightSet, rows);
    for (const auto& [key, colour] : given) {
        bool found = false;
        for (KeyLightRow& r : rows) {
            if (r.keyCode != key) continue;
            r.keyRgb = colour;
            found = true;
        }
        if (!found) {
            KeyLightRow r;
            r.keyCode = key;
            r.keyRgb = colour;
            rows.push_back(r);
        }
    }
    for (KeyLightRow& r : rows) {
        r.profile = commands::kLightingProfile;
        r.lightId = kCustomLightSet;
    }
    if (!store.DeleteCustomKeyLights()) throw Failure{"the custom colours could not be stored"};
    store.SaveKeyLights(rows);
    c.s.Commit();
}

// ---- keyboard -------------------------------------------------------------------------

void Upload(Call& c) {
    const std::string what = c.o.args[0];
    auto allow = [&](std::initializer_list<const char*> names) {
        for (const auto& [name, value] : c.o.options) {
            (void)value;
            bool ok = false;
            for (const char* n : names) ok = ok || name == n;
            if (!ok) throw UsageError{"upload " + what + " does not take --" + name};
        }
    };
    if (what == "keys") {
        allow({"key", "profile"});
        const std::optional<int> key = OptionInt(c.o, "key", 1, kMaxKeyCode);
        const std::optional<int> profileArg = OptionInt(c.o, "profile", 1, INT_MAX);
        c.s.EnsureLightingDefaults();
        commands::CommandSet& cmd = c.s.Commands();
        c.s.State().currentProfile.store(ResolveProfile(c.s, profileArg));
        if (key) {
            c.s.State().oneKeyChanged.store(true);
            c.s.State().changedKeyCode.store(*key);
        }
        cmd.UploadKeys();
    } else if (what == "light") {
        allow({"mode-changed"});
        c.s.EnsureLightingDefaults();
        commands::CommandSet& cmd = c.s.Commands();
        c.s.State().currentLightMode.store(c.s.Store().GetActiveLightMode(commands::kLightingProfile));
        c.s.State().modeSent.store(c.o.options.count("mode-changed") == 0);
        cmd.UploadLightSettings();
    } else if (what == "custom") {
        allow({});
        c.s.EnsureLightingDefaults();
        if (!c.s.Commands().UploadCustomColours()) throw Failure{"the keyboard did not take the custom colours"};
    } else {
        throw UsageError{"upload takes keys, light or custom, not \"" + what + "\""};
    }
    c.s.Commit();
}

void Firmware(Call& c) {
    int version = -1;
    if (!c.s.Device().ReadFirmwareVersion(version)) throw Failure{"the keyboard did not answer the version request"};
    c.out << Hex(version, 4) << '\n';
}

// The version check and the reset talk only to the keyboard: their command
// set gets a store that is never opened and an empty layout.
struct DeviceOnly {
    explicit DeviceOnly(Session& s) : cmd(state, store, layout, s.Device()) { state.deviceType.store(s.DeviceType()); }
    commands::CommandState state;
    ProfileStore store;
    KeyboardLayout layout;
    commands::CommandSet cmd;
};

void CheckFirmware(Call& c) {
    const CString server = Text(c.o.args[0]);
    DeviceOnly d(c.s);
    c.out << (d.cmd.CheckFirmwareVersion(server) ? "update-available" : "up-to-date") << '\n';
}

void FactoryResetCommand(Call& c) {
    DeviceOnly d(c.s);
    d.cmd.FactoryReset();
}

// ---- exchange files ---------------------------------------------------------------------

std::string StatusText(ExchangeStatus s) {
    switch (s) {
        case ExchangeStatus::Ok: return "ok";
        case ExchangeStatus::Missing: return "no such file";
        case ExchangeStatus::Unreadable: return "the file cannot be read";
        case ExchangeStatus::NotXml: return "the file is not XML";
        case ExchangeStatus::WrongRoot: return "the file is not of this kind";
        case ExchangeStatus::TooLarge: return "the file holds more than is allowed";
        case ExchangeStatus::WriteFailed: return "the database refused the file's rows";
    }
    return "unknown error";
}

void ExportProfile(Call& c) {
    const int id = IdArg(c.o.args[0], "ID");
    const CString path = Text(c.o.args[1]);
    ProfileStore& store = c.s.Store();
    CString name;
    if (!store.GetProfileName(id, name)) throw Failure{"no profile with id " + std::to_string(id)};
    if (!WriteProfileFile(store, id, LocalizeProfileName(name, CurrentLanguageId), path))
        throw Failure{"cannot write " + c.o.args[1]};
    c.s.Commit();
}

void ImportProfile(Call& c) {
    const CString path = Text(c.o.args[0]);
    ProfileStore& store = c.s.Store();
    ProfileImportResult result;
    const ExchangeStatus status = ImportProfileFile(store, path, result);
    if (status != ExchangeStatus::Ok) throw Failure{c.o.args[0] + ": " + StatusText(status)};
    // As the key page adopts it: the new profile becomes the active one.
    store.SetActiveProfile(result.profileId);
    c.s.Commit();
    c.out << result.profileId << '\n';
}

void ExportMacro(Call& c) {
    const int id = IdArg(c.o.args[0], "ID");
    const CString path = Text(c.o.args[1]);
    ProfileStore& store = c.s.Store();
    MacroRow macro;
    RequireMacro(store, id, macro);
    if (!WriteMacroFile(store, id, path)) throw Failure{"cannot write " + c.o.args[1]};
    c.s.Commit();
}

void ImportMacro(Call& c) {
    const CString path = Text(c.o.args[0]);
    MacroImportResult result;
    const ExchangeStatus status = ImportMacroFile(c.s.Store(), path, result);
    if (status != ExchangeStatus::Ok) throw Failure{c.o.args[0] + ": " + StatusText(status)};
    c.s.Commit();
    c.out << result.macroId << '\n';
}

void SimState(Call& c) {
    c.s.ScanAll();
    c.out << c.s.Simulated()->DescribeState();
}

// ---- the table ------------------------------------------------------------------------

struct CommandEntry {
    const char* name;
    size_t minArgs;
    size_t maxArgs;  // SIZE_MAX: any number
    // A vector, not an initializer list: the list's array would not outlive
    // the table's initialisation.
    std::vector<const char*> options;
    std::function<void(Call&)> run;
};

const std::vector<CommandEntry>& Commands() {
    static const std::vector<CommandEntry> table = {
        {"devices", 0, 0, {}, Devices},
        {"profiles", 0, 0, {}, Profiles},
        {"profile-add", 0, 1, {}, ProfileAdd},
        {"profile-rename", 2, 2, {}, ProfileRename},
        {"profile-delete", 1, 1, {}, ProfileDelete},
        {"profile-switch", 1, 1, {}, ProfileSwitch},
        {"keys", 0, 0, {"profile", "layer"}, Keys},
        {"key-set", 3, 4, {"profile", "layer"}, KeySet},
        {"key-reset", 1, 1, {"profile"}, KeyReset},
        {"macros", 0, 0, {}, Macros},
        {"macro-add", 1, 1, {"times", "delay-type", "delay-time"}, MacroAdd},
        {"macro-steps", 1, 1, {}, MacroSteps},
        {"macro-add-step", 4, 5, {}, MacroAddStep},
        {"light", 0, 0, {}, Light},
        {"light-set", 1, SIZE_MAX, {}, LightSet},
        {"light-mode", 1, 1, {}, LightMode},
        {"custom-colors", 1, SIZE_MAX, {}, CustomColors},
        {"upload", 1, 1, {"key", "profile", "mode-changed"}, Upload},
        {"firmware", 0, 0, {}, Firmware},
        {"check-firmware", 1, 1, {}, CheckFirmware},
        {"factory-reset", 0, 0, {}, FactoryResetCommand},
        {"export-profile", 2, 2, {}, ExportProfile},
        {"import-profile", 1, 1, {}, ImportProfile},
        {"export-macro", 2, 2, {}, ExportMacro},
        {"import-macro", 1, 1, {}, ImportMacro},
        {"sim-state", 0, 0, {}, SimState},
    };
    return table;
}

const CommandEntry& Find(const Options& o) {
    for (const CommandEntry& c : Commands()) {
        if (o.command != c.name) continue;
        if (o.args.size() < c.minArgs || o.args.size() > c.maxArgs)
            throw UsageError{std::string("wrong number of arguments for ") + c.name};
        for (const auto& [name, value] : o.options) {
            (void)value;
            bool ok = false;
            for (const char* n : c.options) ok = ok || name == n;
            if (!ok) throw UsageError{std::string(c.name) + " does not take --" + name};
        }
        return c;
    }
    throw UsageError{"unknown command \"" + o.command + "\""};
}

}  // namespace

int Run(const Options& options, std::ostream& out, std::ostream& err) {
    if (options.help) {
        PrintUsage(out);
        return kExitOk;
    }
    if (options.command.empty()) {
        PrintUsage(err);
        return kExitUsage;
    }
    std::ostringstream result;
    int status = kExitOk;
    std::string message;
    std::vector<std::string> trace;
    try {
        const CommandEntry& entry = Find(options);
        Session session(options);
        Call call{session, options, result};
        try {
            entry.run(call);
        } catch (const Failure&) {
            if (options.trace) trace = session.TraceLines();
            throw;
        } catch (const UsageError&) {
            throw;
        }
        if (options.trace) trace = session.TraceLines();
    } catch (const UsageError& e) {
        err << "keyloomctl: " << e.message << " (keyloomctl --help lists the commands)\n";
        return kExitUsage;
    } catch (const Failure& e) {
        status = kExitFailure;
        message = e.message;
    }
    for (const std::string& line : trace) out << line << '\n';
    if (status == kExitOk) {
        out << result.str();
    } else {
        err << "keyloomctl: " << message << '\n';
    }
    return status;
}

}  // namespace ctl
