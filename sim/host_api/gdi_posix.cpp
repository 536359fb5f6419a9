// GDI over the emulator's surfaces: the device-context state the module relies on (alignment
// with an advancing current position, colours, background mode, selected brush) and the
// brushes it creates.
#include <cstring>
#include <functional>
#include <memory>
#include <unordered_set>

#include "sim/drawing/surface.h"

namespace {
int64_t brushesCreated = 0;
int64_t brushesDeleted = 0;
int64_t allocationsMade = 0;  // brushes and the set's nodes and buckets

template <class T>
struct CountingAllocator {
    using value_type = T;
    CountingAllocator() = default;
    template <class U>
    CountingAllocator(const CountingAllocator<U>&) {}
    T* allocate(size_t n) {
        ++allocationsMade;
        return std::allocator<T>{}.allocate(n);
    }
    void deallocate(T* p, size_t n) { std::allocator<T>{}.deallocate(p, n); }
    template <class U>
    bool operator==(const CountingAllocator<U>&) const {
        return true;
    }
};

using BrushSet =
    std::unordered_set<HGDIOBJ, std::hash<HGDIOBJ>, std::equal_to<HGDIOBJ>, CountingAllocator<HGDIOBJ>>;
BrushSet& liveBrushes() {
    static BrushSet brushes;
    return brushes;
}

void note(HDC hdc, sim::GdiCall call, int a = 0, int b = 0, int c = 0, int d = 0,
          const void* object = nullptr) {
    if (hdc->logging) hdc->log.push_back({call, a, b, c, d, object, {}});
}
}  // namespace

HDC__::~HDC__() { --brush->selections; }

namespace sim {

const char* gdiCallName(GdiCall call) {
    static const char* const names[] = {KESTRANE_GDI_CALLS(KESTRANE_NAME)};
    return names[static_cast<size_t>(call)];
}

int64_t GdiObjects::live() { return brushesCreated - brushesDeleted; }
int64_t GdiObjects::created() { return brushesCreated; }
int64_t GdiObjects::allocations() { return allocationsMade; }

}  // namespace sim

UINT SetTextAlign(HDC hdc, UINT align) {
    if (!hdc) return 0;
    note(hdc, sim::GdiCall::SetTextAlign, static_cast<int>(align));
    const UINT old = hdc->textAlign;
    hdc->textAlign = align;
    return old;
}

BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT old) {
    if (!hdc) return 0;
    note(hdc, sim::GdiCall::MoveToEx, x, y, old ? 1 : 0);
    if (old) *old = hdc->position;
    hdc->position = {x, y};
    return 1;
}

int SetBkMode(HDC hdc, int mode) {
    if (!hdc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    note(hdc, sim::GdiCall::SetBkMode, mode);
    const int old = hdc->bkMode;
    hdc->bkMode = mode;
    return old;
}

COLORREF SetBkColor(HDC hdc, COLORREF colour) {
    if (!hdc) return 0;
    note(hdc, sim::GdiCall::SetBkColor, static_cast<int>(colour));
    const COLORREF old = hdc->bkColour;
    hdc->bkColour = colour;
    return old;
}

COLORREF SetTextColor(HDC hdc, COLORREF colour) {
    if (!hdc) return 0;
    note(hdc, sim::GdiCall::SetTextColor, static_cast<int>(colour));
    const COLORREF old = hdc->textColour;
    hdc->textColour = colour;
    return old;
}

BOOL TextOutA(HDC hdc, int x, int y, const char* text, int length) {
    if (!hdc || !text || length < 0) return 0;
    if (hdc->logging)
        hdc->log.push_back({sim::GdiCall::TextOut, x, y, length, 0, nullptr, std::string(text, length)});
    // With TA_UPDATECP the coordinates are ignored: text starts at the current position and
    // the position moves to its end.
    if (hdc->textAlign & TA_UPDATECP) {
        hdc->drawText(hdc->position.x, hdc->position.y, text, length);
        hdc->position.x += length * hdc->charAdvance;
    } else {
        hdc->drawText(x, y, text, length);
    }
    return 1;
}

HBRUSH CreateSolidBrush(COLORREF colour) {
    ++brushesCreated;
    ++allocationsMade;
    auto* brush = new HBRUSH__{colour};
    liveBrushes().insert(brush);
    return brush;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
    if (!hdc || !object) return nullptr;
    // As GDI does, a deleted or unknown object is refused and the selection stays. The log keeps
    // the brush's colour, as the brush itself goes once deleted.
    const bool known = object == hdc->defaultBrush() || liveBrushes().count(object);
    note(hdc, sim::GdiCall::SelectObject, known ? static_cast<int>(static_cast<HBRUSH>(object)->colour) : 0,
         0, 0, 0, object);
    if (!known) return nullptr;
    HBRUSH old = hdc->brush;
    hdc->brush = static_cast<HBRUSH>(object);
    ++hdc->brush->selections;
    --old->selections;
    return old;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    if (!hdc) return 0;
    note(hdc, sim::GdiCall::Rectangle, left, top, right, bottom);
    hdc->drawRectangle(left, top, right, bottom);
    return 1;
}

BOOL DeleteObject(HGDIOBJ object) {
    // Only brushes made by CreateSolidBrush can be deleted, each once, and, as in GDI, not
    // while a device context has them selected.
    if (!liveBrushes().count(object) || static_cast<HBRUSH>(object)->selections > 0) return 0;
    liveBrushes().erase(object);
    ++brushesDeleted;
    delete static_cast<HBRUSH>(object);
    return 1;
}

int lstrlenA(const char* text) { return text ? static_cast<int>(std::strlen(text)) : 0; }
