#include "tests/windows/support.h"

#include <algorithm>

namespace winhost {

Config& config() {
    static Config c;
    return c;
}

bool LoadedModule::load() {
    if (!loader.load(config().modulePath)) {
        error = loader.error();
        return false;
    }
    module = GetModuleHandleA(config().modulePath.c_str());
    if (!module) {
        error = "the module is not in the process after loading";
        return false;
    }
    if (!spy::watch(module, error)) return false;
    // The host draws the title; the page is only complete with it. The host is the library
    // that holds the host interface, as the simulator's executable is for a plug-in.
    HMODULE host = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&oapiRegisterMFDMode), &host);
    if (!host || !spy::watchText(host)) {
        error = "the host draws no text through gdi32.dll";
        return false;
    }
    return true;
}

Drawing redraw(sim::Display& display, sim::GdiDisplay& surface) {
    Drawing drawing(surface.width(), surface.height(), sim::cellWidthFor(display.width()),
                    sim::cellHeightFor(display.height()));
    surface.clear();
    spy::clear();
    display.repaint(surface.dc());
    drawing.events = spy::events();
    spy::clear();
    // Where GDI put each text and rectangle, in the order they were drawn: a rectangle hides
    // the text under it, as on the display.
    for (const spy::Event& e : drawing.events) {
        if (e.kind == spy::Kind::Text) {
            drawing.cells.addText(e.before.x, e.before.y, e.text.data(), static_cast<int>(e.text.size()),
                                  e.textColour, e.bkMode == OPAQUE, e.bkColour);
        } else if (e.kind == spy::Kind::Rectangle) {
            const int left = std::min(e.rect.left, e.rect.right), right = std::max(e.rect.left, e.rect.right);
            const int top = std::min(e.rect.top, e.rect.bottom), bottom = std::max(e.rect.top, e.rect.bottom);
            if (left < right && top < bottom) {
                drawing.cells.addRectangle(left, top, right, bottom,
                                           e.solidBrush ? e.brushColour : sim::kDisplayBackground);
            }
        }
    }
    return drawing;
}

std::vector<spy::Event> eventsOf(const std::vector<spy::Event>& events, spy::Kind kind) {
    std::vector<spy::Event> out;
    for (const spy::Event& e : events) {
        if (e.kind == kind) out.push_back(e);
    }
    return out;
}

std::string outputPath(const std::string& name) { return config().outputDir + "/" + name; }

}  // namespace winhost
