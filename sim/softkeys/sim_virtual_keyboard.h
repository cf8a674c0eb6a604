// The simulated virtual keyboard: records every 64-byte write with its time,
// decodes the writes as the uinput device does, and so shows what the system
// would receive. It can refuse to open, lose its device, or fail writes.
//
//   auto keyboard = std::make_shared<sim::SimVirtualKeyboard>();
//   softkeys::VHidev::Instance().SetBackend(keyboard->MakeBackend());
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/softkeys/backends.h"
#include "platform/uinput_device.h"

namespace sim {

class SimVirtualKeyboard : public std::enable_shared_from_this<SimVirtualKeyboard> {
public:
    using Clock = std::chrono::steady_clock;
    struct Write {
        Clock::time_point time;
        std::array<std::uint8_t, softkeys::kDeviceWriteSize> bytes{};
        std::uint8_t ReportId() const { return bytes[1]; }
    };

    // A backend for VHidev that works on this keyboard.
    std::unique_ptr<softkeys::VirtualDeviceBackend> MakeBackend();

    // Faults.
    void SetOpenable(bool openable);    // false: Open fails (no driver)
    void Disappear();                   // the device goes; writes fail until it opens again
    void SetWritesFail(bool fail);

    int OpenCount() const;
    bool IsOpen() const;
    std::vector<Write> Writes() const;
    std::size_t WriteCount() const;
    // Waits until at least `count` writes arrived; false on time-out.
    bool WaitForWrites(std::size_t count, std::chrono::milliseconds timeout) const;
    // Waits until `done` holds for the writes so far; false on time-out.
    bool WaitUntil(const std::function<bool(const std::vector<Write>&)>& done, std::chrono::milliseconds timeout) const;
    // The input events the writes stand for, in order.
    std::vector<platform::InputEvent> Events() const;
    // The state the last writes left: key codes held, buttons, consumer usage.
    bool KeyHeld(int keyCode) const;
    bool AnyKeyHeld() const;
    std::uint8_t Buttons() const;
    int Consumer() const;
    void ClearRecords();

    // Appends one line per write to a file ("W" and the 64 bytes in hex), so
    // a test can see what a process wrote up to its last moment.
    void SetJournal(const std::string& path);

    // The backend's side.
    bool BackendOpen();
    void BackendClose();
    bool BackendWrite(std::span<const std::uint8_t, softkeys::kDeviceWriteSize> buffer);

private:
    mutable std::mutex lock_;
    mutable std::condition_variable written_;
    bool openable_ = true;
    bool open_ = false;
    bool writesFail_ = false;
    int openCount_ = 0;
    std::vector<Write> writes_;
    std::vector<platform::InputEvent> events_;
    platform::VirtualReportDecoder decoder_;
    int journal_ = -1;
};

}  // namespace sim
