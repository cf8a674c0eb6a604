// The channel to the virtual keyboard: the keyboard, mouse and consumer
// reports it holds, and the 64-byte writes that send them.
//
//   keyboard report  id 1, 33 bytes: 0, then a 256-bit map (bit k%8 of byte 1+k/8 = key code k held)
//   mouse report     id 2, 4 bytes: buttons (bit 0 left, 1 right, 2 middle, 3 back, 4 forward), 0, 0, 0
//   consumer report  id 3, 2 bytes: the consumer usage held, 0 for none
//   fourth report    id 4, 2 bytes, always 0
//
// One per process, created on first use and kept until exit. Every change of
// a report and its write happen under one lock, so remapped keys, shortcuts
// and macros on different threads never lose each other's keys.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "link/softkeys/backends.h"

namespace softkeys {

class VHidev {
public:
    static VHidev& Instance();

    // Puts a device behind the channel (the real uinput one or the simulated
    // one); all reports count as released for it. Null leaves none.
    void SetBackend(std::unique_ptr<VirtualDeviceBackend> backend);

    // Finds and opens the virtual device; true when open.
    bool Open();
    bool IsOpen() const;
    // Sends `length` bytes of a report: byte 0 = 5, byte 1 = reportId, the
    // data from byte 2 (from byte 1 when reportId is 0), the rest 0; data
    // beyond the buffer is cut. False without a device or when the write fails.
    virtual bool Write(const std::uint8_t* data, std::size_t length, std::uint8_t reportId);

    // Sends all four reports released.
    void ReleaseAll();
    // Holds or lets go a key code (0-255) in the keyboard report and sends it.
    void SetKey(int code, bool down);
    // Sets or clears a bit (0-7) of the mouse report's buttons and sends it.
    void SetMouseButton(int bit, bool down);
    // The consumer report holds `usage` (down) or nothing, and is sent.
    void SetConsumer(int usage, bool down);

    // What the reports hold now.
    bool KeyHeld(int code) const;
    std::uint8_t MouseButtons() const;
    int Consumer() const;

protected:
    VHidev() = default;
    virtual ~VHidev() = default;

private:
    void SendKeyboard();
    void SendMouse();
    void SendConsumer();

    mutable std::recursive_mutex lock_;
    std::unique_ptr<VirtualDeviceBackend> backend_;
    std::array<std::uint8_t, 33> keyboard_{};
    std::array<std::uint8_t, 4> mouse_{};
    std::array<std::uint8_t, 2> consumer_{};
};

}  // namespace softkeys
