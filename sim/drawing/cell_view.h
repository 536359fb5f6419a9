// What a display shows, one character cell at a time: for terminal output and for tests that
// read a page as text. Cells follow the text grid: cell (c, r) spans x from c*cw + cw/2 for cw
// pixels and y from r*ch for ch pixels.
#pragma once

#include <string>
#include <vector>

#include "host/gdi.h"

namespace sim {

// The emulated displays are black where nothing is drawn, and come with a mid-grey pen that
// reads as a gauge frame on black.
inline constexpr COLORREF kDisplayBackground = 0x000000;
inline constexpr COLORREF kFramePen = 0x808080;

struct Cell {
    char ch = ' ';
    bool drawn = false;       // a character (a blank included) was drawn here
    COLORREF text = 0;        // its colour
    bool opaque = false;      // the cell was filled behind text ...
    COLORREF background = 0;  // ... in this colour
    bool bar = false;         // inside a rectangle ...
    COLORREF barFill = 0;     // ... filled in this colour (the last rectangle drawn over it)

    // What a terminal paints behind the character.
    COLORREF paint() const { return opaque ? background : bar ? barFill : kDisplayBackground; }
};

// The unfilled part of a gauge on a terminal: a dark grey, so the bar's length shows on black.
inline constexpr COLORREF kEmptyBar = 0x303030;

// A cell as text: a drawn character as itself (Latin-1 as UTF-8, control characters as '?');
// otherwise, with `bars`, a gauge cell as '#' where its fill differs from the display
// background and '.' where it does not; anything else a blank.
std::string cellText(const Cell& c, bool bars = true);
class CellView;
// A cell as plain text on a terminal, without colours: cellText with bars, but a gauge cell right
// beside a character the instrument drew is a blank, so that the numbers stand apart from the
// fill ("# 421.0 kg ####", not "#421.0 kg####").
std::string plainCellText(const CellView& cells, int column, int row);
// What a terminal paints behind a cell: its paint(), but an empty gauge part in kEmptyBar.
COLORREF terminalPaint(const Cell& c);

// One row of a rectangle (a gauge, as drawn): the columns it covers, and among them those
// filled in a colour other than the display's background.
struct BarRun {
    int first = 0, last = -1;
    int fillFirst = 0, fillLast = -1;  // fillLast < fillFirst: nothing filled
    COLORREF fill = kDisplayBackground;
    bool filled() const { return fillLast >= fillFirst; }
};

class CellView {
public:
    CellView(int width, int height, int cellWidth, int cellHeight);

    int columns() const { return columns_; }
    int rows() const { return rows_; }

    void clear();
    // Text drawn with its top-left corner at pixel (x, y), one cell per character. A character
    // lands in column (x - cw/2) / cw and row y / ch, rounded down, so that what starts left
    // of or above the picture is not shown; one starting in the margin left of column 0's
    // anchor (0 <= x < cw/2) lands in column 0.
    void addText(int x, int y, const char* text, int length, COLORREF colour, bool opaque,
                 COLORREF background);
    // A rectangle covering x in [left, right) and y in [top, bottom). It covers the cells whose
    // centre it covers, hiding text drawn there before.
    void addRectangle(int left, int top, int right, int bottom, COLORREF fill);

    // A blank cell outside the view.
    const Cell& cell(int column, int row) const;
    std::vector<BarRun> bars(int row) const;

    // The page as plain text, one line per row, trailing blanks and trailing empty lines left
    // out, every line ending in '\n'. A drawn character shows as itself (Latin-1 as UTF-8,
    // control characters as '?'), a blank drawn over a bar included. A bar cell without text
    // shows '#' where its fill differs from the display background and '.' where it does not,
    // so a gauge at a quarter reads "#########......" under and between its texts.
    std::string text() const;
    std::string line(int row) const;  // one row, without the '\n'

    // Non-blank characters drawn into a cell that already showed one.
    int overlaps() const { return overlaps_; }
    // Characters whose cell lies partly or wholly outside the picture.
    int clipped() const { return clipped_; }

private:
    Cell* at(int column, int row);
    int width_, height_, cellWidth_, cellHeight_, half_;
    int columns_, rows_;
    std::vector<Cell> cells_;
    int overlaps_ = 0, clipped_ = 0;
};

}  // namespace sim
