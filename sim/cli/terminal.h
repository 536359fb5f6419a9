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

// The most pixels a display may have to be drawn as a picture here (scenarios allow 65535 x 65535).
inline constexpr unsigned long long kMostPixels = 4096ull * 4096ull;
// Whether a picture of the display is of a size worth making.
bool drawable(const sim::Display& display);

// A display drawn once: what it showed as character cells, with the GDI calls that drew it, and
// the labels of its twelve buttons as the instrument gives them.
struct Painted {
    std::unique_ptr<sim::CellSurface> surface;
    std::array<std::string, 12> labels;
    bool showsMode = false;
    int width = 0, height = 0;  // pixels

    // The drawing as a picture, drawn from its calls the first time it is asked for: most
    // drawings are never shown as one. Null for a display too large to draw here.
    const sim::RasterSurface* picture() const;

private:
    mutable std::unique_ptr<sim::RasterSurface> picture_;
};

// Redraws the display onto a fresh surface of its size.
Painted paint(sim::Display& display);

// The row of the character grid beside which button `slot` (0..5 from the top) sits, as the
// panel picture places it.
int buttonRow(const Painted& painted, int slot);

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
