#include "sim/formats/png_image.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sim {

namespace {
uint8_t red(COLORREF c) { return static_cast<uint8_t>(c & 0xff); }
uint8_t green(COLORREF c) { return static_cast<uint8_t>((c >> 8) & 0xff); }
uint8_t blue(COLORREF c) { return static_cast<uint8_t>((c >> 16) & 0xff); }

bool fail(std::string* error, const std::string& message) {
    if (error) *error = message;
    return false;
}
}  // namespace

Image::Image(int w, int h, COLORREF fill)
    : width(std::max(w, 0)), height(std::max(h, 0)), rgb(static_cast<size_t>(width) * height * 3) {
    if (fill) this->fill(0, 0, width, height, fill);
}

COLORREF Image::pixel(int x, int y) const {
    if (!contains(x, y)) return 0;
    const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return p[0] | (p[1] << 8) | (p[2] << 16);
}

void Image::setPixel(int x, int y, COLORREF colour) {
    if (!contains(x, y)) return;
    uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    p[0] = red(colour);
    p[1] = green(colour);
    p[2] = blue(colour);
}

void Image::fill(int left, int top, int right, int bottom, COLORREF colour) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, width);
    bottom = std::min(bottom, height);
    if (left >= right || top >= bottom) return;
    const uint8_t r = red(colour), g = green(colour), b = blue(colour);
    if (r == g && g == b) {  // greys, the display background among them: whole rows at once
        for (int y = top; y < bottom; ++y)
            std::memset(&rgb[(static_cast<size_t>(y) * width + left) * 3], r,
                        static_cast<size_t>(right - left) * 3);
        return;
    }
    for (int y = top; y < bottom; ++y) {
        uint8_t* p = &rgb[(static_cast<size_t>(y) * width + left) * 3];
        for (int x = left; x < right; ++x, p += 3) {
            p[0] = r;
            p[1] = g;
            p[2] = b;
        }
    }
}

void Image::blit(const Image& source, int x, int y) {
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + source.width, width), y1 = std::min(y + source.height, height);
    if (x0 >= x1 || y0 >= y1) return;
    for (int row = y0; row < y1; ++row) {
        const uint8_t* from = &source.rgb[(static_cast<size_t>(row - y) * source.width + (x0 - x)) * 3];
        std::memcpy(&rgb[(static_cast<size_t>(row) * width + x0) * 3], from,
                    static_cast<size_t>(x1 - x0) * 3);
    }
}

bool writePng(const Image& image, const std::string& path, std::string* error) {
    if (image.width <= 0 || image.height <= 0) return fail(error, "an empty picture has no PNG form");
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    errno = 0;
    const bool written =
        png_image_write_to_file(&png, path.c_str(), 0, image.rgb.data(), image.width * 3, nullptr);
    // libpng says only "Write Error"; why the system refused (a full disk) is in errno.
    if (!written)
        fail(error, "cannot write " + path + ": " + png.message +
                        (errno ? std::string(": ") + std::strerror(errno) : ""));
    png_image_free(&png);
    return written;
}

bool readPng(const std::string& path, Image* image, std::string* error) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return fail(error, "cannot read " + path + ": " + png.message);
    png.format = PNG_FORMAT_RGB;
    Image result(static_cast<int>(png.width), static_cast<int>(png.height));
    png_color black{0, 0, 0};
    if (!png_image_finish_read(&png, &black, result.rgb.data(), result.width * 3, nullptr)) {
        fail(error, "cannot read " + path + ": " + png.message);
        png_image_free(&png);
        return false;
    }
    *image = std::move(result);
    return true;
}

}  // namespace sim
