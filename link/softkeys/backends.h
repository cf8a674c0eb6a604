// The two seams of the software keys. The virtual device takes the 64-byte
// writes of VHidev; the filter takes the filter requests as operations. Each
// has the real Linux implementation (linux_backends.h: uinput, evdev) and the
// simulated one (sim/softkeys).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "platform/filter_core.h"
#include "platform/key_hook.h"

namespace softkeys {

inline constexpr std::size_t kDeviceWriteSize = 64;

class VirtualDeviceBackend {
public:
    virtual ~VirtualDeviceBackend() = default;
    // Finds or creates the virtual device; true when it is open. A device that
    // is open and working is kept: a new one would drop the keys it holds.
    virtual bool Open() = 0;
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    // One 64-byte write: byte 0 = 5, byte 1 = report id, then the report.
    virtual bool Write(std::span<const std::uint8_t, kDeviceWriteSize> buffer) = 0;
};

// The filter's control requests; the numbers name them in logs.
enum class FilterRequest : std::uint32_t {
    SetTable = 0x22A000,       // 1024 bytes (the table) or 256 zero bytes (clear)
    Prepare = 0x226008,        // before the listening thread starts
    PrepareSecond = 0x22600C,  // right after
    WaitKeyEvent = 0x226044,   // the next key event
};

inline constexpr std::size_t kKeyTableEntries = 256;
inline constexpr std::size_t kKeyTableBytes = 1024;
inline constexpr std::size_t kClearTableBytes = 256;
inline constexpr std::uint8_t kKeyboardUsagePage = 7;
inline constexpr std::uint8_t kKeyTableEntryFlag = 0x02;

using platform::FilterKeyEvent;
using platform::FilterWait;

class FilterBackend {
public:
    virtual ~FilterBackend() = default;
    // The control device; true when open.
    virtual bool Open() = 0;
    virtual bool IsOpen() const = 0;
    // Ends every grab and capture.
    virtual void Close() = 0;
    virtual void SetTable(std::span<const std::uint8_t> table) = 0;
    virtual void Prepare() = 0;
    virtual void PrepareSecond() = 0;
    // Blocks until a key event, the loss of a keyboard or a cancel.
    virtual FilterWait WaitKeyEvent(FilterKeyEvent& event) = 0;
    // Ends a pending wait; one that starts before it is consumed ends at once.
    virtual void CancelWait() = 0;
    // Every key event of the filtered keyboards to `sink` first; null ends it.
    // False when the filter is not open.
    virtual bool SetCapture(std::shared_ptr<platform::KeyCaptureSink> sink) = 0;
};

// The key codes of a key table's entries (bytes 0-1 little endian) whose
// usage page (byte 2) is the keyboard page; zero entries are skipped.
std::vector<std::uint16_t> KeyTableCodes(std::span<const std::uint8_t> table);
// The input codes a table key code stands for, as (input code, key code):
// the keyboard usages and the media codes 232-249 (whose consumer usage the
// keyboard sends on its media keys). Codes without an input code are left out.
std::vector<std::pair<std::uint16_t, std::uint16_t>> InputCodesForKeyCodes(const std::vector<std::uint16_t>& codes);
// Input code -> the keyboard's key code (keyboard usage, or a media code for
// a consumer key); 0 when none.
int KeyCodeForInputCode(int inputCode);
// Key code -> input code; 0 when none.
int InputCodeForKeyCode(int keyCode);

}  // namespace softkeys
