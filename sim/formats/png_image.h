// An RGB picture and its PNG file form.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/gdi.h"

namespace sim {

// 8-bit RGB, row by row, no padding.
struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;

    Image() = default;
    Image(int w, int h, COLORREF fill = 0);

    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    // As a COLORREF (0x00BBGGRR); 0 outside the picture.
    COLORREF pixel(int x, int y) const;
    void setPixel(int x, int y, COLORREF colour);  // ignored outside the picture
    // Fills [left, right) x [top, bottom), clipped to the picture.
    void fill(int left, int top, int right, int bottom, COLORREF colour);
    // Copies another picture in with its top-left corner at (x, y), clipped.
    void blit(const Image& source, int x, int y);
};

bool writePng(const Image& image, const std::string& path, std::string* error = nullptr);
// Any PNG, converted to 8-bit RGB (alpha composed over black).
bool readPng(const std::string& path, Image* image, std::string* error = nullptr);

}  // namespace sim
