// Where things live: the program folder, the XDG folders, and the one place
// where the Windows-style paths of the program become native paths.
#pragma once

#include <string>

namespace platform {

// Backslashes become slashes and the text becomes UTF-8. Every path built
// with the program's "%s\layouts\%s.xml"-style strings passes through here
// before it reaches the file system.
std::string NativePath(const std::wstring& path);

// Folder of the running executable, with a trailing slash.
std::string ExecutableFolder();
// The folder holding config.xml: the executable's folder when config.xml is
// there, else <exe>/../share/keyloom/. Trailing slash. KEYLOOM_PROGRAM_DIR
// overrides both (tests and packaged layouts use it).
std::string ProgramFolder();

std::string HomeFolder();
// $XDG_DATA_HOME or ~/.local/share, no trailing slash.
std::string DataHome();
// $XDG_CONFIG_HOME or ~/.config, no trailing slash.
std::string ConfigHome();
// $XDG_RUNTIME_DIR, or a private folder under /tmp when it is unset.
std::string RuntimeFolder();
// The system's temporary folder, with a trailing slash.
std::string TempFolder();

// File names made from the device name: '/' and NUL would escape or cut the
// name, so they become '_'; an empty name, "." and ".." become "_".
std::string SafeFileName(const std::string& name);

bool IsDirectory(const std::string& path);
bool FileExists(const std::string& path);
// One mkdir; true when it made the folder. errno tells why not.
bool MakeDirectory(const std::string& path);

}  // namespace platform
