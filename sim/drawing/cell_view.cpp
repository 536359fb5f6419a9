#include "sim/drawing/cell_view.h"

#include <algorithm>

#include "display/cell_grid.h"

namespace sim {

namespace {
const Cell kBlank{};
}  // namespace

CellView::CellView(int width, int height, int cellWidth, int cellHeight)
    : width_(std::max(width, 1)),
      height_(std::max(height, 1)),
      cellWidth_(std::max(cellWidth, 1)),
      cellHeight_(std::max(cellHeight, 1)),
      half_(cellWidth_ / 2),
      // Every cell of which some part is on the picture.
      columns_(std::max(grid::ceilDiv(width_ - half_, cellWidth_), 1)),
      rows_(grid::ceilDiv(height_, cellHeight_)),
      cells_(static_cast<size_t>(columns_) * rows_) {}

void CellView::clear() {
    std::fill(cells_.begin(), cells_.end(), Cell{});
    overlaps_ = 0;
    clipped_ = 0;
}

Cell* CellView::at(int column, int row) {
    if (column < 0 || row < 0 || column >= columns_ || row >= rows_) return nullptr;
    return &cells_[static_cast<size_t>(row) * columns_ + column];
}

const Cell& CellView::cell(int column, int row) const {
    if (column < 0 || row < 0 || column >= columns_ || row >= rows_) return kBlank;
    return cells_[static_cast<size_t>(row) * columns_ + column];
}

void CellView::addText(int x, int y, const char* text, int length, COLORREF colour, bool opaque,
                       COLORREF background) {
    const int row = grid::rowOfText(y, cellHeight_);
    for (int i = 0; i < length; ++i) {
        const int left = x + i * cellWidth_;
        if (left < 0 || y < 0 || left + cellWidth_ > width_ || y + cellHeight_ > height_) ++clipped_;
        // Rounded down left of the picture, so that what starts outside stays outside; the
        // margin before the first anchor still belongs to column 0.
        const int column = grid::columnOfText(left, cellWidth_);
        Cell* cell = at(column, row);
        if (!cell) continue;
        const char ch = text[i];
        const bool shows = cell->drawn && cell->ch != ' ';
        if (ch != ' ' && shows) ++overlaps_;
        // A blank drawn without background leaves whatever the cell showed.
        if (ch == ' ' && !opaque && shows) continue;
        cell->ch = ch;
        cell->drawn = true;
        cell->text = colour;
        if (opaque) {
            cell->opaque = true;
            cell->background = background;
        }
    }
}

void CellView::addRectangle(int left, int top, int right, int bottom, COLORREF fill) {
    const int firstColumn = std::max(grid::firstColumnCovered(left, cellWidth_), 0);
    const int lastColumn = std::min(grid::lastColumnCovered(right, cellWidth_), columns_ - 1);
    const int firstRow = std::max(grid::firstRowCovered(top, cellHeight_), 0);
    const int lastRow = std::min(grid::lastRowCovered(bottom, cellHeight_), rows_ - 1);
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int column = firstColumn; column <= lastColumn; ++column) {
            Cell& cell = *at(column, row);
            cell = Cell{};
            cell.bar = true;
            cell.barFill = fill;
        }
    }
}

std::vector<BarRun> CellView::bars(int row) const {
    std::vector<BarRun> runs;
    for (int column = 0; column < columns_; ++column) {
        const Cell& c = cell(column, row);
        if (!c.bar) continue;
        if (runs.empty() || runs.back().last != column - 1) runs.push_back({column, column});
        BarRun& run = runs.back();
        run.last = column;
        if (c.barFill == kDisplayBackground) continue;
        if (!run.filled()) {
            run.fillFirst = column;
            run.fill = c.barFill;
        }
        run.fillLast = column;
    }
    return runs;
}

std::string plainCellText(const CellView& cells, int column, int row) {
    const Cell& c = cells.cell(column, row);
    const auto character = [&](int at) {
        return at >= 0 && at < cells.columns() && cells.cell(at, row).drawn && cells.cell(at, row).ch != ' ';
    };
    if (!c.drawn && c.bar && (character(column - 1) || character(column + 1))) return " ";
    return cellText(c);
}

std::string cellText(const Cell& c, bool bars) {
    if (!c.drawn) return bars && c.bar ? (c.barFill == kDisplayBackground ? "." : "#") : " ";
    const auto ch = static_cast<unsigned char>(c.ch);
    if (ch < 0x20 || (ch >= 0x7f && ch < 0xa0)) return "?";
    if (ch >= 0xa0) return {static_cast<char>(0xc0 | (ch >> 6)), static_cast<char>(0x80 | (ch & 0x3f))};
    return std::string(1, static_cast<char>(ch));
}

COLORREF terminalPaint(const Cell& c) {
    return c.bar && !c.opaque && c.barFill == kDisplayBackground ? kEmptyBar : c.paint();
}

std::string CellView::line(int row) const {
    std::string out;
    for (int column = 0; column < columns_; ++column) out += cellText(cell(column, row));
    out.erase(out.find_last_not_of(' ') + 1);
    return out;
}

std::string CellView::text() const {
    std::string out;
    size_t end = 0;  // behind the last non-empty line
    for (int row = 0; row < rows_; ++row) {
        const std::string l = line(row);
        out += l;
        out += '\n';
        if (!l.empty()) end = out.size();
    }
    out.resize(end);
    return out;
}

}  // namespace sim
