// The character grid: cell arithmetic, moves, and what the writers ask of the surface.
#include "display/text_grid.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "sim/drawing/surface.h"
#include "tests/support/drawing.h"

using sim::GdiCall;

namespace {

std::string describe(const sim::GdiEntry& e) {
    char out[400];
    switch (e.call) {
        case GdiCall::MoveToEx:
            std::snprintf(out, sizeof out, "MoveToEx(%d,%d%s)", e.a, e.b, e.c ? ",old" : "");
            break;
        case GdiCall::SetTextAlign:
        case GdiCall::SetBkMode:
            std::snprintf(out, sizeof out, "%s(%d)", sim::gdiCallName(e.call), e.a);
            break;
        case GdiCall::SetBkColor:
        case GdiCall::SetTextColor:
            std::snprintf(out, sizeof out, "%s(%#x)", sim::gdiCallName(e.call), static_cast<unsigned>(e.a));
            break;
        case GdiCall::TextOut:
            std::snprintf(out, sizeof out, "TextOut(%d,%d,\"%s\",%d)", e.a, e.b, e.text.c_str(), e.c);
            break;
        default:
            std::snprintf(out, sizeof out, "%s", sim::gdiCallName(e.call));
    }
    return out;
}

std::vector<std::string> takeCalls(HDC__& s) {
    std::vector<std::string> out;
    for (const auto& e : s.log) out.push_back(describe(e));
    s.log.clear();
    return out;
}

class GridTest : public ::testing::Test {
protected:
    test::CapturingSurface surface{512, 512, 8, 12};
    HDC dc = &surface;
    const std::vector<test::Drawing::Text>& drawn = surface.texts;  // where each text landed
};

TEST_F(GridTest, SetupAnchorsCellZeroHalfACellInAndSwitchesToAdvancingText) {
    surface.position = {100, 50};
    const Cell before = setupGrid(dc, 8, 12);
    EXPECT_EQ(before, (Cell{12, 4}));
    EXPECT_EQ(surface.textAlign, static_cast<UINT>(TA_UPDATECP));
    EXPECT_EQ(surface.position.x, 4);
    EXPECT_EQ(surface.position.y, 0);
    EXPECT_EQ(takeCalls(surface), (std::vector<std::string>{"SetTextAlign(1)", "MoveToEx(0,0,old)",
                                                            "MoveToEx(100,50)", "MoveToEx(4,0)"}));
    EXPECT_EQ(getCurrentCell(dc), (Cell{0, 0}));
    moveToPoint(dc, 4 + 3 * 8, 2 * 12);  // the grid kept the 8 x 12 cell
    EXPECT_EQ(getCurrentCell(dc), (Cell{3, 2}));
}

TEST_F(GridTest, CellSizesOfZeroOrBelowCountAsOnePixel) {
    struct Case {
        int w, h;
        Cell ofPoint17And13;
    };
    const Case cases[] = {{0, 0, {17, 13}}, {-8, 12, {17, 1}}, {8, -1, {1, 13}}};
    for (const Case& c : cases) {
        surface.position = {9, 9};
        setupGrid(dc, c.w, c.h);
        moveToPoint(dc, 17, 13);
        EXPECT_EQ(getCurrentCell(dc), c.ofPoint17And13) << c.w << " x " << c.h;  // must not divide by zero
    }
    // Drawn on a grid of 0 x 0 cells: the text lands on the pixel of its cell.
    setupGrid(dc, 0, 0);
    surface.texts.clear();
    writeAt(dc, 5, 3, "x");
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].x, 5);
    EXPECT_EQ(drawn[0].y, 3);
}

TEST_F(GridTest, CellOfAPointTruncatesTowardZeroAndDoesNotFloor) {
    struct Case {
        int w, h, x, y;
        Cell expected;
    };
    const Case cases[] = {
        {8, 12, 4, 0, {0, 0}},   // the anchor itself
        {8, 12, 0, 0, {0, 0}},   // left of the first anchor still column 0
        {8, 12, 3, 11, {0, 0}},  // -1/8 and 11/12: flooring would give column -1
        {8, 12, 11, 12, {0, 1}},    {8, 12, 12, 0, {1, 0}},
        {8, 12, -5, -13, {-1, -1}},  // -9/8 and -13/12; flooring would give -2 and -2
        {8, 12, -11, 0, {-1, 0}},    // -15/8
        {7, 10, 17, 10, {2, 1}},     // h = 3
        {7, 10, 16, 29, {1, 2}},
    };
    for (const Case& c : cases) {
        setupGrid(dc, c.w, c.h);
        moveToPoint(dc, c.x, c.y);
        EXPECT_EQ(getCurrentCell(dc), c.expected)
            << "cell " << c.w << "x" << c.h << " at " << c.x << "," << c.y;
    }
}

TEST_F(GridTest, MoveToCellUsesAnchorsAndANegativeIndexKeepsThatCoordinate) {
    setupGrid(dc, 7, 10);
    EXPECT_EQ(moveToCell(dc, 2, 1), (Cell{0, 0}));
    EXPECT_EQ(surface.position.x, 17);
    EXPECT_EQ(surface.position.y, 10);

    moveToPoint(dc, 40, 33);
    EXPECT_EQ(moveToCell(dc, -1, 5), (Cell{5, 3}));  // previous cell, of (40, 33)
    EXPECT_EQ(surface.position.x, 40);
    EXPECT_EQ(surface.position.y, 50);

    EXPECT_EQ(moveToCell(dc, 3, -1), (Cell{5, 5}));
    EXPECT_EQ(surface.position.x, 24);
    EXPECT_EQ(surface.position.y, 50);

    const POINT previous = moveToPoint(dc, 5, 6);
    EXPECT_EQ(previous.x, 24);
    EXPECT_EQ(previous.y, 50);
}

TEST_F(GridTest, ReadingThePositionMovesAwayAndBackAndLeavesItWhereItWas) {
    setupGrid(dc, 8, 12);
    surface.position = {33, 44};
    surface.log.clear();
    const POINT p = getCurrentPoint(dc);
    EXPECT_EQ(p.x, 33);
    EXPECT_EQ(p.y, 44);
    EXPECT_EQ(surface.position.x, 33);
    EXPECT_EQ(surface.position.y, 44);
    EXPECT_EQ(takeCalls(surface), (std::vector<std::string>{"MoveToEx(0,0,old)", "MoveToEx(33,44)"}));
}

TEST_F(GridTest, EachWriterFormatsPositionsSetsColoursAndDrawsInThatOrder) {
    struct Case {
        const char* name;
        Cell (*write)(HDC);
        Cell result;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"writeAt",
         [](HDC s) { return writeAt(s, 2, 1, "v=%d", 5); },
         {1, 3},
         {"MoveToEx(0,0,old)", "MoveToEx(12,36)", "MoveToEx(20,12)", "TextOut(0,0,\"v=5\",3)"}},
        {"writeAtColor",
         [](HDC s) { return writeAtColor(s, 2, 1, 0xc000, "%s!", "go"); },
         {1, 3},
         {"MoveToEx(0,0,old)", "MoveToEx(12,36)", "MoveToEx(20,12)", "SetBkMode(1)", "SetTextColor(0xc000)",
          "TextOut(0,0,\"go!\",3)"}},
        {"writeAtOpaque",
         [](HDC s) { return writeAtOpaque(s, 2, 1, 0xffffff, 0xc0, " %s ", "NO"); },
         {1, 3},
         {"MoveToEx(0,0,old)", "MoveToEx(12,36)", "MoveToEx(20,12)", "SetBkMode(2)", "SetBkColor(0xc0)",
          "SetTextColor(0xffffff)", "TextOut(0,0,\" NO \",4)"}},
        {"writeHere",
         [](HDC s) { return writeHere(s, "%.1f kg", 2.5); },
         {1, 3},
         {"MoveToEx(0,0,old)", "MoveToEx(12,36)", "TextOut(0,0,\"2.5 kg\",6)"}},
        {"writeHereColor",
         [](HDC s) { return writeHereColor(s, 0xff00, "%d%%", 50); },
         {1, 3},
         {"MoveToEx(0,0,old)", "MoveToEx(12,36)", "SetBkMode(1)", "SetTextColor(0xff00)",
          "TextOut(0,0,\"50%\",3)"}},
    };
    for (const Case& c : cases) {
        setupGrid(dc, 8, 12);
        moveToCell(dc, 1, 3);
        surface.log.clear();
        EXPECT_EQ(c.write(dc), c.result) << c.name;
        EXPECT_EQ(takeCalls(surface), c.calls) << c.name;
    }
}

TEST_F(GridTest, WritesAtTheCurrentPositionContinueTheLineInTheirOwnColour) {
    setupGrid(dc, 8, 12);
    writeAtColor(dc, 0, 3, 0xc000, "Pump Mode: ");
    EXPECT_EQ(writeHereColor(dc, 0xff00, "%s", "Load"), (Cell{11, 3}));
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0].x, 4);
    EXPECT_EQ(drawn[0].y, 36);
    EXPECT_EQ(drawn[0].colour, 0xc000u);
    EXPECT_EQ(drawn[1].x, 4 + 11 * 8);  // exactly where the first ended
    EXPECT_EQ(drawn[1].y, 36);
    EXPECT_EQ(drawn[1].colour, 0xff00u);
    EXPECT_EQ(drawn[1].bkMode, TRANSPARENT);
    EXPECT_EQ(surface.position.x, 4 + 15 * 8);
}

TEST_F(GridTest, PlainWritersDrawInTheColoursOfThePreviousWrite) {
    setupGrid(dc, 8, 12);
    writeAtOpaque(dc, 0, 0, 0xffffff, 0xc0, "A");
    writeAt(dc, 0, 1, "B");
    writeHere(dc, "C");
    writeAtColor(dc, 0, 2, 0xff00, "D");
    writeAt(dc, 5, 2, "E");
    ASSERT_EQ(drawn.size(), 5u);
    for (int i : {1, 2}) {
        EXPECT_EQ(drawn[i].colour, 0xffffffu) << drawn[i].text;
        EXPECT_EQ(drawn[i].bkMode, OPAQUE) << drawn[i].text;
        EXPECT_EQ(drawn[i].background, 0xc0u) << drawn[i].text;
    }
    EXPECT_EQ(drawn[4].colour, 0xff00u);
    EXPECT_EQ(drawn[4].bkMode, TRANSPARENT);
    EXPECT_EQ(drawn[4].x, 5 * 8 + 4);
}

TEST_F(GridTest, TextIsCutAt251CharactersAndValuesAreDrawnLiterally) {
    setupGrid(dc, 8, 12);
    const std::string exact(251, 'x');
    const std::string tooLong(600, 'y');
    writeAt(dc, 0, 0, "%s", exact.c_str());
    writeAt(dc, 0, 1, "%s", tooLong.c_str());
    writeAt(dc, 0, 2, "[%s]", "50%d%s%n%%");
    writeAt(dc, 0, 3, "%s", "");
    EXPECT_EQ(surface.position.x, 4);       // nothing drawn, nothing advanced
    const std::string plainLong(300, 'z');  // a fixed text needs no formatting, but is cut alike
    writeAt(dc, 0, 4, plainLong.c_str());
    ASSERT_EQ(drawn.size(), 5u);
    EXPECT_EQ(drawn[4].text, std::string(251, 'z'));
    EXPECT_EQ(drawn[0].text, exact);
    EXPECT_EQ(drawn[1].text, std::string(251, 'y'));
    EXPECT_EQ(drawn[2].text, "[50%d%s%n%%]");
    EXPECT_EQ(drawn[3].text, "");
}

}  // namespace
