// Start with the session: an XDG autostart entry named after the device name.
#pragma once

#include <string>

namespace platform {

// $XDG_CONFIG_HOME/autostart/<name>.desktop
std::string AutostartEntryPath(const std::string& name);
// Present means on, whatever the entry holds.
bool IsAutostartEntryPresent(const std::string& name);
// Writes the entry starting `exec`; false when it cannot be written.
bool WriteAutostartEntry(const std::string& name, const std::string& exec);
// Removes the entry; removing one that does not exist changes nothing.
void RemoveAutostartEntry(const std::string& name);

}  // namespace platform
