// Text placed at character cells (column, row) of a display surface, formatted printf-style
// and drawn in chosen colours. The grid keeps only the cell size; the current position, the
// alignment and the colours are the surface's own state.
#pragma once

#include <climits>
#include <cstdarg>
#include <cstdint>

#include "host/gdi.h"

#if defined(__GNUC__) || defined(__clang__)
#define KESTRANE_PRINTF(formatIndex, firstArg) __attribute__((format(printf, formatIndex, firstArg)))
#else
#define KESTRANE_PRINTF(formatIndex, firstArg)
#endif

struct Cell {
    int32_t column;
    int32_t row;
    bool operator==(const Cell&) const = default;
};

// Coordinates are worked out in 64 bits and handed to GDI, which takes int: clamped, never
// wrapped.
inline int clampToInt(int64_t value) {
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// The longest text one writer draws is one less than this.
inline constexpr int kTextBufferSize = 252;

// Formats into a writer's buffer with the C library (cut at the buffer's end, always
// terminated).
void vformatInto(char (&text)[kTextBufferSize], const char* format, va_list args);

// Stores the cell size (values below 1 count as 1), switches the surface to drawing at its
// advancing current position and moves to cell (0, 0). Returns the cell before the move.
Cell setupGrid(HDC surface, int width, int height);

POINT getCurrentPoint(HDC surface);
Cell getCurrentCell(HDC surface);
// Both return where the position was before the move. A negative column or row keeps the
// current x or y.
POINT moveToPoint(HDC surface, int x, int y);
Cell moveToCell(HDC surface, int column, int row);

void setTransparentText(HDC surface, COLORREF text);
void setOpaqueText(HDC surface, COLORREF text, COLORREF background);

// Writers at a cell return the cell before the move; writers at the current position return
// the cell they start in. writeAt and writeHere keep whatever colours the surface has.
// Text of outside origin goes in as a %s value, never as the format.
Cell writeAt(HDC surface, int column, int row, const char* format, ...) KESTRANE_PRINTF(4, 5);
Cell writeAtColor(HDC surface, int column, int row, COLORREF text, const char* format, ...)
    KESTRANE_PRINTF(5, 6);
Cell writeAtOpaque(HDC surface, int column, int row, COLORREF text, COLORREF background, const char* format,
                   ...) KESTRANE_PRINTF(6, 7);
Cell writeHere(HDC surface, const char* format, ...) KESTRANE_PRINTF(2, 3);
Cell writeHereColor(HDC surface, COLORREF text, const char* format, ...) KESTRANE_PRINTF(3, 4);
