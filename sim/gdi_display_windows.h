// The Windows host's display surface: a real GDI memory device context drawing into a DIB
// section, set up as the emulator sets up its displays (black background, a grey pen for
// rectangle outlines, a monospace font whose advance is the cell width), so that a page drawn
// here can be compared with the emulator's.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "sim/cell_view.h"

namespace sim {

class GdiDisplay {
public:
    GdiDisplay(int width, int height, int cellWidth, int cellHeight);
    ~GdiDisplay();
    GdiDisplay(const GdiDisplay&) = delete;
    GdiDisplay& operator=(const GdiDisplay&) = delete;

    // False when a GDI object could not be made; error() says which.
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    HBRUSH ownBrush() const { return brush_; }

    // The font chosen: its face, and its advance and height as GDI reports them.
    const std::string& fontFace() const { return fontFace_; }
    int fontAdvance() const { return fontAdvance_; }
    int fontHeight() const { return fontHeight_; }

    // Back to the background colour, as the simulator clears a display before a redraw.
    void clear();
    // 0x00BBGGRR; the background colour outside the picture.
    COLORREF pixel(int x, int y) const;
    // An uncompressed 24-bit BMP.
    bool saveBmp(const std::string& path, std::string& error) const;

private:
    void chooseFont(int cellWidth, int cellHeight);

    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
    uint32_t* bits_ = nullptr;  // top-down rows of 0x00RRGGBB
    HPEN pen_ = nullptr;
    HGDIOBJ previousPen_ = nullptr;
    HBRUSH brush_ = nullptr;
    HGDIOBJ previousBrush_ = nullptr;
    HFONT font_ = nullptr;
    HGDIOBJ previousFont_ = nullptr;
    std::string fontFace_;
    int fontAdvance_ = 0, fontHeight_ = 0;
    std::string error_;
};

}  // namespace sim
