#include "display/pump_mfd.h"

#include "scenario/status_block.h"

const char* const kButtonLabels[kButtonCount] = {"MOD", "PR+", "PR-", "TGT", "SRC", "DCK", "HLP"};

const MFDBUTTONMENU kButtonMenu[kButtonCount] = {
    {"Pump Mode", nullptr, 'M'},   {"Increase Rate", nullptr, '+'}, {"Decrease Rate", nullptr, '-'},
    {"Target Tank", nullptr, 'T'}, {"Source Tank", nullptr, 'S'},   {"Docking Port", nullptr, 'D'},
    {"Help", nullptr, '?'}};

namespace {

bool isCommandKey(DWORD key) {
    for (const DWORD command : kButtonKeys) {
        if (key == command) return true;
    }
    return false;
}

// The tank and port keys: with more than one to choose from, the pump stops and the index
// steps on, wrapping. The step is unsigned, so a stored index outside 0..n-1 (from a
// scenario, or a vessel that lost tanks) comes back into range with the same step. True when
// the index stepped.
bool stepIndex(int32_t& index, uint32_t count) {
    if (count <= 1) return false;
    transferState.stopPump();
    index = static_cast<int32_t>((static_cast<uint32_t>(index) + 1u) % count);
    return true;
}

void nextPumpMode() {
    TransferState& s = transferState;
    // Wide and floored, so that no stored mode, however odd, stays outside the table.
    const int64_t next = (static_cast<int64_t>(s.pumpMode) + 1) % kModeCount;
    s.pumpMode = static_cast<int32_t>(next < 0 ? next + kModeCount : next);
    if (s.pumpMode == CrossFeed) {
        s.setSource(s.targetVessel, s.targetHandle);
        s.sourceTank = s.targetTank;
    } else if (s.pumpMode == Vent) {
        s.setSource(nullptr, nullptr);
    }
    s.stopPump();
}

// A rate outside the table counts as Off, as the pump treats it.
void stepPumpRate(int32_t delta) {
    TransferState& s = transferState;
    if (!transferPossible(s)) {
        s.stopPump();
        return;
    }
    const int32_t rate = (validRate(s.pumpRate) ? s.pumpRate : 0) + delta;
    s.pumpRate = rate < 0 ? 0 : rate > kRateCount - 1 ? kRateCount - 1 : rate;
}

}  // namespace

PumpMFD::PumpMFD(DWORD width, DWORD height, VESSEL* vessel) : InstrumentBase(width, height, vessel) {
    // A removed target must not be taken for this vessel if the host reused its address.
    dropRemovedVessels();
    if (vessel != transferState.targetVessel) resetTransferState(vessel);
}

PumpMFD::~PumpMFD() = default;

bool PumpMFD::prepareState() {
    const TransferState before = transferState;
    dropRemovedVessels();
    if (!transferState.targetVessel) resetTransferState(pV);
    return !(transferState == before);
}

bool PumpMFD::ConsumeKeyBuffered(DWORD key) {
    if (!isCommandKey(key)) return false;
    if (key == kKeyHelp) {
        helpPage = (helpPage + 1) % 2;
        InvalidateDisplay();
        return true;
    }
    if (helpPage != 0) return true;

    // A state set up afresh is a change to show, even if the command itself changes nothing.
    bool changed = prepareState();
    TransferState& s = transferState;
    switch (key) {
        case kKeyMode:
            nextPumpMode();
            changed = true;
            break;
        case kKeyRateUp:
            stepPumpRate(+1);
            changed = true;  // the rate keys redraw even when the rate stays
            break;
        case kKeyRateDown:
            stepPumpRate(-1);
            changed = true;
            break;
        case kKeyTargetTank:
            if (s.targetVessel) changed |= stepIndex(s.targetTank, propellantCount(s.targetVessel));
            break;
        case kKeySourceTank:
            if (s.sourceVessel) changed |= stepIndex(s.sourceTank, propellantCount(s.sourceVessel));
            break;
        case kKeyDockPort:
            // The ports of the vessel the title names, the ones the page counts.
            if (VESSEL* vessel = shownVessel(pV)) changed |= stepIndex(s.dockPort, vessel->DockCount());
            break;
        default:
            break;
    }
    if (changed) InvalidateDisplay();
    return true;
}

bool PumpMFD::ConsumeButton(int button, int event) {
    if ((event & 0x03) == 0) return false;
    if (static_cast<unsigned>(button) >= static_cast<unsigned>(kButtonCount)) return false;
    return ConsumeKeyBuffered(kButtonKeys[button]);
}

char* PumpMFD::ButtonLabel(int button) {
    return static_cast<unsigned>(button) < static_cast<unsigned>(kButtonCount)
               ? hostText(kButtonLabels[button])
               : nullptr;
}

int PumpMFD::ButtonMenu(const MFDBUTTONMENU** menu) const {
    if (menu) *menu = kButtonMenu;
    return kButtonCount;
}

void PumpMFD::WriteStatus(FILEHANDLE scn) const { writeStatusBlock(scn, pV); }
void PumpMFD::ReadStatus(FILEHANDLE scn) {
    // The block is read into a state set up as construction leaves it: a target the simulation
    // removed since must not be asked for its ports.
    prepareState();
    readStatusBlock(scn, pV);
}

void PumpMFD::StoreStatus() const {}
void PumpMFD::RecallStatus() {}
