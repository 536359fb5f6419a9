// The emulator's drawing surfaces behind HDC. The GDI functions (gdi_posix.cpp) keep the state the
// module relies on here and hand the actual drawing to the surface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/gdi.h"
#include "sim/world/call_list.h"

struct HBRUSH__ {
    COLORREF colour;
    int selections = 0;  // device contexts that have it selected: GDI refuses to delete it then
};

namespace sim {

// Every GDI call the log records, once: the enum and gdiCallName are both made from this list.
#define KESTRANE_GDI_CALLS(X) \
    X(SetTextAlign)           \
    X(MoveToEx)               \
    X(SetBkMode)              \
    X(SetBkColor)             \
    X(SetTextColor)           \
    X(TextOut)                \
    X(CreateSolidBrush)       \
    X(SelectObject)           \
    X(Rectangle)              \
    X(DeleteObject)

enum class GdiCall : uint8_t { KESTRANE_GDI_CALLS(KESTRANE_ENUMERATOR) };

const char* gdiCallName(GdiCall call);

struct GdiEntry {
    GdiCall call;
    // Coordinates, mode or colour, as the call takes them; SelectObject: the brush's colour.
    int a = 0, b = 0, c = 0, d = 0;
    const void* object = nullptr;  // brush, where the call takes one
    std::string text;              // TextOut only
};

// Brushes live until deleted; the count shows whether a drawing deleted what it created.
struct GdiObjects {
    static int64_t live();
    static int64_t created();
    // Heap allocations the GDI functions made for brushes and their bookkeeping, so that a
    // caller counting its own allocations can tell the host's apart.
    static int64_t allocations();
};

}  // namespace sim

struct HDC__ {
    explicit HDC__(int advance) : charAdvance(advance) {}
    virtual ~HDC__();
    HDC__(const HDC__&) = delete;
    HDC__& operator=(const HDC__&) = delete;

    // GDI state, as GDI keeps it for a device context.
    UINT textAlign = 0;
    POINT position{0, 0};
    int bkMode = OPAQUE;
    COLORREF bkColour = 0xffffff;
    COLORREF textColour = 0x000000;
    HBRUSH brush = &ownBrush;       // selected brush: the surface's own until one is selected
    COLORREF penColour = 0x000000;  // the one pen, for rectangle outlines
    int charAdvance;                // pixels per character of the surface's monospace font

    // Call log, when switched on.
    bool logging = false;
    std::vector<sim::GdiEntry> log;

    // Draws text with its top-left corner at (x, y) in the current colours and mode.
    virtual void drawText(int x, int y, const char* text, int length) = 0;
    // Outlines with the pen and fills the inside with the selected brush.
    virtual void drawRectangle(int left, int top, int right, int bottom) = 0;

    HBRUSH defaultBrush() { return &ownBrush; }

protected:
    HBRUSH__ ownBrush{0x000000, 1};
};

namespace sim {

// A surface that draws nothing: it keeps the GDI state and, if asked, the call log.
class RecordingSurface : public HDC__ {
public:
    explicit RecordingSurface(int advance, bool logCalls = true) : HDC__(advance) { logging = logCalls; }
    void drawText(int, int, const char*, int) override {}
    void drawRectangle(int, int, int, int) override {}
};

}  // namespace sim
