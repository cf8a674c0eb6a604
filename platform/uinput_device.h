// The virtual keyboard the software keys type on: a uinput device that takes
// the program's 64-byte virtual-device writes and turns them into the input
// events the system would get from such a HID device.
//
// A write is byte 0 = 5, byte 1 = report id, then the report:
//   id 1: a reserved byte, then a 256-bit map, bit k%8 of byte 1+k/8 = usage k held
//   id 2: the button byte (bit 0 left, 1 right, 2 middle, 3 back, 4 forward)
//   id 3: the consumer usage held, 16-bit little endian, 0 for none
//   id 4: always zero; nothing to decode
// Reports hold states, so the decoder keeps the last one of each and sends
// the differences.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/filter_core.h"

namespace platform {

inline constexpr std::uint16_t kVirtualKeyboardVendor = 0xDEED;
inline constexpr std::uint16_t kVirtualKeyboardProduct = 0xFEED;
inline constexpr std::size_t kVirtualDeviceWriteSize = 64;
inline constexpr std::uint8_t kVirtualDeviceReportId = 5;

class VirtualReportDecoder {
public:
    // Appends the events this write stands for; a write that changes
    // something ends with SYN_REPORT. Within one keyboard report, releases
    // come before presses, and modifiers are pressed before and released
    // after the other keys, as a HID keyboard's report is read.
    void Decode(std::span<const std::uint8_t> write, std::vector<InputEvent>& out);
    // Everything counts as released again (a new device).
    void Reset();
    bool KeyHeld(int usage) const;
    std::uint8_t Buttons() const { return buttons_; }
    int Consumer() const { return consumer_; }

private:
    void DecodeKeyboard(std::span<const std::uint8_t> map, std::vector<InputEvent>& out);
    void DecodeButtons(std::uint8_t buttons, std::vector<InputEvent>& out);
    void DecodeConsumer(int usage, std::vector<InputEvent>& out);

    std::array<std::uint8_t, 32> keys_{};
    std::uint8_t buttons_ = 0;
    int consumer_ = 0;
};

class UinputDevice {
public:
    // Creates the device on the uinput node (vendor 0xDEED, product 0xFEED,
    // keyboard keys, the consumer keys, five mouse buttons, kernel
    // auto-repeat). Null with the reason in `error` when the node cannot be
    // opened or the kernel refuses the device.
    static std::unique_ptr<UinputDevice> Create(const std::string& name, std::string* error = nullptr,
                                                const std::string& node = "");
    // Writes events to an already open descriptor and creates nothing; it is
    // closed with the object. Tests hand in one end of a socket pair and read
    // back the input_event records.
    static std::unique_ptr<UinputDevice> Adopt(int fd);

    ~UinputDevice();
    UinputDevice(const UinputDevice&) = delete;
    UinputDevice& operator=(const UinputDevice&) = delete;

    // One 64-byte virtual-device write. False when the events could not be
    // written; the device then counts as broken.
    bool WriteReport(std::span<const std::uint8_t> write);
    bool WriteEvents(const std::vector<InputEvent>& events);
    bool Healthy() const { return healthy_; }
    const VirtualReportDecoder& Decoder() const { return decoder_; }

    // The uinput node: /dev/uinput, or /dev/input/uinput where that is used.
    static std::string DefaultNode();

private:
    UinputDevice(int fd, bool created) : fd_(fd), created_(created) {}

    int fd_ = -1;
    bool created_ = false;
    bool healthy_ = true;
    VirtualReportDecoder decoder_;
};

// Writes input events to a descriptor as input_event records, retrying
// interrupted and partial writes. Shared by the virtual keyboard and the
// filter's pass-through copies.
bool WriteInputEvents(int fd, const std::vector<InputEvent>& events);

}  // namespace platform
