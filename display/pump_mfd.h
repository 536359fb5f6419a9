// The "Fuel Management" instrument: one per display that shows the mode. All of them share
// the module-wide transfer state; the instrument itself keeps only which page it shows.
#pragma once

#include <cstdint>

#include "display/instrument_base.h"
#include "host/host.h"
#include "transfer/transfer_state.h"

// Key codes (PC scan codes, set 1) of the seven commands, indexed by display button.
inline constexpr DWORD kKeyMode = 0x32;        // M
inline constexpr DWORD kKeyRateUp = 0x0D;      // = (the key that carries +)
inline constexpr DWORD kKeyRateDown = 0x0C;    // -
inline constexpr DWORD kKeyTargetTank = 0x14;  // T
inline constexpr DWORD kKeySourceTank = 0x1F;  // S
inline constexpr DWORD kKeyDockPort = 0x20;    // D
inline constexpr DWORD kKeyHelp = 0x35;        // / (the key that carries ?)
inline constexpr int kButtonCount = 7;
inline constexpr DWORD kButtonKeys[kButtonCount] = {
    kKeyMode, kKeyRateUp, kKeyRateDown, kKeyTargetTank, kKeySourceTank, kKeyDockPort, kKeyHelp};
extern const char* const kButtonLabels[kButtonCount];
extern const MFDBUTTONMENU kButtonMenu[kButtonCount];

class PumpMFD : public InstrumentBase {
public:
    PumpMFD(DWORD width, DWORD height, VESSEL* vessel);
    ~PumpMFD() override;

    void Repaint(HDC surface) override;
    bool ConsumeKeyBuffered(DWORD key) override;
    bool ConsumeButton(int button, int event) override;
    char* ButtonLabel(int button) override;
    int ButtonMenu(const MFDBUTTONMENU** menu) const override;
    void WriteStatus(FILEHANDLE scn) const override;
    void ReadStatus(FILEHANDLE scn) override;
    void StoreStatus() const override;
    void RecallStatus() override;

private:
    // Before the state is used: vessels the simulation removed are dropped, and when no target
    // vessel is left (the state was cleared at a session's start, or the target was removed)
    // the state is set up for this instrument's vessel, as construction does. True when that
    // changed the state.
    bool prepareState();

    // Pages and sections of the display.
    void drawStatusLines(HDC surface);
    void drawTargetSection(HDC surface);
    void drawSourceSection(HDC surface);
    void drawSourceTank(HDC surface, uint32_t count);
    void drawDockingSection(HDC surface);
    void drawHelpPage(HDC surface);
    void drawTankGauge(HDC surface, int column, int row, const TankRef& tank);

    int32_t helpPage = 0;  // 0: status page, 1: help page
};
