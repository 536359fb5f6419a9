#include "tests/windows/gdi_spy.h"

#include <cstring>
#include <map>

namespace winhost::spy {

namespace {

std::vector<Event> recorded;
// The device context each brush was last selected into.
std::map<HGDIOBJ, HDC> lastSelectedInto;

using TextOutFn = BOOL(WINAPI*)(HDC, int, int, LPCSTR, int);
using RectangleFn = BOOL(WINAPI*)(HDC, int, int, int, int);
using CreateSolidBrushFn = HBRUSH(WINAPI*)(COLORREF);
using SelectObjectFn = HGDIOBJ(WINAPI*)(HDC, HGDIOBJ);
using DeleteObjectFn = BOOL(WINAPI*)(HGDIOBJ);

// GDI's own entry points, from gdi32.dll itself: the wrappers call these, never an import
// table entry that may have been redirected.
TextOutFn realTextOut = nullptr;
RectangleFn realRectangle = nullptr;
CreateSolidBrushFn realCreateSolidBrush = nullptr;
SelectObjectFn realSelectObject = nullptr;
DeleteObjectFn realDeleteObject = nullptr;

template <typename Fn>
void resolve(Fn& function, HMODULE gdi, const char* name) {
    if (!function) function = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(gdi, name)));
}

bool resolveGdi() {
    HMODULE gdi = GetModuleHandleA("gdi32.dll");
    if (!gdi) return false;
    resolve(realTextOut, gdi, "TextOutA");
    resolve(realRectangle, gdi, "Rectangle");
    resolve(realCreateSolidBrush, gdi, "CreateSolidBrush");
    resolve(realSelectObject, gdi, "SelectObject");
    resolve(realDeleteObject, gdi, "DeleteObject");
    return realTextOut && realRectangle && realCreateSolidBrush && realSelectObject && realDeleteObject;
}

HMODULE callerOf(void* returnAddress) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCSTR>(returnAddress), &module);
    return module;
}

void describeBrush(HGDIOBJ brush, Event& e) {
    e.brush = brush;
    LOGBRUSH logBrush{};
    if (brush && GetObjectType(brush) == OBJ_BRUSH &&
        GetObjectA(brush, sizeof logBrush, &logBrush) == sizeof logBrush) {
        e.solidBrush = logBrush.lbStyle == BS_SOLID;
        e.brushColour = logBrush.lbColor;
    }
}

BOOL WINAPI textOut(HDC dc, int x, int y, LPCSTR text, int length) {
    Event e;
    e.kind = Kind::Text;
    e.caller = callerOf(__builtin_return_address(0));
    e.dc = dc;
    if (text && length > 0) e.text.assign(text, static_cast<size_t>(length));
    GetCurrentPositionEx(dc, &e.before);
    e.align = GetTextAlign(dc);
    e.bkMode = GetBkMode(dc);
    e.textColour = GetTextColor(dc);
    e.bkColour = GetBkColor(dc);
    if (text && length > 0) GetTextExtentPoint32A(dc, text, length, &e.extent);
    e.result = realTextOut(dc, x, y, text, length);
    GetCurrentPositionEx(dc, &e.after);
    recorded.push_back(e);
    return e.result;
}

BOOL WINAPI rectangle(HDC dc, int left, int top, int right, int bottom) {
    Event e;
    e.kind = Kind::Rectangle;
    e.caller = callerOf(__builtin_return_address(0));
    e.dc = dc;
    e.rect = {left, top, right, bottom};
    describeBrush(GetCurrentObject(dc, OBJ_BRUSH), e);
    e.result = realRectangle(dc, left, top, right, bottom);
    recorded.push_back(e);
    return e.result;
}

HBRUSH WINAPI createSolidBrush(COLORREF colour) {
    Event e;
    e.kind = Kind::CreateBrush;
    e.caller = callerOf(__builtin_return_address(0));
    const HBRUSH brush = realCreateSolidBrush(colour);
    describeBrush(brush, e);
    e.returned = brush;
    recorded.push_back(e);
    return brush;
}

HGDIOBJ WINAPI selectObject(HDC dc, HGDIOBJ object) {
    Event e;
    e.kind = Kind::Select;
    e.caller = callerOf(__builtin_return_address(0));
    e.dc = dc;
    describeBrush(object, e);
    e.returned = realSelectObject(dc, object);
    if (e.returned) lastSelectedInto[object] = dc;
    recorded.push_back(e);
    return e.returned;
}

BOOL WINAPI deleteObject(HGDIOBJ object) {
    Event e;
    e.kind = Kind::Delete;
    e.caller = callerOf(__builtin_return_address(0));
    describeBrush(object, e);
    const auto where = lastSelectedInto.find(object);
    e.dc = where != lastSelectedInto.end() ? where->second : nullptr;
    e.stillSelected = e.dc && GetCurrentObject(e.dc, OBJ_BRUSH) == object;
    e.result = realDeleteObject(object);
    e.typeAfter = GetObjectType(object);
    if (where != lastSelectedInto.end()) lastSelectedInto.erase(where);
    recorded.push_back(e);
    return e.result;
}

struct Hook {
    const char* name;
    void* wrapper;
};

const Hook kHooks[] = {
    {"TextOutA", reinterpret_cast<void*>(&textOut)},
    {"Rectangle", reinterpret_cast<void*>(&rectangle)},
    {"CreateSolidBrush", reinterpret_cast<void*>(&createSolidBrush)},
    {"SelectObject", reinterpret_cast<void*>(&selectObject)},
    {"DeleteObject", reinterpret_cast<void*>(&deleteObject)},
};
constexpr int kHookCount = sizeof kHooks / sizeof kHooks[0];

// Points each import of gdi32.dll named in kHooks (the first `count` of them) at its wrapper;
// marks which were found.
void patchImports(HMODULE module, int count, bool (&found)[kHookCount]) {
    auto* base = reinterpret_cast<unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress) return;
    for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name; ++import) {
        if (_stricmp(reinterpret_cast<const char*>(base + import->Name), "gdi32.dll") != 0) continue;
        // The names stay in the lookup table; the address table is what calls go through.
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
            base + (import->OriginalFirstThunk ? import->OriginalFirstThunk : import->FirstThunk));
        auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            for (int i = 0; i < count; ++i) {
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), kHooks[i].name) != 0) continue;
                DWORD protection = 0;
                VirtualProtect(&addresses->u1.Function, sizeof addresses->u1.Function, PAGE_READWRITE,
                               &protection);
                addresses->u1.Function = reinterpret_cast<ULONG_PTR>(kHooks[i].wrapper);
                VirtualProtect(&addresses->u1.Function, sizeof addresses->u1.Function, protection,
                               &protection);
                found[i] = true;
            }
        }
    }
}

}  // namespace

bool watch(HMODULE module, std::string& error) {
    if (!resolveGdi()) {
        error = "gdi32.dll is not loaded";
        return false;
    }
    bool found[kHookCount] = {};
    if (module) patchImports(module, kHookCount, found);
    std::string missing;
    for (int i = 0; i < kHookCount; ++i) {
        if (!found[i]) missing += std::string(missing.empty() ? "" : ", ") + kHooks[i].name;
    }
    if (!missing.empty()) error = "the module does not import from gdi32.dll: " + missing;
    return missing.empty();
}

bool watchText(HMODULE module) {
    bool found[kHookCount] = {};
    if (!resolveGdi() || !module) return false;
    patchImports(module, 1, found);
    return found[0];
}

std::vector<Event>& events() { return recorded; }

void clear() {
    recorded.clear();
    lastSelectedInto.clear();
}

}  // namespace winhost::spy
