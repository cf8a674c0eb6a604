#include "link/commands/encoders.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "link/keys/key_codes.h"
#include "platform/text.h"

namespace commands {

namespace {

constexpr std::uint8_t kReportId = 7;
constexpr std::uint8_t kPacketMagic[4] = {0xBB, 0xAA, 0x99, 0x88};
constexpr int kStepPress = 2;
constexpr int kStepRelease = 3;
constexpr int kShortcutDelayMs = 100;

std::uint8_t Byte(int v) { return static_cast<std::uint8_t>(v & 0xFF); }

// "minus one" of the feature-report light commands: 0 stays 0.
std::uint8_t MinusOne(int v) { return Byte(v > 0 ? v - 1 : 0); }

int OptionByte(const LightSettingRow& row, int option) { return (row.configFunc & 0x100) ? option : 0; }

void ColourBytes(int colour, std::uint8_t& c0, std::uint8_t& c1, std::uint8_t& c2) {
    c0 = Byte(colour);
    c1 = Byte(colour >> 8);
    c2 = Byte(colour >> 16);
}

// An output report carrying `len` bytes of `area` from `off` on:
// 00 cmd len offLo offHi, then the payload from `payloadAt`.
template <size_t N>
OutputReport AreaReport(std::uint8_t command, int len, int off, const std::array<std::uint8_t, N>& area,
                        int payloadAt, int payloadBytes, int slot = -1) {
    OutputReport r{};
    r[1] = command;
    r[2] = Byte(len);
    r[3] = Byte(off);
    r[4] = Byte(off >> 8);
    if (slot >= 0) r[5] = Byte(slot);
    // The last report of an area carries fewer bytes than its fellows; what
    // lies past the area's end goes out as zeros.
    for (int i = 0; i < payloadBytes; ++i) {
        const int at = off + i;
        r[static_cast<size_t>(payloadAt + i)] = at < static_cast<int>(N) ? area[static_cast<size_t>(at)] : 0;
    }
    return r;
}

bool IsKeyStep(const MacroRecordRow& r) { return r.type == kStepPress || r.type == kStepRelease; }

}  // namespace

// ---- key remap and macro slots ----------------------------------------------

FeatureReport SlotTableRequest() { return {kReportId, 0xFB, 0x01, 0, 0, 0, 0, 0}; }

FeatureReport RemapSlotReport(int slot, int keyCode, int value) {
    return {kReportId, 0xFA, 0x01, Byte(slot), Byte(keyCode), 0x01, Byte(value), 0x01};
}

FeatureReport EmptyRemapSlotReport(int slot) { return {kReportId, 0xFA, 0x01, Byte(slot), 0x00, 0x01, 0x00, 0x01}; }

SlotBlock EmptySlotBlock(int slot) {
    SlotBlock b{};
    b[0] = 1;
    b[1] = Byte(slot);
    return b;
}

SlotBlock ShortcutSlotBlock(int slot, int keyCode, int number) {
    SlotBlock b = EmptySlotBlock(slot);
    b[2] = Byte(keyCode);
    b[3] = 1;
    size_t at = 4;
    for (const keys::ShortcutStep& s : keys::BuiltInShortcut(number)) {
        b[at++] = s.keyCode;
        b[at++] = keys::EncodeStepDelay(s.release, 10);
    }
    return b;
}

SlotBlock MacroSlotBlock(int slot, int keyCode, bool exists, int playTimes, std::span<const MacroRecordRow> steps) {
    SlotBlock b = EmptySlotBlock(slot);
    if (exists) {
        b[2] = Byte(keyCode);
        b[3] = Byte(playTimes);
    }
    size_t at = 4;
    int placed = 0;
    for (const MacroRecordRow& s : steps) {
        if (!IsKeyStep(s)) continue;
        if (placed == kMaxSlotSteps) break;
        b[at++] = Byte(keys::VirtualKeyToKeyCode(s.value));
        b[at++] = keys::EncodeStepDelay(s.type == kStepRelease, s.delayTime);
        ++placed;
    }
    return b;
}

std::array<FeatureReport, kSlotBlockReports> SlotBlockReports(const SlotBlock& block) {
    std::array<FeatureReport, kSlotBlockReports> out{};
    for (int i = 0; i < kSlotBlockReports; ++i) {
        FeatureReport& r = out[static_cast<size_t>(i)];
        r[0] = kReportId;
        r[1] = i == 0 ? 0xF1 : 0x00;
        std::memcpy(r.data() + 2, block.data() + 6 * i, 6);
    }
    return out;
}

int OwnedSlot(std::span<const std::uint8_t> owners, int keyCode) {
    for (size_t i = 0; i < owners.size(); ++i)
        if (owners[i] == keyCode) return static_cast<int>(i) + 1;
    return 0;
}

int ChooseSlot(std::span<const std::uint8_t> owners, int keyCode) {
    if (const int own = OwnedSlot(owners, keyCode)) return own;
    for (size_t i = 0; i < owners.size(); ++i)
        if (owners[i] == 0) return static_cast<int>(i) + 1;
    return 1;
}

// ---- macros and key table ---------------------------------------------------

std::vector<std::uint8_t> HardwareMacroBuffer(int playTimes, int totalSteps, std::span<const MacroRecordRow> steps,
                                              int& placedSteps) {
    // Whole packets' worth, so that the last packet reads zeros past 1200.
    const int packets = (kHardwareMacroBytes + kMacroPayload - 1) / kMacroPayload;
    std::vector<std::uint8_t> d(static_cast<size_t>(packets * kMacroPayload), 0);
    d[0] = Byte(std::clamp(playTimes, 1, 255));
    d[1] = Byte(totalSteps);
    size_t at = 2;
    placedSteps = 0;
    for (const MacroRecordRow& s : steps) {
        if (!IsKeyStep(s)) continue;
        if (placedSteps == kMaxHardwareSteps) break;
        const int delay = s.delayTime & 0xFFFF;
        d[at++] = Byte(keys::VirtualKeyToKeyCode(s.value));
        d[at++] = Byte(delay);
        d[at++] = s.type == kStepPress ? Byte((delay >> 8) | 0x80) : Byte((delay >> 8) & 0x7F);
        ++placedSteps;
    }
    return d;
}

std::vector<OutputReport> HardwareMacroReports(const std::vector<std::uint8_t>& buffer, int placedSteps, int slot) {
    const int total = 3 * placedSteps + 3;
    const int packets = (total + kMacroPayload - 1) / kMacroPayload;
    std::vector<OutputReport> out;
    out.reserve(static_cast<size_t>(packets));
    for (int k = 0; k < packets; ++k) {
        const int off = kMacroPayload * k;
        const int len = k == packets - 1 ? total - kMacroPayload * (packets - 1) : kMacroPayload;
        OutputReport r{};
        r[1] = 0x8E;
        r[2] = Byte(len);
        r[3] = Byte(off);
        r[4] = Byte(off >> 8);
        r[5] = Byte(slot);
        for (int i = 0; i < kMacroPayload; ++i) {
            const size_t at = static_cast<size_t>(off + i);
            r[static_cast<size_t>(6 + i)] = at < buffer.size() ? buffer[at] : 0;
        }
        out.push_back(r);
    }
    return out;
}

OutputReport ShortcutMacroReport(int slot, int number) {
    const auto steps = keys::BuiltInShortcut(number);
    const int count = static_cast<int>(steps.size());
    OutputReport r{};
    r[1] = 0x8E;
    r[2] = Byte(3 * count + 3);
    r[5] = Byte(slot);
    r[6] = 1;
    r[7] = Byte(count);
    size_t at = 8;
    for (const keys::ShortcutStep& s : steps) {
        r[at++] = s.keyCode;
        r[at++] = Byte(kShortcutDelayMs);
        r[at++] = s.release ? Byte((kShortcutDelayMs >> 8) & 0x7F) : Byte((kShortcutDelayMs >> 8) | 0x80);
    }
    return r;
}

std::array<OutputReport, 4> KeyTableReports(const KeyTable& table) {
    std::array<OutputReport, 4> out{};
    for (int j = 0; j < 4; ++j)
        out[static_cast<size_t>(j)] =
            AreaReport(0x8D, j == 3 ? 40 : kKeyTablePayload, kKeyTablePayload * j, table, 5, kKeyTablePayload);
    return out;
}

int LayoutIndex(const std::map<int, int>& map, int code, int limit) {
    if (map.empty()) return 0;
    const auto it = map.find(code);
    if (it == map.end()) return -1;
    // An index the keyboard has no place for is dropped like a missing code.
    return it->second >= 0 && it->second < limit ? it->second : -1;
}

// ---- lighting -----------------------------------------------------------------

OutputReport LightModeReport(int mode) {
    OutputReport r{};
    r[1] = 0x88;
    r[3] = Byte(mode);
    return r;
}

OutputReport LightParameterReport(const LightSettingRow& row) {
    OutputReport r{};
    r[1] = 0x89;
    r[3] = Byte((row.direction & 3) * 16 + (row.colorful != 0 ? 0x40 : 0) + (row.speed & 0x0F));
    ColourBytes(row.colorValue, r[4], r[5], r[6]);
    r[7] = Byte(row.brightness);
    return r;
}

FeatureReport LightFeatureReport(const LightSettingRow& row, int option) {
    FeatureReport r{kReportId,
                    0xF7,
                    Byte(row.mode - 1),
                    Byte(row.colorindex),
                    Byte(row.direction),
                    MinusOne(row.speed),
                    MinusOne(row.brightness),
                    Byte(OptionByte(row, option))};
    if (row.mode == 4) {
        ColourBytes(row.colorValue, r[4], r[5], r[7]);
    } else if (row.mode == 9) {
        r[5] = Byte(row.speed);
    }
    return r;
}

Packet LightPacket(const LightSettingRow& row, int option) {
    Packet p{};
    std::memcpy(p.data(), kPacketMagic, 4);
    p[4] = 0xAA;
    p[5] = Byte(row.mode - 1);
    p[6] = Byte(row.colorindex);
    p[7] = Byte(row.direction);
    p[8] = MinusOne(row.speed);
    p[9] = MinusOne(row.brightness);
    p[10] = Byte(OptionByte(row, option));
    if (row.mode == 4) ColourBytes(row.colorValue, p[7], p[8], p[10]);
    return p;
}

FeatureReport LightPresetReport(const LightSettingRow& row, int option) {
    return {kReportId, 0xFF, 0xFF, Byte(row.mode - 1), Byte(row.brightness), Byte(row.speed), 0x00,
            Byte(OptionByte(row, option))};
}

std::array<OutputReport, 8> CustomColourReports(const CustomColourTable& table) {
    std::array<OutputReport, 8> out{};
    for (int j = 0; j < 8; ++j) out[static_cast<size_t>(j)] = AreaReport(0x8B, j == 7 ? 20 : 60, 60 * j, table, 5, 60);
    return out;
}

OutputReport StreamModeReport() {
    OutputReport r{};
    r[1] = 0xF0;
    r[2] = 0xF4;
    r[3] = 0x01;
    return r;
}

std::array<OutputReport, 6> FrameReports(const ColourFrame& frame) {
    std::array<OutputReport, 6> out{};
    for (int j = 0; j < 6; ++j) out[static_cast<size_t>(j)] = AreaReport(0xF1, j == 5 ? 30 : 60, 60 * j, frame, 5, 60);
    return out;
}

int MusicLevelValue(int level, float gain) {
    // The product is taken in float, as the gain is kept.
    const float p = static_cast<float>(level) * gain;
    if (!(p >= static_cast<float>(INT_MIN) && p < static_cast<float>(INT_MAX))) return 0;
    const int v = static_cast<int>(p);
    return std::clamp(v, 0, 255);
}

FeatureReport MusicLevelReport(int colour, int effect, int value) {
    return {kReportId, 0x23, 0x45, 0x67, 0x89, Byte(colour), Byte(effect), Byte(value)};
}

// ---- device queries and maintenance -----------------------------------------

OutputReport FactoryResetReport() {
    OutputReport r{};
    r[1] = 0xFF;
    r[2] = 0xFE;
    r[3] = 0xAA;
    r[4] = 0xFF;
    return r;
}

FeatureReport FactoryResetFeature() { return {kReportId, 0xF0, 0xAA, 0, 0, 0, 0, 0}; }

Packet FactoryResetPacket() {
    Packet p{};
    std::memcpy(p.data(), kPacketMagic, 4);
    for (int i = 4; i < 10; ++i) p[static_cast<size_t>(i)] = 0xAA;
    return p;
}

Packet FactoryResetEndPacket() {
    Packet p{};
    std::memcpy(p.data(), kPacketMagic, 4);
    return p;
}

int FirmwareVersionNumber(int version) {
    if (version < 0) return -1;
    CString hex;
    hex.Format(L"%x", static_cast<unsigned>(version));
    return platform::ParseDecimal(hex);
}

namespace {

std::vector<CString> SplitDots(const CString& v) {
    std::vector<CString> parts;
    size_t start = 0;
    for (;;) {
        const size_t dot = v.find(L'.', start);
        parts.emplace_back(v.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start));
        if (dot == std::wstring::npos) break;
        start = dot + 1;
    }
    return parts;
}

}  // namespace

int CompareVersions(const CString& local, const CString& remote) {
    const std::vector<CString> a = SplitDots(local);
    const std::vector<CString> b = SplitDots(remote);
    if (a.size() != b.size()) return 1;
    for (size_t i = 0; i < a.size(); ++i) {
        const int l = platform::ParseDecimal(a[i]);
        const int r = platform::ParseDecimal(b[i]);
        if (l < r) return 1;
        if (l > r) return -1;
    }
    return 0;
}

}  // namespace commands
