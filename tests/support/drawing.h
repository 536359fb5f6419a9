// What a drawing put on a display, for tests that read a page: each text with its place and
// colours, each rectangle with its fill, and the whole as the emulator's character-cell view
// reads it.
#pragma once

#include <string>
#include <vector>

#include "sim/drawing/cell_view.h"
#include "sim/drawing/raster_surface.h"
#include "sim/world/display.h"

namespace test {

struct Drawing {
    struct Text {
        int x, y;  // top-left corner, in pixels
        std::string text;
        COLORREF colour;
        int bkMode;
        COLORREF background;
    };
    struct Box {
        int left, top, right, bottom;  // as the rectangle was asked for
        COLORREF fill;
    };

    std::vector<Text> texts;
    std::vector<Box> boxes;
    sim::CellView cells;

    // The first text drawn exactly so, or null.
    const Text* find(const std::string& text) const {
        for (const Text& t : texts) {
            if (t.text == text) return &t;
        }
        return nullptr;
    }
    // Whether some text drawn contains `part`.
    bool mentions(const std::string& part) const {
        for (const Text& t : texts) {
            if (t.text.find(part) != std::string::npos) return true;
        }
        return false;
    }
    // The texts drawn with their top at y, in the order drawn.
    std::vector<Text> textsAt(int y) const {
        std::vector<Text> out;
        for (const Text& t : texts) {
            if (t.y == y) out.push_back(t);
        }
        return out;
    }
    // The characters drawn in a row of cells, gauges left blank, up to the last character
    // drawn (a blank drawn counts: a warning's background ends with it).
    std::string row(int r) const {
        std::string out;
        size_t end = 0;
        for (int column = 0; column < cells.columns(); ++column) {
            const sim::Cell& cell = cells.cell(column, r);
            out += sim::cellText(cell, false);
            if (cell.drawn) end = out.size();
        }
        out.resize(end);
        return out;
    }
};

// The help page is the one page that explains the modes; its first heading is found at any
// display size, where the cells may be too few to read it.
inline bool showsHelpPage(const Drawing& drawing) { return drawing.find("CROSS-FEED") != nullptr; }

// A surface that keeps, besides the cells, each text and rectangle drawn on it, and, if asked,
// the call log. Texts advance by one cell.
class CapturingSurface : public sim::CellSurface {
public:
    CapturingSurface(int width, int height, int cw, int ch, bool logCalls = true)
        : CellSurface(width, height, cw, ch) {
        logging = logCalls;
    }
    // Of a display's size, with its cells.
    explicit CapturingSurface(const sim::Display& d, bool logCalls = true)
        : CellSurface(static_cast<int>(d.width()), static_cast<int>(d.height())) {
        logging = logCalls;
    }

    void drawText(int x, int y, const char* text, int length) override {
        texts.push_back({x, y, std::string(text, length > 0 ? static_cast<size_t>(length) : 0), textColour,
                         bkMode, bkColour});
        CellSurface::drawText(x, y, text, length);
    }
    void drawRectangle(int left, int top, int right, int bottom) override {
        boxes.push_back({left, top, right, bottom, brush->colour});
        CellSurface::drawRectangle(left, top, right, bottom);
    }
    // The drawing and the call log emptied; the GDI state stays.
    void clear() override {
        CellSurface::clear();
        texts.clear();
        boxes.clear();
        log.clear();
    }
    // What has been drawn so far.
    Drawing drawing() const { return {texts, boxes, cells()}; }

    std::vector<Drawing::Text> texts;
    std::vector<Drawing::Box> boxes;
};

// One redraw of a display, as its host draws it.
inline Drawing redraw(sim::Display& d) {
    CapturingSurface surface(d, false);
    d.repaint(&surface);
    return surface.drawing();
}

}  // namespace test
