// Putting a simulated keyboard in place of the HID bus for the whole process:
// the program (--simulate), keyloomctl (--simulate) and tests call this
// before the first scan, and the process-wide DeviceManager then talks to
// the simulator.
#pragma once

#include <memory>
#include <string>

#include "sim/simulated_keyboard.h"

namespace sim {

// "TYPE[,MODE]" of --simulate=; an empty text gives 201 on the cable. False
// for anything else.
bool ParseSimulateOption(const std::string& text, int& deviceType, int& mode);

// The connections of a keyboard type as config.xml in the program folder
// lists them (vendor and product id per mode; Bluetooth when the mode's
// interface pattern names the HID-over-GATT service). Empty when the file or
// the type is missing.
std::vector<SimConnection> ConnectionsFromConfig(int deviceType);

// The state file a simulated keyboard of this type keeps by default:
// $XDG_DATA_HOME/keyloom-sim/keyboard-<type>.state (the folder is created).
std::string DefaultStateFile(int deviceType);

// Builds a simulated bus with one keyboard of `deviceType` (connections from
// config.xml), attaches it in `mode` (-1: every mode it has), and makes it
// the default bus, so that DeviceManager::Instance() uses it. `stateFile`
// empty: no memory between runs. Null when config.xml has no such keyboard
// or no such mode. A second install replaces the first.
std::shared_ptr<SimulatedKeyboard> InstallSimulatedKeyboard(int deviceType, int mode, const std::string& stateFile);
// The same with a keyboard described by the caller.
std::shared_ptr<SimulatedKeyboard> InstallSimulatedKeyboard(const SimKeyboardSetup& setup, int mode);

// What is installed, or null.
std::shared_ptr<SimulatedKeyboard> InstalledKeyboard();
std::shared_ptr<SimulatedBus> InstalledBus();
// Puts the real bus back (the process-wide manager closes what it had open).
void UninstallSimulatedKeyboard();

}  // namespace sim
