#include "scenario/status_block.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "scenario/scenario_items.h"
#include "transfer/transfer_state.h"

namespace {

// White space as the C locale has it; the module never changes the locale, but the scan rules
// should not depend on it either.
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Whether the line begins with the item's name, letter case aside.
bool beginsWith(const char* line, const char* item) {
    for (; *item != '\0'; ++line, ++item) {
        if (*line == '\0' || upper(*line) != upper(*item)) return false;
    }
    return true;
}

// Scans a decimal integer the way "%d" does: white space skipped, an optional sign, the digits,
// and whatever follows left alone; on success `text` points right behind the digits. A number
// too large for 32 bits counts as not scanned, where "%d" would be undefined.
bool scanInt(const char*& text, int32_t& out) {
    const char* p = text;
    while (isBlank(*p)) ++p;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    if (!isDigit(*p)) return false;
    constexpr int64_t kLimit = int64_t{INT32_MAX} + 1;  // the magnitude of INT32_MIN
    int64_t magnitude = 0;
    for (; isDigit(*p); ++p) {
        if (magnitude <= kLimit) magnitude = magnitude * 10 + (*p - '0');
    }
    if (magnitude > (negative ? kLimit : kLimit - 1)) return false;
    out = static_cast<int32_t>(negative ? -magnitude : magnitude);
    text = p;
    return true;
}

struct NamedVessel {
    VESSEL* vessel;
    OBJHANDLE handle;
};

// The vessel a block names, from the white space before the name up to the next; none for an
// empty name or one too long to have been written by the block (cut short it might name some
// other vessel). `given` tells whether there was a name at all.
NamedVessel vesselNamed(const char* value, bool& given) {
    while (isBlank(*value)) ++value;
    const char* end = value;
    while (*end != '\0' && !isBlank(*end)) ++end;
    const auto length = static_cast<size_t>(end - value);
    given = length > 0;
    if (length == 0 || length >= kScenarioValueSize) return {nullptr, nullptr};
    char name[kScenarioValueSize];
    std::memcpy(name, value, length);
    name[length] = '\0';
    const OBJHANDLE handle = oapiGetVesselByName(name);
    // No look-up of an interface for a missing vessel: it is simply none.
    return {handle ? oapiGetVesselInterface(handle) : nullptr, handle};
}

// "SOURCETANK" value: the index, the separator right behind the digits, then the vessel's name.
void readSourceTank(const char* value) {
    int32_t tank = 0;
    if (!scanInt(value, tank)) return;
    if (tank >= 0) transferState.sourceTank = tank;
    if (*value != kSourceTankSeparator) return;
    bool given = false;
    const NamedVessel source = vesselNamed(value + 1, given);
    if (given) transferState.setSource(source.vessel, source.handle);  // no name: the source stays
}

uint32_t portCount(VESSEL* vessel) { return vessel ? vessel->DockCount() : 0; }
// Port 0 stands for "no port" on a vessel without any, as a fresh configuration has it.
bool portBeyond(int32_t port, VESSEL* vessel) {
    return port != 0 && static_cast<int64_t>(port) >= static_cast<int64_t>(portCount(vessel));
}

// Which items a block carried, to recognise a block written from a cleared state, and what
// became of a vessel it named as the configuration's own.
struct BlockShape {
    bool zero[4] = {false, false, false, false};  // integer item last scanned as 0
    bool source = false;                          // a "SOURCETANK" line
    bool target = false;                          // a "TARGETVESSEL" line
    bool targetLost = false;                      // ... naming no vessel there is
    bool unfit = false;                           // ... with a port it does not have
    bool cleared() const { return zero[0] && zero[1] && zero[2] && zero[3] && !source && !target; }
};

// "TARGETVESSEL": the configuration is that vessel's, as a display of it would have set it up.
// What the block gave before the line stays; a port it gave that the vessel lacks is dropped.
void readTargetVessel(const char* value, BlockShape& shape) {
    TransferState& s = transferState;
    shape.target = true;
    bool given = false;
    const NamedVessel target = vesselNamed(value, given);
    if (!target.vessel) {
        shape.targetLost = true;
        return;
    }
    s.setTarget(target.vessel, target.handle);
    if (!shape.source) s.setSource(target.vessel, target.handle);
    if (portBeyond(s.dockPort, target.vessel)) {
        s.dockPort = 0;
        shape.unfit = true;
    }
}

// One line of the block. Values outside their ranges never reach the state: they would index
// past the mode and rate tables or ask for a port the vessel does not have.
void readLine(const char* line, VESSEL* own, BlockShape& shape) {
    TransferState& s = transferState;
    for (size_t i = 0; i < kScenarioItemCount; ++i) {
        const char* item = kScenarioItems[i];
        if (!beginsWith(line, item)) continue;
        const char* value = line + std::strlen(item);
        if (static_cast<ScenarioItem>(i) == ScenarioItem::SourceTank) {
            shape.source = true;
            readSourceTank(value);
            return;
        }
        if (static_cast<ScenarioItem>(i) == ScenarioItem::TargetVessel) return readTargetVessel(value, shape);
        int32_t number = 0;
        if (!scanInt(value, number)) return;
        shape.zero[i] = number == 0;
        switch (static_cast<ScenarioItem>(i)) {
            case ScenarioItem::PumpMode:
                if (validMode(number)) s.pumpMode = number;
                break;
            case ScenarioItem::PumpRate:
                if (validRate(number)) s.pumpRate = number;
                break;
            case ScenarioItem::DockPort:
                if (number >= 0 && static_cast<uint32_t>(number) < portCount(shownVessel(own)))
                    s.dockPort = number;
                else if (shape.target && portBeyond(number, shownVessel(own)))
                    shape.unfit = true;  // port 0 in its place could hold a vessel nobody chose
                break;
            case ScenarioItem::TargetTank:
                if (number >= 0) s.targetTank = number;
                break;
            case ScenarioItem::SourceTank:
            case ScenarioItem::TargetVessel:
                break;
        }
        return;
    }
}

// The "SOURCETANK" value for the source vessel. A name that would not fit the buffer, or that
// the reader would cut at a blank, is left out rather than cut: the index alone reads back
// with the source vessel unchanged, while a shortened name could name another vessel.
// Whether the reader takes the whole name back: it stops at the first blank.
bool oneWord(const char* name) {
    for (const char* c = name; *c != '\0'; ++c) {
        if (isBlank(*c)) return false;
    }
    return true;
}

void formatSourceTank(char (&value)[kScenarioValueSize], int32_t tank, const char* name) {
    if (!name) name = "";
    bool fits = oneWord(name);
    if (fits) {
        const int written = std::snprintf(value, sizeof value, kSourceTankFormat, tank, name);
        fits = written >= 0 && static_cast<size_t>(written) < sizeof value;
    }
    if (!fits) std::snprintf(value, sizeof value, kSourceTankIndexFormat, tank);
}

}  // namespace

void writeStatusBlock(FILEHANDLE scn, VESSEL* own) {
    // A vessel the simulation removed must not be asked for its name.
    dropRemovedVessels();
    // Saving leaves the flight as it was: after a quicksave or a recorder start the pump runs
    // on. Without its target the state describes no vessel's transfer: its mode and tanks must
    // not be saved as this one's.
    const TransferState s = transferState.targetVessel ? transferState : TransferState{};
    // First, so that the items after it are read for that vessel: its ports, its tanks.
    if (s.targetVessel && s.targetVessel != own) {
        const char* name = s.targetVessel->GetName();
        const bool fits = name && std::strlen(name) < kScenarioValueSize && oneWord(name);
        // A name the reader would cut could name another vessel: none restores nothing.
        oapiWriteScenario_string(scn, hostText(kItemTargetVessel), hostText(fits ? name : ""));
    }
    oapiWriteScenario_int(scn, hostText(kItemPumpMode), s.pumpMode);
    oapiWriteScenario_int(scn, hostText(kItemPumpRate), s.pumpRate);
    oapiWriteScenario_int(scn, hostText(kItemDockPort), s.dockPort);
    oapiWriteScenario_int(scn, hostText(kItemTargetTank), s.targetTank);
    if (s.sourceVessel) {
        char value[kScenarioValueSize];
        formatSourceTank(value, s.sourceTank, s.sourceVessel->GetName());
        oapiWriteScenario_string(scn, hostText(kItemSourceTank), value);
    }
}

void readStatusBlock(FILEHANDLE scn, VESSEL* own) {
    // Earlier versions cleared the state as they wrote, so with two displays in the mode the
    // second block of their files holds the cleared state's four zeros. Read after the first,
    // it would switch off a restored transfer and lose its settings. No configuration writes
    // exactly that block (cross-feed always names its source), so it is taken as carrying
    // nothing.
    const TransferState before = transferState;
    BlockShape shape;
    char* line = nullptr;
    while (oapiReadScenario_nextline(scn, line)) {
        // The simulator's reader goes on past the block into the next display's and beyond.
        if (line && beginsWith(line, "END_MFD")) break;
        if (line) readLine(line, own, shape);
    }
    if (shape.cleared()) {
        transferState = before;
        return;
    }
    // The configuration of a vessel the scenario no longer has must not move another's
    // propellant: this display starts afresh, as on opening.
    if (shape.targetLost) return resetTransferState(own);
    if (shape.unfit) transferState.stopPump();
    // A vent is written without a source, so the source is the one construction set up: the
    // own vessel, whose tank 0 may be the tank being vented, and the restored vent could not
    // run. Without a source the vent goes on, as it does after the mode key selects it.
    if (transferState.pumpMode == Vent && !shape.source) transferState.setSource(nullptr, nullptr);
}
