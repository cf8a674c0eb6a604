#include "link/softkeys/backends.h"

#include "link/keys/key_codes.h"
#include "platform/input_codes.h"

namespace softkeys {

std::vector<std::uint16_t> KeyTableCodes(std::span<const std::uint8_t> table) {
    std::vector<std::uint16_t> codes;
    for (std::size_t i = 0; i + 4 <= table.size(); i += 4) {
        const std::uint16_t code = static_cast<std::uint16_t>(table[i] | (table[i + 1] << 8));
        if (code != 0 && table[i + 2] == kKeyboardUsagePage) codes.push_back(code);
    }
    return codes;
}

int InputCodeForKeyCode(int keyCode) {
    if (keys::IsConsumerKeyCode(keyCode)) {
        return platform::InputCodeForConsumerUsage(keys::ConsumerUsageForKeyCode(keyCode));
    }
    return keyCode >= 0 && keyCode < 256 ? platform::InputCodeForKeyboardUsage(keyCode) : 0;
}

int KeyCodeForInputCode(int inputCode) {
    if (const int usage = platform::KeyboardUsageForInputCode(inputCode)) return usage;
    if (const int usage = platform::ConsumerUsageForInputCode(inputCode)) {
        for (int code = 232; code <= 249; ++code) {
            if (keys::ConsumerUsageForKeyCode(code) == usage) return code;
        }
    }
    return 0;
}

std::vector<std::pair<std::uint16_t, std::uint16_t>> InputCodesForKeyCodes(const std::vector<std::uint16_t>& codes) {
    std::vector<std::pair<std::uint16_t, std::uint16_t>> entries;
    for (auto code : codes) {
        if (const int input = InputCodeForKeyCode(code)) entries.emplace_back(static_cast<std::uint16_t>(input), code);
    }
    return entries;
}

}  // namespace softkeys
