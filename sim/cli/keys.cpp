#include "sim/cli/keys.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "sim/formats/text.h"

namespace cli {

namespace {

struct NamedKey {
    const char* name;
    uint32_t code;
};

// The main block of a PC keyboard. Shifted characters name the key that carries them.
constexpr std::array kKeys{
    NamedKey{"1", 0x02},
    NamedKey{"2", 0x03},
    NamedKey{"3", 0x04},
    NamedKey{"4", 0x05},
    NamedKey{"5", 0x06},
    NamedKey{"6", 0x07},
    NamedKey{"7", 0x08},
    NamedKey{"8", 0x09},
    NamedKey{"9", 0x0A},
    NamedKey{"0", 0x0B},
    NamedKey{"-", 0x0C},
    NamedKey{"=", 0x0D},
    NamedKey{"Q", 0x10},
    NamedKey{"W", 0x11},
    NamedKey{"E", 0x12},
    NamedKey{"R", 0x13},
    NamedKey{"T", 0x14},
    NamedKey{"Y", 0x15},
    NamedKey{"U", 0x16},
    NamedKey{"I", 0x17},
    NamedKey{"O", 0x18},
    NamedKey{"P", 0x19},
    NamedKey{"[", 0x1A},
    NamedKey{"]", 0x1B},
    NamedKey{"A", 0x1E},
    NamedKey{"S", 0x1F},
    NamedKey{"D", 0x20},
    NamedKey{"F", 0x21},
    NamedKey{"G", 0x22},
    NamedKey{"H", 0x23},
    NamedKey{"J", 0x24},
    NamedKey{"K", 0x25},
    NamedKey{"L", 0x26},
    NamedKey{"'", 0x28},
    NamedKey{"`", 0x29},
    NamedKey{"\\", 0x2B},
    NamedKey{"Z", 0x2C},
    NamedKey{"X", 0x2D},
    NamedKey{"C", 0x2E},
    NamedKey{"V", 0x2F},
    NamedKey{"B", 0x30},
    NamedKey{"N", 0x31},
    NamedKey{"M", 0x32},
    NamedKey{",", 0x33},
    NamedKey{".", 0x34},
    NamedKey{"/", 0x35},
    NamedKey{"SPACE", 0x39},
    NamedKey{"F1", 0x3B},
    NamedKey{"F2", 0x3C},
    NamedKey{"F3", 0x3D},
    NamedKey{"F4", 0x3E},
    NamedKey{"F5", 0x3F},
    NamedKey{"F6", 0x40},
    NamedKey{"F7", 0x41},
    NamedKey{"F8", 0x42},
    NamedKey{"F9", 0x43},
    NamedKey{"F10", 0x44},
    // Other names for the same keys.
    NamedKey{"+", 0x0D},
    NamedKey{"?", 0x35},
    NamedKey{"_", 0x0C},
    NamedKey{"MINUS", 0x0C},
    NamedKey{"EQUALS", 0x0D},
    NamedKey{"PLUS", 0x0D},
    NamedKey{"SLASH", 0x35},
    NamedKey{"QUESTION", 0x35},
    NamedKey{"ESCAPE", 0x01},
    NamedKey{"ESC", 0x01},
    NamedKey{"BACKSPACE", 0x0E},
    NamedKey{"TAB", 0x0F},
    NamedKey{"ENTER", 0x1C},
};

bool sameName(std::string_view a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
    }
    return i == a.size() && b[i] == '\0';
}

}  // namespace

std::optional<uint32_t> keyCode(std::string_view name) {
    if (name.size() > 2 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X')) {
        uint32_t code = 0;
        const char* end = name.data() + name.size();
        const auto [stop, error] = std::from_chars(name.data() + 2, end, code, 16);
        if (error != std::errc{} || stop != end) return std::nullopt;
        return code;
    }
    for (const NamedKey& key : kKeys) {
        if (sameName(name, key.name)) return key.code;
    }
    return std::nullopt;
}

std::string notAKey(std::string_view name) {
    const std::string quoted = sim::inQuotes(name);
    if (name.size() >= 2 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X')) {
        const std::string_view digits = name.substr(2);
        if (!digits.empty() && digits.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos)
            return "key code " + quoted +
                   " is out of range 0x0 to 0xFFFFFFFF (the keyboard's keys are 0x01 to 0xFF)";
        return "key code " + quoted + " is not a hex number, such as 0x21";
    }
    return "unknown key name " + quoted + " (the instrument's keys are " + kCommandKeyNames +
           "; other keys by name, such as F or Q, or by code, such as 0x21)";
}

std::optional<uint32_t> keyForCharacter(char c) {
    if (c == ' ') return 0x39;
    if (std::isspace(static_cast<unsigned char>(c)) || !std::isprint(static_cast<unsigned char>(c)))
        return std::nullopt;
    return keyCode(std::string_view(&c, 1));
}

std::string keyName(uint32_t code) {
    // The first entry for a code is its plain name.
    for (const NamedKey& key : kKeys) {
        if (key.code == code) return key.name;
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", code);
    return text;
}

}  // namespace cli
