#include "sim/formats/text.h"

#include <algorithm>
#include <cstdio>

namespace sim {

std::string_view trimStart(std::string_view text) {
    const size_t first = text.find_first_not_of(kBlanks);
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view trim(std::string_view text) {
    text = trimStart(text);
    return text.substr(0, text.find_last_not_of(kBlanks) + 1);
}

std::vector<std::string_view> splitWords(std::string_view line) {
    std::vector<std::string_view> words;
    for (line = trimStart(line); !line.empty(); line = trimStart(line)) {
        const size_t end = std::min(line.find_first_of(kBlanks), line.size());
        words.push_back(line.substr(0, end));
        line.remove_prefix(end);
    }
    return words;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

namespace {
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && startsWithIgnoringCase(a, b);
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    return std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return lower(a) == lower(b); });
}

std::string_view withoutComment(std::string_view line) { return line.substr(0, line.find(';')); }

std::string printable(std::string_view message) {
    std::string out;
    const auto escape = [&](unsigned char b) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
        out += escaped;
    };
    const auto continuation = [&](size_t i) {
        return i < message.size() && (static_cast<unsigned char>(message[i]) & 0xC0) == 0x80;
    };
    for (size_t i = 0; i < message.size();) {
        const unsigned char b = static_cast<unsigned char>(message[i]);
        const size_t length = b >= 0xC2 && b <= 0xDF   ? 2
                              : b >= 0xE0 && b <= 0xEF ? 3
                              : b >= 0xF0 && b <= 0xF4 ? 4
                                                       : 1;
        bool whole = length > 1;
        for (size_t k = 1; k < length && whole; ++k) whole = continuation(i + k);
        // C1 controls are two bytes of UTF-8 that show nothing either.
        if (whole && b == 0xC2 && static_cast<unsigned char>(message[i + 1]) < 0xA0) whole = false;
        if (whole) {
            out.append(message.substr(i, length));
            i += length;
        } else {
            if (b >= 0x20 && b < 0x7f)
                out += static_cast<char>(b);
            else
                escape(b);
            ++i;
        }
    }
    return out;
}

// Appended piece by piece: GCC 12 at -O3 takes "'" + string for an overlapping copy.
std::string inQuotes(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted.append(1, '\'').append(text).append(1, '\'');
    return quoted;
}

std::string lineMessage(std::string_view source, int line, std::string_view what) {
    return std::string(source) + ":" + std::to_string(line) + ": " + std::string(what);
}

}  // namespace sim
