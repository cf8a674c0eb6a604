#include "link/keys/key_codes.h"

#include <algorithm>
#include <array>

namespace keys {

namespace {

struct Pair {
    int from;
    int to;
};

// Virtual keys other than letters, digits and the function-key ranges.
constexpr Pair kVirtualKeys[] = {
    {8, 42},    {9, 43},    {13, 40},   {19, 72},   {20, 57},   {27, 41},   {32, 44},   {33, 75},
    {34, 78},   {35, 77},   {36, 74},   {37, 80},   {38, 82},   {39, 79},   {40, 81},   {44, 70},
    {45, 73},   {46, 76},   {91, 227},  {92, 231},  {93, 101},  {96, 98},   {97, 89},   {98, 90},
    {99, 91},   {100, 92},  {101, 93},  {102, 94},  {103, 95},  {104, 96},  {105, 97},  {106, 85},
    {107, 87},  {108, 88},  {109, 86},  {110, 99},  {111, 84},  {136, 136}, {144, 83},  {145, 71},
    {160, 225}, {161, 229}, {162, 224}, {163, 228}, {164, 226}, {165, 230}, {166, 243}, {167, 244},
    {168, 246}, {169, 245}, {170, 247}, {171, 248}, {172, 241}, {173, 235}, {174, 233}, {175, 234},
    {176, 239}, {177, 237}, {178, 236}, {179, 238}, {180, 240}, {181, 232}, {182, 249}, {183, 242},
    {186, 51},  {187, 46},  {188, 54},  {189, 45},  {190, 55},  {191, 56},  {192, 53},  {219, 47},
    {220, 49},  {221, 48},  {222, 52},  {226, 100}, {254, 175}, {666, 50},
};

constexpr Pair kConsumer[] = {
    {232, 0x183}, {233, 0x0EA}, {234, 0x0E9}, {235, 0x0E2}, {236, 0x0B7}, {237, 0x0B6},
    {238, 0x0CD}, {239, 0x0B5}, {240, 0x18A}, {241, 0x223}, {242, 0x192}, {243, 0x224},
    {244, 0x225}, {245, 0x226}, {246, 0x227}, {247, 0x221}, {248, 0x22A}, {249, 0x194},
};

constexpr std::uint8_t kLCtrl = 224, kLAlt = 226, kLGui = 227;

// modifier + key: modifier down, key down, key up, modifier up
#define KEYLOOM_CHORD(mod, key) \
    { {mod, false}, {key, false}, {key, true}, {mod, true} }

constexpr ShortcutStep kChords[][4] = {
    KEYLOOM_CHORD(kLCtrl, 4),   // 1 select all
    KEYLOOM_CHORD(kLCtrl, 6),   // 2 copy
    KEYLOOM_CHORD(kLCtrl, 27),  // 3 cut
    KEYLOOM_CHORD(kLCtrl, 25),  // 4 paste
    KEYLOOM_CHORD(kLCtrl, 29),  // 5 undo
    KEYLOOM_CHORD(kLCtrl, 22),  // 6 save
    KEYLOOM_CHORD(kLGui, 8),    // 7 file manager
    KEYLOOM_CHORD(kLGui, 15),   // 8 lock
    KEYLOOM_CHORD(kLGui, 7),    // 9 desktop
    KEYLOOM_CHORD(kLAlt, 43),   // 10 switch window
    KEYLOOM_CHORD(kLGui, 16),   // 11 minimise all
    KEYLOOM_CHORD(kLCtrl, 26),  // 12 close tab
};
#undef KEYLOOM_CHORD

constexpr ShortcutStep kCloseChord[4] = {{kLAlt, false}, {61, false}, {61, true}, {kLAlt, true}};  // 15

// 13 and 14 open the window menu (Alt+Space) and pick maximise or minimise.
constexpr ShortcutStep kWindowMenu[2][6] = {
    {{kLAlt, false}, {44, false}, {27, false}, {27, true}, {44, true}, {kLAlt, true}},
    {{kLAlt, false}, {44, false}, {17, false}, {17, true}, {44, true}, {kLAlt, true}},
};

int Lookup(const Pair* begin, const Pair* end, int from) {
    const Pair* it = std::find_if(begin, end, [from](const Pair& p) { return p.from == from; });
    return it == end ? 0 : it->to;
}

}  // namespace

int VirtualKeyToKeyCode(int vk) {
    if (vk >= 65 && vk <= 90) return vk - 65 + 4;     // A-Z
    if (vk >= 49 && vk <= 57) return vk - 49 + 30;    // 1-9
    if (vk == 48) return 39;                          // 0
    if (vk >= 112 && vk <= 123) return vk - 112 + 58;  // F1-F12
    if (vk >= 124 && vk <= 135) return vk - 124 + 104; // F13-F24
    return Lookup(std::begin(kVirtualKeys), std::end(kVirtualKeys), vk);
}

std::uint8_t EncodeStepDelay(bool release, int ms) {
    ms = std::min(ms, 31000);
    int unit = 0, n = 0;
    if (ms < 0) {
        unit = 0; n = 0;
    } else if (ms <= 10) {
        unit = 0; n = 1;
    } else if (ms <= 310) {
        unit = 0; n = ms / 10;
    } else if (ms <= 1550) {
        unit = 1; n = ms / 50;
    } else if (ms <= 3100) {
        unit = 1; n = ms / 100;  // unit 10 is never written
    } else {
        unit = 3; n = ms / 1000;
    }
    std::uint8_t b = static_cast<std::uint8_t>((release ? 0x80 : 0) | (unit << 5) | (n & 0x1F));
    // 0 and 1 (a press of at most 10 ms, a negative delay) go out as 1.
    if ((b & 0x7F) <= 1) b = static_cast<std::uint8_t>((b & 0x80) | 1);
    return b;
}

std::span<const ShortcutStep> BuiltInShortcut(int number) {
    if (number >= 1 && number <= 12) return kChords[number - 1];
    if (number == 13 || number == 14) return kWindowMenu[number - 13];
    if (number == 15) return kCloseChord;
    return {};
}

int ConsumerUsageForKeyCode(int keyCode) {
    return Lookup(std::begin(kConsumer), std::end(kConsumer), keyCode);
}

int MouseButtonBit(int value) {
    switch (value) {
        case 1: return 0;  // left
        case 2: return 2;  // middle
        case 3: return 1;  // right
        case 7: return 4;  // forward
        case 8: return 3;  // back
        default: return -1;
    }
}

}  // namespace keys
