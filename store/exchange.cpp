#include "store/exchange.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/paths.h"
#include "platform/text.h"
#include "xml/xml_document.h"

const wchar_t* const kExchangeFirstLine = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r";

namespace {

enum Text {
    kTextNoProfileSelected = 151,
    kTextNoProfileCaption = 152,
    kTextNoMacroSelected = 540,
    kTextNoMacroCaption = 541,
};

int AttribInt(const xml::XmlDocument& doc, const wchar_t* name) {
    return platform::ParseDecimal(doc.GetAttrib(name));
}

// The `item` children of the element under the cursor as macro steps.
// False when there are more than `room` of them.
bool ReadSteps(xml::XmlDocument& doc, std::vector<MacroRecordRow>& steps, std::size_t room) {
    doc.IntoElem();
    while (doc.FindElem(L"item")) {
        if (steps.size() >= room) return false;
        MacroRecordRow& s = steps.emplace_back();
        s.recordIndex = static_cast<int>(steps.size() - 1);
        s.desc = doc.GetAttrib(L"desc");
        s.type = AttribInt(doc, L"type");
        s.value = AttribInt(doc, L"value");
        s.delayTime = AttribInt(doc, L"delay_time");
    }
    doc.OutOfElem();
    return true;
}

void AddStepItems(xml::XmlDocument& doc, ProfileStore& store, int macroId) {
    std::vector<MacroRecordRow> steps;
    store.ListMacroRecords(macroId, steps);
    for (const MacroRecordRow& s : steps) {
        doc.AddElem(L"item");
        doc.AddAttrib(L"desc", s.desc);
        doc.AddAttrib(L"type", s.type);
        doc.AddAttrib(L"value", s.value);
        doc.AddAttrib(L"delay_time", s.delayTime);
    }
}

ExchangeStatus ReadExchangeFile(const CString& path, std::string& bytes) {
    const std::string native = platform::NativePath(path);
    struct stat st {};
    if (stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return ExchangeStatus::Missing;
    if (static_cast<unsigned long long>(st.st_size) > kMaxExchangeFileBytes) return ExchangeStatus::Unreadable;
    std::ifstream in(native, std::ios::binary);
    if (!in) return ExchangeStatus::Unreadable;
    std::ostringstream buf;
    buf << in.rdbuf();
    if (in.bad()) return ExchangeStatus::Unreadable;
    bytes = buf.str();
    // The file may have grown since stat.
    if (bytes.size() > kMaxExchangeFileBytes) return ExchangeStatus::Unreadable;
    return ExchangeStatus::Ok;
}

}  // namespace

// ---- files ------------------------------------------------------------------

ExchangeStatus ParseProfileDocument(const std::string& bytes, ProfileFileData& out) {
    out = ProfileFileData();
    xml::XmlDocument doc;
    if (bytes.size() > kMaxExchangeFileBytes) return ExchangeStatus::TooLarge;
    if (!doc.LoadFromString(bytes)) return ExchangeStatus::NotXml;
    if (!doc.FindElem(L"profile")) return ExchangeStatus::WrongRoot;
    doc.IntoElem();

    // The macros: every macroinfo among the root's children.
    std::size_t totalSteps = 0;
    while (doc.FindElem(L"macroinfo")) {
        if (out.macros.size() >= kMaxExchangeMacros) return ExchangeStatus::TooLarge;
        ExchangeMacro& m = out.macros.emplace_back();
        m.name = doc.GetAttrib(L"name");
        m.macroId = AttribInt(doc, L"macro_id");
        m.playTimes = AttribInt(doc, L"times");
        m.delayType = AttribInt(doc, L"type");
        m.delayTime = AttribInt(doc, L"delaytime");
        doc.IntoElem();
        if (doc.FindElem(L"macroitems")) {
            const std::size_t room = std::min(kMaxExchangeStepsPerMacro, kMaxExchangeSteps - totalSteps);
            if (!ReadSteps(doc, m.steps, room)) return ExchangeStatus::TooLarge;
            totalSteps += m.steps.size();
        }
        doc.OutOfElem();
    }

    // The keys, walked as a fresh reader would: profileinfo first, then
    // keyitems after it (or from the start when there is no profileinfo).
    doc.ResetPos();
    doc.FindElem(L"profile");
    doc.IntoElem();
    doc.FindElem(L"profileinfo");
    if (doc.FindElem(L"keyitems")) {
        doc.IntoElem();
        while (doc.FindElem(L"item")) {
            if (out.items.size() >= kMaxExchangeKeyItems) return ExchangeStatus::TooLarge;
            KeyAssignmentRow& r = out.items.emplace_back();
            r.fnLayer = AttribInt(doc, L"fn_layer");
            r.keyCode = AttribInt(doc, L"key_code");
            r.layoutValue = AttribInt(doc, L"layout_value");
            r.layoutDesc = doc.GetAttrib(L"layout_desc");
            r.macroType = AttribInt(doc, L"macro_type");
            r.macroValue = AttribInt(doc, L"macro_value");
            r.macroValue2 = AttribInt(doc, L"macro_value2");
            r.macroValue3 = AttribInt(doc, L"macro_value3");
            r.macroDesc = doc.GetAttrib(L"macro_desc");
        }
    }
    return ExchangeStatus::Ok;
}

ExchangeStatus ParseMacroDocument(const std::string& bytes, ExchangeMacro& out) {
    out = ExchangeMacro();
    xml::XmlDocument doc;
    if (bytes.size() > kMaxExchangeFileBytes) return ExchangeStatus::TooLarge;
    if (!doc.LoadFromString(bytes)) return ExchangeStatus::NotXml;
    if (!doc.FindElem(L"macro")) return ExchangeStatus::WrongRoot;
    doc.IntoElem();
    // Without a macroinfo the cursor stays before the first child: the
    // attributes read as empty and macroitems is looked for from the start.
    doc.FindElem(L"macroinfo");
    out.name = doc.GetAttrib(L"name");
    out.playTimes = AttribInt(doc, L"times");
    out.delayType = AttribInt(doc, L"type");
    out.delayTime = AttribInt(doc, L"delaytime");
    if (doc.FindElem(L"macroitems") && !ReadSteps(doc, out.steps, kMaxExchangeStepsPerMacro))
        return ExchangeStatus::TooLarge;
    return ExchangeStatus::Ok;
}

namespace {

void BuildProfile(xml::XmlDocument& doc, ProfileStore& store, int profile, const CString& name) {
    // One snapshot: no other thread's write lands between the reads.
    ProfileStore::Transaction snapshot(store);
    doc.AddElem(L"profile");
    doc.IntoElem();
    doc.AddElem(L"profileinfo");
    doc.AddAttrib(L"name", name);
    doc.AddElem(L"keyitems");
    doc.IntoElem();
    std::vector<KeyAssignmentRow> rows;
    store.ListKeyAssignments(profile, 0, rows);
    std::vector<int> macroIds;
    for (const KeyAssignmentRow& r : rows) {
        doc.AddElem(L"item");
        doc.AddAttrib(L"fn_layer", r.fnLayer);
        doc.AddAttrib(L"key_code", r.keyCode);
        doc.AddAttrib(L"layout_value", r.layoutValue);
        doc.AddAttrib(L"layout_desc", r.layoutDesc);
        doc.AddAttrib(L"macro_type", r.macroType);
        doc.AddAttrib(L"macro_value", r.macroValue);
        doc.AddAttrib(L"macro_value2", r.macroValue2);
        doc.AddAttrib(L"macro_value3", r.macroValue3);
        doc.AddAttrib(L"macro_desc", r.macroDesc);
        if (r.macroType == kKeyKindMacro) macroIds.push_back(r.macroValue);
    }
    doc.OutOfElem();
    // One macroinfo per key that runs a macro, so a shared macro is written
    // once for each of its keys.
    for (const int id : macroIds) {
        MacroRow m;
        m.macroId = id;  // kept when the macro is gone, with empty values
        store.GetMacro(id, m);
        doc.AddElem(L"macroinfo");
        doc.AddAttrib(L"name", m.name);
        doc.AddAttrib(L"macro_id", id);
        doc.AddAttrib(L"times", m.playTimes);
        doc.AddAttrib(L"type", m.delayType);
        doc.AddAttrib(L"delaytime", m.delayTime);
        doc.IntoElem();
        doc.AddElem(L"macroitems");
        doc.IntoElem();
        AddStepItems(doc, store, id);
        doc.OutOfElem();
        doc.OutOfElem();
    }
}

bool BuildMacro(xml::XmlDocument& doc, ProfileStore& store, int macroId) {
    ProfileStore::Transaction snapshot(store);
    MacroRow m;
    if (!store.GetMacro(macroId, m)) return false;
    doc.AddElem(L"macro");
    doc.IntoElem();
    doc.AddElem(L"macroinfo");
    doc.AddAttrib(L"name", m.name);
    doc.AddAttrib(L"times", m.playTimes);
    doc.AddAttrib(L"type", m.delayType);
    doc.AddAttrib(L"delaytime", m.delayTime);
    doc.AddElem(L"macroitems");
    doc.IntoElem();
    AddStepItems(doc, store, macroId);
    return true;
}

}  // namespace

std::string BuildProfileDocument(ProfileStore& store, int profile, const CString& name) {
    xml::XmlDocument doc;
    BuildProfile(doc, store, profile, name);
    return doc.ToString(kExchangeFirstLine);
}

std::string BuildMacroDocument(ProfileStore& store, int macroId) {
    xml::XmlDocument doc;
    return BuildMacro(doc, store, macroId) ? doc.ToString(kExchangeFirstLine) : std::string();
}

bool WriteProfileFile(ProfileStore& store, int profile, const CString& name, const CString& path) {
    xml::XmlDocument doc;
    BuildProfile(doc, store, profile, name);
    return doc.Save(path, kExchangeFirstLine);
}

bool WriteMacroFile(ProfileStore& store, int macroId, const CString& path) {
    xml::XmlDocument doc;
    return BuildMacro(doc, store, macroId) && doc.Save(path, kExchangeFirstLine);
}

CString ExchangeNameFromPath(const CString& path) {
    const std::size_t slash = path.find_last_of(L"/\\");
    const CString title = slash == std::wstring::npos ? path : CString(path.substr(slash + 1));
    const std::size_t dot = title.find(L'.');
    // A title without a dot, or one that starts with it, would give an
    // empty name that cannot be told apart in the list.
    if (dot == std::wstring::npos || dot == 0) return title;
    return title.Left(static_cast<int>(dot));
}

// ---- imports ------------------------------------------------------------------

ExchangeStatus ImportProfileData(ProfileStore& store, const std::string& bytes, const CString& name,
                                 ProfileImportResult& result) {
    result = ProfileImportResult();
    ProfileFileData file;
    if (const ExchangeStatus s = ParseProfileDocument(bytes, file); s != ExchangeStatus::Ok) return s;
    ProfileImportResult done;  // handed out only once everything is committed

    ProfileStore::Transaction tx(store);
    std::vector<MacroRow> before;
    store.ListMacros(before);
    std::map<int, CString> existing;
    for (const MacroRow& m : before) existing.emplace(m.macroId, m.name);

    // Old id -> new id; a later macroinfo for the same old id wins.
    std::map<int, int> idMap;
    for (const ExchangeMacro& m : file.macros) {
        // The same macro still here: the keys keep pointing at it.
        if (auto it = existing.find(m.macroId); it != existing.end() && it->second == m.name) continue;
        MacroRow row;
        row.name = m.name;
        row.playTimes = m.playTimes;
        row.delayType = m.delayType;
        row.delayTime = m.delayTime;
        row.linkCount = 0;
        const int newId = store.AddMacro(row);
        if (newId <= 0) return ExchangeStatus::WriteFailed;
        idMap[m.macroId] = newId;
        for (MacroRecordRow step : m.steps) {
            step.macroId = newId;
            if (store.AddMacroRecord(step) <= 0) return ExchangeStatus::WriteFailed;
        }
        done.addedMacros.emplace_back(m.name, newId);
    }

    ProfileRow profile;
    profile.name = name;
    const int profileId = store.AddProfile(profile);
    if (profileId <= 0) return ExchangeStatus::WriteFailed;
    for (KeyAssignmentRow item : file.items) {
        item.profile = profileId;
        if (item.macroType == kKeyKindMacro)
            if (auto it = idMap.find(item.macroValue); it != idMap.end()) item.macroValue = it->second;
        int keyId = 0;
        if (!store.TrySaveKeyAssignment(item, keyId)) return ExchangeStatus::WriteFailed;
    }
    if (!tx.Commit()) return ExchangeStatus::WriteFailed;
    done.profileId = profileId;
    done.profileName = name;
    result = std::move(done);
    return ExchangeStatus::Ok;
}

ExchangeStatus ImportMacroData(ProfileStore& store, const std::string& bytes, const CString& name,
                               MacroImportResult& result) {
    result = MacroImportResult();
    ExchangeMacro file;
    if (const ExchangeStatus s = ParseMacroDocument(bytes, file); s != ExchangeStatus::Ok) return s;

    ProfileStore::Transaction tx(store);
    MacroRow row;
    row.name = name;  // the file's own name attribute is not used
    row.playTimes = file.playTimes;
    row.delayType = file.delayType;
    row.delayTime = file.delayTime;
    row.linkCount = 0;
    const int id = store.AddMacro(row);
    if (id <= 0) return ExchangeStatus::WriteFailed;
    for (MacroRecordRow step : file.steps) {
        step.macroId = id;
        if (store.AddMacroRecord(step) <= 0) return ExchangeStatus::WriteFailed;
    }
    if (!tx.Commit()) return ExchangeStatus::WriteFailed;
    result.macroId = id;
    result.name = name;
    return ExchangeStatus::Ok;
}

ExchangeStatus ImportProfileFile(ProfileStore& store, const CString& path, ProfileImportResult& result) {
    result = ProfileImportResult();
    std::string bytes;
    if (const ExchangeStatus s = ReadExchangeFile(path, bytes); s != ExchangeStatus::Ok) return s;
    return ImportProfileData(store, bytes, ExchangeNameFromPath(path), result);
}

ExchangeStatus ImportMacroFile(ProfileStore& store, const CString& path, MacroImportResult& result) {
    result = MacroImportResult();
    std::string bytes;
    if (const ExchangeStatus s = ReadExchangeFile(path, bytes); s != ExchangeStatus::Ok) return s;
    return ImportMacroData(store, bytes, ExchangeNameFromPath(path), result);
}

// ---- operations -----------------------------------------------------------------

bool ExportProfile(ProfileRules& rules, FileChooser& files) {
    EntryList& list = rules.Profiles();
    const int sel = list.GetCurSel();
    if (sel < 0 || sel >= list.GetCount()) {
        rules.Prompt().ShowSystemMessage(DialogText(kTextNoProfileCaption), DialogText(kTextNoProfileSelected));
        return false;
    }
    CString path;
    if (!files.ChooseFile(FileDialogKind::Save, L"Profile (*.xml)", L"*.xml", path)) return false;
    return WriteProfileFile(rules.Store(), list.GetItemData(sel), list.GetText(sel), path);
}

bool ImportProfile(ProfileRules& rules, EntryList& macros, FileChooser& files) {
    CString path;
    if (!files.ChooseFile(FileDialogKind::Open, L"Custom Key (*.xml)", L"*.xml", path)) return false;
    ProfileImportResult result;
    const ExchangeStatus s = ImportProfileFile(rules.Store(), path, result);
    if (s == ExchangeStatus::Missing) return false;
    if (s != ExchangeStatus::Ok) return true;  // refused silently, as a file that does not parse
    for (const auto& [name, id] : result.addedMacros) macros.SetCurSel(macros.AddEntry(name, id));
    rules.AdoptProfile(result.profileName, result.profileId);
    return true;
}

bool ExportMacro(ProfileStore& store, EntryList& macros, MessagePrompt& prompt, FileChooser& files) {
    const int sel = macros.GetCurSel();
    if (sel < 0 || sel >= macros.GetCount()) {
        prompt.ShowSystemMessage(DialogText(kTextNoMacroCaption), DialogText(kTextNoMacroSelected));
        return false;
    }
    CString path;
    if (!files.ChooseFile(FileDialogKind::Save, L"Macro (*.xml)", L"*.xml", path)) return false;
    return WriteMacroFile(store, macros.GetItemData(sel), path);
}

bool ImportMacros(ProfileStore& store, EntryList& macros, FileChooser& files) {
    CString path;
    if (!files.ChooseFile(FileDialogKind::Open, L"Macros (*.xml)", L"*.xml", path)) return false;
    MacroImportResult result;
    const ExchangeStatus s = ImportMacroFile(store, path, result);
    if (s == ExchangeStatus::Missing) return false;
    if (s == ExchangeStatus::Ok) macros.AddEntry(result.name, result.macroId);
    return true;
}
