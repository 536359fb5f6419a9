// The emulator's monospace font: every character rasterised once, as anti-aliased coverage
// fitted to one character cell, so drawing text is only blending cached bitmaps.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim {

inline constexpr const char* kDefaultFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

// The font the displays are drawn with: the one installed with the program (beside it, under
// the prefix it was installed to) when there is one, else the system's kDefaultFontPath.
const std::string& defaultFontPath();

class Font {
public:
    // Coverage of one character, 0 (none) to 255 (full), clipped to its cell.
    struct Glyph {
        int left = 0, top = 0;  // offset of the bitmap from the cell's top-left corner
        int width = 0, rows = 0;
        std::vector<uint8_t> coverage;  // rows x width, row by row
    };

    // The font for a cell size, shared by every surface with that size. The face is scaled so
    // that its advance equals the cell width exactly and the tallest and deepest ASCII glyphs
    // fit the cell height with one pixel row to spare. Null with a reason when the font file
    // cannot be loaded.
    static std::shared_ptr<const Font> forCell(int cellWidth, int cellHeight, const std::string& path,
                                               std::string* error = nullptr);

    int cellWidth() const { return cellWidth_; }
    int cellHeight() const { return cellHeight_; }
    // Pixels per em the face was scaled to, horizontally and vertically.
    double pixelsPerEmX() const { return ppemX_; }
    double pixelsPerEmY() const { return ppemY_; }
    // The advance FreeType reports for the scaled face, in pixels (unhinted).
    double advance() const { return advance_; }

    // ASCII characters whose rendering reached beyond the cell and was cut to it.
    int clippedAscii() const { return clippedAscii_; }

    // Bytes are Latin-1 characters, as single-byte text output takes them.
    const Glyph& glyph(unsigned char c) const { return glyphs_[c]; }

private:
    Font(int cellWidth, int cellHeight) : cellWidth_(cellWidth), cellHeight_(cellHeight) {}
    int cellWidth_, cellHeight_;
    double ppemX_ = 0, ppemY_ = 0, advance_ = 0;
    int clippedAscii_ = 0;
    std::array<Glyph, 256> glyphs_;
};

}  // namespace sim
