#include "display/text_grid.h"

#include <cstdarg>
#include <cstdio>

#include "display/cell_grid.h"

namespace {

// One cell size for every instrument; each drawing sets its own in setupGrid.
int32_t cellWidth = 1;
int32_t cellHeight = 1;

// Known positive, so that on 32-bit x86 the divisions below need no 64-bit division helper,
// which the simulator build does not link. The one place where sizes below 1 count as 1.
int64_t width() { return cellWidth > 0 ? cellWidth : 1; }
int64_t height() { return cellHeight > 0 ? cellHeight : 1; }
int64_t halfWidth() { return width() / 2; }

// Integer division truncates toward zero, so a point left of the first anchor still reads as
// column 0, as the pages expect. The 32-bit division is several times faster and serves every
// point on a display; the wide one only guards coordinates near the ends of the range.
int32_t divide(int64_t value, int64_t divisor) {
    if (value >= INT32_MIN && value <= INT32_MAX) {
        return static_cast<int32_t>(static_cast<int32_t>(value) / static_cast<int32_t>(divisor));
    }
    return static_cast<int32_t>(value / divisor);
}

Cell cellOf(POINT point) { return {divide(point.x - halfWidth(), width()), divide(point.y, height())}; }

// The length comes from the platform, as the text's own measure, whatever formatted it.
void drawText(HDC surface, const char* text) { TextOutA(surface, 0, 0, text, lstrlenA(text)); }

}  // namespace

void vformatInto(char (&text)[kTextBufferSize], const char* format, va_list args) {
    // What does not fit is cut off; a format the C library refuses draws nothing.
    if (!format || std::vsnprintf(text, sizeof text, format, args) < 0) text[0] = '\0';
}

Cell setupGrid(HDC surface, int cellW, int cellH) {
    cellWidth = cellW;
    cellHeight = cellH;
    SetTextAlign(surface, TA_UPDATECP);
    return moveToCell(surface, 0, 0);
}

POINT getCurrentPoint(HDC surface) {
    POINT old{0, 0};
    MoveToEx(surface, 0, 0, &old);
    MoveToEx(surface, old.x, old.y, nullptr);
    return old;
}

Cell getCurrentCell(HDC surface) { return cellOf(getCurrentPoint(surface)); }

POINT moveToPoint(HDC surface, int x, int y) {
    POINT old{0, 0};
    MoveToEx(surface, x, y, &old);
    return old;
}

Cell moveToCell(HDC surface, int column, int row) {
    const POINT old = getCurrentPoint(surface);
    const int x = column >= 0 ? clampToInt(grid::columnX<int64_t>(column, width())) : old.x;
    const int y = row >= 0 ? clampToInt(grid::rowY<int64_t>(row, height())) : old.y;
    MoveToEx(surface, x, y, nullptr);
    return cellOf(old);
}

void setTransparentText(HDC surface, COLORREF text) {
    SetBkMode(surface, TRANSPARENT);
    SetTextColor(surface, text);
}

void setOpaqueText(HDC surface, COLORREF text, COLORREF background) {
    SetBkMode(surface, OPAQUE);
    SetBkColor(surface, background);
    SetTextColor(surface, text);
}

// Every writer does the same, in this order: format the text, move to its cell (or note the
// current one), set the colours, draw.
namespace {

// The colours a writer draws in: the surface's own, or set transparent or opaque.
struct Ink {
    enum Kind { Keep, Transparent, Opaque } kind = Keep;
    COLORREF text = 0;
    COLORREF background = 0;
};

Cell write(HDC surface, const Cell* at, const Ink& ink, const char* format, va_list args) {
    char text[kTextBufferSize];
    vformatInto(text, format, args);
    const Cell cell = at ? moveToCell(surface, at->column, at->row) : getCurrentCell(surface);
    if (ink.kind == Ink::Transparent) setTransparentText(surface, ink.text);
    if (ink.kind == Ink::Opaque) setOpaqueText(surface, ink.text, ink.background);
    drawText(surface, text);
    return cell;
}

}  // namespace

Cell writeAt(HDC surface, int column, int row, const char* format, ...) {
    const Cell at{column, row};
    va_list args;
    va_start(args, format);
    const Cell previous = write(surface, &at, {}, format, args);
    va_end(args);
    return previous;
}

Cell writeAtColor(HDC surface, int column, int row, COLORREF colour, const char* format, ...) {
    const Cell at{column, row};
    va_list args;
    va_start(args, format);
    const Cell previous = write(surface, &at, {Ink::Transparent, colour, 0}, format, args);
    va_end(args);
    return previous;
}

Cell writeAtOpaque(HDC surface, int column, int row, COLORREF colour, COLORREF background, const char* format,
                   ...) {
    const Cell at{column, row};
    va_list args;
    va_start(args, format);
    const Cell previous = write(surface, &at, {Ink::Opaque, colour, background}, format, args);
    va_end(args);
    return previous;
}

Cell writeHere(HDC surface, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const Cell current = write(surface, nullptr, {}, format, args);
    va_end(args);
    return current;
}

Cell writeHereColor(HDC surface, COLORREF colour, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const Cell current = write(surface, nullptr, {Ink::Transparent, colour, 0}, format, args);
    va_end(args);
    return current;
}
