// One multi-function display of the emulated cockpit: a pixel size and a vessel, and the
// instrument of the mode it currently shows.
#pragma once

#include <string>
#include <vector>

#include "display/cell_grid.h"
#include "host/host.h"
#include "sim/world/modes.h"
#include "sim/world/vessel.h"

namespace sim {

class ScenarioBlock;

// The cell size of a display's character grid.
using grid::cellHeightFor;
using grid::cellWidthFor;

// The colour and background in which the host draws an instrument's title.
inline constexpr COLORREF kTitleColour = 0xffffff;
// The modes listed on the host's mode selection page.
inline constexpr COLORREF kSelectionColour = 0xc0c0c0;

class Display {
public:
    Display(const ModeRegistry& modes, std::string name, VesselRecord& vessel,
            unsigned width = kDefaultDisplaySize, unsigned height = kDefaultDisplaySize);
    ~Display();  // leaves the mode first
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    // Switches to a registered mode: asks the mode's message procedure for an instrument.
    // False when no such mode exists or no instrument was made.
    bool openMode(const std::string& modeName);
    // Leaves the mode: the instrument is destroyed, and the display is off until a mode is
    // opened or it is switched on again.
    void closeMode();
    // Off: no mode, no mode selection and nothing of the simulator's own shown.
    bool off() const { return !instrument_ && !selecting_ && foreign_.empty(); }
    // The simulator's power key (Shift-Esc): a display that shows something goes off; one that
    // is off comes on in the mode it showed last, else the simulator's Orbit display. Returns
    // whether it is on afterwards.
    bool power();
    // The mode shown before the display last left one; empty when it never showed one.
    const std::string& lastMode() const { return lastMode_; }
    // Another vessel's cockpit: only while the display shows no mode (the simulator destroys
    // the instruments of the old focus before it opens any for the new one).
    void moveTo(VesselRecord& vessel);
    // Another size, as a cockpit view switch or a window's resize gives it: the mode shown is
    // left and opened again at the new size. Returns whether it shows the mode again (false when
    // it showed none: then only the size changes).
    bool resize(unsigned width, unsigned height);

    // A display in a window of its own, as the simulator's external-display plug-in makes one,
    // rather than one of the cockpit's: it is not saved with the scenario, and it goes over to
    // the new focus vessel when the focus moves, unless it is pinned to its vessel.
    bool external = false;
    bool pinned = false;

    // The simulator's mode selection page, as its mode-select key opens it: the mode shown is
    // left (its instrument destroyed) and the page lists the registered modes with their keys;
    // a mode's key then opens it. Selecting again goes back to the mode shown before, if any.
    // Returns what the display shows afterwards: true for the selection page.
    bool select();
    bool selecting() const { return selecting_; }

    // A display the emulator does not run: one of the simulator's own display types, or a mode
    // no loaded module registered. It shows what it is, and keeps its scenario block to be
    // written back as it stood, until a mode is opened on it.
    void showForeign(std::string title, std::string note, std::vector<std::string> block);
    const std::string& foreign() const { return foreign_; }
    const std::vector<std::string>& foreignBlock() const { return foreignBlock_; }

    MFD* instrument() const { return instrument_; }
    const std::string& modeName() const { return modeName_; }
    const std::string& name() const { return name_; }
    VesselRecord& vessel() const { return *vessel_; }
    unsigned width() const { return width_; }
    unsigned height() const { return height_; }

    bool key(DWORD key);
    bool button(int button, int event);
    const char* buttonLabel(int button);
    int buttonMenu(const MFDBUTTONMENU** menu) const;
    void repaint(HDC surface);
    void writeStatus(ScenarioBlock& block) const;
    void readStatus(ScenarioBlock& block);

    // The display whose mode is making its instrument, for the MFD base to record; else null.
    static Display* underConstruction();

    // Redraws the instrument asked for since the last repaint.
    int pendingRedraws = 0;
    int redrawRequests = 0;  // over the display's life
    int repaints = 0;        // over the display's life
    // When the display is next due for its regular redraw, in simulated and in real seconds.
    double nextRedraw = -1e300, nextRedrawReal = -1e300;

private:
    void drawSelection(HDC surface);
    void drawForeign(HDC surface);

    const ModeRegistry& modes_;
    std::string name_;
    VesselRecord* vessel_;
    unsigned width_, height_;
    MFD* instrument_ = nullptr;
    std::string modeName_;
    bool selecting_ = false;
    std::string modeBeforeSelection_;
    std::string lastMode_;
    struct Shown {
        std::string title, note;
        std::vector<std::string> block;
    } lastForeign_;  // the simulator's own display shown last, when no mode was
    std::string foreign_, foreignNote_;
    std::vector<std::string> foreignBlock_;
};

}  // namespace sim
