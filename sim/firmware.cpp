#include "sim/firmware.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace sim {

namespace {

constexpr std::uint8_t kPacketMagic[4] = {0xBB, 0xAA, 0x99, 0x88};
constexpr const char* kStateHeader = "keyloom-sim-state 1";

int Off(const std::uint8_t* d) { return d[2] | (d[3] << 8); }

// Copies a report's whole payload into a memory area at `off`, clipped to
// the area: a report never writes outside it. The length byte is not used:
// the last key-table report says 40 and carries the 60 bytes of indexes 90
// to 119, and the shortcut reports count only their steps.
template <size_t N>
void Place(std::array<std::uint8_t, N>& area, int off, const std::uint8_t* payload, int len) {
    if (off < 0 || off >= static_cast<int>(N) || len <= 0) return;
    len = std::min(len, static_cast<int>(N) - off);
    std::memcpy(area.data() + off, payload, static_cast<size_t>(len));
}

std::string Hex(const std::uint8_t* p, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 0xF];
    }
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Unhex(const std::string& s, std::vector<std::uint8_t>& out, size_t maxBytes) {
    if (s.size() % 2 != 0 || s.size() / 2 > maxBytes) return false;
    out.clear();
    for (size_t i = 0; i < s.size(); i += 2) {
        const int hi = HexDigit(s[i]);
        const int lo = HexDigit(s[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return true;
}

template <size_t N>
bool UnhexExact(const std::string& s, std::array<std::uint8_t, N>& out) {
    std::vector<std::uint8_t> v;
    if (!Unhex(s, v, N) || v.size() != N) return false;
    std::copy(v.begin(), v.end(), out.begin());
    return true;
}

bool ReadInts(std::istringstream& in, int* values, int count) {
    for (int i = 0; i < count; ++i) {
        long long v = 0;
        if (!(in >> v) || v < -2147483647LL || v > 2147483647LL) return false;
        values[i] = static_cast<int>(v);
    }
    return true;
}

}  // namespace

void Firmware::FactoryReset() {
    const int resets = mem_.resets;
    mem_ = FirmwareMemory{};
    mem_.resets = resets + 1;
    blockSlot_ = 0;
    blockChunks_ = 0;
    answer_ = Answer::None;
}

void Firmware::Output(const std::uint8_t* report, std::size_t length, bool auxInterface) {
    (void)auxInterface;
    std::uint8_t buf[65] = {};
    std::memcpy(buf, report, std::min<std::size_t>(length, sizeof buf));
    const std::uint8_t* d = buf + 1;  // after the report id

    if (std::memcmp(d, kPacketMagic, 4) == 0) {
        PacketCommand(d);
        return;
    }
    switch (d[0]) {
    case 0x8D:
        Place(mem_.keyTable, Off(d), d + 4, 60);
        return;
    case 0x8E: {
        const int off = Off(d);
        const int slot = d[4];
        if (off >= kMacroMemoryBytes) return;
        auto& m = mem_.macroMemory[slot];
        const int n = std::min(59, kMacroMemoryBytes - off);
        if (static_cast<int>(m.size()) < off + n) m.resize(static_cast<size_t>(off + n), 0);
        std::memcpy(m.data() + off, d + 5, static_cast<size_t>(n));
        return;
    }
    case 0x88:
        mem_.light.mode = d[2];
        return;
    case 0x89:
        mem_.light.direction = (d[2] >> 4) & 3;
        mem_.light.colorful = (d[2] & 0x40) ? 1 : 0;
        mem_.light.speed = d[2] & 0x0F;
        mem_.light.colour = static_cast<std::uint32_t>(d[3] | (d[4] << 8) | (d[5] << 16));
        mem_.light.brightness = d[6];
        return;
    case 0x8B:
        Place(mem_.customColours, Off(d), d + 4, 60);
        return;
    case 0xF0:
        if (d[1] == 0xF4 && d[2] == 0x01) {
            mem_.streamMode = true;
            return;
        }
        break;
    case 0xF1: {
        const int off = Off(d);
        Place(mem_.frame, off, d + 4, 60);
        // The report that reaches the end of the frame completes it.
        if (off < static_cast<int>(mem_.frame.size()) && off + 60 >= static_cast<int>(mem_.frame.size()))
            ++mem_.framesShown;
        return;
    }
    case 0xFF:
        if (d[1] == 0xFE && d[2] == 0xAA && d[3] == 0xFF) {
            FactoryReset();
            return;
        }
        break;
    default:
        break;
    }
    ++unknown_;
}

void Firmware::PacketCommand(const std::uint8_t* d) {
    bool allAA = true;
    for (int i = 4; i <= 9; ++i) allAA = allAA && d[i] == 0xAA;
    bool restZero = true;
    for (int i = 4; i < 64; ++i) restZero = restZero && d[i] == 0;
    if (allAA) {
        FactoryReset();
        mem_.resetPending = true;
        return;
    }
    if (restZero) {
        if (mem_.resetPending) {
            mem_.resetPending = false;
            return;
        }
        ++unknown_;
        return;
    }
    if (d[4] != 0xAA) {
        ++unknown_;
        return;
    }
    LightState& l = mem_.light;
    const int m = d[5];
    l.mode = m + 1;
    l.colorindex = d[6];
    l.brightness = d[9];
    if (m == 3) {
        l.colour = static_cast<std::uint32_t>(d[7] | (d[8] << 8) | (d[10] << 16));
    } else {
        l.direction = d[7];
        l.speed = d[8];
        l.option = d[10];
    }
}

void Firmware::FeatureWrite(const std::uint8_t* report, std::size_t length) {
    std::uint8_t f[8] = {};
    std::memcpy(f, report, std::min<std::size_t>(length, sizeof f));
    if (f[0] != 7) {
        ++unknown_;
        return;
    }
    FeatureCommand(f);
}

void Firmware::FeatureCommand(const std::uint8_t* f) {
    if (f[1] == 0x00 && blockSlot_ != 0 && blockChunks_ < kSlotBlockReports) {
        if (blockSlot_ > 0)
            std::memcpy(mem_.macroSlots[static_cast<size_t>(blockSlot_ - 1)].block.data() + 6 * blockChunks_, f + 2, 6);
        if (++blockChunks_ == kSlotBlockReports) blockSlot_ = 0;
        return;
    }
    // Any other command ends a block that was cut short; what arrived stays.
    blockSlot_ = 0;

    switch (f[1]) {
    case 0xFF:
        if (f[2] == 0xFF) {
            mem_.preset = PresetState{true, f[3] + 1, f[4], f[5], f[7]};
            return;
        }
        break;
    case 0xF1: {
        const int slot = f[3];
        blockChunks_ = 1;
        if (slot < 1 || slot > kMacroSlotCount) {
            blockSlot_ = -1;  // the rest of the block is taken and dropped
            ++unknown_;
            return;
        }
        MacroSlot& s = mem_.macroSlots[static_cast<size_t>(slot - 1)];
        s.block.fill(0);
        std::memcpy(s.block.data(), f + 2, 6);
        s.owner = s.block[2];
        blockSlot_ = slot;
        return;
    }
    case 0xFA:
        if (f[2] == 0x01 && f[3] >= 1 && f[3] <= kRemapSlotCount) {
            RemapSlot& r = mem_.remapSlots[static_cast<size_t>(f[3] - 1)];
            r.owner = f[4];
            r.target = f[6];
            return;
        }
        break;
    case 0xFB:
        answer_ = Answer::Table;
        tableChunk_ = 0;
        return;
    case 0xF7: {
        LightState& l = mem_.light;
        const int m = f[2];
        l.mode = m + 1;
        l.colorindex = f[3];
        l.brightness = f[6];
        if (m == 3) {
            l.colour = static_cast<std::uint32_t>(f[4] | (f[5] << 8) | (f[7] << 16));
        } else {
            l.direction = f[4];
            l.speed = f[5];
            l.option = f[7];
        }
        return;
    }
    case 0x23:
        if (f[2] == 0x45 && f[3] == 0x67 && f[4] == 0x89) {
            mem_.music.colour = f[5];
            mem_.music.effect = f[6];
            mem_.music.level = f[7];
            ++mem_.music.count;
            return;
        }
        break;
    case 0xF0:
        if (f[2] == 0xAA) {
            FactoryReset();
            return;
        }
        break;
    case 0xFD:
        answer_ = Answer::Version;
        return;
    default:
        break;
    }
    ++unknown_;
}

int Firmware::FeatureRead(std::uint8_t* report, std::size_t length) {
    std::uint8_t out[8] = {7, 0, 0, 0, 0, 0, 0, 0};
    if (answer_ == Answer::Table) {
        const auto table = SlotTable();
        std::memcpy(out + 1, table.data() + 7 * tableChunk_, 7);
        tableChunk_ = (tableChunk_ + 1) % 4;
    } else if (answer_ == Answer::Version) {
        out[1] = static_cast<std::uint8_t>(version_ >> 8);
        out[2] = static_cast<std::uint8_t>(version_ & 0xFF);
    }
    const size_t n = std::min<std::size_t>(length, sizeof out);
    std::memcpy(report, out, n);
    return static_cast<int>(n);
}

std::array<std::uint8_t, 28> Firmware::SlotTable() const {
    std::array<std::uint8_t, 28> t{};
    for (int i = 0; i < kMacroSlotCount; ++i)
        t[static_cast<size_t>(1 + i)] = static_cast<std::uint8_t>(mem_.macroSlots[static_cast<size_t>(i)].owner);
    for (int i = 0; i < kRemapSlotCount; ++i)
        t[static_cast<size_t>(14 + i)] = static_cast<std::uint8_t>(mem_.remapSlots[static_cast<size_t>(i)].owner);
    return t;
}

HardwareMacro Firmware::DecodeHardwareMacro(int slot) const {
    HardwareMacro m;
    auto it = mem_.macroMemory.find(slot);
    if (it == mem_.macroMemory.end()) return m;
    const std::vector<std::uint8_t>& b = it->second;
    if (b.size() >= 1) m.playTimes = b[0];
    if (b.size() >= 2) m.stepCount = b[1];
    for (size_t pos = 2; pos + 2 < b.size(); pos += 3) {
        if (b[pos] == 0 && b[pos + 1] == 0 && b[pos + 2] == 0) break;
        MacroStep s;
        s.code = b[pos];
        s.pressed = (b[pos + 2] & 0x80) != 0;
        s.delayMs = b[pos + 1] | ((b[pos + 2] & 0x7F) << 8);
        m.steps.push_back(s);
    }
    return m;
}

SlotMacro Firmware::DecodeSlotMacro(int slot) const {
    SlotMacro m;
    if (slot < 1 || slot > kMacroSlotCount) return m;
    const auto& s = mem_.macroSlots[static_cast<size_t>(slot - 1)];
    m.owner = s.owner;
    m.playTimes = s.block[3];
    for (size_t pos = 4; pos + 1 < s.block.size(); pos += 2) {
        if (s.block[pos] == 0 && s.block[pos + 1] == 0) break;
        MacroStep step;
        step.code = s.block[pos];
        step.delayByte = s.block[pos + 1];
        step.pressed = (s.block[pos + 1] & 0x80) == 0;
        m.steps.push_back(step);
    }
    return m;
}

std::string Firmware::Save() const {
    std::ostringstream o;
    char line[96];
    o << kStateHeader << "\n";
    std::snprintf(line, sizeof line, "firmware %04X\n", version_);
    o << line;
    o << "keytable " << Hex(mem_.keyTable.data(), mem_.keyTable.size()) << "\n";
    for (const auto& [slot, bytes] : mem_.macroMemory)
        o << "macro " << slot << " " << Hex(bytes.data(), bytes.size()) << "\n";
    o << "colours " << Hex(mem_.customColours.data(), mem_.customColours.size()) << "\n";
    o << "frame " << Hex(mem_.frame.data(), mem_.frame.size()) << "\n";
    o << "frames " << mem_.framesShown << "\n";
    o << "stream " << (mem_.streamMode ? 1 : 0) << "\n";
    const PresetState& p = mem_.preset;
    o << "preset " << (p.set ? 1 : 0) << " " << p.mode << " " << p.brightness << " " << p.speed << " " << p.slot << "\n";
    const LightState& l = mem_.light;
    o << "light " << l.mode << " " << l.brightness << " " << l.speed << " " << l.direction << " " << l.colorful << " "
      << l.colorindex << " " << l.colour << " " << l.option << "\n";
    for (int i = 0; i < kMacroSlotCount; ++i) {
        const MacroSlot& s = mem_.macroSlots[static_cast<size_t>(i)];
        o << "slot " << (i + 1) << " " << s.owner << " " << Hex(s.block.data(), s.block.size()) << "\n";
    }
    for (int i = 0; i < kRemapSlotCount; ++i) {
        const RemapSlot& r = mem_.remapSlots[static_cast<size_t>(i)];
        o << "remap " << (i + 1) << " " << r.owner << " " << r.target << "\n";
    }
    const MusicState& m = mem_.music;
    o << "music " << m.colour << " " << m.effect << " " << m.level << " " << m.count << "\n";
    o << "resets " << mem_.resets << " " << (mem_.resetPending ? 1 : 0) << "\n";
    return o.str();
}

bool Firmware::Load(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kStateHeader) return false;
    FirmwareMemory mem;
    std::uint16_t version = version_;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::string key;
        if (!(f >> key)) continue;
        std::string hex;
        int v[8] = {};
        if (key == "firmware") {
            std::vector<std::uint8_t> b;
            if (f >> hex && Unhex(hex, b, 2) && b.size() == 2) version = static_cast<std::uint16_t>(b[0] << 8 | b[1]);
        } else if (key == "keytable") {
            if (f >> hex) UnhexExact(hex, mem.keyTable);
        } else if (key == "macro") {
            std::vector<std::uint8_t> b;
            if (ReadInts(f, v, 1) && v[0] >= 0 && v[0] <= 255 && f >> hex && Unhex(hex, b, kMacroMemoryBytes))
                mem.macroMemory[v[0]] = b;
        } else if (key == "colours") {
            if (f >> hex) UnhexExact(hex, mem.customColours);
        } else if (key == "frame") {
            if (f >> hex) UnhexExact(hex, mem.frame);
        } else if (key == "frames") {
            if (ReadInts(f, v, 1)) mem.framesShown = v[0];
        } else if (key == "stream") {
            if (ReadInts(f, v, 1)) mem.streamMode = v[0] != 0;
        } else if (key == "preset") {
            if (ReadInts(f, v, 5)) mem.preset = PresetState{v[0] != 0, v[1], v[2], v[3], v[4]};
        } else if (key == "light") {
            if (ReadInts(f, v, 5)) {
                long long colour = 0;
                int rest[1] = {};
                int ci[1] = {};
                if (ReadInts(f, ci, 1) && f >> colour && ReadInts(f, rest, 1)) {
                    mem.light = LightState{v[0], v[1], v[2], v[3], v[4], ci[0],
                                           static_cast<std::uint32_t>(colour & 0xFFFFFF), rest[0]};
                }
            }
        } else if (key == "slot") {
            if (ReadInts(f, v, 2) && v[0] >= 1 && v[0] <= kMacroSlotCount && f >> hex) {
                MacroSlot s;
                if (UnhexExact(hex, s.block)) {
                    s.owner = v[1] & 0xFF;
                    mem.macroSlots[static_cast<size_t>(v[0] - 1)] = s;
                }
            }
        } else if (key == "remap") {
            if (ReadInts(f, v, 3) && v[0] >= 1 && v[0] <= kRemapSlotCount)
                mem.remapSlots[static_cast<size_t>(v[0] - 1)] = RemapSlot{v[1] & 0xFF, v[2] & 0xFF};
        } else if (key == "music") {
            if (ReadInts(f, v, 4)) mem.music = MusicState{v[0], v[1], v[2], v[3]};
        } else if (key == "resets") {
            if (ReadInts(f, v, 2)) {
                mem.resets = v[0];
                mem.resetPending = v[1] != 0;
            }
        }
    }
    mem_ = mem;
    version_ = version;
    return true;
}

std::string Firmware::Describe() const {
    std::ostringstream o;
    char buf[160];
    std::snprintf(buf, sizeof buf, "firmware 0x%04X\n", version_);
    o << buf;
    const LightState& l = mem_.light;
    std::snprintf(buf, sizeof buf,
                  "light mode=%d brightness=%d speed=%d direction=%d colorful=%d colorindex=%d color=0x%06X option=%d\n",
                  l.mode, l.brightness, l.speed, l.direction, l.colorful, l.colorindex, l.colour, l.option);
    o << buf;
    const PresetState& p = mem_.preset;
    if (p.set) {
        std::snprintf(buf, sizeof buf, "preset mode=%d brightness=%d speed=%d slot=%d\n", p.mode, p.brightness,
                      p.speed, p.slot);
        o << buf;
    }
    o << "stream_mode " << (mem_.streamMode ? 1 : 0) << "\n";
    o << "frames " << mem_.framesShown << "\n";
    for (int i = 0; i < kKeyIndexes; ++i) {
        const int value = mem_.keyTable[static_cast<size_t>(2 * i)];
        const int flags = mem_.keyTable[static_cast<size_t>(2 * i + 1)];
        if (value == 0 && flags == 0) continue;
        std::snprintf(buf, sizeof buf, "key_table %d value=%d flags=0x%02X\n", i, value, flags);
        o << buf;
    }
    for (const auto& [slot, bytes] : mem_.macroMemory) {
        (void)bytes;
        const HardwareMacro m = DecodeHardwareMacro(slot);
        o << "macro " << slot << " play=" << m.playTimes << " steps=" << m.steps.size();
        for (const MacroStep& s : m.steps) o << " " << s.code << (s.pressed ? "d" : "u") << s.delayMs;
        o << "\n";
    }
    for (int i = 0; i < kLightIndexes; ++i) {
        const auto* c = mem_.customColours.data() + 4 * i;
        if (c[3] == 0) continue;
        std::snprintf(buf, sizeof buf, "custom_color %d 0x%02X%02X%02X\n", i, c[2], c[1], c[0]);
        o << buf;
    }
    for (int i = 1; i <= kMacroSlotCount; ++i) {
        const SlotMacro m = DecodeSlotMacro(i);
        if (m.owner == 0 && m.steps.empty()) continue;
        o << "macro_slot " << i << " key=" << m.owner << " play=" << m.playTimes << " steps=" << m.steps.size();
        for (const MacroStep& s : m.steps) {
            std::snprintf(buf, sizeof buf, " %d:%02X", s.code, s.delayByte);
            o << buf;
        }
        o << "\n";
    }
    for (int i = 0; i < kRemapSlotCount; ++i) {
        const RemapSlot& r = mem_.remapSlots[static_cast<size_t>(i)];
        if (r.owner == 0 && r.target == 0) continue;
        o << "remap_slot " << (i + 1) << " key=" << r.owner << " target=" << r.target << "\n";
    }
    const MusicState& m = mem_.music;
    o << "music color=" << m.colour << " effect=" << m.effect << " level=" << m.level << " count=" << m.count << "\n";
    o << "resets " << mem_.resets << "\n";
    return o.str();
}

}  // namespace sim
