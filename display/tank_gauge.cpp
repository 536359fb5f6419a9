// A tank's bar gauge: a frame across the display, a fill coloured by how full the tank is,
// and mass, percentage and capacity written on the bar's top edge.
#include <climits>
#include <cmath>
#include <cstdint>

#include "display/pump_mfd.h"
#include "display/text_grid.h"

namespace {

constexpr COLORREF kGaugeText = 0xffffff;
constexpr COLORREF kFillHigh = 0x8000;      // 50 % and above
constexpr COLORREF kFillMid = 0x8080;       // from 10 % up to below 50 %
constexpr COLORREF kFillLow = 0x80;         // below 10 %
constexpr double kSmallestCapacity = 0.01;  // kg; below it the tank counts as having no room
constexpr double kBigMass = 1000.0;         // kg; from here on masses are shown without decimals

constexpr int kMassColumn = 1;
constexpr int kPercentColumn = 15;
constexpr int kCapacityColumn = 27;

// Toward zero, as a cast would, but defined for values no int holds: a mass the host reports
// as not a number or as absurdly large must not turn the drawing undefined.
int truncateToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace

void PumpMFD::drawTankGauge(HDC surface, int column, int row, const TankRef& tank) {
    // A tank the host does not have (a negative index from a scenario, or one past the end)
    // shows as empty, without asking for its mass.
    double mass = 0.0;
    double capacity = 0.0;
    if (tank.vessel && tank.tank >= 0) {
        const PROPELLANT_HANDLE ph = tankHandle(tank.vessel, static_cast<DWORD>(tank.tank));
        if (ph) {
            mass = tank.vessel->GetPropellantMass(ph);
            capacity = tank.vessel->GetPropellantMaxMass(ph);
        }
    }

    moveToCell(surface, column, row);
    const POINT anchor = getCurrentPoint(surface);
    const int x = anchor.x;
    const int top = clampToInt(int64_t{anchor.y} + ch / 2);
    const int bottom = clampToInt(int64_t{anchor.y} + 2 * int64_t{ch});
    const int64_t span = int64_t{W} - 2 * int64_t{x};

    Rectangle(surface, x, top, clampToInt(int64_t{W} - x), bottom);

    int fill = 0;
    double percentage = 0.0;
    COLORREF colour = kFillHigh;
    if (capacity >= kSmallestCapacity) {  // also false for a capacity that is not a number
        const double ratio = mass / capacity;
        fill = truncateToInt(static_cast<double>(span) * ratio);
        percentage = ratio * 100.0;
        colour = percentage < 10.0 ? kFillLow : percentage < 50.0 ? kFillMid : kFillHigh;
    }

    const HBRUSH brush = CreateSolidBrush(colour);
    const HGDIOBJ previous = SelectObject(surface, brush);
    Rectangle(surface, x, top, clampToInt(int64_t{x} + fill), bottom);
    if (previous) SelectObject(surface, previous);
    DeleteObject(brush);

    moveToPoint(surface, x, top);
    writeAtColor(surface, kMassColumn, -1, kGaugeText, mass < kBigMass ? "%.1f kg" : "%.0f kg", mass);
    writeAt(surface, kPercentColumn, -1, "%.2f%%", percentage);
    writeAt(surface, kCapacityColumn, -1, capacity < kBigMass ? "%6.1f kg" : "%6.0f kg", capacity);
}
