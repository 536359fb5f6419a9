#include "sim/cli/term_colours.h"

#include <curses.h>
#include <term.h>

#include <algorithm>

namespace cli {

namespace {

struct Rgb {
    int r, g, b;
};

// xterm's palette: 16 system colours, a 6x6x6 cube and 24 greys.
Rgb paletteEntry(int i) {
    static constexpr Rgb kSystem[16] = {{0, 0, 0},       {205, 0, 0},   {0, 205, 0},   {205, 205, 0},
                                        {0, 0, 238},     {205, 0, 205}, {0, 205, 205}, {229, 229, 229},
                                        {127, 127, 127}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                        {92, 92, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    if (i < 16) return kSystem[i];
    if (i < 232) {
        static constexpr int kLevel[6] = {0, 95, 135, 175, 215, 255};
        const int c = i - 16;
        return {kLevel[c / 36], kLevel[(c / 6) % 6], kLevel[c % 6]};
    }
    const int grey = 8 + 10 * (i - 232);
    return {grey, grey, grey};
}

}  // namespace

int nearestPaletteColour(unsigned long colour, int count) {
    const Rgb want{static_cast<int>(colour & 0xff), static_cast<int>((colour >> 8) & 0xff),
                   static_cast<int>((colour >> 16) & 0xff)};
    // With 256 colours the system colours vary between terminals: choose from the cube and greys.
    const int first = count >= 256 ? 16 : 0;
    const int last = count >= 256 ? 256 : std::min(count, 16);
    int best = first;
    long bestDistance = -1;
    for (int i = first; i < last; ++i) {
        const Rgb p = paletteEntry(i);
        const long d = static_cast<long>(p.r - want.r) * (p.r - want.r) * 3 +
                       static_cast<long>(p.g - want.g) * (p.g - want.g) * 4 +
                       static_cast<long>(p.b - want.b) * (p.b - want.b) * 2;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

std::optional<TermColours> TermColours::forTerminal(int fd) {
    int status = 0;
    if (setupterm(nullptr, fd, &status) != OK) return std::nullopt;
    TermColours c;
    const int colours = tigetnum(const_cast<char*>("colors"));
    char* setaf = tigetstr(const_cast<char*>("setaf"));
    char* setab = tigetstr(const_cast<char*>("setab"));
    char* sgr0 = tigetstr(const_cast<char*>("sgr0"));
    const auto usable = [](char* s) { return s != nullptr && s != reinterpret_cast<char*>(-1); };
    if (colours < 8 || !usable(setaf) || !usable(setab) || !usable(sgr0)) return std::nullopt;
    c.count_ = std::min(colours, 256);
    for (int i = 0; i < c.count_; ++i) {
        if (const char* s = tiparm(setaf, i)) c.fg_[static_cast<size_t>(i)] = s;
        if (const char* s = tiparm(setab, i)) c.bg_[static_cast<size_t>(i)] = s;
    }
    c.reset_ = sgr0;
    return c;
}

int TermColours::nearest(unsigned long colour) const { return nearestPaletteColour(colour, count_); }

}  // namespace cli
