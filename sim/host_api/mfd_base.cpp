// The MFD base, as the host provides it.
#include "sim/world/display.h"
#include "sim/world/simulation.h"

MFD::MFD(DWORD w, DWORD h, VESSEL* vessel)
    : W(w),
      H(h),
      cw(sim::cellWidthFor(w)),
      ch(sim::cellHeightFor(h)),
      pV(vessel),
      hostDisplay(sim::Display::underConstruction()) {}

MFD::~MFD() = default;

bool MFD::ConsumeKeyBuffered(DWORD) { return false; }
bool MFD::ConsumeKeyImmediate(char*) { return false; }
bool MFD::ConsumeButton(int, int) { return false; }
char* MFD::ButtonLabel(int) { return nullptr; }
int MFD::ButtonMenu(const MFDBUTTONMENU**) const { return 0; }
void MFD::WriteStatus(FILEHANDLE) const {}
void MFD::ReadStatus(FILEHANDLE) {}
void MFD::StoreStatus() const {}
void MFD::RecallStatus() {}

void MFD::InvalidateDisplay() {
    if (sim::Simulation* s = sim::Simulation::current()) s->calls.add(sim::HostCall::InvalidateDisplay);
    if (auto* display = static_cast<sim::Display*>(hostDisplay)) {
        ++display->pendingRedraws;
        ++display->redrawRequests;
    }
}

void MFD::Title(HDC hDC, const char* title) const {
    if (sim::Simulation* s = sim::Simulation::current()) s->calls.add(sim::HostCall::Title);
    SetBkMode(hDC, TRANSPARENT);
    SetTextColor(hDC, sim::kTitleColour);
    TextOutA(hDC, 0, 0, title, lstrlenA(title));
}
