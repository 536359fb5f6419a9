// The instrument's pages drawn through the real GDI into a DIB section: every page must read,
// row by row and column by column, as the emulator's page does (tests/data/pages, which the
// emulator's own page tests keep), and GDI itself must show the drawing done right: the
// current position behind each text, opaque backgrounds exactly under their text, every brush
// handed back and deleted, and the gauges' frames and fills on the pixels they claim.
#include <string>
#include <vector>

#include "display/pump_mfd.h"
#include "tests/support/read_file.h"
#include "tests/windows/check.h"
#include "tests/windows/support.h"

using sim::GdiDisplay;
using winhost::Drawing;
using winhost::spy::Event;
using winhost::spy::Kind;

namespace {

constexpr int kSize = 512;

// The vessels and display of the emulator's page tests.
struct Cockpit {
    winhost::LoadedModule host;
    sim::VesselRecord& ship =
        host.simulation.addVessel({"Kestrel-7", "ShuttleA", {{1000, 250}, {300, 100}, {5000, 4999.96}}, 2});
    sim::VesselRecord& depot =
        host.simulation.addVessel({"Depot%Alpha", "FuelDepot", {{20000, 18000}, {2000, 150}}, 1});
    sim::Display& display = host.simulation.addDisplay("left", ship, kSize, kSize);
    GdiDisplay surface{kSize, kSize, sim::cellWidthFor(kSize), sim::cellHeightFor(kSize)};

    void press(DWORD key, int times = 1) {
        for (int i = 0; i < times; ++i) display.key(key);
    }
};

// Loads the module and opens its mode on the display; a failure ends the test.
void start(Cockpit& c) {
    REQUIRE_MSG(c.surface.ok(), c.surface.error());
    REQUIRE_MSG(c.surface.fontAdvance() == sim::cellWidthFor(kSize), "font " << c.surface.fontFace());
    REQUIRE_MSG(c.host.load(), c.host.error);
    REQUIRE(c.display.openMode("Fuel Management"));
}

bool isBlank(char c) { return c == ' '; }

// Text: drawn at GDI's current position, which then stands behind it on the same line, as in
// the emulator: one cell width per character.
void checkTexts(const std::vector<Event>& events, const GdiDisplay& surface, int cw, int ch) {
    const std::vector<Event> texts = winhost::eventsOf(events, Kind::Text);
    CHECK(!texts.empty());  // every page draws at least its title
    for (const Event& e : texts) {
        const int length = static_cast<int>(e.text.size());
        CHECK_MSG(e.result, "'" << e.text << "'");
        CHECK_MSG(e.align & TA_UPDATECP, "'" << e.text << "' drawn without TA_UPDATECP");
        CHECK_MSG(e.extent.cx == length * cw, "'" << e.text << "' measures " << e.extent.cx);
        CHECK_MSG(e.after.x == e.before.x + length * cw && e.after.y == e.before.y,
                  "'" << e.text << "' from (" << e.before.x << "," << e.before.y << ") left the position at ("
                      << e.after.x << "," << e.after.y << ")");

        // The text is on the picture, in its colour, within its cells.
        if (e.text.find_first_not_of(' ') != std::string::npos) {
            int inColour = 0;
            for (int y = e.before.y; y < e.before.y + ch; ++y) {
                for (int x = e.before.x; x < e.after.x; ++x) inColour += surface.pixel(x, y) == e.textColour;
            }
            CHECK_MSG(inColour > 0, "'" << e.text << "' left no pixel of its colour");
        }

        // An opaque background covers the text's advance and the font's height, and no more.
        if (e.bkMode == OPAQUE && length > 0) {
            const int top = e.before.y, bottom = e.before.y + surface.fontHeight() - 1;
            if (isBlank(e.text.front())) {
                CHECK_MSG(surface.pixel(e.before.x, top) == e.bkColour, "'" << e.text << "' top left");
                CHECK_MSG(surface.pixel(e.before.x, bottom) == e.bkColour, "'" << e.text << "' bottom left");
            }
            if (isBlank(e.text.back())) {
                CHECK_MSG(surface.pixel(e.after.x - 1, top) == e.bkColour, "'" << e.text << "' top right");
                CHECK_MSG(surface.pixel(e.after.x - 1, bottom) == e.bkColour,
                          "'" << e.text << "' bottom right");
            }
            CHECK_MSG(surface.pixel(e.after.x, top) != e.bkColour, "'" << e.text << "' background runs on");
            CHECK_MSG(surface.pixel(e.before.x - 1, top) != e.bkColour,
                      "'" << e.text << "' background starts early");
            CHECK_MSG(surface.pixel(e.before.x, bottom + 1) != e.bkColour || bottom + 1 >= e.before.y + ch,
                      "'" << e.text << "' background runs below the font");
        }
    }
}

// Brushes: each gauge creates one, selects it, hands it back by selecting the previous one
// again, and deletes it once it is no longer selected. The display keeps its own brush.
int checkBrushes(const std::vector<Event>& events, const GdiDisplay& surface, HMODULE module) {
    int created = 0;
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].kind != Kind::CreateBrush) continue;
        ++created;
        CHECK(events[i].caller == module);
        const HGDIOBJ brush = events[i].returned;
        int selected = 0, handedBack = 0, deleted = 0, filled = 0;
        for (size_t j = i + 1; j < events.size(); ++j) {
            const Event& e = events[j];
            if (e.kind == Kind::Select && e.brush == brush) ++selected;
            if (e.kind == Kind::Select && e.returned == brush) ++handedBack;
            if (e.kind == Kind::Rectangle && e.brush == brush) ++filled;
            if (e.kind == Kind::Delete && e.brush == brush) {
                ++deleted;
                CHECK(e.result);
                CHECK_MSG(!e.stillSelected, "brush deleted while selected");
                CHECK_MSG(e.typeAfter == 0, "brush still exists after DeleteObject");
                CHECK_MSG(handedBack == 1, "brush deleted before it was handed back");
            }
        }
        CHECK_EQ(selected, 1);
        CHECK_EQ(handedBack, 1);
        CHECK_EQ(filled, 1);
        CHECK_EQ(deleted, 1);
    }
    CHECK(GetCurrentObject(surface.dc(), OBJ_BRUSH) == surface.ownBrush());
    return created;
}

// Gauges, at the given rows: a frame across the display, half a cell in from each side, from
// half a cell below the row's top down to two cells below it, filled with the display's brush;
// then the fill with the gauge's brush; both outlined by the display's pen. GDI covers x in
// [left, right - 1] and y in [top, bottom - 1].
void checkGauges(const std::vector<Event>& events, const GdiDisplay& surface, const std::vector<int>& rows) {
    const std::vector<Event> rects = winhost::eventsOf(events, Kind::Rectangle);
    REQUIRE_MSG(rects.size() == 2 * rows.size(), rects.size() << " rectangles");
    const int cw = sim::cellWidthFor(kSize), ch = sim::cellHeightFor(kSize);
    const COLORREF pen = sim::kFramePen, background = sim::kDisplayBackground;
    for (size_t i = 0; i + 1 < rects.size(); i += 2) {
        const RECT frame = rects[i].rect, fill = rects[i + 1].rect;
        const int row = rows[i / 2];
        CHECK_MSG(frame.left == cw / 2 && frame.right == kSize - cw / 2 && frame.top == row * ch + ch / 2 &&
                      frame.bottom == row * ch + 2 * ch,
                  "gauge at row " << row << ": frame " << frame.left << "," << frame.top << " - "
                                  << frame.right << "," << frame.bottom);
        CHECK(rects[i].brush == surface.ownBrush());
        CHECK(fill.left == frame.left && fill.top == frame.top && fill.bottom == frame.bottom);
        const int l = frame.left, r = frame.right, t = frame.top, b = frame.bottom;
        const int w = fill.right - fill.left;
        REQUIRE(l < r && t + 3 <= b && w >= 0 && w <= r - l);

        // The outline: corners and whole edges in the pen colour, nothing just outside.
        for (int x = l; x < r; ++x) {
            CHECK_MSG(surface.pixel(x, b - 1) == pen, "bottom edge at x " << x);
        }
        for (int y = t; y < b; ++y) {
            CHECK_MSG(surface.pixel(l, y) == pen && surface.pixel(r - 1, y) == pen, "side edges at y " << y);
        }
        CHECK(surface.pixel(l - 1, b - 1) == background && surface.pixel(r, b - 1) == background);
        CHECK(surface.pixel(l, b) == background && surface.pixel(r - 1, b) == background);

        // One row inside, below the texts: the fill up to its own outline, then the frame's inside.
        const int y = b - 2;
        for (int x = l; x < r; ++x) {
            COLORREF expected = background;
            if (x == l || x == r - 1 || (w >= 1 && x == l + w - 1)) {
                expected = pen;
            } else if (x < l + w - 1) {
                expected = rects[i + 1].brushColour;
            }
            if (surface.pixel(x, y) != expected) {
                CHECK_MSG(false, "gauge row " << y << ", x " << x << ": " << std::hex << surface.pixel(x, y)
                                              << " instead of " << expected << std::dec << " (fill " << w
                                              << ")");
                break;
            }
        }
    }
}

// The whole page through GDI against the emulator's page.
void checkPage(Cockpit& c, const std::string& name, const std::vector<int>& gaugeRows) {
    const int cw = sim::cellWidthFor(kSize), ch = sim::cellHeightFor(kSize);
    const Drawing drawing = winhost::redraw(c.display, c.surface);

    std::string error;
    CHECK_MSG(c.surface.saveBmp(winhost::outputPath("page_" + name + ".bmp"), error), error);

    const std::string expected = test::readFile(winhost::config().dataDir + "/pages/" + name + ".txt");
    const std::string actual = drawing.cells.text();
    CHECK_MSG(!expected.empty(), "no emulator page " << name << ".txt");
    if (actual != expected) {
        const std::string path = winhost::outputPath("page_" + name + "_windows.txt");
        if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
            std::fwrite(actual.data(), 1, actual.size(), out);
            std::fclose(out);
        }
        CHECK_MSG(false, name << ": the page under GDI differs from the emulator's; written to " << path
                              << ":\n"
                              << actual);
    }
    CHECK_EQ(drawing.cells.overlaps(), 0);
    CHECK_EQ(drawing.cells.clipped(), 0);

    checkTexts(drawing.events, c.surface, cw, ch);
    CHECK_EQ(checkBrushes(drawing.events, c.surface, c.host.module), static_cast<int>(gaugeRows.size()));
    checkGauges(drawing.events, c.surface, gaugeRows);
    CHECK_EQ(c.host.simulation.calls.liveStatusLists(), 0u);
    CHECK_MSG(c.host.loader.unload(), c.host.loader.error());
}

}  // namespace

TEST_CASE(crossFeedStatusPageUnderGdiMatchesTheEmulator) {
    Cockpit c;
    start(c);
    c.press(kKeySourceTank);
    c.press(kKeyRateUp, 2);
    checkPage(c, "status_crossfeed", {14, 18});
}

TEST_CASE(loadStatusPageUnderGdiMatchesTheEmulator) {
    Cockpit c;
    REQUIRE(c.host.simulation.dock(c.ship, 1, c.depot, 0));
    start(c);
    c.press(kKeyMode);
    c.press(kKeyDockPort);
    winhost::redraw(c.display, c.surface);  // the redraw that finds the docked vessel
    c.press(kKeySourceTank);
    c.press(kKeyTargetTank, 2);
    c.press(kKeyRateUp, 3);
    checkPage(c, "status_load", {14, 18});
}

TEST_CASE(unloadStatusPageWithNothingDockedUnderGdiMatchesTheEmulator) {
    Cockpit c;
    start(c);
    c.press(kKeyMode, 2);
    checkPage(c, "status_unload_not_docked", {14});
}

TEST_CASE(ventStatusPageUnderGdiMatchesTheEmulator) {
    Cockpit c;
    start(c);
    c.press(kKeyMode, 3);
    c.press(kKeyTargetTank);
    c.press(kKeyRateUp);
    checkPage(c, "status_vent", {14});
}

TEST_CASE(helpPageUnderGdiMatchesTheEmulator) {
    Cockpit c;
    start(c);
    c.press(kKeyHelp);
    checkPage(c, "help", {});
}
