// Watches the GDI calls a module makes, through GDI itself: the module's import table entries
// for the GDI functions are pointed at wrappers that ask the device context for its state
// before and after passing the call on to GDI. Nothing is changed in what is drawn.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace winhost::spy {

enum class Kind { Text, Rectangle, CreateBrush, Select, Delete };

struct Event {
    Kind kind = Kind::Text;
    HMODULE caller = nullptr;  // the module whose call this was
    HDC dc = nullptr;
    // Text: what was drawn and the device context's state around the call.
    std::string text;
    POINT before{}, after{};  // current position
    UINT align = 0;
    int bkMode = 0;
    COLORREF textColour = 0, bkColour = 0;
    SIZE extent{};  // GDI's own measure of the text in the selected font
    // Rectangle: its edges as passed, and the brush it was filled with.
    RECT rect{};
    HGDIOBJ brush = nullptr;  // also CreateBrush, Select (the object selected), Delete
    COLORREF brushColour = 0;
    bool solidBrush = false;
    // Select: what SelectObject handed back. Delete: whether the object still was selected in
    // the device context it was last selected into, and its object type after the call.
    HGDIOBJ returned = nullptr;
    bool stillSelected = false;
    DWORD typeAfter = 0;
    BOOL result = FALSE;
};

// Redirects the GDI imports of a loaded module (TextOutA, Rectangle, CreateSolidBrush,
// SelectObject, DeleteObject) to the recording wrappers. False, with the reason, when the
// module does not import one of them from gdi32.dll.
bool watch(HMODULE module, std::string& error);
// Watches only the text output of a module (the host's title); false when it imports none.
bool watchText(HMODULE module);

std::vector<Event>& events();
void clear();

}  // namespace winhost::spy
