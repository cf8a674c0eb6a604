// Where the program keeps its settings and finds its shipped files, and the
// text lookup every page uses. Settings live in an INI file standing in for
// the per-product registry key; language files are INI files too.
#pragma once

#include <atomic>

#include "tavri/types.h"

// The language id in use while the program runs (set once at start-up and by
// the settings page).
extern std::atomic<int> CurrentLanguageId;

// Text `number` of `section` in the language file of CurrentLanguageId;
// empty when the file, section or key is missing. At most 259 characters.
CString GetLanguageText(const CString& section, int number);
// The raw read behind it: empty default, at most 259 characters.
CString ReadPrivateProfileText(const CString& section, const CString& key, const CString& file);
// Forgets parsed language files, so edited files are read again.
void FlushLanguageCache();

// The settings file: $XDG_CONFIG_HOME/<device name>/settings.ini, [settings].
std::string SettingsFilePath();
// 0 when the file did not exist (it is created empty then) or LCID is
// missing or not a number; 1046 when it cannot be read or created.
int ReadLanguageId();
// Writes LCID when the settings file exists; does nothing otherwise.
void WriteLanguageId(int id);
// Like ReadLanguageId for any value, but 0 whenever the file is missing
// (after creating it) or cannot be read.
int ReadSettingInt(const CString& name);
void WriteSettingText(const CString& name, const CString& text);

bool IsAutostartOn();
void SetAutostart(bool on);

// The program folder with a trailing separator ("%slanguage\%d.lan"), and
// without one ("%s\config.xml").
CString GetProgramFolder();
CString GetProgramFolderNoSlash();
// <data home>/<device name> Files/ with a trailing separator.
CString GetUserDataFolder();

// True when the folder exists afterwards; creates each missing parent in turn.
bool CreateFolderPath(const CString& path);
