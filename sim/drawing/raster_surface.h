// The emulator's drawing surfaces behind HDC that keep what is drawn: CellSurface what a display
// shows as character cells, RasterSurface those cells and an RGB picture drawn with a real
// monospace font. (The GDI state itself is kept by the GDI functions.)
#pragma once

#include <memory>
#include <string>

#include "sim/drawing/cell_view.h"
#include "sim/drawing/font.h"
#include "sim/drawing/surface.h"
#include "sim/formats/png_image.h"

namespace sim {

// The page as text, for the log, the terminal and the tests that read it; the one surface that
// turns drawing into cells, which the surfaces that draw more build on.
class CellSurface : public HDC__ {
public:
    // A display of width x height pixels with the emulator's cell size for that size.
    CellSurface(int width, int height);
    // The current position moves by one cell width per character. Sizes below one pixel are
    // taken as one.
    CellSurface(int width, int height, int cellWidth, int cellHeight);

    int cellWidth() const { return cellWidth_; }
    int cellHeight() const { return cellHeight_; }
    const CellView& cells() const { return cells_; }

    // An empty cell view; the GDI state stays.
    virtual void clear() { cells_.clear(); }

    // Each character into its own cell, in the current colours and mode.
    void drawText(int x, int y, const char* text, int length) override;
    // The cells whose centre the rectangle covers, in the selected brush's colour; reversed
    // edges are swapped, an empty one covers none.
    void drawRectangle(int left, int top, int right, int bottom) override;

private:
    int cellWidth_, cellHeight_;
    CellView cells_;
};

class RasterSurface : public CellSurface {
public:
    // A display of width x height pixels with the emulator's cell size for that size.
    RasterSurface(int width, int height);
    // The font is scaled so that its advance is the cell width. Sizes below one pixel are taken
    // as one.
    RasterSurface(int width, int height, int cellWidth, int cellHeight,
                  const std::string& fontPath = defaultFontPath());

    int width() const { return image_.width; }
    int height() const { return image_.height; }

    const Image& image() const { return image_; }
    COLORREF pixel(int x, int y) const { return image_.pixel(x, y); }
    // Without a font the surface still keeps its state and cell view, but draws no text.
    const Font* font() const { return font_.get(); }
    const std::string& fontError() const { return fontError_; }

    // Back to the display background with an empty cell view; the GDI state stays.
    void clear() override;
    // Copies a picture in (clipped); the cell view does not see it.
    void drawImage(const Image& source, int x, int y) { image_.blit(source, x, y); }
    bool writePng(const std::string& path, std::string* error = nullptr) const;

    // Each character in its own cell of cw x ch pixels from (x, y); in OPAQUE mode the cell is
    // filled with the background colour first.
    void drawText(int x, int y, const char* text, int length) override;
    // GDI rules: x in [left, right - 1], y in [top, bottom - 1], a one-pixel outline in the pen
    // colour around the brush's fill; reversed edges are swapped; an empty one draws nothing.
    void drawRectangle(int left, int top, int right, int bottom) override;

private:
    Image image_;
    std::string fontError_;  // before font_, which fills it when it is made
    std::shared_ptr<const Font> font_;
};

}  // namespace sim
