#include "sim/drawing/replay.h"

namespace sim {

void replay(const std::vector<GdiEntry>& log, HBRUSH recordedOwnBrush, HDC into) {
    std::vector<HBRUSH> made;
    for (const GdiEntry& e : log) {
        switch (e.call) {
            case GdiCall::SetTextAlign:
                SetTextAlign(into, static_cast<UINT>(e.a));
                break;
            case GdiCall::MoveToEx: {
                POINT old{};
                MoveToEx(into, e.a, e.b, e.c ? &old : nullptr);
                break;
            }
            case GdiCall::SetBkMode:
                SetBkMode(into, e.a);
                break;
            case GdiCall::SetBkColor:
                SetBkColor(into, static_cast<COLORREF>(e.a));
                break;
            case GdiCall::SetTextColor:
                SetTextColor(into, static_cast<COLORREF>(e.a));
                break;
            case GdiCall::TextOut:
                TextOutA(into, e.a, e.b, e.text.data(), e.c);
                break;
            case GdiCall::Rectangle:
                Rectangle(into, e.a, e.b, e.c, e.d);
                break;
            case GdiCall::SelectObject:
                // The log keeps the colour of the brush selected; the brush itself is gone.
                if (e.object == recordedOwnBrush) {
                    SelectObject(into, into->defaultBrush());
                } else {
                    made.push_back(CreateSolidBrush(static_cast<COLORREF>(e.a)));
                    SelectObject(into, made.back());
                }
                break;
            case GdiCall::CreateSolidBrush:
            case GdiCall::DeleteObject:
                break;  // brushes are made and deleted with their selection above
        }
    }
    SelectObject(into, into->defaultBrush());
    for (HBRUSH brush : made) DeleteObject(brush);
}

}  // namespace sim
