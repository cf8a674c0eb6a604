// The simulated keyboard's firmware: every command of the link's command set
// decoded into the memory a keyboard keeps, and the answers to the two reads
// the program makes (slot table, firmware version).
//
// Commands understood (bytes after the report id unless noted):
//   output reports (report id 0, 64 data bytes)
//     8D len offLo offHi data...        key table, 2 bytes per key index (240)
//     8E len offLo offHi slot data...   macro memory of a slot (1200 each)
//     88 00 mode                        light mode
//     89 00 P c0 c1 c2 brightness       light parameters, P = dir*16 | 0x40 colourful | speed
//     8B len offLo offHi data...        per-key colours, 4 bytes per light index (440)
//     F0 F4 01                          stream mode on
//     F1 len offLo offHi data...        colour frame, 3 bytes per light index (330; aux)
//     FF FE AA FF                       factory reset
//     BB AA 99 88 AA m ci dir s-1 b-1 opt       light settings (packet)
//     BB AA 99 88 AA AA AA AA AA AA, BB AA 99 88 factory reset (packet pair)
//   feature reports (report id 7)
//     FF FF mode-1 brightness speed 00 sel      lighting preset
//     F1 B0..B5, then 27 x 00 B6i..B6i+5        macro slot block (168 bytes)
//     FA 01 slot key 01 value 01                remap slot
//     FB 01 ...                                 slot table query, then 4 reads
//     F7 m ci dir s-1 b-1 opt                   light settings
//     23 45 67 89 colour effect level           music level
//     F0 AA                                     factory reset
//     FD                                        firmware version, then reads
// Chunked reports (8D, 8E, 8B, F1) store their whole payload at the offset,
// as far as the memory area reaches; the length byte is not relied on.
// Light values of the feature command set are kept as they arrive (speed and
// brightness one below the program's, 0 staying 0).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

inline constexpr int kKeyIndexes = 120;
inline constexpr int kLightIndexes = 110;
inline constexpr int kMacroMemoryBytes = 1200;
inline constexpr int kMacroSlotCount = 13;
inline constexpr int kRemapSlotCount = 10;
inline constexpr int kSlotBlockBytes = 168;
inline constexpr int kSlotBlockReports = 28;

struct LightState {
    int mode = 1;
    int brightness = 4;
    int speed = 3;
    int direction = 0;
    int colorful = 0;
    int colorindex = 0;
    std::uint32_t colour = 0x0000FF;  // 0x00BBGGRR
    int option = 0;
};

struct PresetState {
    bool set = false;
    int mode = 0;
    int brightness = 0;
    int speed = 0;
    int slot = 0;
};

struct MusicState {
    int colour = 0;
    int effect = 0;
    int level = 0;
    long count = 0;
};

struct MacroSlot {
    int owner = 0;  // key code, 0 = free
    std::array<std::uint8_t, kSlotBlockBytes> block{};
};

struct RemapSlot {
    int owner = 0;   // key code, 0 = free
    int target = 0;  // the code or function value the key gets
};

struct FirmwareMemory {
    // Output-report command set.
    std::array<std::uint8_t, 2 * kKeyIndexes> keyTable{};
    std::map<int, std::vector<std::uint8_t>> macroMemory;  // slot -> bytes
    std::array<std::uint8_t, 4 * kLightIndexes> customColours{};
    std::array<std::uint8_t, 3 * kLightIndexes> frame{};
    long framesShown = 0;
    bool streamMode = false;
    PresetState preset;
    // Shared by both command sets.
    LightState light;
    // Feature-report command set.
    std::array<MacroSlot, kMacroSlotCount> macroSlots{};
    std::array<RemapSlot, kRemapSlotCount> remapSlots{};
    MusicState music;
    int resets = 0;
    bool resetPending = false;  // first of the two reset packets seen
};

// A decoded macro step.
struct MacroStep {
    int code = 0;
    int delayMs = 0;     // hardware macros: 16-bit delay
    int delayByte = 0;   // slot macros: the encoded delay byte
    bool pressed = true;
    bool operator==(const MacroStep&) const = default;
};

struct HardwareMacro {
    int playTimes = 0;
    int stepCount = 0;  // as the header gives it
    std::vector<MacroStep> steps;
};

struct SlotMacro {
    int owner = 0;
    int playTimes = 0;
    std::vector<MacroStep> steps;
};

class Firmware {
public:
    explicit Firmware(std::uint16_t version = 0x0105) : version_(version) {}

    // An output report as written, report id first.
    void Output(const std::uint8_t* report, std::size_t length, bool auxInterface);
    void FeatureWrite(const std::uint8_t* report, std::size_t length);
    // Fills `report` (report id first) with the answer; returns the length.
    int FeatureRead(std::uint8_t* report, std::size_t length);

    const FirmwareMemory& Memory() const { return mem_; }
    FirmwareMemory& Memory() { return mem_; }
    std::uint16_t Version() const { return version_; }
    void SetVersion(std::uint16_t v) { version_ = v; }
    long UnknownReports() const { return unknown_; }

    // The 28 bytes the slot table query answers: macro slot owners in 1..13,
    // remap slot owners in 14..23.
    std::array<std::uint8_t, 28> SlotTable() const;
    HardwareMacro DecodeHardwareMacro(int slot) const;
    SlotMacro DecodeSlotMacro(int slot) const;  // slot 1..13

    // The memory as text (the state file) and back. Load returns false and
    // leaves the factory state when the text is not a state file; lines it
    // cannot read are skipped.
    std::string Save() const;
    bool Load(const std::string& text);
    // One line per item of state, for people and scripts.
    std::string Describe() const;

    void FactoryReset();

private:
    void FeatureCommand(const std::uint8_t* f);
    void PacketCommand(const std::uint8_t* d);

    FirmwareMemory mem_;
    std::uint16_t version_;
    enum class Answer { None, Table, Version } answer_ = Answer::None;
    int tableChunk_ = 0;
    int blockSlot_ = 0;    // slot the block being received goes to, 0 = none
    int blockChunks_ = 0;  // 6-byte chunks received of it
    long unknown_ = 0;
};

}  // namespace sim
