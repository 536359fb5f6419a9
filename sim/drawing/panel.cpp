#include "sim/drawing/panel.h"

#include <algorithm>

namespace sim {

namespace {
constexpr COLORREF kBezel = 0x383838;
constexpr COLORREF kScreenEdge = 0x707070;
constexpr COLORREF kButton = 0x585858;
constexpr COLORREF kButtonEdge = 0x909090;
constexpr COLORREF kLabel = 0xe0e0e0;
constexpr int kButtonsPerSide = 6;
}  // namespace

Image renderPanel(const RasterSurface& display, const std::array<std::string, 12>& labels) {
    const int cw = display.cellWidth(), ch = display.cellHeight();
    const int w = display.width(), h = display.height();
    // Each side: a button of three cells' width, a label column of four cells, margins.
    const int buttonWidth = 3 * cw, buttonHeight = std::max(ch, 2);
    const int side = buttonWidth + 6 * cw;
    const int margin = 2 * ch;
    RasterSurface panel(w + 2 * side, h + 2 * margin, cw, ch);
    panel.penColour = kScreenEdge;
    HBRUSH bezel = CreateSolidBrush(kBezel);
    HGDIOBJ previous = SelectObject(&panel, bezel);
    Rectangle(&panel, 0, 0, panel.width(), panel.height());
    Rectangle(&panel, side - 2, margin - 2, side + w + 2, margin + h + 2);
    HBRUSH button = CreateSolidBrush(kButton);
    SelectObject(&panel, button);
    DeleteObject(bezel);
    panel.penColour = kButtonEdge;
    panel.bkMode = TRANSPARENT;
    panel.textColour = kLabel;
    for (int i = 0; i < 2 * kButtonsPerSide; ++i) {
        const bool left = i < kButtonsPerSide;
        const int slot = i % kButtonsPerSide;
        const int centreY = margin + h * (2 * slot + 1) / (2 * kButtonsPerSide);
        const int top = centreY - buttonHeight / 2;
        const int buttonLeft = left ? cw : panel.width() - cw - buttonWidth;
        Rectangle(&panel, buttonLeft, top, buttonLeft + buttonWidth, top + buttonHeight);
        const std::string& label = labels[static_cast<size_t>(i)];
        if (label.empty()) continue;
        // Labels stand between the button and the screen, against the screen's edge.
        const int length = static_cast<int>(label.size());
        const int textX = left ? side - cw / 2 - length * cw : side + w + cw / 2;
        panel.drawText(textX, centreY - ch / 2, label.c_str(), length);
    }
    SelectObject(&panel, previous);
    DeleteObject(button);
    panel.drawImage(display.image(), side, margin);
    return panel.image();
}

}  // namespace sim
