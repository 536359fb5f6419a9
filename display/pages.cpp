// The status page and the help page. Drawing the status page also repairs tank indices that
// no longer name a tank, and switches the pump off when it does.
#include <cstdint>

#include "display/page_words.h"
#include "display/pump_mfd.h"
#include "display/text_grid.h"

namespace {

constexpr const char* kInstrumentVersion = "030109";

constexpr COLORREF kNameColour = 0xc0c0c0;
constexpr COLORREF kLabelColour = 0xc000;
constexpr COLORREF kValueColour = 0xff00;
constexpr COLORREF kWarningText = 0xffffff;
constexpr COLORREF kAlertBackground = 0xc0;     // something is missing
constexpr COLORREF kNoticeBackground = 0xc0c0;  // a situation, not a fault

constexpr int kModeRow = 3;
constexpr int kRateRow = 6;
constexpr int kTargetRow = 13;
constexpr int kSourceRow = 17;
constexpr int kDockPortRow = 20;
constexpr int kDockedRow = 21;

static_assert(sizeof kModeNames / sizeof *kModeNames == kModeCount &&
              sizeof kModeDirections / sizeof *kModeDirections == kModeCount &&
              sizeof kRateNames / sizeof *kRateNames == kRateCount);

// Mode and rate values reach the state from scenario files too; nothing indexes a table with a
// value outside it.
const char* modeName(int32_t mode) { return validMode(mode) ? kModeNames[mode] : "?"; }
const char* modeDirection(int32_t mode) { return validMode(mode) ? kModeDirections[mode] : ""; }
const char* rateName(int32_t rate) { return validRate(rate) ? kRateNames[rate] : "?"; }

const char* text(const char* s) { return s ? s : ""; }

// An index at or above its vessel's tank count is set back to the first tank; a pump that was
// running on it stops.
void repairIndex(int32_t& tank, uint32_t count) {
    if (static_cast<int64_t>(tank) >= static_cast<int64_t>(count)) {
        tank = 0;
        transferState.stopPump();
    }
}

// Indices shown 1-based; 64-bit so that a stray index from a scenario cannot overflow.
long long shown(int32_t index) { return static_cast<long long>(index) + 1; }

void drawTankLine(HDC surface, int row, const char* label, int32_t tank, uint32_t count) {
    writeAtColor(surface, 0, row, kLabelColour, "%s", label);
    writeHereColor(surface, kValueColour, "%lld", shown(tank));
    writeHereColor(surface, kLabelColour, " (of %u)", count);
}

// A warning in a setting's place, a blank on either side.
void drawWarning(HDC surface, int row, COLORREF background, const char* warning) {
    writeAtOpaque(surface, 0, row, kWarningText, background, " %s ", warning);
}

void drawNoSourceTank(HDC surface) { drawWarning(surface, kSourceRow, kAlertBackground, kNoSourceTank); }

}  // namespace

void PumpMFD::Repaint(HDC surface) {
    setupGrid(surface, static_cast<int>(cw), static_cast<int>(ch));
    Title(surface, "Fuel Mgt");
    if (helpPage == 1) {
        drawHelpPage(surface);
        return;
    }
    prepareState();
    resolveDockedSource();
    drawStatusLines(surface);
    drawTargetSection(surface);
    drawSourceSection(surface);
}

void PumpMFD::drawStatusLines(HDC surface) {
    const TransferState& s = transferState;
    // The title names the vessel whose tanks and ports the page shows.
    if (VESSEL* titled = shownVessel(pV)) {
        writeHereColor(surface, kNameColour, " %s (%s)", text(titled->GetName()),
                       text(titled->GetClassNameA()));
    }

    writeAtColor(surface, 0, kModeRow, kLabelColour, "%s", kPumpModeLabel);
    writeHereColor(surface, kValueColour, "%s", modeName(s.pumpMode));
    writeHereColor(surface, kLabelColour, "%s", modeDirection(s.pumpMode));

    writeAtColor(surface, 0, kRateRow, kLabelColour, "%s", kPumpRateLabel);
    writeHereColor(surface, kValueColour, "%s", rateName(s.pumpRate));
}

void PumpMFD::drawTargetSection(HDC surface) {
    TransferState& s = transferState;
    // No target vessel counts as one without tanks: it is not asked, and nothing is repaired.
    const uint32_t count = propellantCount(s.targetVessel);
    if (count == 0) {
        drawWarning(surface, kTargetRow, kAlertBackground, kNoTargetTank);
        return;
    }
    repairIndex(s.targetTank, count);
    drawTankLine(surface, kTargetRow, kTargetTankLabel, s.targetTank, count);
    drawTankGauge(surface, 0, kTargetRow + 1, s.target());
}

void PumpMFD::drawSourceSection(HDC surface) {
    TransferState& s = transferState;
    switch (s.pumpMode) {
        case CrossFeed: {
            if (!s.sourceVessel) return drawNoSourceTank(surface);
            const uint32_t count = propellantCount(s.sourceVessel);
            repairIndex(s.sourceTank, count);
            if (count == 1) {
                drawWarning(surface, kSourceRow, kNoticeBackground, kSingleTankOnly);
            } else {
                drawSourceTank(surface, count);
            }
            return;
        }
        case Vent:
            drawWarning(surface, kSourceRow, kNoticeBackground, kOverboardVent);
            return;
        case Load:
        case Unload: {
            drawDockingSection(surface);
            if (!s.sourceVessel) return;
            const uint32_t count = propellantCount(s.sourceVessel);
            repairIndex(s.sourceTank, count);
            drawSourceTank(surface, count);
            return;
        }
        default:
            // A mode from outside the table names no source; the mode line shows it as unknown.
            return;
    }
}

// The source tank's line and gauge; a source vessel without tanks has none to show.
void PumpMFD::drawSourceTank(HDC surface, uint32_t count) {
    if (count == 0) return drawNoSourceTank(surface);
    drawTankLine(surface, kSourceRow, kSourceTankLabel, transferState.sourceTank, count);
    drawTankGauge(surface, 0, kSourceRow + 1, transferState.source());
}

void PumpMFD::drawDockingSection(HDC surface) {
    const TransferState& s = transferState;
    // The ports of the vessel the title names, the one the docked source is looked up at.
    VESSEL* vessel = shownVessel(pV);
    const uint32_t ports = vessel ? vessel->DockCount() : 0;
    if (ports == 0) {
        drawWarning(surface, kDockPortRow, kAlertBackground, kNoDockingPorts);
        return;
    }
    writeAtColor(surface, 0, kDockPortRow, kLabelColour, "%s", kDockingPortLabel);
    writeHereColor(surface, kValueColour, "%lld", shown(s.dockPort));
    writeHereColor(surface, kLabelColour, " (of %u)", ports);
    if (s.sourceVessel) {
        writeAt(surface, 0, kDockedRow, "%s", kDockedToLabel);
        writeHereColor(surface, kValueColour, "%s", text(s.sourceVessel->GetName()));
    } else {
        drawWarning(surface, kDockedRow, kNoticeBackground, kNotDocked);
    }
}

void PumpMFD::drawHelpPage(HDC surface) {
    struct Line {
        int row;
        const char* heading;  // bright, at column 0; null for a continuation line
        const char* text;
    };
    static constexpr Line kHelp[] = {
        {2, "CROSS-FEED", " allows you to transfer"},
        {3, nullptr, "fuel between internal tanks (top up "},
        {4, nullptr, "those RCS thrusters!)"},
        {6, "LOAD", " transfers fuel from a vessel"},
        {7, nullptr, "docked to yours into one of your"},
        {8, nullptr, "internal tanks"},
        {10, "UNLOAD", " transfers fuel from one of"},
        {11, nullptr, "your internal tanks into a vessel"},
        {12, nullptr, "docked to yours"},
        {14, "VENT", " dumps your fuel overboard in"},
        {15, nullptr, "emergency situations"},
    };

    // The instrument's own version number, as pilots know it from the page; the project's
    // release is in the DLL's version resource and the package's name.
    writeHere(surface, " %s %s", kVersionWord, kInstrumentVersion);
    for (const Line& line : kHelp) {
        if (line.heading) {
            writeAtColor(surface, 0, line.row, kValueColour, "%s", line.heading);
            writeHereColor(surface, kLabelColour, "%s", line.text);
        } else {
            writeAt(surface, 0, line.row, "%s", line.text);
        }
    }
}
