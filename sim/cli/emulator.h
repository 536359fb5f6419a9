// The emulated simulator with the module loaded through the loader, as the simulator loads it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/cli/ledger.h"
#include "sim/module_loader.h"
#include "sim/scenario_file.h"
#include "sim/simulation.h"

namespace cli {

inline constexpr const char* kModeName = "Fuel Management";

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
    // Unloads the module (closing its instruments) and drops the simulation. What the module
    // did wrong in it is added to faults().
    void stop();
    // Goes on from a saved scenario as the simulator's next start from that file would: start()
    // at the time `time`, the ledger carrying each tank on from the simulation that goes, with
    // what differs counted as changed by loading `file`.
    bool resume(const sim::ScenarioDescription& scenario, double time, TankLedger& ledger,
                const std::string& file, std::string& error);

    bool running() const { return simulation_ != nullptr; }
    sim::Simulation& simulation() { return *simulation_; }
    const std::string& modulePath() const { return modulePath_; }
    const ModuleFaults& faults() const { return faults_; }

    // The simulator's display refresh: every display that asked for a redraw since its last one,
    // or every display when `all`, is drawn (onto a surface that keeps only the text).
    void redraw(bool all);
    // The page a display showed when it was last drawn, as text; empty before its first drawing.
    std::string lastPage(const sim::Display& display) const;
    // A key or button pressed on a display, and what became of it for the log: not consumed,
    // consumed without a change, a mode selected, or the settings it changed on the page. A
    // display that asks for a redraw is drawn at once, as before the simulator's next frame.
    std::string press(sim::Display& display, const std::function<bool()>& press, const std::string& arrow);
    // A drawing made elsewhere (a picture) is what the display shows from then on.
    void remember(const sim::Display& display, std::string page);
    // The pump switched itself off: the rate every display shows from its next drawing is Off,
    // so that a key pressed before that drawing is not taken for what switched it off.
    void pumpStopped();
    // Displays whose last drawing shows the pump at a rate with nothing to pump between, one
    // line each: "Left: rate High, but the pump cannot run: the page shows SINGLE TANK ONLY in
    // place of the source tank". The module keeps such a rate as the block gave it.
    std::vector<std::string> idlePumps() const;
    // Before `display` opens the mode: a transfer that a display of another vessel showed
    // running when it was last drawn, as "Left (GL-01, rate Medium)"; empty when there is none.
    std::string transferShownElsewhere(const sim::Display& display) const;
    // After `display` opened the mode, given what transferShownElsewhere() said before: when
    // that transfer stopped, the words for the log ("; this stopped the transfer ...") and the
    // pump counts as stopped; else empty.
    std::string stoppedByOpening(sim::Display& display, const std::string& elsewhere);

private:
    std::string modulePath_;
    std::unique_ptr<sim::Simulation> simulation_;
    std::unique_ptr<sim::ModuleLoader> loader_;
    ModuleFaults faults_;
    std::map<std::string, std::string> pages_;  // by display name
};

}  // namespace cli
