#include "sim/cli/emulator.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>
#include <string_view>
#include <utility>

#include "display/page_words.h"
#include "sim/cli/keys.h"
#include "sim/cli/page_fields.h"
#include "sim/drawing/raster_surface.h"
#include "sim/formats/text.h"
#include "sim/world/display.h"

namespace cli {

std::string emptyScenarioError(const sim::ScenarioDescription& scenario) {
    if (!scenario.vessels.empty()) return {};
    // Not one block begins: some other file, or no text at all.
    const bool anyBlock = std::any_of(scenario.layout.begin(), scenario.layout.end(), [](const auto& e) {
        return e.part != sim::ScenarioPart::Text || e.text.starts_with("BEGIN_");
    });
    if (!anyBlock)
        return scenario.source +
               ": not a scenario file: no line begins a block such as BEGIN_SHIPS (docs/scenario-format.md)";
    return scenario.source +
           ": the scenario has no ship; it needs a BEGIN_SHIPS block with at least one "
           "(docs/scenario-format.md)";
}

bool Emulator::start(const sim::ScenarioDescription& scenario, std::string& error) {
    // Nothing to fly and nothing to show: more likely the wrong file than a wish.
    if (!(error = emptyScenarioError(scenario)).empty()) return false;
    stop();
    pages_.clear();
    simulation_ = std::make_unique<sim::Simulation>();
    // A run may be long: keep the counters, not every call.
    simulation_->calls.logging = false;
    loader_ = std::make_unique<sim::ModuleLoader>(*simulation_);
    if (!loader_->load(modulePath_)) {
        error = loader_->error();
        stop();
        return false;
    }
    // The simulator knows a module's mode only by what the module registers.
    const std::vector<int> modes = loader_->modes();
    const sim::RegisteredMode* mode = modes.empty() ? nullptr : simulation_->findMode(modes.front());
    if (!mode) {
        error = "module '" + modulePath_ + "' registered no display mode";
        stop();
        return false;
    }
    modeName_ = mode->name;
    if (!sim::applyScenario(scenario, *simulation_, error)) {
        stop();
        return false;
    }
    // The simulator's cockpit always has both; one the file has no block for is off.
    focus_ = scenario.focus;
    if (sim::VesselRecord* f = focus()) {
        for (const char* id : {"Left", "Right"}) {
            const std::vector<sim::Display*> all = simulation_->displays();
            if (std::none_of(all.begin(), all.end(),
                             [&](const sim::Display* d) { return sim::equalsIgnoringCase(d->name(), id); }))
                simulation_->addDisplay(id, *f, sim::kDefaultDisplaySize, sim::kDefaultDisplaySize);
        }
    }
    return true;
}

sim::VesselRecord* Emulator::focus() { return simulation_ ? simulation_->findVessel(focus_) : nullptr; }

namespace {
// The rate the pump is off at.
const std::string_view kRateOff = kRateNames[0];

// Where a page of the module shows its rate: the value's position and length; npos when the
// page shows none.
std::pair<size_t, size_t> rateValue(const std::string& page) {
    static constexpr std::string_view kRate = kPumpRateLabel;
    const size_t at = page.find(kRate);
    if (at == std::string::npos) return {std::string::npos, 0};
    const size_t from = at + kRate.size();
    return {from, std::min(page.find('\n', from), page.size()) - from};
}

// The rate a page of the module shows ("Off", "Low" ...); empty when it shows none.
std::string rateShown(const std::string& page) {
    const auto [from, length] = rateValue(page);
    if (from == std::string::npos) return {};
    std::string rate = page.substr(from, length);
    rate.erase(rate.find_last_not_of(' ') + 1);
    return rate;
}

// The rate a page shows the pump running at; empty when it shows it off, or no rate.
std::string runningRate(const std::string& page) {
    std::string rate = rateShown(page);
    return rate == kRateOff ? std::string() : rate;
}
}  // namespace

Emulator::FocusSwitch Emulator::switchFocus(sim::VesselRecord& to) {
    FocusSwitch result;
    sim::VesselRecord* from = focus();
    result.from = from ? from->name : std::string();
    focus_ = to.name;
    if (!from || from == &to) return result;
    std::vector<sim::Display*> cockpit;
    for (sim::Display* d : simulation_->displays()) {
        if (&d->vessel() == from) cockpit.push_back(d);
    }
    bool wasRunning = false;
    std::vector<std::string> modes;
    for (sim::Display* d : cockpit) {
        modes.push_back(d->instrument() ? d->modeName() : std::string());
        wasRunning = wasRunning || (d->instrument() && !runningRate(lastPage(*d)).empty());
    }
    // As the simulator's pane does: every instrument goes before any is made anew.
    for (sim::Display* d : cockpit) {
        if (d->instrument()) d->closeMode();
    }
    for (size_t i = 0; i < cockpit.size(); ++i) {
        sim::Display& d = *cockpit[i];
        d.moveTo(to);
        if (!modes[i].empty()) d.openMode(modes[i]);
        result.reopened.push_back(d.name() + ": " +
                                  (d.instrument()         ? d.modeName()
                                   : d.selecting()        ? std::string("mode selection")
                                   : !d.foreign().empty() ? d.foreign()
                                                          : std::string("off")));
    }
    // The new instruments are drawn at the end of the frame: their pages tell what became of
    // a running transfer.
    redrawPending();
    bool nowOff = wasRunning;
    for (sim::Display* d : cockpit) {
        if (d->instrument() && !runningRate(lastPage(*d)).empty()) nowOff = false;
    }
    result.stoppedTransfer = wasRunning && nowOff;
    return result;
}

bool Emulator::resume(const sim::ScenarioDescription& scenario, double time, TankLedger& ledger,
                      const std::string& file, std::string& error) {
    if (!(error = emptyScenarioError(scenario)).empty()) return false;
    if (!running()) {
        error = "no session runs to go on from";
        return false;
    }
    ledger.leaving();
    // The session ends and the next starts from the file, the module staying loaded, as when a
    // pilot goes back to the Launchpad.
    simulation_->endSession();
    pages_.clear();
    simulation_->simTime = time;
    if (!sim::applyScenario(scenario, *simulation_, error)) {
        stop();
        return false;
    }
    ledger.loaded(*simulation_, file, time);
    return true;
}

void Emulator::stop() {
    // The simulator ends the session before it unloads its plug-ins.
    if (simulation_ && loader_ && loader_->loaded()) simulation_->endSession();
    // The loader unloads the module, which must happen while its simulation still exists.
    if (loader_ && !loader_->unload()) faults_.unloadErrors.push_back(loader_->error());
    loader_.reset();
    if (simulation_) {
        // Counted after the unload: the module may still release lists as it leaves.
        const sim::CallRecord& calls = simulation_->calls;
        faults_.badCalls += calls.badCalls;
        for (const std::string& note : calls.badCallNotes) {
            std::vector<std::string>& notes = faults_.badCallNotes;
            if (notes.size() < 10 && std::find(notes.begin(), notes.end(), note) == notes.end())
                notes.push_back(note);
        }
        faults_.liveStatusLists += calls.liveStatusLists();
    }
    simulation_.reset();
}

std::string formatFaults(const ModuleFaults& faults) {
    std::string out;
    if (faults.badCalls) {
        out += "The module made " + std::to_string(faults.badCalls) + " bad host call(s)";
        out += faults.badCallNotes.empty() ? "\n" : ", such as:\n";
        for (const std::string& note : faults.badCallNotes) out += "  " + note + "\n";
    }
    if (faults.liveStatusLists)
        out += "The module left " + std::to_string(faults.liveStatusLists) + " status list(s) unreleased\n";
    for (const std::string& e : faults.unloadErrors) out += "At unload: " + e + "\n";
    return out;
}

std::string modeKeys(const sim::Simulation& simulation) {
    std::string keys;
    for (const sim::RegisteredMode& m : simulation.modes())
        keys += (keys.empty() ? "" : ", ") + keyName(m.key) + " for " + m.name;
    return keys;
}

void Emulator::draw(sim::Display& display) {
    if (!painter || !painter(display)) {
        // Text only: what the log compares before and after a key.
        sim::CellSurface surface(static_cast<int>(display.width()), static_cast<int>(display.height()));
        display.repaint(&surface);
        pages_[display.name()] = surface.cells().text();
    }
    display.pendingRedraws = 0;
    display.nextRedraw = simulation_->simTime + refreshInterval;
    display.nextRedrawReal = realTime_ + 0.1;  // at most ten times a second
}

void Emulator::redrawPending() {
    if (!simulation_ || paused) return;
    for (sim::Display* display : simulation_->displays()) {
        if (display->pendingRedraws > 0) draw(*display);
    }
}

void Emulator::refresh(double realTime) {
    realTime_ = realTime;
    if (!simulation_ || paused) return;
    const double now = simulation_->simTime;
    // Steps add up with rounding: a redraw due at 0.5 s is due after 25 steps of 0.02 s.
    const double slack = 1e-9 * std::max(1.0, std::fabs(now));
    for (sim::Display* display : simulation_->displays()) {
        const bool due = display->instrument() && now + slack >= display->nextRedraw &&
                         realTime + 1e-9 >= display->nextRedrawReal;
        if (due || display->pendingRedraws > 0) draw(*display);
    }
}

std::string Emulator::lastPage(const sim::Display& display) const {
    const auto it = pages_.find(display.name());
    return it == pages_.end() ? std::string() : it->second;
}

void Emulator::remember(const sim::Display& display, std::string page) {
    pages_[display.name()] = std::move(page);
}

void Emulator::pumpStopped() {
    for (auto& [name, page] : pages_) {
        const auto [from, length] = rateValue(page);
        if (from != std::string::npos) page.replace(from, length, kRateOff);
    }
}

std::vector<std::string> Emulator::idlePumps() const {
    std::vector<std::string> lines;
    if (!simulation_) return lines;
    for (const sim::Display* display : simulation_->displays()) {
        if (!display->instrument()) continue;
        const auto fields = pageFields(lastPage(*display));
        const std::string rate = runningRate(lastPage(*display));
        if (rate.empty()) continue;
        for (const auto& [field, value] : fields) {
            // The warnings that leave the pump nothing to pump between (a vent's is no fault).
            static constexpr std::string_view kNothingToPump[] = {
                kNoTargetTank, kNoSourceTank, kSingleTankOnly, kNoDockingPorts, kNotDocked};
            std::string shown = value;
            for (char& c : shown) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (std::find(std::begin(kNothingToPump), std::end(kNothingToPump), shown) ==
                std::end(kNothingToPump))
                continue;
            lines.push_back(display->name() + ": rate " + rate +
                            ", but the pump cannot run: the page shows " + shown + " in place of the " +
                            field);
            break;
        }
    }
    return lines;
}

std::string Emulator::transferShownElsewhere(const sim::Display& display) const {
    if (!simulation_) return {};
    for (const sim::Display* other : simulation_->displays()) {
        if (other == &display || !other->instrument() || &other->vessel() == &display.vessel()) continue;
        const std::string rate = runningRate(lastPage(*other));
        if (!rate.empty()) return other->name() + " (" + other->vessel().name + ", rate " + rate + ")";
    }
    return {};
}

std::string Emulator::stoppedByOpening(sim::Display& display, const std::string& elsewhere) {
    if (elsewhere.empty() || !display.instrument()) return {};
    redrawPending();
    if (rateShown(lastPage(display)) != kRateOff) return {};
    pumpStopped();
    // The module keeps one set of settings, for the vessel of the instrument made last.
    return "; this stopped the transfer shown on " + elsewhere +
           ": the mode keeps one configuration, and an instrument for another vessel sets it up for its "
           "own with the pump off";
}

std::string Emulator::press(sim::Display& display, const std::function<bool()>& press,
                            const std::string& arrow) {
    if (paused) return kPausedRefusal;
    const std::string before = lastPage(display);
    const std::string modeBefore = display.instrument() ? display.modeName() : std::string();
    const std::string elsewhere = transferShownElsewhere(display);
    const bool consumed = press();
    if (!consumed)
        return display.instrument()  ? "not consumed"
               : display.selecting() ? "not consumed (no mode on that key)"
                                     : "not consumed (no mode shown)";
    if (display.instrument() && display.modeName() != modeBefore) {
        redrawPending();
        return "selected " + display.modeName() + stoppedByOpening(display, elsewhere);
    }
    if (display.pendingRedraws <= 0) return "consumed, no change";
    redrawPending();
    return describeChange(before, lastPage(display), arrow);
}

}  // namespace cli
