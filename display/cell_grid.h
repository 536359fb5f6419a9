// The character grid the pages are laid out on: how big its cells are on a display, where a
// cell's text is anchored, and which cell a drawn character or a filled rectangle lands in. One
// reckoning for the module that writes at cells and for the emulator that reads the cells back.
// Plain: the module is built with the simulator's C runtime only.
#pragma once

namespace grid {

// Every text of the pages fits 38 columns and 24 rows. Cells are at least one pixel.
inline constexpr int kColumns = 38;
inline constexpr int kRows = 24;

constexpr int cellWidthFor(unsigned width) {
    return width / kColumns > 0 ? static_cast<int>(width / kColumns) : 1;
}
constexpr int cellHeightFor(unsigned height) {
    return height / kRows > 0 ? static_cast<int>(height / kRows) : 1;
}

// Where a cell's text starts: half a cell in from the column's left edge, at the row's top.
template <typename T>
constexpr T columnX(T column, T cellWidth) {
    return column * cellWidth + cellWidth / 2;
}
template <typename T>
constexpr T rowY(T row, T cellHeight) {
    return row * cellHeight;
}

// Division rounding toward minus infinity, for cells that may start left of or above the grid.
constexpr int floorDiv(int a, int b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
constexpr int ceilDiv(int a, int b) { return -floorDiv(-a, b); }

// The cell of a character drawn with its left edge at x and its top at y.
constexpr int columnOfText(int left, int cellWidth) {
    const int half = cellWidth / 2;
    return left < 0 ? floorDiv(left - half, cellWidth) : (left - half) / cellWidth;
}
constexpr int rowOfText(int top, int cellHeight) { return floorDiv(top, cellHeight); }

// A filled rectangle covers the cells whose centre it covers: the first and last column of
// [left, right) and row of [top, bottom), unclipped.
constexpr int firstColumnCovered(int left, int cellWidth) {
    return ceilDiv(left - (cellWidth / 2 + cellWidth / 2), cellWidth);
}
constexpr int lastColumnCovered(int right, int cellWidth) {
    return floorDiv(right - 1 - (cellWidth / 2 + cellWidth / 2), cellWidth);
}
constexpr int firstRowCovered(int top, int cellHeight) { return ceilDiv(top - cellHeight / 2, cellHeight); }
constexpr int lastRowCovered(int bottom, int cellHeight) {
    return floorDiv(bottom - 1 - cellHeight / 2, cellHeight);
}

}  // namespace grid
