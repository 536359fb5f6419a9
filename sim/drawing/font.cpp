#include "sim/drawing/font.h"

#include <ft2build.h>

#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <mutex>
#include <tuple>

#include "sim/formats/files.h"

namespace sim {

namespace {

struct Library {
    FT_Library handle = nullptr;
    ~Library() {
        if (handle) FT_Done_FreeType(handle);
    }
};
struct Face {
    FT_Face handle = nullptr;
    ~Face() {
        if (handle) FT_Done_Face(handle);
    }
};

std::shared_ptr<const Font> fail(std::string* error, const std::string& message) {
    if (error) *error = message;
    return nullptr;
}

// Latin-1 byte to Unicode: the byte is the code point. Control characters have no glyph.
bool drawable(unsigned c) { return (c > 0x20 && c < 0x7f) || c > 0xa0; }

}  // namespace

const std::string& defaultFontPath() {
    static const std::string path = [] {
#ifdef KESTRANE_INSTALLED_FONT
        if (std::string installed = sim::installedFile(KESTRANE_INSTALLED_FONT); !installed.empty())
            return installed;
#endif
        return std::string(kDefaultFontPath);
    }();
    return path;
}

namespace {

// Light hinting snaps horizontal stems to the pixel rows (crisp text at small sizes) and leaves
// the horizontal metrics, so the advance stays the cell width. It may also move an edge by a
// pixel beyond the outlines; then the height is taken down a little.
constexpr FT_Int32 kLoadFlags = FT_LOAD_TARGET_LIGHT;

// Why the font file cannot be loaded, or empty with the face open.
std::string openFace(const Library& library, Face& face, const std::string& path) {
    // FreeType would wait on a FIFO for a writer.
    if (const std::string why = notARegularFile(path); !why.empty())
        return "cannot load the font " + path + ": " + why;
    if (const FT_Error failed = FT_New_Face(library.handle, path.c_str(), 0, &face.handle)) {
        std::error_code ec;
        return "cannot load the font " + path + ": " +
               (!std::filesystem::exists(path, ec) ? std::string("there is no such file")
                : failed == FT_Err_Cannot_Open_Resource
                    ? std::string("it cannot be opened")
                    : "it is no font FreeType can read (FreeType error " + std::to_string(failed) + ")");
    }
    if (!FT_IS_SCALABLE(face.handle)) return path + " is not a scalable font";
    return {};
}

// The face's scales for a cell, 16.16 font units to 26.6 pixels, with the face set to them.
struct Scales {
    double x = 0, y = 0;
    int available = 1;  // pixel rows the glyphs may take: the cell's less the spare one
};

// Measures the face and scales it to the cell. Why it cannot, or empty.
std::string scaleToCell(FT_Face face, int cellWidth, int cellHeight, const std::string& path,
                        Scales& scales) {
    // Unscaled advance of the (monospace) face and the vertical extent of the ASCII glyphs.
    if (FT_Load_Char(face, 'M', FT_LOAD_NO_SCALE) || face->glyph->advance.x <= 0)
        return path + " has no usable 'M'";
    const double advanceUnits = static_cast<double>(face->glyph->advance.x);
    FT_Pos yMax = 0, yMin = 0;
    for (unsigned c = 0x21; c < 0x7f; ++c) {
        if (FT_Load_Char(face, c, FT_LOAD_NO_SCALE)) continue;
        FT_BBox box;
        FT_Outline_Get_CBox(&face->glyph->outline, &box);
        yMax = std::max(yMax, box.yMax);
        yMin = std::min(yMin, box.yMin);
    }
    if (yMax <= yMin) return path + " has no ASCII outlines";

    // Scales are requested directly: a nominal size would be rounded to whole pixels per em by
    // the TrueType driver and the advance would drift off the cell width. Vertically the glyphs
    // fit the cell with a pixel row to spare, so that descenders of one row never touch the
    // next; they are never stretched taller than wide.
    const double scaleX = cellWidth * 64.0 * 65536.0 / advanceUnits;
    const double available = std::max(cellHeight - 1, 1);
    double scaleY = std::min(scaleX, available * 64.0 * 65536.0 / static_cast<double>(yMax - yMin));
    const auto requestScales = [&] {
        FT_Size_RequestRec request{};
        request.type = FT_SIZE_REQUEST_TYPE_SCALES;
        request.width = std::lround(scaleX);
        request.height = std::lround(scaleY);
        return FT_Request_Size(face, &request) == 0;
    };
    const auto asciiBand = [&] {
        int above = 0, below = 0;
        for (unsigned c = 0x21; c < 0x7f; ++c) {
            if (FT_Load_Char(face, c, kLoadFlags)) continue;
            FT_BBox box;  // of the hinted outline, in 26.6 pixels
            FT_Outline_Get_CBox(&face->glyph->outline, &box);
            above = std::max(above, static_cast<int>((box.yMax + 63) / 64));
            below = std::max(below, static_cast<int>((-box.yMin + 63) / 64));
        }
        return above + below;
    };
    if (!requestScales()) return "cannot scale the font " + path;
    if (asciiBand() > available) {
        // The largest height between half and all of the first guess that hinting keeps within
        // the band; cells a few pixels high cannot be met at all and keep the first guess.
        const double first = scaleY;
        double fits = 0, low = first / 2, high = first;
        for (int step = 0; step < 8; ++step) {
            scaleY = (low + high) / 2;
            if (requestScales() && asciiBand() <= available) {
                fits = scaleY;
                low = scaleY;
            } else {
                high = scaleY;
            }
        }
        scaleY = fits > 0 ? fits : first;
        if (!requestScales()) return "cannot scale the font " + path;
    }
    scales = {scaleX, scaleY, static_cast<int>(available)};
    return {};
}

// Every drawable character rendered relative to the baseline (bitmap top = rows above it), as
// hinting may move an edge by a pixel from where the outlines put it.
struct Rendered {
    std::array<Font::Glyph, 256> glyphs;
    int ascent = 0, descent = 0;  // pixel rows above and below the baseline, ASCII glyphs
};

void render(FT_Face face, Rendered& out) {
    for (unsigned c = 0; c < 256; ++c) {
        if (!drawable(c) || FT_Load_Char(face, c, kLoadFlags | FT_LOAD_RENDER)) continue;
        const FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || bitmap.width == 0 || bitmap.rows == 0) continue;
        Font::Glyph& glyph = out.glyphs[c];
        glyph.left = slot->bitmap_left;
        glyph.top = slot->bitmap_top;
        glyph.width = static_cast<int>(bitmap.width);
        glyph.rows = static_cast<int>(bitmap.rows);
        glyph.coverage.resize(static_cast<size_t>(glyph.width) * glyph.rows);
        for (int y = 0; y < glyph.rows; ++y) {
            const unsigned char* source = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
            std::copy(source, source + glyph.width,
                      glyph.coverage.begin() + static_cast<ptrdiff_t>(y) * glyph.width);
        }
        if (c < 0x7f) {
            out.ascent = std::max(out.ascent, glyph.top);
            out.descent = std::max(out.descent, glyph.rows - glyph.top);
        }
    }
}

// The rendered glyphs placed in the cell: the band of ASCII glyphs centred in the rows the cell
// leaves above its spare row; should hinting have made it taller, it may take the spare row, and
// beyond that it is cut. Returns how many ASCII glyphs were cut.
int placeInCell(const Rendered& rendered, int cellWidth, int cellHeight, int available,
                std::array<Font::Glyph, 256>& glyphs) {
    const int band = rendered.ascent + rendered.descent;
    const int spare = available - band;
    const int baseline = rendered.ascent + (spare >= 0 ? spare / 2 : std::min(cellHeight - band, 0) / 2);
    int clippedAscii = 0;
    for (unsigned c = 0; c < 256; ++c) {
        const Font::Glyph& raw = rendered.glyphs[c];
        if (raw.coverage.empty()) continue;
        // Clip to the cell: a glyph never paints into its neighbours.
        const int left = raw.left, top = baseline - raw.top;
        const int x0 = std::max(left, 0), y0 = std::max(top, 0);
        const int x1 = std::min(left + raw.width, cellWidth), y1 = std::min(top + raw.rows, cellHeight);
        if (c < 0x7f && (x0 != left || y0 != top || x1 != left + raw.width || y1 != top + raw.rows))
            ++clippedAscii;
        if (x1 <= x0 || y1 <= y0) continue;
        Font::Glyph& glyph = glyphs[c];
        glyph.left = x0;
        glyph.top = y0;
        glyph.width = x1 - x0;
        glyph.rows = y1 - y0;
        glyph.coverage.resize(static_cast<size_t>(glyph.width) * glyph.rows);
        for (int y = y0; y < y1; ++y) {
            const uint8_t* source = &raw.coverage[static_cast<size_t>(y - top) * raw.width + (x0 - left)];
            std::copy(source, source + glyph.width,
                      glyph.coverage.begin() + static_cast<ptrdiff_t>(y - y0) * glyph.width);
        }
    }
    return clippedAscii;
}

}  // namespace

std::shared_ptr<const Font> Font::forCell(int cellWidth, int cellHeight, const std::string& path,
                                          std::string* error) {
    cellWidth = std::max(cellWidth, 1);
    cellHeight = std::max(cellHeight, 1);

    // Rasterising a whole font takes milliseconds; a display size needs it once per process.
    static std::mutex mutex;
    static std::map<std::tuple<int, int, std::string>, std::shared_ptr<const Font>> cache;
    const std::lock_guard lock(mutex);
    const auto key = std::make_tuple(cellWidth, cellHeight, path);
    if (auto found = cache.find(key); found != cache.end()) return found->second;

    Library library;
    if (FT_Init_FreeType(&library.handle)) return fail(error, "cannot start FreeType");
    Face face;
    if (const std::string why = openFace(library, face, path); !why.empty()) return fail(error, why);
    Scales scales;
    if (const std::string why = scaleToCell(face.handle, cellWidth, cellHeight, path, scales); !why.empty())
        return fail(error, why);

    std::shared_ptr<Font> font(new Font(cellWidth, cellHeight));
    const double upem = face.handle->units_per_EM;
    font->ppemX_ = upem * scales.x / (64.0 * 65536.0);
    font->ppemY_ = upem * scales.y / (64.0 * 65536.0);
    if (!FT_Load_Char(face.handle, 'M', kLoadFlags)) font->advance_ = face.handle->glyph->advance.x / 64.0;

    Rendered rendered;
    render(face.handle, rendered);
    font->clippedAscii_ = placeInCell(rendered, cellWidth, cellHeight, scales.available, font->glyphs_);
    cache.emplace(key, font);
    return font;
}

}  // namespace sim
