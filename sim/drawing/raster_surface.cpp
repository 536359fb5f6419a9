#include "sim/drawing/raster_surface.h"

#include <algorithm>
#include <utility>

#include "display/cell_grid.h"

namespace sim {

namespace {
int cellWidthOf(int width) { return grid::cellWidthFor(static_cast<DWORD>(std::max(width, 1))); }
int cellHeightOf(int height) { return grid::cellHeightFor(static_cast<DWORD>(std::max(height, 1))); }
}  // namespace

CellSurface::CellSurface(int width, int height)
    : CellSurface(width, height, cellWidthOf(width), cellHeightOf(height)) {}

CellSurface::CellSurface(int width, int height, int cellWidth, int cellHeight)
    : HDC__(std::max(cellWidth, 1)),
      cellWidth_(std::max(cellWidth, 1)),
      cellHeight_(std::max(cellHeight, 1)),
      cells_(std::max(width, 1), std::max(height, 1), cellWidth_, cellHeight_) {}

void CellSurface::drawText(int x, int y, const char* text, int length) {
    if (text && length > 0) cells_.addText(x, y, text, length, textColour, bkMode == OPAQUE, bkColour);
}

void CellSurface::drawRectangle(int left, int top, int right, int bottom) {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    if (left != right && top != bottom)
        cells_.addRectangle(left, top, right, bottom, brush ? brush->colour : kDisplayBackground);
}

RasterSurface::RasterSurface(int width, int height)
    : RasterSurface(width, height, cellWidthOf(width), cellHeightOf(height)) {}

RasterSurface::RasterSurface(int width, int height, int cellWidth, int cellHeight,
                             const std::string& fontPath)
    : CellSurface(width, height, cellWidth, cellHeight),
      image_(std::max(width, 1), std::max(height, 1), kDisplayBackground),
      font_(Font::forCell(this->cellWidth(), this->cellHeight(), fontPath, &fontError_)) {
    penColour = kFramePen;
}

void RasterSurface::clear() {
    image_.fill(0, 0, image_.width, image_.height, kDisplayBackground);
    CellSurface::clear();
}

bool RasterSurface::writePng(const std::string& path, std::string* error) const {
    return sim::writePng(image_, path, error);
}

void RasterSurface::drawText(int x, int y, const char* text, int length) {
    if (!text || length <= 0) return;
    const bool opaque = bkMode == OPAQUE;
    const int cw = cellWidth(), ch = cellHeight();
    const uint8_t red = textColour & 0xff, green = (textColour >> 8) & 0xff, blue = (textColour >> 16) & 0xff;
    for (int i = 0; i < length; ++i) {
        const int left = x + i * cw;
        if (opaque) image_.fill(left, y, left + cw, y + ch, bkColour);
        if (!font_) continue;
        const Font::Glyph& glyph = font_->glyph(static_cast<unsigned char>(text[i]));
        const int gx = left + glyph.left, gy = y + glyph.top;
        const int x0 = std::max(gx, 0), x1 = std::min(gx + glyph.width, image_.width);
        const int y0 = std::max(gy, 0), y1 = std::min(gy + glyph.rows, image_.height);
        for (int py = y0; py < y1; ++py) {
            const uint8_t* coverage = &glyph.coverage[static_cast<size_t>(py - gy) * glyph.width + (x0 - gx)];
            uint8_t* p = &image_.rgb[(static_cast<size_t>(py) * image_.width + x0) * 3];
            for (int px = x0; px < x1; ++px, ++coverage, p += 3) {
                const unsigned a = *coverage;
                if (a == 0) continue;
                const unsigned b = 255 - a;
                p[0] = static_cast<uint8_t>((p[0] * b + red * a + 127) / 255);
                p[1] = static_cast<uint8_t>((p[1] * b + green * a + 127) / 255);
                p[2] = static_cast<uint8_t>((p[2] * b + blue * a + 127) / 255);
            }
        }
    }
    CellSurface::drawText(x, y, text, length);
}

void RasterSurface::drawRectangle(int left, int top, int right, int bottom) {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    if (left == right || top == bottom) return;
    const COLORREF fill = brush ? brush->colour : kDisplayBackground;
    image_.fill(left, top, right, bottom, fill);
    image_.fill(left, top, right, top + 1, penColour);
    image_.fill(left, bottom - 1, right, bottom, penColour);
    image_.fill(left, top, left + 1, bottom, penColour);
    image_.fill(right - 1, top, right, bottom, penColour);
    CellSurface::drawRectangle(left, top, right, bottom);
}

}  // namespace sim
