// Keyboard keys by name, as the simulator delivers them to a display: PC scan codes (set 1).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cli {

// A key name ("M", "=", "+", "?", "minus", "F1" ...; letters in either case) or a code written
// in hex ("0x32"). Nothing for anything else.
std::optional<uint32_t> keyCode(std::string_view name);

// Why `name` is no key, for messages: a code out of range or not written in hex, or a name
// that no key has, with the names to use.
std::string notAKey(std::string_view name);

// The key a typed character stands for, for play: '+' is the key that carries it ('='), '?'
// the one that carries '?' ('/'). Nothing for characters without a key of their own.
std::optional<uint32_t> keyForCharacter(char c);

// The name under which a key is shown ("M", "=", "/"), or its code in hex.
std::string keyName(uint32_t code);

// The seven keys the instrument answers, for messages: "M = + - T S D / ?".
inline constexpr const char* kCommandKeyNames = "M = + - T S D / ?";

}  // namespace cli
