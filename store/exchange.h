// Profile and macro exchange files: one profile's layer-0 keys with the
// macros they run, or one macro, as XML.
//
//   files ........ what a file holds in memory, reading and writing it
//   imports ...... into the database, all or nothing
//   operations ... the four commands of the key and macro pages
//
// An import is read and checked completely before the first row is written,
// and written in one transaction: a file that is refused, or a write that
// fails half-way, leaves the database exactly as it was.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "store/profile_rules.h"
#include "store/profile_store.h"
#include "store/profile_ui.h"

// Limits on what a file may hold. Real files are far below them (a full
// keyboard is about a hundred keys, a long macro a few hundred steps); they
// keep a hostile file from filling memory and the database.
constexpr std::size_t kMaxExchangeFileBytes = 16u << 20;
constexpr std::size_t kMaxExchangeKeyItems = 4096;
constexpr std::size_t kMaxExchangeMacros = 4096;
constexpr std::size_t kMaxExchangeStepsPerMacro = 10000;
constexpr std::size_t kMaxExchangeSteps = 200000;

// The first line of every exchange file (the document adds the line feed).
extern const wchar_t* const kExchangeFirstLine;

enum class ExchangeStatus {
    Ok,
    Missing,      // no such file, or not a regular file
    Unreadable,   // cannot be read, or larger than kMaxExchangeFileBytes
    NotXml,       // does not parse
    WrongRoot,    // not a profile (or macro) file
    TooLarge,     // more items, macros or steps than the limits allow
    WriteFailed,  // the database refused a row; nothing was kept
};

// ---- files ------------------------------------------------------------------

struct ExchangeMacro {
    CString name;
    int macroId = 0;  // the id in the database the file came from (profile files)
    int playTimes = 0;
    int delayType = 0;
    int delayTime = 0;
    // desc, type, value and delay of each step in file order; recordIndex is
    // the position counting from 0.
    std::vector<MacroRecordRow> steps;
};

struct ProfileFileData {
    // Key items as the file has them (profile, key id and so on are 0).
    std::vector<KeyAssignmentRow> items;
    std::vector<ExchangeMacro> macros;
};

ExchangeStatus ParseProfileDocument(const std::string& bytes, ProfileFileData& out);
ExchangeStatus ParseMacroDocument(const std::string& bytes, ExchangeMacro& out);

// The documents as they are saved. `name` is the profile's name as the list shows it.
std::string BuildProfileDocument(ProfileStore& store, int profile, const CString& name);
// Empty when the macro does not exist.
std::string BuildMacroDocument(ProfileStore& store, int macroId);
// True when the file was written (it is replaced only by a complete one).
bool WriteProfileFile(ProfileStore& store, int profile, const CString& name, const CString& path);
bool WriteMacroFile(ProfileStore& store, int macroId, const CString& path);

// The name an imported profile or macro gets: the file's title (name with
// extension, no folder) up to its first "."; the whole title when that
// leaves nothing.
CString ExchangeNameFromPath(const CString& path);

// ---- imports ------------------------------------------------------------------

struct ProfileImportResult {
    int profileId = 0;
    CString profileName;
    // Macros created, in file order (name, new id).
    std::vector<std::pair<CString, int>> addedMacros;
};

struct MacroImportResult {
    int macroId = 0;
    CString name;
};

// From bytes already read; `name` becomes the new profile's (or macro's) name.
ExchangeStatus ImportProfileData(ProfileStore& store, const std::string& bytes, const CString& name,
                                 ProfileImportResult& result);
ExchangeStatus ImportMacroData(ProfileStore& store, const std::string& bytes, const CString& name,
                               MacroImportResult& result);
// From a file, named after it.
ExchangeStatus ImportProfileFile(ProfileStore& store, const CString& path, ProfileImportResult& result);
ExchangeStatus ImportMacroFile(ProfileStore& store, const CString& path, MacroImportResult& result);

// ---- operations -----------------------------------------------------------------

// Each asks for the file through `files`; the results are those of the
// pages: true when a file was written (exports) or the chosen file exists
// (imports).
bool ExportProfile(ProfileRules& rules, FileChooser& files);
bool ImportProfile(ProfileRules& rules, EntryList& macros, FileChooser& files);
bool ExportMacro(ProfileStore& store, EntryList& macros, MessagePrompt& prompt, FileChooser& files);
bool ImportMacros(ProfileStore& store, EntryList& macros, FileChooser& files);
