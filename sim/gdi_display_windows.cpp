#include "sim/gdi_display_windows.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace sim {

GdiDisplay::GdiDisplay(int width, int height, int cellWidth, int cellHeight)
    : width_(width > 0 ? width : 1), height_(height > 0 ? height : 1) {
    dc_ = CreateCompatibleDC(nullptr);
    if (!dc_) {
        error_ = "CreateCompatibleDC failed";
        return;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap_ || !bits) {
        error_ = "CreateDIBSection failed";
        return;
    }
    bits_ = static_cast<uint32_t*>(bits);
    previousBitmap_ = SelectObject(dc_, bitmap_);

    pen_ = CreatePen(PS_SOLID, 1, kFramePen);
    previousPen_ = SelectObject(dc_, pen_);
    // The frame of a gauge is filled with the display's brush: black, like the background.
    brush_ = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    previousBrush_ = SelectObject(dc_, brush_);
    chooseFont(cellWidth, cellHeight);
    clear();
}

GdiDisplay::~GdiDisplay() {
    if (!dc_) return;
    if (previousFont_) SelectObject(dc_, previousFont_);
    if (previousBrush_) SelectObject(dc_, previousBrush_);
    if (previousPen_) SelectObject(dc_, previousPen_);
    if (previousBitmap_) SelectObject(dc_, previousBitmap_);
    if (font_) DeleteObject(font_);
    if (pen_) DeleteObject(pen_);
    if (bitmap_) DeleteObject(bitmap_);
    DeleteDC(dc_);
}

void GdiDisplay::chooseFont(int cellWidth, int cellHeight) {
    // The emulator's face first (Wine finds the system's fonts), then the fixed-pitch faces of
    // Windows. A face qualifies when every character advances by exactly the cell width; one
    // whose height also equals the cell height is preferred, since an opaque background fills
    // the font's height.
    static const char* const kFaces[] = {"DejaVu Sans Mono", "Courier New", "Liberation Mono",
                                         "Lucida Console"};
    const char kWide[] = "MMMMMMMMMM", kNarrow[] = "iiiiiiiiii";
    HFONT best = nullptr;
    bool bestFull = false;
    for (const char* face : kFaces) {
        HFONT font = CreateFontA(cellHeight, cellWidth, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                 OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                                 FIXED_PITCH | FF_MODERN, face);
        if (!font) continue;
        HGDIOBJ old = SelectObject(dc_, font);
        SIZE wide{}, narrow{};
        TEXTMETRICA metrics{};
        GetTextExtentPoint32A(dc_, kWide, 10, &wide);
        GetTextExtentPoint32A(dc_, kNarrow, 10, &narrow);
        GetTextMetricsA(dc_, &metrics);
        char actual[LF_FACESIZE] = {};
        GetTextFaceA(dc_, sizeof actual, actual);
        SelectObject(dc_, old);
        const bool advanceFits = wide.cx == 10 * cellWidth && narrow.cx == 10 * cellWidth;
        const bool full = advanceFits && metrics.tmHeight == cellHeight;
        if (advanceFits && (!best || (full && !bestFull))) {
            if (best) DeleteObject(best);
            best = font;
            bestFull = full;
            fontFace_ = actual;
            fontAdvance_ = cellWidth;
            fontHeight_ = metrics.tmHeight;
        } else {
            DeleteObject(font);
        }
        if (bestFull) break;
    }
    if (!best) {
        error_ = "no monospace font advances by the cell width " + std::to_string(cellWidth);
        return;
    }
    font_ = best;
    previousFont_ = SelectObject(dc_, font_);
}

void GdiDisplay::clear() {
    if (!bits_) return;
    GdiFlush();
    std::fill(bits_, bits_ + static_cast<size_t>(width_) * height_, 0u);
}

COLORREF GdiDisplay::pixel(int x, int y) const {
    if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return kDisplayBackground;
    GdiFlush();  // GDI may batch drawing; the bits are only current after a flush
    const uint32_t v = bits_[static_cast<size_t>(y) * width_ + x];
    return RGB((v >> 16) & 0xff, (v >> 8) & 0xff, v & 0xff);
}

bool GdiDisplay::saveBmp(const std::string& path, std::string& error) const {
    if (!bits_) {
        error = "no picture";
        return false;
    }
    GdiFlush();
    const int rowBytes = (width_ * 3 + 3) & ~3;
    const DWORD imageBytes = static_cast<DWORD>(rowBytes) * height_;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4d42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + imageBytes;
    info.biSize = sizeof info;
    info.biWidth = width_;
    info.biHeight = height_;  // bottom-up, which every reader takes
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = imageBytes;

    std::vector<unsigned char> row(rowBytes, 0);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        error = "cannot open '" + path + "' for writing";
        return false;
    }
    bool written =
        std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1;
    for (int y = height_ - 1; written && y >= 0; --y) {
        const uint32_t* source = bits_ + static_cast<size_t>(y) * width_;
        for (int x = 0; x < width_; ++x) {
            row[x * 3 + 0] = source[x] & 0xff;          // blue
            row[x * 3 + 1] = (source[x] >> 8) & 0xff;   // green
            row[x * 3 + 2] = (source[x] >> 16) & 0xff;  // red
        }
        written = std::fwrite(row.data(), 1, row.size(), out) == row.size();
    }
    if (std::fclose(out) != 0) written = false;
    if (!written) error = "cannot write '" + path + "'";
    return written;
}

}  // namespace sim
