// The display the stand-in draws instruments on: a real GDI memory DC on a DIB section. The
// module's own GDI imports are routed through recorders that note where each text and
// rectangle lands, in the character cells of the project's page files, and each call with the
// device context's state around it, and then pass it on to GDI.
#include <string.h>

#include "tests/simulator/stand_in.h"

namespace {

typedef BOOL(WINAPI* TextOutFn)(HDC, int, int, LPCSTR, int);
typedef BOOL(WINAPI* RectangleFn)(HDC, int, int, int, int);
typedef HBRUSH(WINAPI* CreateSolidBrushFn)(COLORREF);
typedef HGDIOBJ(WINAPI* SelectObjectFn)(HDC, HGDIOBJ);
typedef BOOL(WINAPI* DeleteObjectFn)(HGDIOBJ);
// GDI's own entry points, from gdi32.dll itself.
TextOutFn realTextOut = nullptr;
RectangleFn realRectangle = nullptr;
CreateSolidBrushFn realCreateSolidBrush = nullptr;
SelectObjectFn realSelectObject = nullptr;
DeleteObjectFn realDeleteObject = nullptr;
Display* current = nullptr;  // the display being drawn

// The next event of the display being drawn, or null (none drawn, or no room left).
GdiEvent* newEvent(GdiCall call) {
    if (!current) return nullptr;
    if (current->eventCount == kMaxGdiEvents) {
        ++current->eventsLost;
        return nullptr;
    }
    GdiEvent* e = &current->events[current->eventCount++];
    memset(e, 0, sizeof *e);
    e->call = call;
    return e;
}

void describeBrush(HGDIOBJ brush, GdiEvent* e) {
    e->brush = brush;
    LOGBRUSH logBrush;
    if (brush && GetObjectType(brush) == OBJ_BRUSH &&
        GetObjectA(brush, sizeof logBrush, &logBrush) == sizeof logBrush) {
        e->solidBrush = logBrush.lbStyle == BS_SOLID;
        e->brushColour = logBrush.lbColor;
    }
}

// A text at GDI's current position when the DC updates it, else at (x, y); one cell per
// character. A blank drawn without background leaves what the cell showed.
void addText(HDC dc, int x, int y, const char* text, int length) {
    if (!current || dc != current->dc) return;
    if (GetTextAlign(dc) & TA_UPDATECP) {
        POINT p;
        GetCurrentPositionEx(dc, &p);
        x = p.x;
        y = p.y;
    }
    const bool opaque = GetBkMode(dc) == OPAQUE;
    const int row = grid::rowOfText(y, kCellHeight);
    for (int i = 0; i < length; ++i) {
        const int left = x + i * kCellWidth;
        if (left < 0 || y < 0 || left + kCellWidth > kDisplaySize || y + kCellHeight > kDisplaySize) {
            ++current->clipped;
        }
        const int column = grid::columnOfText(left, kCellWidth);
        if (column < 0 || row < 0 || column >= kColumns || row >= kRows) continue;
        Cell& cell = current->cells[row][column];
        const bool shows = cell.drawn && cell.ch != ' ';
        if (text[i] != ' ' && shows) ++current->overlaps;
        if (text[i] == ' ' && !opaque && shows) continue;
        cell.ch = text[i];
        cell.drawn = true;
    }
}

BOOL WINAPI recordTextOut(HDC dc, int x, int y, LPCSTR text, int length) {
    addText(dc, x, y, text, length);
    GdiEvent* e = current && dc == current->dc ? newEvent(kTextOut) : nullptr;
    if (!e) return realTextOut(dc, x, y, text, length);
    e->length = length;
    if (text && length > 0) {
        const int kept =
            length < static_cast<int>(sizeof e->text) - 1 ? length : static_cast<int>(sizeof e->text) - 1;
        memcpy(e->text, text, static_cast<size_t>(kept));
        GetTextExtentPoint32A(dc, text, length, &e->extent);
    }
    GetCurrentPositionEx(dc, &e->before);
    e->align = GetTextAlign(dc);
    e->bkMode = GetBkMode(dc);
    e->textColour = GetTextColor(dc);
    e->bkColour = GetBkColor(dc);
    e->result = realTextOut(dc, x, y, text, length);
    GetCurrentPositionEx(dc, &e->after);
    return e->result;
}

// A rectangle covers the cells whose centre it covers, hiding the text drawn there before; it
// is filled with the brush selected into the DC.
BOOL WINAPI recordRectangle(HDC dc, int left, int top, int right, int bottom) {
    GdiEvent* e = current && dc == current->dc ? newEvent(kRectangle) : nullptr;
    if (e) {
        e->rect = RECT{left, top, right, bottom};
        describeBrush(GetCurrentObject(dc, OBJ_BRUSH), e);
    }
    if (current && dc == current->dc && left < right && top < bottom) {
        COLORREF fill = 0;
        LOGBRUSH brush;
        HGDIOBJ selected = GetCurrentObject(dc, OBJ_BRUSH);
        if (selected && GetObjectA(selected, sizeof brush, &brush) == sizeof brush &&
            brush.lbStyle == BS_SOLID) {
            fill = brush.lbColor;
        }
        int firstColumn = grid::firstColumnCovered(left, kCellWidth),
            lastColumn = grid::lastColumnCovered(right, kCellWidth);
        int firstRow = grid::firstRowCovered(top, kCellHeight),
            lastRow = grid::lastRowCovered(bottom, kCellHeight);
        if (firstColumn < 0) firstColumn = 0;
        if (firstRow < 0) firstRow = 0;
        if (lastColumn >= kColumns) lastColumn = kColumns - 1;
        if (lastRow >= kRows) lastRow = kRows - 1;
        for (int r = firstRow; r <= lastRow; ++r) {
            for (int c = firstColumn; c <= lastColumn; ++c) {
                current->cells[r][c] = Cell{' ', false, true, fill};
            }
        }
    }
    const BOOL result = realRectangle(dc, left, top, right, bottom);
    if (e) e->result = result;
    return result;
}

HBRUSH WINAPI recordCreateSolidBrush(COLORREF colour) {
    const HBRUSH brush = realCreateSolidBrush(colour);
    if (GdiEvent* e = newEvent(kCreateBrush)) {
        describeBrush(brush, e);
        e->result = brush != nullptr;
    }
    return brush;
}

HGDIOBJ WINAPI recordSelectObject(HDC dc, HGDIOBJ object) {
    GdiEvent* e = current && dc == current->dc ? newEvent(kSelectObject) : nullptr;
    if (e) describeBrush(object, e);
    const HGDIOBJ previous = realSelectObject(dc, object);
    if (e) {
        e->returned = previous;
        e->result = previous != nullptr;
    }
    return previous;
}

BOOL WINAPI recordDeleteObject(HGDIOBJ object) {
    GdiEvent* e = newEvent(kDeleteObject);
    if (e) {
        describeBrush(object, e);
        e->stillSelected = GetCurrentObject(current->dc, OBJ_BRUSH) == object;
    }
    const BOOL result = realDeleteObject(object);
    if (e) {
        e->result = result;
        e->typeAfter = GetObjectType(object);
    }
    return result;
}

void say(char* error, int errorSize, const char* text) {
    snprintf(error, static_cast<size_t>(errorSize), "%s", text);
}

}  // namespace

void recordTitle(HDC dc, const char* title) {
    // As the simulator's base draws it: white, without background, at the DC's position. The
    // title lands in the cells; it is no call of the module's, so no event.
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    addText(dc, 0, 0, title, lstrlenA(title));
    realTextOut(dc, 0, 0, title, lstrlenA(title));
}

namespace {

template <typename Fn>
void resolve(Fn& function, HMODULE gdi, const char* name) {
    function = gdi ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(gdi, name))) : nullptr;
}

}  // namespace

int routeImports(HMODULE module, const char* dll, const ImportHook* hooks, int count) {
    // The module's import table: the descriptor of the DLL, its names and address slots.
    BYTE* base = reinterpret_cast<BYTE*>(module);
    IMAGE_DOS_HEADER* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    IMAGE_NT_HEADERS* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int patched = 0;
    for (IMAGE_IMPORT_DESCRIPTOR* d =
             reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         directory.VirtualAddress && d->Name; ++d) {
        if (_stricmp(reinterpret_cast<char*>(base + d->Name), dll) != 0) continue;
        IMAGE_THUNK_DATA* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        IMAGE_THUNK_DATA* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const char* name = reinterpret_cast<const char*>(
                reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name);
            void* replacement = nullptr;
            for (int i = 0; i < count; ++i) {
                if (strcmp(name, hooks[i].name) == 0) replacement = hooks[i].replacement;
            }
            if (!replacement) continue;
            DWORD protection;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            ++patched;
        }
    }
    return patched;
}

bool interceptGdi(HMODULE module, char* error, int errorSize) {
    HMODULE gdi = GetModuleHandleA("gdi32.dll");
    resolve(realTextOut, gdi, "TextOutA");
    resolve(realRectangle, gdi, "Rectangle");
    resolve(realCreateSolidBrush, gdi, "CreateSolidBrush");
    resolve(realSelectObject, gdi, "SelectObject");
    resolve(realDeleteObject, gdi, "DeleteObject");
    if (!realTextOut || !realRectangle || !realCreateSolidBrush || !realSelectObject || !realDeleteObject) {
        say(error, errorSize, "gdi32 lacks a function the module draws with");
        return false;
    }
    const ImportHook hooks[] = {{"TextOutA", reinterpret_cast<void*>(&recordTextOut)},
                                {"Rectangle", reinterpret_cast<void*>(&recordRectangle)},
                                {"CreateSolidBrush", reinterpret_cast<void*>(&recordCreateSolidBrush)},
                                {"SelectObject", reinterpret_cast<void*>(&recordSelectObject)},
                                {"DeleteObject", reinterpret_cast<void*>(&recordDeleteObject)}};
    constexpr int kHooks = sizeof hooks / sizeof hooks[0];
    if (routeImports(module, "gdi32.dll", hooks, kHooks) != kHooks) {
        say(error, errorSize,
            "the module does not import TextOutA, Rectangle, CreateSolidBrush, SelectObject and DeleteObject "
            "from gdi32.dll");
        return false;
    }
    return true;
}

bool openDisplay(Display& display, char* error, int errorSize) {
    memset(&display, 0, sizeof display);
    display.dc = CreateCompatibleDC(nullptr);
    if (!display.dc) {
        say(error, errorSize, "CreateCompatibleDC failed");
        return false;
    }
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kDisplaySize;
    info.bmiHeader.biHeight = -kDisplaySize;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    display.bitmap = CreateDIBSection(display.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!display.bitmap) {
        say(error, errorSize, "CreateDIBSection failed");
        return false;
    }
    display.bits = static_cast<const DWORD*>(bits);
    display.previousBitmap = SelectObject(display.dc, display.bitmap);
    display.pen = CreatePen(PS_SOLID, 1, kDisplayPen);
    display.previousPen = SelectObject(display.dc, display.pen);
    display.ownBrush = GetStockObject(BLACK_BRUSH);
    display.previousBrush = SelectObject(display.dc, display.ownBrush);
    // A fixed-pitch face whose characters advance by exactly one cell, so that texts drawn at
    // GDI's updated position land in the cells the page files expect.
    static const char* const kFaces[] = {"DejaVu Sans Mono", "Courier New", "Liberation Mono",
                                         "Lucida Console"};
    for (const char* face : kFaces) {
        HFONT font = CreateFontA(kCellHeight, kCellWidth, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                 OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                                 FIXED_PITCH | FF_MODERN, face);
        if (!font) continue;
        HGDIOBJ old = SelectObject(display.dc, font);
        SIZE wide, narrow;
        GetTextExtentPoint32A(display.dc, "MMMMMMMMMM", 10, &wide);
        GetTextExtentPoint32A(display.dc, "iiiiiiiiii", 10, &narrow);
        if (wide.cx == 10 * kCellWidth && narrow.cx == 10 * kCellWidth) {
            TEXTMETRICA metrics;
            GetTextMetricsA(display.dc, &metrics);
            display.font = font;
            display.fontHeight = metrics.tmHeight;
            display.previousFont = old;
            break;
        }
        SelectObject(display.dc, old);
        DeleteObject(font);
    }
    if (!display.font) {
        say(error, errorSize, "no fixed-pitch font advances by one cell");
        return false;
    }
    return true;
}

void closeDisplay(Display& display) {
    if (!display.dc) return;
    if (display.previousFont) SelectObject(display.dc, display.previousFont);
    if (display.previousBrush) SelectObject(display.dc, display.previousBrush);
    if (display.previousPen) SelectObject(display.dc, display.previousPen);
    if (display.previousBitmap) SelectObject(display.dc, display.previousBitmap);
    if (display.font) DeleteObject(display.font);
    if (display.pen) DeleteObject(display.pen);
    if (display.bitmap) DeleteObject(display.bitmap);
    DeleteDC(display.dc);
    memset(&display, 0, sizeof display);
}

COLORREF pixelAt(const Display& display, int x, int y) {
    if (!display.bits || x < 0 || y < 0 || x >= kDisplaySize || y >= kDisplaySize) return kDisplayBackground;
    GdiFlush();  // GDI may batch drawing; the bits are only current after a flush
    const DWORD v = display.bits[y * kDisplaySize + x];
    return RGB((v >> 16) & 0xff, (v >> 8) & 0xff, v & 0xff);
}

void drawPage(Display& display, MFD* mfd, char* page, int pageSize) {
    memset(display.cells, 0, sizeof display.cells);
    display.overlaps = display.clipped = 0;
    display.eventCount = display.eventsLost = 0;
    RECT all = {0, 0, kDisplaySize, kDisplaySize};
    FillRect(display.dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    MoveToEx(display.dc, 0, 0, nullptr);
    current = &display;
    mfd->Update(display.dc);
    current = nullptr;

    int length = 0, end = 0;  // end: behind the last non-empty line
    for (int r = 0; r < kRows; ++r) {
        const int lineStart = length;
        int lineEnd = length;
        for (int c = 0; c < kColumns; ++c) {
            const Cell& cell = display.cells[r][c];
            const char shown = cell.drawn ? cell.ch : cell.bar ? (cell.barFill != 0 ? '#' : '.') : ' ';
            if (length < pageSize - 2) page[length++] = shown;
            if (shown != ' ') lineEnd = length;
        }
        length = lineEnd;
        if (length < pageSize - 1) page[length++] = '\n';
        if (lineEnd > lineStart) end = length;
    }
    page[end] = '\0';
}
