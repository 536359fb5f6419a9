// The emulated simulator with the module loaded through the loader, as the simulator loads it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/cli/ledger.h"
#include "sim/cli/terminal.h"
#include "sim/scenario_apply/scenario_apply.h"
#include "sim/world/module_loader.h"
#include "sim/world/simulation.h"

namespace cli {

// What the module did against the host's rules, over every simulation of a run.
struct ModuleFaults {
    uint64_t badCalls = 0;
    std::vector<std::string> badCallNotes;  // the first few kinds
    uint64_t liveStatusLists = 0;           // allocated by the host and never released
    std::vector<std::string> unloadErrors;  // what the module left behind at unload

    bool any() const { return badCalls || liveStatusLists || !unloadErrors.empty(); }
};

// Why a scenario cannot run: it has no ship. Empty when it can.
std::string emptyScenarioError(const sim::ScenarioDescription& scenario);

// The faults as lines for the end of a run; empty when there are none.
std::string formatFaults(const ModuleFaults& faults);

// The keys of the registered modes, as the mode selection lists them: "F for Fuel Management";
// empty when no module registered one.
std::string modeKeys(const sim::Simulation& simulation);

class Emulator {
public:
    explicit Emulator(std::string modulePath) : modulePath_(std::move(modulePath)) {}
    ~Emulator() { stop(); }
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    // A fresh simulation: the module loaded anew (so its state starts as after a load), then the
    // scenario's vessels and displays. Whatever ran before is gone. On failure `error` is one
    // line and nothing runs.
    bool start(const sim::ScenarioDescription& scenario, std::string& error);
    // Ends the session, unloads the module and drops the simulation. What the module did wrong
    // in it is added to faults().
    void stop();
    // Goes on from a scenario as the simulator's next session from that file would: the session
    // ends, the module stays loaded, and the next starts at the time `time`, the ledger carrying
    // each tank on from the session that ends, with what differs counted as changed by loading
    // `file`. On failure nothing runs.
    bool resume(const sim::ScenarioDescription& scenario, double time, TankLedger& ledger,
                const std::string& file, std::string& error);

    bool running() const { return simulation_ != nullptr; }
    sim::Simulation& simulation() { return *simulation_; }
    const std::string& modulePath() const { return modulePath_; }
    // The display mode the loaded module registered (its first), as `open` switches to it.
    const std::string& modeName() const { return modeName_; }
    const ModuleFaults& faults() const { return faults_; }

    // The focus vessel: its cockpit always has a Left and a Right display (one the scenario
    // names no mode for starts off). Null when there is none.
    sim::VesselRecord* focus();
    // The simulator's focus switch: every display of the old focus vessel's cockpit loses its
    // instrument, then each is opened again, in the same mode, for `to`; so is every external
    // display not pinned to its vessel. What the log says.
    struct FocusSwitch {
        std::string from;
        std::vector<std::string> reopened;  // "Left: Fuel Management", "Right: off"
        std::vector<std::string> stayed;    // pinned external displays: "Ext1 on GL-01"
        bool stoppedTransfer = false;       // a display showed a rate before and shows Off now
    };
    FocusSwitch switchFocus(sim::VesselRecord& to);
    // The simulator's cockpit view switch (F8): every display of the focus vessel's cockpit
    // loses its instrument, then each is opened again, in the same mode, at the view's size.
    // What the log says, as for a focus switch (without `from`).
    FocusSwitch switchView(unsigned width, unsigned height);
    // A display at another size (a window resized): its mode closes and opens again at it.
    // What it shows then: "Fuel Management", "off".
    std::string resize(sim::Display& display, unsigned width, unsigned height);
    // An external display's window closed: the display and its instrument go.
    void closeWindow(sim::Display& display);
    // What a display shows, for the log: its mode, "mode selection", a display the emulator
    // does not run, or "off".
    static std::string showing(const sim::Display& display);

    // The simulator's display refresh, at the end of a frame at `realTime` (s): a display is
    // drawn when it asked for a redraw, or when `refreshInterval` of simulated time and a tenth
    // of a real second have passed since its last drawing. Nothing is drawn while paused. A
    // drawing that shows the pump off where the last one showed it running, with no key in
    // between, is a stop the masses did not show (nothing could be moved): see takePumpStops().
    void refresh(double realTime);
    // Only the displays that asked for a redraw, as at once after a key.
    void redrawPending();
    double refreshInterval = 0.5;  // s of simulated time, the simulator's default
    // Paused: no time steps (the caller's), no redraws, and keys and buttons do not reach the
    // displays (press() refuses them).
    bool paused = false;
    static constexpr const char* kPausedRefusal =
        "refused: paused (keys and buttons reach a display only while the simulation runs)";
    // Each drawing is kept as the pilot saw it (its cells, the calls that drew it, so that it can
    // be had as a picture, and the button labels), for `show` and play's screen; else only its
    // text is, for the log.
    bool keepDrawings = false;
    struct Drawing {
        Painted painted;
        double time = 0.0;  // s of simulated time
    };
    // A display's last drawing; null before its first, or when only its text is kept.
    const Drawing* lastDrawing(const sim::Display& display) const;
    // The page a display showed when it was last drawn, as text; empty before its first drawing.
    std::string lastPage(const sim::Display& display) const;
    static constexpr const char* kHelpPageClosed = " (the help page closed with it: the status page is back)";
    // Whether that page was the module's help page, which a reopened instrument does not keep.
    bool showedHelpPage(const sim::Display& display) const;
    // A key or button pressed on a display, and what became of it for the log: not consumed,
    // consumed without a change, a mode selected, or the settings it changed on the page. A
    // display that asks for a redraw is drawn at once, as at the end of the simulator's frame.
    std::string press(sim::Display& display, const std::function<bool()>& press, const std::string& arrow);
    // The pump switched itself off: the rate every display shows from its next drawing is Off,
    // so that a key pressed before that drawing is not taken for what switched it off.
    void pumpStopped();
    // Stops of the pump that only the pages showed, since the last call, one line each: "GL-01
    // tank 1 is full; nothing was moved since the rate was set to Low at 0.00 s".
    std::vector<std::string> takePumpStops() { return std::exchange(pumpStops_, {}); }
    // Displays whose last drawing shows the pump at a rate with nothing to pump between, one
    // line each: "Left: rate High, but the pump cannot run: the page shows SINGLE TANK ONLY in
    // place of the source tank". The module keeps such a rate as the block gave it.
    std::vector<std::string> idlePumps() const;
    // What the instrument made of the items of the blocks the session read, where it took one
    // otherwise than written, one line each with why: "the block's TARGETTANK 99 names no tank of
    // the 3 Tanker has: the page takes tank 1 and switches the pump off". Then idlePumps(), but
    // for a rate those lines explained. Asked once the displays are drawn; a stop of the pump they
    // foretold is not reported again by takePumpStops().
    std::vector<std::string> startNotes();
    // Before `display` opens the mode: a transfer that a display of another vessel showed
    // running when it was last drawn, as "Left (GL-01, rate Medium)"; empty when there is none.
    std::string transferShownElsewhere(const sim::Display& display) const;
    // After `display` opened the mode, given what transferShownElsewhere() said before: when
    // that transfer stopped, the words for the log ("; this stopped the transfer ...") and the
    // pump counts as stopped; else empty.
    std::string stoppedByOpening(sim::Display& display, const std::string& elsewhere);

private:
    std::string modulePath_;
    std::string modeName_;
    std::unique_ptr<sim::Simulation> simulation_;
    std::unique_ptr<sim::ModuleLoader> loader_;
    ModuleFaults faults_;
    std::map<std::string, std::string> pages_;  // by display name
    std::map<std::string, Drawing> drawings_;   // by display name, when pictures are kept
    std::string focus_;
    double realTime_ = 0.0;
    // The lines of the mode's blocks the session's instruments read, in the order they read them.
    std::vector<std::string> blockLines_;
    // The rate the module's pages showed last, and since when it runs (s); for the stops that
    // only the pages show.
    std::string shownRate_;
    double runningSince_ = 0.0;
    bool refreshing_ = false;
    std::vector<std::string> pumpStops_;
    void draw(sim::Display& display);
    FocusSwitch reopen(const std::vector<sim::Display*>& displays, sim::VesselRecord* to,
                       std::optional<std::pair<unsigned, unsigned>> size);
    void beginSession(const sim::ScenarioDescription& scenario);
    bool rateExplained_ = false;  // the reading notes said why the block's rate stops
    std::vector<std::string> readingNotes();
    // A tank of the page's transfer that is empty (giving) or full (receiving), or nothing docked
    // to pump with, in words; empty when none.
    std::string emptyOrFull(const std::string& page) const;
    std::string whyStopped(const std::string& page) const;
};

}  // namespace cli
