// A display as text for the terminal, from the surface's character-cell view: the screen in a
// frame with the button labels beside it, in the display's colours when the output is a
// terminal and as plain text otherwise.
#pragma once

#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "sim/cli/term_colours.h"
#include "sim/drawing/raster_surface.h"
#include "sim/world/display.h"

namespace cli {

enum class ColourChoice { Auto, Always, Never };

struct TextStyle {
    std::optional<TermColours> colours;  // none: plain text
    bool unicode = false;                // box-drawing characters for the frame
};

// Colours when asked for, or when `stream` is a terminal and NO_COLOR is not set.
TextStyle textStyleFor(std::FILE* stream, ColourChoice choice);

// A display drawn once: its surface (picture and cell view) and the labels of its twelve
// buttons as the instrument gives them.
struct Painted {
    std::unique_ptr<sim::RasterSurface> surface;
    std::array<std::string, 12> labels;
    bool showsMode = false;
};

// The most pixels a display may have to be drawn here (scenarios allow 65535 x 65535).
inline constexpr unsigned long long kMostPixels = 4096ull * 4096ull;
// Whether a picture of the display is of a size worth making.
bool drawable(const sim::Display& display);

// Redraws the display onto a fresh surface of its size.
Painted paint(sim::Display& display);

// The row of the character grid beside which button `slot` (0..5 from the top) sits, as the
// panel picture places it.
int buttonRow(const sim::RasterSurface& surface, int slot);

// The display in its frame with the labels beside it, one line per cell row.
std::string drawDisplay(const Painted& painted, const TextStyle& style);

// A progress bar on stderr, only when stderr is a terminal and the work has taken longer than
// about a second. Cleared again by finish().
class ProgressBar {
public:
    explicit ProgressBar(std::string what);
    ~ProgressBar() { finish(); }
    // `steps`: how many steps have run so far, shown as a rate of real time.
    void update(double fraction, const std::string& detail, long long steps = -1);
    void finish();

private:
    std::string what_;
    bool terminal_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_, last_;
};

}  // namespace cli
