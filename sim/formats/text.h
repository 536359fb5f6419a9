// Text of the emulator's line formats (scenario files, scripts) and of its messages about them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sim {

// What separates the words of a line and is trimmed from its ends: spaces and tabs, the blanks
// the simulator's own scenario reader takes. A carriage return is no blank: it belongs to the
// line end "\r\n" (splitLines drops it there), and anywhere else it is a byte of its word, so
// that an item line of a scenario reaches the module with it, as the simulator would hand it on.
inline constexpr std::string_view kBlanks = " \t";

std::string_view trim(std::string_view text);
std::string_view trimStart(std::string_view text);

// The words of a line, split at runs of blanks.
std::vector<std::string_view> splitWords(std::string_view line);

// The lines of a text, ended by "\n" or "\r\n"; a last line without an end is a line too.
std::vector<std::string_view> splitLines(std::string_view text);

// Letter case aside, as the simulator compares the keywords and names of its scenario files.
bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);

// The line without its comment: a ';' begins one that runs to the end of the line.
std::string_view withoutComment(std::string_view line);

// The text with what a terminal would not show as it is (control characters, bytes that are no
// UTF-8) written as \xNN: messages and names stay one readable line.
std::string printable(std::string_view text);

// 'name': a name or word as messages quote it.
std::string inQuotes(std::string_view text);

// "<source>:<line>: <what>": how every message about one line of a file begins.
std::string lineMessage(std::string_view source, int line, std::string_view what);

}  // namespace sim
