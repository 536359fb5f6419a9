// The emulator's drawing surface: the GDI state the module relies on, text in its cells,
// rectangles by GDI's rules, the character-cell view and the PNG picture.
//
// Not yet written: whole pages against reference pictures (once the pages draw), names in
// Latin-1 through the terminal.
#include "sim/drawing/raster_surface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "sim/drawing/panel.h"

namespace {

constexpr COLORREF kWhite = 0xffffff;
constexpr COLORREF kBlack = 0x000000;

// The module's way of putting text down: alignment 1, the position moved, TextOutA at 0, 0.
void textAt(HDC surface, int x, int y, const char* text, COLORREF colour) {
    MoveToEx(surface, x, y, nullptr);
    SetBkMode(surface, TRANSPARENT);
    SetTextColor(surface, colour);
    TextOutA(surface, 0, 0, text, lstrlenA(text));
}

int red(COLORREF c) { return static_cast<int>(c & 0xff); }
int green(COLORREF c) { return static_cast<int>((c >> 8) & 0xff); }
int blue(COLORREF c) { return static_cast<int>((c >> 16) & 0xff); }

TEST(RasterSurface, GdiCallsReturnThePreviousStateAndTextMovesTheCurrentPositionByWholeCells) {
    sim::RasterSurface s(512, 512);
    ASSERT_EQ(s.cellWidth(), 13);
    ASSERT_EQ(s.cellHeight(), 21);
    HDC d = &s;

    EXPECT_EQ(SetTextAlign(d, TA_UPDATECP), 0u);
    EXPECT_EQ(SetTextAlign(d, TA_UPDATECP), static_cast<UINT>(TA_UPDATECP));
    POINT old{-1, -1};
    EXPECT_TRUE(MoveToEx(d, 6, 42, &old));
    EXPECT_EQ(old.x, 0);
    EXPECT_EQ(old.y, 0);

    // Under alignment 1 the coordinates are ignored and the position ends behind the text.
    TextOutA(d, 300, 300, "Fuel", 4);
    MoveToEx(d, 0, 0, &old);
    EXPECT_EQ(old.x, 6 + 4 * 13);
    EXPECT_EQ(old.y, 42);
    MoveToEx(d, old.x, old.y, nullptr);
    TextOutA(d, 0, 0, " Mgt", 4);
    EXPECT_EQ(s.cells().line(2), "Fuel Mgt");
    EXPECT_EQ(s.cells().line(14), "");

    // A device context starts in GDI's defaults; each setter gives back what was set before.
    EXPECT_EQ(SetBkMode(d, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetBkMode(d, OPAQUE), TRANSPARENT);
    EXPECT_EQ(SetBkMode(d, 7), 0);  // no such mode: refused, the mode stays
    EXPECT_EQ(s.bkMode, OPAQUE);
    EXPECT_EQ(SetBkColor(d, 0xc0), kWhite);
    EXPECT_EQ(SetBkColor(d, 0xc0c0), 0xc0u);
    EXPECT_EQ(SetTextColor(d, 0xc000), kBlack);
    EXPECT_EQ(SetTextColor(d, 0xff00), 0xc000u);

    // Without alignment 1 text goes where it is told and the position stays.
    SetTextAlign(d, 0);
    MoveToEx(d, 6, 0, nullptr);
    TextOutA(d, 6 + 5 * 13, 4 * 21, "X", 1);
    MoveToEx(d, 0, 0, &old);
    EXPECT_EQ(old.x, 6);
    EXPECT_EQ(old.y, 0);
    EXPECT_EQ(s.cells().line(4), "     X");
    EXPECT_EQ(s.cells().cell(5, 4).text, 0xff00u);
    EXPECT_EQ(s.cells().cell(5, 4).background, 0xc0c0u);
}

TEST(RasterSurface, SelectObjectSwapsBrushesAndASelectedBrushCannotBeDeleted) {
    const int64_t liveBefore = sim::GdiObjects::live();
    sim::RasterSurface s(64, 64, 8, 12);
    HDC d = &s;
    HBRUSH olive = CreateSolidBrush(0x8080);
    HGDIOBJ own = SelectObject(d, olive);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(SelectObject(d, olive), olive);  // the previous one, though it is the same
    Rectangle(d, 10, 10, 20, 20);
    EXPECT_EQ(s.pixel(15, 15), 0x8080u);

    EXPECT_FALSE(DeleteObject(olive));  // still selected: GDI refuses
    EXPECT_EQ(sim::GdiObjects::live(), liveBefore + 1);
    EXPECT_EQ(SelectObject(d, own), olive);
    EXPECT_TRUE(DeleteObject(olive));
    EXPECT_FALSE(DeleteObject(olive));  // once only
    EXPECT_EQ(sim::GdiObjects::live(), liveBefore);
    Rectangle(d, 30, 30, 40, 40);
    EXPECT_EQ(s.pixel(35, 35), sim::kDisplayBackground);  // the surface's own brush again
    EXPECT_FALSE(DeleteObject(own));                      // not the caller's to delete
    EXPECT_EQ(SelectObject(d, olive), nullptr);           // deleted: refused, the selection stays
    EXPECT_EQ(SelectObject(d, own), own);

    // A brush left selected in a surface that goes away can be deleted afterwards.
    HBRUSH red = CreateSolidBrush(0xc0);
    {
        sim::RasterSurface other(16, 16, 8, 12);
        SelectObject(&other, red);
        EXPECT_FALSE(DeleteObject(red));
    }
    EXPECT_TRUE(DeleteObject(red));
    EXPECT_EQ(sim::GdiObjects::live(), liveBefore);
}

TEST(RasterSurface, EveryCharacterPaintsInsideItsOwnCellOnlyAndLeavesTheCellsLastRowFree) {
    // Cell (1, 1) of a 13 x 21 grid spans x 19..31 and y 21..41.
    sim::RasterSurface s(60, 63, 13, 21);
    ASSERT_NE(s.font(), nullptr) << s.fontError();
    HDC d = &s;
    SetTextAlign(d, TA_UPDATECP);
    for (unsigned c = 0x21; c < 0x100; ++c) {
        if (c >= 0x7f && c <= 0xa0) continue;
        SCOPED_TRACE(c);
        s.clear();
        const char text[2] = {static_cast<char>(c), 0};
        textAt(d, 19, 21, text, kWhite);
        int lit = 0, full = 0, outside = 0, lastRow = 0;
        for (int y = 0; y < s.height(); ++y) {
            for (int x = 0; x < s.width(); ++x) {
                const COLORREF p = s.pixel(x, y);
                if (p == kBlack) continue;
                const bool inside = x >= 19 && x < 32 && y >= 21 && y < 42;
                if (!inside) ++outside;
                ++lit;
                if (p == kWhite) ++full;
                if (y == 41 && c < 0x7f) ++lastRow;  // accented capitals may reach higher
                EXPECT_TRUE(red(p) == green(p) && green(p) == blue(p)) << "not a shade of the text colour";
            }
        }
        EXPECT_GT(lit, 0);
        EXPECT_EQ(outside, 0);
        EXPECT_EQ(lastRow, 0);
        if (std::strchr("MH|#", static_cast<int>(c))) {
            EXPECT_GT(full, 0);
        }
    }
}

TEST(RasterSurface, FontAdvanceIsTheCellWidthAtEverySize) {
    for (auto [cw, ch] : {std::pair{6, 8}, {7, 10}, {8, 12}, {13, 21}, {20, 42}, {13, 40}}) {
        SCOPED_TRACE(std::to_string(cw) + "x" + std::to_string(ch));
        sim::RasterSurface s(cw * 10, ch * 4, cw, ch);
        ASSERT_NE(s.font(), nullptr) << s.fontError();
        EXPECT_EQ(s.font()->advance(), cw);
        EXPECT_EQ(s.font()->clippedAscii(), 0);
        EXPECT_LE(s.font()->pixelsPerEmY(), s.font()->pixelsPerEmX());  // never stretched
    }
}

TEST(RasterSurface, WithoutItsFontASurfaceStillKeepsStateAndCells) {
    sim::RasterSurface s(128, 64, 8, 12, "/nonexistent/font.ttf");
    EXPECT_EQ(s.font(), nullptr);
    EXPECT_NE(s.fontError().find("/nonexistent/font.ttf"), std::string::npos);
    HDC d = &s;
    SetTextAlign(d, TA_UPDATECP);
    textAt(d, 4, 12, "Load", 0xff00);
    POINT old;
    MoveToEx(d, 0, 0, &old);
    EXPECT_EQ(old.x, 4 + 4 * 8);
    EXPECT_EQ(s.cells().line(1), "Load");
}

TEST(RasterSurface, OpaqueTextFillsEachCellWithTheBackgroundFirstTransparentTextDoesNot) {
    sim::RasterSurface s(128, 48, 13, 21);
    HDC d = &s;
    SetTextAlign(d, TA_UPDATECP);
    MoveToEx(d, 6, 21, nullptr);
    SetBkMode(d, OPAQUE);
    SetBkColor(d, 0xc0);
    SetTextColor(d, kWhite);
    TextOutA(d, 0, 0, " NO ", 4);  // cells x 6..57, y 21..41
    for (int y = 0; y < s.height(); ++y) {
        for (int x = 0; x < s.width(); ++x) {
            const COLORREF p = s.pixel(x, y);
            const bool inside = x >= 6 && x < 58 && y >= 21 && y < 42;
            if (!inside) {
                ASSERT_EQ(p, kBlack) << x << "," << y;
            } else if (x < 19 || x >= 45) {
                ASSERT_EQ(p, 0xc0u) << "a blank is all background: " << x << "," << y;
            } else {
                // Red blended toward white by the coverage, which green and blue show.
                ASSERT_EQ(red(p), 0xc0 + ((0xff - 0xc0) * green(p) + 127) / 0xff) << x << "," << y;
                ASSERT_EQ(green(p), blue(p));
            }
        }
    }
    const sim::Cell& warning = s.cells().cell(1, 1);
    EXPECT_EQ(warning.ch, 'N');
    EXPECT_TRUE(warning.opaque);
    EXPECT_EQ(warning.background, 0xc0u);
    EXPECT_EQ(warning.text, kWhite);
    EXPECT_EQ(warning.paint(), 0xc0u);

    // The same in transparent mode: blanks leave the picture as it was; letters keep their
    // own colour (green only).
    s.clear();
    textAt(d, 6, 21, " NO ", 0xc000);
    int lit = 0;
    for (int y = 0; y < s.height(); ++y) {
        for (int x = 0; x < s.width(); ++x) {
            const COLORREF p = s.pixel(x, y);
            if (p == kBlack) continue;
            ++lit;
            ASSERT_TRUE(x >= 19 && x < 45) << "only the letters' cells: " << x;
            ASSERT_EQ(p & 0xff00ff, 0u);
            ASSERT_LE(green(p), 0xc0);
        }
    }
    EXPECT_GT(lit, 0);
    EXPECT_FALSE(s.cells().cell(1, 1).opaque);
}

TEST(RasterSurface, RectanglesCoverLeftAndTopButNotRightAndBottomEdges) {
    sim::RasterSurface s(64, 48, 8, 12);
    HDC d = &s;
    EXPECT_EQ(s.penColour, sim::kFramePen);
    HBRUSH brush = CreateSolidBrush(0x8000);
    HGDIOBJ own = SelectObject(d, brush);

    Rectangle(d, 10, 20, 30, 25);
    struct Probe {
        int x, y;
        COLORREF expected;
    };
    const Probe probes[] = {
        {10, 20, sim::kFramePen}, {29, 20, sim::kFramePen}, {10, 24, sim::kFramePen},
        {29, 24, sim::kFramePen}, {20, 20, sim::kFramePen}, {20, 24, sim::kFramePen},
        {11, 21, 0x8000},         {28, 23, 0x8000},         {9, 22, kBlack},
        {30, 22, kBlack},         {20, 19, kBlack},         {20, 25, kBlack},
    };
    for (const Probe& p : probes) EXPECT_EQ(s.pixel(p.x, p.y), p.expected) << p.x << "," << p.y;
    const sim::Image forward = s.image();

    // Reversed corners draw the same rectangle.
    s.clear();
    Rectangle(d, 30, 25, 10, 20);
    EXPECT_EQ(s.image().rgb, forward.rgb);

    // Empty ones draw nothing at all; one pixel wide is the outline alone.
    s.clear();
    Rectangle(d, 10, 20, 10, 25);
    Rectangle(d, 10, 20, 30, 20);
    EXPECT_EQ(s.image().rgb, sim::Image(64, 48).rgb);
    Rectangle(d, 10, 20, 11, 25);
    for (int y = 20; y < 25; ++y) EXPECT_EQ(s.pixel(10, y), sim::kFramePen);
    EXPECT_EQ(s.pixel(11, 22), kBlack);
    EXPECT_EQ(s.pixel(10, 25), kBlack);

    // Beyond the picture: clipped, with the outline out of sight.
    s.clear();
    Rectangle(d, -5, -5, 100, 100);
    EXPECT_EQ(s.pixel(0, 0), 0x8000u);
    EXPECT_EQ(s.pixel(63, 47), 0x8000u);

    SelectObject(d, own);
    DeleteObject(brush);
}

// A gauge as the pages draw one: a frame with the surface's brush, a fill with its own brush,
// then texts on the bar's top edge at absolute columns.
void drawGauge(sim::RasterSurface& s, int row, int fillWidth, COLORREF fill, const char* mass,
               const char* percent, const char* capacity) {
    HDC d = &s;
    const int cw = s.cellWidth(), ch = s.cellHeight(), x = cw / 2;
    const int top = row * ch + ch / 2, bottom = row * ch + 2 * ch;
    Rectangle(d, x, top, s.width() - x, bottom);
    HBRUSH brush = CreateSolidBrush(fill);
    HGDIOBJ previous = SelectObject(d, brush);
    Rectangle(d, x, top, x + fillWidth, bottom);
    SelectObject(d, previous);
    DeleteObject(brush);
    textAt(d, 1 * cw + x, top, mass, kWhite);
    MoveToEx(d, 15 * cw + x, top, nullptr);
    TextOutA(d, 0, 0, percent, lstrlenA(percent));
    MoveToEx(d, 27 * cw + x, top, nullptr);
    TextOutA(d, 0, 0, capacity, lstrlenA(capacity));
}

TEST(CellView, APageReadsAsTextWithItsColoursAndGaugeRuns) {
    sim::RasterSurface s(512, 512);  // 13 x 21 cells, 38 columns of text
    HDC d = &s;
    SetTextAlign(d, TA_UPDATECP);
    MoveToEx(d, 6, 0, nullptr);
    SetBkMode(d, TRANSPARENT);
    SetTextColor(d, kWhite);
    TextOutA(d, 0, 0, "Fuel Mgt", 8);
    SetTextColor(d, 0xc0c0c0);
    TextOutA(d, 0, 0, " Ship-1 (Tanker)", 16);
    textAt(d, 6, 3 * 21, "Pump Mode: ", 0xc000);
    SetTextColor(d, 0xff00);
    TextOutA(d, 0, 0, "Load", 4);
    drawGauge(s, 14, 125, 0x8080, "250.0 kg", "25.00%", "  1000 kg");  // a quarter of 500 px
    MoveToEx(d, 6, 17 * 21, nullptr);
    SetBkMode(d, OPAQUE);
    SetBkColor(d, 0xc0c0);
    SetTextColor(d, kWhite);
    TextOutA(d, 0, 0, " SINGLE TANK ONLY ", 18);

    const std::string expected =
        "Fuel Mgt Ship-1 (Tanker)\n"
        "\n"
        "\n"
        "Pump Mode: Load\n"
        "\n\n\n\n\n\n\n\n\n\n"
        "#250.0 kg#.....25.00%......  1000 kg..\n"
        "##########............................\n"
        "\n"
        " SINGLE TANK ONLY\n";
    EXPECT_EQ(s.cells().text(), expected);
    EXPECT_EQ(s.cells().overlaps(), 0);
    EXPECT_EQ(s.cells().clipped(), 0);

    const sim::CellView& cells = s.cells();
    EXPECT_EQ(cells.cell(0, 0).text, kWhite);
    EXPECT_EQ(cells.cell(9, 0).text, 0xc0c0c0u);
    EXPECT_EQ(cells.cell(10, 3).text, 0xc000u);
    EXPECT_EQ(cells.cell(11, 3).text, 0xff00u);
    EXPECT_FALSE(cells.cell(11, 3).opaque);
    EXPECT_EQ(cells.cell(1, 14).text, kWhite);
    EXPECT_EQ(cells.cell(1, 14).paint(), 0x8080u);  // text over the filled bar
    EXPECT_EQ(cells.cell(20, 15).paint(), kBlack);  // the empty part
    EXPECT_EQ(cells.cell(5, 17).paint(), 0xc0c0u);  // opaque warning
    EXPECT_EQ(cells.cell(17, 17).ch, ' ');          // its trailing blank, drawn
    EXPECT_TRUE(cells.cell(17, 17).drawn);

    for (int row : {14, 15}) {
        const auto runs = cells.bars(row);
        ASSERT_EQ(runs.size(), 1u) << row;
        EXPECT_EQ(runs[0].first, 0);
        EXPECT_EQ(runs[0].last, 37);
        ASSERT_TRUE(runs[0].filled());
        EXPECT_EQ(runs[0].fillFirst, 0);
        EXPECT_EQ(runs[0].fillLast, 9);
        EXPECT_EQ(runs[0].fill, 0x8080u);
    }
    EXPECT_TRUE(cells.bars(13).empty());
    EXPECT_TRUE(cells.bars(16).empty());

    // Empty and over-full gauges: no fill run; a fill past the frame fills the whole row.
    s.clear();
    drawGauge(s, 2, 0, 0x8000, "0.0 kg", "0.00%", "   0.0 kg");
    drawGauge(s, 6, 700, 0x8000, "1500 kg", "150.00%", "  1000 kg");
    EXPECT_FALSE(cells.bars(3)[0].filled());
    EXPECT_EQ(cells.line(3), std::string(38, '.'));
    EXPECT_EQ(cells.line(7), std::string(39, '#'));  // into the partly visible last column
}

TEST(CellView, CharactersLandByTheGridRuleAndOverdrawingIsCounted) {
    // Cells of 8 x 12: the anchor of column c is 8c + 4.
    sim::RasterSurface s(100, 60, 8, 12);
    HDC d = &s;
    SetTextAlign(d, TA_UPDATECP);
    struct Case {
        int x, y, column, row;
    };
    // The margin left of the first anchor still reads as column 0.
    const Case cases[] = {{4, 0, 0, 0},  {0, 0, 0, 0},   {3, 11, 0, 0}, {11, 0, 0, 0},
                          {12, 0, 1, 0}, {20, 23, 2, 1}, {44, 30, 5, 2}};
    for (const Case& c : cases) {
        s.clear();
        textAt(d, c.x, c.y, "A", kWhite);
        EXPECT_EQ(s.cells().cell(c.column, c.row).ch, 'A') << c.x << "," << c.y;
    }
    // Text starting left of or above the picture: what lies outside is not shown, and nothing
    // lands on top of the next character.
    struct Outside {
        int x, y;
        const char* text;
    };
    const Outside outside[] = {{-4, 0, "AB"}, {-3, 0, "AB"}, {-1, 0, "AB"}, {12, -5, "AB"}, {12, -12, "AB"}};
    for (const Outside& o : outside) {
        s.clear();
        textAt(d, o.x, o.y, o.text, kWhite);
        EXPECT_EQ(s.cells().text(), o.y < 0 ? "" : "B\n") << o.x << "," << o.y;
        EXPECT_EQ(s.cells().overlaps(), 0) << o.x << "," << o.y;
    }

    s.clear();
    textAt(d, 4, 12, "AB", kWhite);
    textAt(d, 4, 12, " ", 0xc000);  // a transparent blank leaves the letter
    EXPECT_EQ(s.cells().line(1), "AB");
    EXPECT_EQ(s.cells().overlaps(), 0);
    textAt(d, 12, 12, "CD", kWhite);  // C over B
    EXPECT_EQ(s.cells().line(1), "ACD");
    EXPECT_EQ(s.cells().overlaps(), 1);

    // Past the right and bottom edges.
    textAt(d, 4 + 11 * 8, 0, "XY", kWhite);  // X in 92..99 fits, Y does not
    textAt(d, 4, 54, "Z", kWhite);           // 54..65 of 60
    EXPECT_EQ(s.cells().clipped(), 2);

    // A rectangle hides the text under it; its cells show as bar.
    textAt(d, 4, 36, "hidden", kWhite);
    Rectangle(d, 4, 36, 36, 48);  // columns 0..3 of row 3
    EXPECT_EQ(s.cells().line(3), "....en");
}

TEST(RasterSurface, ThePictureIsWrittenAsPngAndReadsBackPixelForPixel) {
    sim::RasterSurface s(200, 120, 8, 12);
    HDC d = &s;
    SetTextAlign(d, TA_UPDATECP);
    textAt(d, 4, 0, "Fuel Mgt", kWhite);
    HBRUSH brush = CreateSolidBrush(0x408020);  // red 0x20, green 0x80, blue 0x40
    HGDIOBJ own = SelectObject(d, brush);
    Rectangle(d, 50, 50, 150, 100);
    SelectObject(d, own);
    DeleteObject(brush);

    const auto dir = std::filesystem::path(::testing::TempDir()) / "raster_surface_test";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "picture.png").string();
    std::string error;
    ASSERT_TRUE(s.writePng(path, &error)) << error;
    sim::Image back;
    ASSERT_TRUE(sim::readPng(path, &back, &error)) << error;
    EXPECT_EQ(back.width, 200);
    EXPECT_EQ(back.height, 120);
    EXPECT_EQ(back.pixel(100, 75), 0x408020u);
    EXPECT_EQ(back.rgb[(75 * 200 + 100) * 3], 0x20);  // stored as R, G, B
    EXPECT_EQ(back.pixel(50, 50), sim::kFramePen);
    EXPECT_EQ(back.rgb, s.image().rgb);

    EXPECT_FALSE(s.writePng((dir / "no-such-dir" / "x.png").string(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(sim::readPng((dir / "missing.png").string(), &back, &error));
    std::filesystem::remove_all(dir);
}

TEST(Panel, TheDisplayAppearsWholeBesideItsButtonLabels) {
    sim::RasterSurface display(256, 256);
    HDC d = &display;
    HBRUSH brush = CreateSolidBrush(0x0000ff);
    HGDIOBJ own = SelectObject(d, brush);
    display.penColour = 0x0000ff;
    Rectangle(d, 0, 0, 256, 256);  // the whole display in one colour, to find it again
    SelectObject(d, own);
    DeleteObject(brush);

    const sim::Image panel = sim::renderPanel(display, {"MOD", "PR+", "PR-", "TGT", "SRC", "DCK", "HLP"});
    int left = panel.width, top = panel.height, right = -1, bottom = -1, labelsLeft = 0, labelsRight = 0;
    for (int y = 0; y < panel.height; ++y) {
        for (int x = 0; x < panel.width; ++x) {
            const COLORREF p = panel.pixel(x, y);
            if (p == 0x0000ff) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
            // Light grey label pixels, either side of the screen.
            if (red(p) > 0xc0 && red(p) == green(p) && green(p) == blue(p))
                ++(x < panel.width / 2 ? labelsLeft : labelsRight);
        }
    }
    EXPECT_EQ(right - left + 1, 256);
    EXPECT_EQ(bottom - top + 1, 256);
    EXPECT_GT(left, 0);
    EXPECT_LT(right, panel.width - 1);
    EXPECT_GT(labelsLeft, 0);
    EXPECT_GT(labelsRight, 0);
}

}  // namespace
