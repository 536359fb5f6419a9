#include "display/text_grid.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

int32_t cellWidth = 1;
int32_t cellHeight = 1;

namespace {

// Guards the divisions even if the globals were written around setupGrid.
int64_t width() { return cellWidth > 0 ? cellWidth : 1; }
int64_t height() { return cellHeight > 0 ? cellHeight : 1; }
int64_t halfWidth() { return width() / 2; }

int clampToInt(int64_t value) {
    if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

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

// vsnprintf spends most of a redraw on numbers; this formatter writes the same text for the
// conversions the pages use, %[width][.precision][ll](d|i|u|s|f) and %%, and leaves any format
// with other features to vsnprintf.

// Fills a writer's buffer as vsnprintf does: what does not fit is dropped.
struct Output {
    char (&text)[kTextBufferSize];
    size_t length = 0;

    size_t room() const { return sizeof text - 1 - length; }
    void push(char c) {
        if (room() > 0) text[length++] = c;
    }
    void put(const char* source, size_t n) {
        n = std::min(n, room());
        std::memcpy(text + length, source, n);
        length += n;
    }
    void pad(size_t n) {
        n = std::min(n, room());
        std::memset(text + length, ' ', n);
        length += n;
    }
};

struct Directive {
    size_t width = 0;
    int precision = -1;  // none given
    bool longLong = false;
    char conversion = 0;
};

// Larger widths go to vsnprintf, which reports those beyond int as errors. The precision bound
// keeps the longest %f (309 integer digits) within the scratch space.
constexpr int kMaxWidth = 9999;
constexpr int kMaxPrecision = 150;
constexpr size_t kScratchSize = 512;

const char* readNumber(const char* p, int& value) {
    value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > kMaxWidth) return nullptr;
    }
    return p;
}

// Reads the conversion after a '%'. nullptr for anything left to vsnprintf: flags (a leading 0
// among them), '*', positional arguments, other lengths or conversions, precision on d/i/u/s.
const char* readDirective(const char* p, Directive& directive) {
    int width = 0;
    if (*p == '0' || !(p = readNumber(p, width))) return nullptr;
    directive.width = static_cast<size_t>(width);
    if (*p == '.' && !(p = readNumber(p + 1, directive.precision))) return nullptr;
    if (p[0] == 'l' && p[1] == 'l') {
        directive.longLong = true;
        p += 2;
    }
    directive.conversion = *p;
    switch (directive.conversion) {
    case 'd':
    case 'i':
    case 'u': return directive.precision < 0 ? p + 1 : nullptr;
    case 's': return directive.precision < 0 && !directive.longLong ? p + 1 : nullptr;
    case 'f': return !directive.longLong && directive.precision <= kMaxPrecision ? p + 1 : nullptr;
    default: return nullptr;
    }
}

// Checked before any argument is read, so that vsnprintf still gets them all.
bool handled(const char* format) {
    for (const char* p = format; *p;) {
        Directive directive;
        if (*p != '%') {
            ++p;
        } else if (p[1] == '%') {
            p += 2;
        } else if (!(p = readDirective(p + 1, directive))) {
            return false;
        }
    }
    return true;
}

// The C library spells the non-finite values itself; not every to_chars spells a negative NaN
// the same way.
char* fixed(char* first, char* last, double value, int precision) {
    if (std::isnan(value) || std::isinf(value)) {
        const char* word = std::isnan(value) ? "-nan" : "-inf";
        if (!std::signbit(value)) ++word;
        return std::copy_n(word, std::strlen(word), first);
    }
    return std::to_chars(first, last, value, std::chars_format::fixed, precision).ptr;
}

void putField(Output& out, const Directive& directive, const char* text, size_t length) {
    if (directive.width > length) out.pad(directive.width - length);
    out.put(text, length);
}

// Takes only formats that pass `handled`. Reads every argument here: a va_list handed on to
// another function cannot be read further on every platform.
void interpret(Output& out, const char* format, va_list args) {
    char scratch[kScratchSize];
    char* const end = scratch + sizeof scratch;
    for (const char* p = format; *p;) {
        if (*p != '%') {
            out.push(*p++);
            continue;
        }
        if (p[1] == '%') {
            out.push('%');
            p += 2;
            continue;
        }
        Directive directive;
        p = readDirective(p + 1, directive);
        char* last = scratch;
        switch (directive.conversion) {
        case 'd':
        case 'i':
            last = directive.longLong ? std::to_chars(scratch, end, va_arg(args, long long)).ptr
                                      : std::to_chars(scratch, end, va_arg(args, int)).ptr;
            break;
        case 'u':
            last = directive.longLong ? std::to_chars(scratch, end, va_arg(args, unsigned long long)).ptr
                                      : std::to_chars(scratch, end, va_arg(args, unsigned)).ptr;
            break;
        case 'f':
            last = fixed(scratch, end, va_arg(args, double), directive.precision < 0 ? 6 : directive.precision);
            break;
        case 's': {
            const char* text = va_arg(args, const char*);
            if (!text) text = "(null)";
            putField(out, directive, text, std::strlen(text));
            continue;
        }
        }
        putField(out, directive, scratch, static_cast<size_t>(last - scratch));
    }
}

// The length comes from the platform, as the text's own measure, whatever formatted it.
void drawText(HDC surface, const char* text) { TextOutA(surface, 0, 0, text, lstrlenA(text)); }

}  // namespace

size_t vformatInto(char (&text)[kTextBufferSize], const char* format, va_list args) {
    if (!format) {
        text[0] = '\0';
        return 0;
    }
    Output out{text};
    if (format[0] == '%' && format[1] == 's' && !format[2]) {
        // Most texts of a page are a lone name; copying it saves the format's two passes.
        const char* value = va_arg(args, const char*);
        if (!value) value = "(null)";
        out.put(value, std::strlen(value));
    } else if (handled(format)) {
        interpret(out, format, args);
    } else {
        if (std::vsnprintf(text, sizeof text, format, args) < 0) text[0] = '\0';
        return std::strlen(text);  // a %c of 0 ends the text early
    }
    text[out.length] = '\0';
    return out.length;
}

size_t formatInto(char (&text)[kTextBufferSize], const char* format, ...) {
    va_list args;
    va_start(args, format);
    const size_t length = vformatInto(text, format, args);
    va_end(args);
    return length;
}

Cell setupGrid(HDC surface, int cellW, int cellH) {
    cellWidth = cellW > 0 ? cellW : 1;
    cellHeight = cellH > 0 ? cellH : 1;
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
    const int x = column >= 0 ? clampToInt(column * width() + halfWidth()) : old.x;
    const int y = row >= 0 ? clampToInt(row * height()) : old.y;
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

Cell writeAt(HDC surface, int column, int row, const char* format, ...) {
    char text[kTextBufferSize];
    va_list args;
    va_start(args, format);
    vformatInto(text, format, args);
    va_end(args);
    const Cell previous = moveToCell(surface, column, row);
    drawText(surface, text);
    return previous;
}

Cell writeAtColor(HDC surface, int column, int row, COLORREF colour, const char* format, ...) {
    char text[kTextBufferSize];
    va_list args;
    va_start(args, format);
    vformatInto(text, format, args);
    va_end(args);
    const Cell previous = moveToCell(surface, column, row);
    setTransparentText(surface, colour);
    drawText(surface, text);
    return previous;
}

Cell writeAtOpaque(HDC surface, int column, int row, COLORREF colour, COLORREF background,
                   const char* format, ...) {
    char text[kTextBufferSize];
    va_list args;
    va_start(args, format);
    vformatInto(text, format, args);
    va_end(args);
    const Cell previous = moveToCell(surface, column, row);
    setOpaqueText(surface, colour, background);
    drawText(surface, text);
    return previous;
}

Cell writeHere(HDC surface, const char* format, ...) {
    char text[kTextBufferSize];
    va_list args;
    va_start(args, format);
    vformatInto(text, format, args);
    va_end(args);
    const Cell current = getCurrentCell(surface);
    drawText(surface, text);
    return current;
}

Cell writeHereColor(HDC surface, COLORREF colour, const char* format, ...) {
    char text[kTextBufferSize];
    va_list args;
    va_start(args, format);
    vformatInto(text, format, args);
    va_end(args);
    const Cell current = getCurrentCell(surface);
    setTransparentText(surface, colour);
    drawText(surface, text);
    return current;
}
