#include "platform/input_codes.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <set>

namespace platform {

namespace {

struct Pair {
    int from;
    int to;
};

// HID keyboard page -> evdev, as the kernel's HID input layer maps it.
constexpr Pair kKeyboard[] = {
    {0x04, KEY_A},          {0x05, KEY_B},          {0x06, KEY_C},           {0x07, KEY_D},
    {0x08, KEY_E},          {0x09, KEY_F},          {0x0A, KEY_G},           {0x0B, KEY_H},
    {0x0C, KEY_I},          {0x0D, KEY_J},          {0x0E, KEY_K},           {0x0F, KEY_L},
    {0x10, KEY_M},          {0x11, KEY_N},          {0x12, KEY_O},           {0x13, KEY_P},
    {0x14, KEY_Q},          {0x15, KEY_R},          {0x16, KEY_S},           {0x17, KEY_T},
    {0x18, KEY_U},          {0x19, KEY_V},          {0x1A, KEY_W},           {0x1B, KEY_X},
    {0x1C, KEY_Y},          {0x1D, KEY_Z},          {0x1E, KEY_1},           {0x1F, KEY_2},
    {0x20, KEY_3},          {0x21, KEY_4},          {0x22, KEY_5},           {0x23, KEY_6},
    {0x24, KEY_7},          {0x25, KEY_8},          {0x26, KEY_9},           {0x27, KEY_0},
    {0x28, KEY_ENTER},      {0x29, KEY_ESC},        {0x2A, KEY_BACKSPACE},   {0x2B, KEY_TAB},
    {0x2C, KEY_SPACE},      {0x2D, KEY_MINUS},      {0x2E, KEY_EQUAL},       {0x2F, KEY_LEFTBRACE},
    {0x30, KEY_RIGHTBRACE}, {0x31, KEY_BACKSLASH},  {0x32, KEY_BACKSLASH},   {0x33, KEY_SEMICOLON},
    {0x34, KEY_APOSTROPHE}, {0x35, KEY_GRAVE},      {0x36, KEY_COMMA},       {0x37, KEY_DOT},
    {0x38, KEY_SLASH},      {0x39, KEY_CAPSLOCK},   {0x3A, KEY_F1},          {0x3B, KEY_F2},
    {0x3C, KEY_F3},         {0x3D, KEY_F4},         {0x3E, KEY_F5},          {0x3F, KEY_F6},
    {0x40, KEY_F7},         {0x41, KEY_F8},         {0x42, KEY_F9},          {0x43, KEY_F10},
    {0x44, KEY_F11},        {0x45, KEY_F12},        {0x46, KEY_SYSRQ},       {0x47, KEY_SCROLLLOCK},
    {0x48, KEY_PAUSE},      {0x49, KEY_INSERT},     {0x4A, KEY_HOME},        {0x4B, KEY_PAGEUP},
    {0x4C, KEY_DELETE},     {0x4D, KEY_END},        {0x4E, KEY_PAGEDOWN},    {0x4F, KEY_RIGHT},
    {0x50, KEY_LEFT},       {0x51, KEY_DOWN},       {0x52, KEY_UP},          {0x53, KEY_NUMLOCK},
    {0x54, KEY_KPSLASH},    {0x55, KEY_KPASTERISK}, {0x56, KEY_KPMINUS},     {0x57, KEY_KPPLUS},
    {0x58, KEY_KPENTER},    {0x59, KEY_KP1},        {0x5A, KEY_KP2},         {0x5B, KEY_KP3},
    {0x5C, KEY_KP4},        {0x5D, KEY_KP5},        {0x5E, KEY_KP6},         {0x5F, KEY_KP7},
    {0x60, KEY_KP8},        {0x61, KEY_KP9},        {0x62, KEY_KP0},         {0x63, KEY_KPDOT},
    {0x64, KEY_102ND},      {0x65, KEY_COMPOSE},    {0x66, KEY_POWER},       {0x67, KEY_KPEQUAL},
    {0x68, KEY_F13},        {0x69, KEY_F14},        {0x6A, KEY_F15},         {0x6B, KEY_F16},
    {0x6C, KEY_F17},        {0x6D, KEY_F18},        {0x6E, KEY_F19},         {0x6F, KEY_F20},
    {0x70, KEY_F21},        {0x71, KEY_F22},        {0x72, KEY_F23},         {0x73, KEY_F24},
    {0x74, KEY_OPEN},       {0x75, KEY_HELP},       {0x76, KEY_PROPS},       {0x77, KEY_FRONT},
    {0x78, KEY_STOP},       {0x79, KEY_AGAIN},      {0x7A, KEY_UNDO},        {0x7B, KEY_CUT},
    {0x7C, KEY_COPY},       {0x7D, KEY_PASTE},      {0x7E, KEY_FIND},        {0x7F, KEY_MUTE},
    {0x80, KEY_VOLUMEUP},   {0x81, KEY_VOLUMEDOWN}, {0x85, KEY_KPCOMMA},     {0x87, KEY_RO},
    {0x88, KEY_KATAKANAHIRAGANA}, {0x89, KEY_YEN},  {0x8A, KEY_HENKAN},      {0x8B, KEY_MUHENKAN},
    {0x8C, KEY_KPJPCOMMA},  {0x90, KEY_HANGEUL},    {0x91, KEY_HANJA},       {0x92, KEY_KATAKANA},
    {0x93, KEY_HIRAGANA},   {0x94, KEY_ZENKAKUHANKAKU}, {0xB6, KEY_KPLEFTPAREN}, {0xB7, KEY_KPRIGHTPAREN},
    {0xE0, KEY_LEFTCTRL},   {0xE1, KEY_LEFTSHIFT},  {0xE2, KEY_LEFTALT},     {0xE3, KEY_LEFTMETA},
    {0xE4, KEY_RIGHTCTRL},  {0xE5, KEY_RIGHTSHIFT}, {0xE6, KEY_RIGHTALT},    {0xE7, KEY_RIGHTMETA},
};

// The consumer usages the program sends (its media and browser functions).
constexpr Pair kConsumer[] = {
    {0x0B5, KEY_NEXTSONG}, {0x0B6, KEY_PREVIOUSSONG}, {0x0B7, KEY_STOPCD},  {0x0CD, KEY_PLAYPAUSE},
    {0x0E2, KEY_MUTE},     {0x0E9, KEY_VOLUMEUP},     {0x0EA, KEY_VOLUMEDOWN}, {0x183, KEY_CONFIG},
    {0x18A, KEY_MAIL},     {0x192, KEY_CALC},         {0x194, KEY_FILE},    {0x221, KEY_SEARCH},
    {0x223, KEY_HOMEPAGE}, {0x224, KEY_BACK},         {0x225, KEY_FORWARD}, {0x226, KEY_STOP},
    {0x227, KEY_REFRESH},  {0x22A, KEY_BOOKMARKS},
};

constexpr int kMouseButtons[] = {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE, BTN_SIDE, BTN_EXTRA};

struct Hook {
    int code;
    std::uint16_t vk;
    std::uint16_t scan;
    bool extended;
};

// evdev -> what a low-level hook reports. Codes 1-88 are the set-1 make codes
// themselves; the E0 keys carry the extended flag. Num Lock comes with the
// extended flag and Pause without it, both with scan code 0x45.
constexpr Hook kHook[] = {
    {KEY_ESC, 27, 0x01, false},        {KEY_1, 49, 0x02, false},          {KEY_2, 50, 0x03, false},
    {KEY_3, 51, 0x04, false},          {KEY_4, 52, 0x05, false},          {KEY_5, 53, 0x06, false},
    {KEY_6, 54, 0x07, false},          {KEY_7, 55, 0x08, false},          {KEY_8, 56, 0x09, false},
    {KEY_9, 57, 0x0A, false},          {KEY_0, 48, 0x0B, false},          {KEY_MINUS, 189, 0x0C, false},
    {KEY_EQUAL, 187, 0x0D, false},     {KEY_BACKSPACE, 8, 0x0E, false},   {KEY_TAB, 9, 0x0F, false},
    {KEY_Q, 81, 0x10, false},          {KEY_W, 87, 0x11, false},          {KEY_E, 69, 0x12, false},
    {KEY_R, 82, 0x13, false},          {KEY_T, 84, 0x14, false},          {KEY_Y, 89, 0x15, false},
    {KEY_U, 85, 0x16, false},          {KEY_I, 73, 0x17, false},          {KEY_O, 79, 0x18, false},
    {KEY_P, 80, 0x19, false},          {KEY_LEFTBRACE, 219, 0x1A, false}, {KEY_RIGHTBRACE, 221, 0x1B, false},
    {KEY_ENTER, 13, 0x1C, false},      {KEY_LEFTCTRL, 162, 0x1D, false},  {KEY_A, 65, 0x1E, false},
    {KEY_S, 83, 0x1F, false},          {KEY_D, 68, 0x20, false},          {KEY_F, 70, 0x21, false},
    {KEY_G, 71, 0x22, false},          {KEY_H, 72, 0x23, false},          {KEY_J, 74, 0x24, false},
    {KEY_K, 75, 0x25, false},          {KEY_L, 76, 0x26, false},          {KEY_SEMICOLON, 186, 0x27, false},
    {KEY_APOSTROPHE, 222, 0x28, false}, {KEY_GRAVE, 192, 0x29, false},    {KEY_LEFTSHIFT, 160, 0x2A, false},
    {KEY_BACKSLASH, 220, 0x2B, false}, {KEY_Z, 90, 0x2C, false},          {KEY_X, 88, 0x2D, false},
    {KEY_C, 67, 0x2E, false},          {KEY_V, 86, 0x2F, false},          {KEY_B, 66, 0x30, false},
    {KEY_N, 78, 0x31, false},          {KEY_M, 77, 0x32, false},          {KEY_COMMA, 188, 0x33, false},
    {KEY_DOT, 190, 0x34, false},       {KEY_SLASH, 191, 0x35, false},     {KEY_RIGHTSHIFT, 161, 0x36, false},
    {KEY_KPASTERISK, 106, 0x37, false}, {KEY_LEFTALT, 164, 0x38, false},  {KEY_SPACE, 32, 0x39, false},
    {KEY_CAPSLOCK, 20, 0x3A, false},   {KEY_F1, 112, 0x3B, false},        {KEY_F2, 113, 0x3C, false},
    {KEY_F3, 114, 0x3D, false},        {KEY_F4, 115, 0x3E, false},        {KEY_F5, 116, 0x3F, false},
    {KEY_F6, 117, 0x40, false},        {KEY_F7, 118, 0x41, false},        {KEY_F8, 119, 0x42, false},
    {KEY_F9, 120, 0x43, false},        {KEY_F10, 121, 0x44, false},       {KEY_NUMLOCK, 144, 0x45, true},
    {KEY_SCROLLLOCK, 145, 0x46, false}, {KEY_KPMINUS, 109, 0x4A, false},  {KEY_KPPLUS, 107, 0x4E, false},
    {KEY_102ND, 226, 0x56, false},     {KEY_F11, 122, 0x57, false},       {KEY_F12, 123, 0x58, false},
    {KEY_F13, 124, 0x64, false},       {KEY_F14, 125, 0x65, false},       {KEY_F15, 126, 0x66, false},
    {KEY_F16, 127, 0x67, false},       {KEY_F17, 128, 0x68, false},       {KEY_F18, 129, 0x69, false},
    {KEY_F19, 130, 0x6A, false},       {KEY_F20, 131, 0x6B, false},       {KEY_F21, 132, 0x6C, false},
    {KEY_F22, 133, 0x6D, false},       {KEY_F23, 134, 0x6E, false},       {KEY_F24, 135, 0x76, false},
    {KEY_KPENTER, 13, 0x1C, true},     {KEY_RIGHTCTRL, 163, 0x1D, true},  {KEY_KPSLASH, 111, 0x35, true},
    {KEY_SYSRQ, 44, 0x37, true},       {KEY_RIGHTALT, 165, 0x38, true},   {KEY_HOME, 36, 0x47, true},
    {KEY_UP, 38, 0x48, true},          {KEY_PAGEUP, 33, 0x49, true},      {KEY_LEFT, 37, 0x4B, true},
    {KEY_RIGHT, 39, 0x4D, true},       {KEY_END, 35, 0x4F, true},         {KEY_DOWN, 40, 0x50, true},
    {KEY_PAGEDOWN, 34, 0x51, true},    {KEY_INSERT, 45, 0x52, true},      {KEY_DELETE, 46, 0x53, true},
    {KEY_PAUSE, 19, 0x45, false},      {KEY_LEFTMETA, 91, 0x5B, true},    {KEY_RIGHTMETA, 92, 0x5C, true},
    {KEY_COMPOSE, 93, 0x5D, true},     {KEY_SLEEP, 95, 0x5F, true},       {KEY_MUTE, 173, 0x20, true},
    {KEY_VOLUMEDOWN, 174, 0x2E, true}, {KEY_VOLUMEUP, 175, 0x30, true},   {KEY_NEXTSONG, 176, 0x19, true},
    {KEY_PREVIOUSSONG, 177, 0x10, true}, {KEY_STOPCD, 178, 0x24, true},   {KEY_PLAYPAUSE, 179, 0x22, true},
    {KEY_BACK, 166, 0x6A, true},       {KEY_FORWARD, 167, 0x69, true},    {KEY_REFRESH, 168, 0x67, true},
    {KEY_STOP, 169, 0x68, true},       {KEY_SEARCH, 170, 0x65, true},     {KEY_BOOKMARKS, 171, 0x66, true},
    {KEY_HOMEPAGE, 172, 0x32, true},   {KEY_MAIL, 180, 0x6C, true},       {KEY_CONFIG, 181, 0x6D, true},
    {KEY_FILE, 182, 0x6B, true},       {KEY_CALC, 183, 0x21, true},
};

// The keypad's digits and point: (code, scan, Num Lock on, Num Lock off).
struct Keypad {
    int code;
    std::uint16_t scan;
    std::uint16_t on;
    std::uint16_t off;
};
constexpr Keypad kKeypad[] = {
    {KEY_KP7, 0x47, 103, 36}, {KEY_KP8, 0x48, 104, 38}, {KEY_KP9, 0x49, 105, 33}, {KEY_KP4, 0x4B, 100, 37},
    {KEY_KP5, 0x4C, 101, 12}, {KEY_KP6, 0x4D, 102, 39}, {KEY_KP1, 0x4F, 97, 35},  {KEY_KP2, 0x50, 98, 40},
    {KEY_KP3, 0x51, 99, 34},  {KEY_KP0, 0x52, 96, 45},  {KEY_KPDOT, 0x53, 110, 46},
};

template <std::size_t N>
int Forward(const Pair (&table)[N], int from) {
    const auto it = std::find_if(std::begin(table), std::end(table), [from](const Pair& p) { return p.from == from; });
    return it == std::end(table) ? 0 : it->to;
}

// The first pair with this code, which for the keyboard table is the lowest usage.
template <std::size_t N>
int Backward(const Pair (&table)[N], int to) {
    const auto it = std::find_if(std::begin(table), std::end(table), [to](const Pair& p) { return p.to == to; });
    return it == std::end(table) ? 0 : it->from;
}

}  // namespace

int InputCodeForKeyboardUsage(int usage) { return Forward(kKeyboard, usage); }
int KeyboardUsageForInputCode(int code) { return code == 0 ? 0 : Backward(kKeyboard, code); }
int InputCodeForConsumerUsage(int usage) { return Forward(kConsumer, usage); }
int ConsumerUsageForInputCode(int code) { return code == 0 ? 0 : Backward(kConsumer, code); }

int ButtonForMouseBit(int bit) {
    return bit >= 0 && bit < static_cast<int>(std::size(kMouseButtons)) ? kMouseButtons[bit] : 0;
}

std::vector<int> AllMappedInputCodes() {
    std::set<int> codes;
    for (const auto& p : kKeyboard) codes.insert(p.to);
    for (const auto& p : kConsumer) codes.insert(p.to);
    for (int b : kMouseButtons) codes.insert(b);
    return {codes.begin(), codes.end()};
}

std::optional<HookKey> HookKeyForInputCode(int code, bool numLock) {
    for (const auto& k : kKeypad) {
        if (k.code == code) return HookKey{numLock ? k.on : k.off, k.scan, false};
    }
    for (const auto& h : kHook) {
        if (h.code == code) return HookKey{h.vk, h.scan, h.extended};
    }
    return std::nullopt;
}

}  // namespace platform
