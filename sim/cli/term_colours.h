// Colours of a text terminal, from its terminfo entry: the sequences that set a palette colour
// for text and background and that reset them. Kept apart from the other sources because the
// terminfo header defines macros with common names.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace cli {

class TermColours {
public:
    // The terminal `fd` is on (or, for output that is not a terminal, the one TERM names);
    // nothing when it has no colours.
    static std::optional<TermColours> forTerminal(int fd);

    int count() const { return count_; }  // palette size, at most 256
    const std::string& foreground(int index) const { return fg_[static_cast<size_t>(index)]; }
    const std::string& background(int index) const { return bg_[static_cast<size_t>(index)]; }
    const std::string& reset() const { return reset_; }
    // The palette entry nearest to a colour 0x00BBGGRR.
    int nearest(unsigned long colour) const;

private:
    int count_ = 0;
    std::array<std::string, 256> fg_, bg_;
    std::string reset_;
};

// The palette entry nearest to a colour, for a terminal of `count` colours (8, 16, 88 or
// 256: the xterm palette).
int nearestPaletteColour(unsigned long colour, int count);

}  // namespace cli
