#include "sim/cli/emulator.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>
#include <tuple>
#include <utility>

#include "display/page_words.h"
#include "scenario/scenario_items.h"
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
    beginSession(scenario);
    return true;
}

void Emulator::beginSession(const sim::ScenarioDescription& scenario) {
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
    pages_.clear();
    drawings_.clear();
    shownRate_.clear();
    pumpStops_.clear();
    rateExplained_ = false;
    blockLines_.clear();
    for (const sim::ScenarioDisplay& d : scenario.displays) {
        if (!sim::equalsIgnoringCase(d.type, "User") || d.mode != modeName_) continue;
        // The lines as the simulator's reader hands them over; the instrument stops at its block's end.
        for (const std::string& raw : d.reading) {
            const std::string_view line = sim::trim(sim::withoutComment(raw));
            if (sim::equalsIgnoringCase(line, "END") || sim::equalsIgnoringCase(line.substr(0, 7), "END_MFD"))
                break;
            blockLines_.emplace_back(line);
        }
    }
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

std::string Emulator::showing(const sim::Display& d) {
    return d.instrument()         ? d.modeName()
           : d.selecting()        ? std::string("mode selection")
           : !d.foreign().empty() ? d.foreign()
                                  : std::string("off");
}

Emulator::FocusSwitch Emulator::switchFocus(sim::VesselRecord& to) {
    FocusSwitch result;
    sim::VesselRecord* from = focus();
    result.from = from ? from->name : std::string();
    focus_ = to.name;
    if (!from || from == &to) return result;
    // The old focus's cockpit, and the external displays that follow the focus.
    std::vector<sim::Display*> cockpit;
    for (sim::Display* d : simulation_->displays()) {
        if (d->external && d->pinned)
            result.stayed.push_back(d->name() + " on " + d->vessel().name);
        else if (d->external ? &d->vessel() != &to : &d->vessel() == from)
            cockpit.push_back(d);
    }
    FocusSwitch reopened = reopen(cockpit, &to, std::nullopt);
    reopened.from = result.from;
    reopened.stayed = std::move(result.stayed);
    return reopened;
}

Emulator::FocusSwitch Emulator::switchView(unsigned width, unsigned height) {
    std::vector<sim::Display*> cockpit;
    for (sim::Display* d : simulation_->displays()) {
        if (!d->external && &d->vessel() == focus()) cockpit.push_back(d);
    }
    return reopen(cockpit, nullptr, std::pair{width, height});
}

Emulator::FocusSwitch Emulator::reopen(const std::vector<sim::Display*>& displays, sim::VesselRecord* to,
                                       std::optional<std::pair<unsigned, unsigned>> size) {
    FocusSwitch result;
    bool wasRunning = false;
    std::vector<std::string> modes;
    std::vector<bool> help;
    for (sim::Display* d : displays) {
        modes.push_back(d->instrument() ? d->modeName() : std::string());
        help.push_back(showedHelpPage(*d));
        wasRunning = wasRunning || (d->instrument() && !runningRate(lastPage(*d)).empty());
    }
    // As the simulator's pane does: every instrument goes before any is made anew.
    for (sim::Display* d : displays) {
        if (d->instrument()) d->closeMode();
    }
    for (size_t i = 0; i < displays.size(); ++i) {
        sim::Display& d = *displays[i];
        if (to) d.moveTo(*to);
        if (size) d.resize(size->first, size->second);
        if (!modes[i].empty()) d.openMode(modes[i]);
        result.reopened.push_back(d.name() + ": " + showing(d) +
                                  (help[i] && d.instrument() ? kHelpPageClosed : ""));
    }
    // The new instruments are drawn at the end of the frame: their pages tell what became of
    // a running transfer.
    redrawPending();
    bool nowOff = wasRunning;
    for (sim::Display* d : displays) {
        if (d->instrument() && !runningRate(lastPage(*d)).empty()) nowOff = false;
    }
    result.stoppedTransfer = wasRunning && nowOff;
    return result;
}

std::string Emulator::resize(sim::Display& display, unsigned width, unsigned height) {
    display.resize(width, height);
    redrawPending();
    return showing(display);
}

void Emulator::closeWindow(sim::Display& display) {
    pages_.erase(display.name());
    drawings_.erase(display.name());
    simulation_->removeDisplay(display);
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
    drawings_.clear();
    simulation_->simTime = time;
    if (!sim::applyScenario(scenario, *simulation_, error)) {
        stop();
        return false;
    }
    beginSession(scenario);
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
    const double now = simulation_->simTime;
    std::string& page = pages_[display.name()];
    if (keepDrawings) {
        Drawing& drawing = drawings_[display.name()];
        drawing = {paint(display), now};
        page = drawing.painted.surface->cells().text();
    } else {
        // Text only: what the log compares before and after a key.
        drawings_.erase(display.name());
        sim::CellSurface surface(static_cast<int>(display.width()), static_cast<int>(display.height()));
        display.repaint(&surface);
        page = surface.cells().text();
    }
    display.pendingRedraws = 0;
    display.nextRedraw = now + refreshInterval;
    display.nextRedrawReal = realTime_ + 0.1;  // at most ten times a second
    // Every page of the module shows the one rate it keeps.
    if (const std::string rate = display.instrument() ? rateShown(page) : std::string(); !rate.empty()) {
        const bool wasRunning = !shownRate_.empty() && shownRate_ != kRateOff;
        // A stop the reading notes foretold is not said again.
        if (refreshing_ && wasRunning && rate == kRateOff && !std::exchange(rateExplained_, false)) {
            char since[32];
            std::snprintf(since, sizeof since, "%.2f s", runningSince_);
            pumpStops_.push_back(whyStopped(page) + "; nothing was moved since the rate was set to " +
                                 shownRate_ + " at " + since);
        }
        if (rate != kRateOff && rate != shownRate_) runningSince_ = now;
        if (rate == kRateOff) rateExplained_ = false;
        shownRate_ = rate;
    }
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
    refreshing_ = true;
    for (sim::Display* display : simulation_->displays()) {
        const bool due = display->instrument() && now + slack >= display->nextRedraw &&
                         realTime + 1e-9 >= display->nextRedrawReal;
        if (due || display->pendingRedraws > 0) draw(*display);
    }
    refreshing_ = false;
}

const Emulator::Drawing* Emulator::lastDrawing(const sim::Display& display) const {
    const auto it = drawings_.find(display.name());
    return it == drawings_.end() ? nullptr : &it->second;
}

std::string Emulator::lastPage(const sim::Display& display) const {
    const auto it = pages_.find(display.name());
    return it == pages_.end() ? std::string() : it->second;
}

void Emulator::pumpStopped() {
    for (auto& [name, page] : pages_) {
        const auto [from, length] = rateValue(page);
        if (from != std::string::npos) page.replace(from, length, kRateOff);
    }
    shownRate_ = kRateOff;
}

namespace {

// The number of "2 of 3"; 0 when the value is a warning.
int tankNumber(const std::string* value) { return value ? std::atoi(value->c_str()) : 0; }

// The N of "2 of N"; 0 when the value is a warning.
long long countOf(const std::string& value) {
    const size_t of = value.find(" of ");
    return of == std::string::npos ? 0 : std::atoll(value.c_str() + of + 4);
}

// The vessel the page's title names: the word before the class in brackets.
std::string titledVessel(const std::string& page) {
    const std::string title = page.substr(0, page.find('\n'));
    const size_t open = title.rfind(" (");
    if (open == std::string::npos) return {};
    const size_t start = title.rfind(' ', open - 1);
    return start == std::string::npos ? std::string() : title.substr(start + 1, open - start - 1);
}

// Why a page leaves its rate nothing to pump between: a warning in place of a setting, or one
// tank as both source and target. Empty when it does not.
std::string nothingToPump(const std::vector<std::pair<std::string, std::string>>& fields) {
    for (const auto& [name, value] : fields) {
        // The warnings that leave the pump nothing to pump between (a vent's is no fault).
        static constexpr std::string_view kNothingToPump[] = {kNoTargetTank, kNoSourceTank, kSingleTankOnly,
                                                              kNoDockingPorts, kNotDocked};
        std::string shown = value;
        for (char& c : shown) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (std::find(std::begin(kNothingToPump), std::end(kNothingToPump), shown) !=
            std::end(kNothingToPump))
            return "the page shows " + shown + " in place of the " +
                   (name == "docked to" ? "docked vessel" : name);
    }
    if (const std::string* tank = oneTankAsBoth(fields))
        return "one tank (" + *tank + ") is both its source and its target";
    return {};
}

// Each item's numbers, with their lines, as the instruments read them: a number too large for
// the instrument's 32 bits is none.
std::map<std::string, std::vector<std::pair<long long, std::string>>> itemsOf(
    const std::vector<std::string>& lines) {
    std::map<std::string, std::vector<std::pair<long long, std::string>>> items;
    for (const std::string& line : lines) {
        for (const char* item : kScenarioItems) {
            if (!sim::startsWithIgnoringCase(line, item)) continue;
            const size_t length = std::strlen(item);
            char* end = nullptr;
            const long long number = std::strtoll(line.c_str() + length, &end, 10);
            if (end != line.c_str() + length && number >= INT32_MIN && number <= INT32_MAX)
                items[item].emplace_back(number, line);
            break;
        }
    }
    return items;
}

}  // namespace

std::string Emulator::emptyOrFull(const std::string& page) const {
    const auto fields = pageFields(page);
    const std::string* mode = pageField(fields, "mode");
    sim::VesselRecord* own = simulation_->findVessel(titledVessel(page));
    if (!mode || !own) return {};
    const auto modeIs = [&](int m) { return *mode == kModeNames[m]; };
    // The tank of a vessel by the page's number, when it has it.
    const auto tank = [](sim::VesselRecord* v, int number) -> const sim::Tank* {
        return v && number >= 1 && static_cast<size_t>(number) <= v->tanks.size()
                   ? &v->tanks[static_cast<size_t>(number) - 1]
                   : nullptr;
    };
    sim::VesselRecord* other = own;
    if (modeIs(1) || modeIs(2)) {
        const std::string* docked = pageField(fields, "docked to");
        other = docked ? simulation_->findVessel(*docked) : nullptr;
        if (!other)
            return "the page shows nothing docked to pump " + std::string(modeIs(1) ? "from" : "into");
    }
    const int targetNumber = tankNumber(pageField(fields, "target tank"));
    const int sourceNumber = tankNumber(pageField(fields, "source tank"));
    const sim::Tank* target = tank(own, targetNumber);
    const sim::Tank* source = modeIs(3) ? nullptr : tank(other, sourceNumber);
    // Which tank gives and which receives: Unload gives from the target.
    const bool unload = modeIs(2);
    const sim::Tank* giver = unload ? target : (modeIs(3) ? target : source);
    const sim::Tank* receiver = unload ? source : (modeIs(3) ? nullptr : target);
    const auto name = [&](const sim::Tank* t) {
        const bool ownTank = t == target;
        return (ownTank ? own : other)->name + " tank " +
               std::to_string(ownTank ? targetNumber : sourceNumber);
    };
    std::vector<std::string> reasons;
    if (giver && giver->mass <= 0.0) reasons.push_back(name(giver) + " is empty");
    if (receiver && receiver->mass >= receiver->capacity) reasons.push_back(name(receiver) + " is full");
    if (reasons.empty()) return {};
    return reasons.size() == 1 ? reasons[0] : reasons[0] + " and " + reasons[1];
}

std::string Emulator::whyStopped(const std::string& page) const {
    if (std::string reasons = emptyOrFull(page); !reasons.empty()) return reasons;
    const auto fields = pageFields(page);
    // A tank the block named that the vessel does not have: the page draws the first instead
    // and switches the pump off.
    const auto read = itemsOf(blockLines_);
    for (const auto& [item, setting] :
         {std::pair{kItemTargetTank, "target tank"}, {kItemSourceTank, "source tank"}}) {
        const auto it = read.find(item);
        const std::string* shown = pageField(fields, setting);
        if (it == read.end() || !shown) continue;
        const long long count = countOf(*shown);
        if (it->second.back().first >= count)
            return "the block's " + sim::printable(it->second.back().second) + " names no tank of the " +
                   std::to_string(count) + " there are: the page took tank 1 and switched the pump off";
    }
    return pageField(fields, "mode")
               ? "the page shows the rate Off, though no tank of the transfer is full or empty"
               : "the page shows the rate " + std::string(kRateOff);
}

std::vector<std::string> Emulator::idlePumps() const {
    std::vector<std::string> lines;
    if (!simulation_) return lines;
    for (const sim::Display* display : simulation_->displays()) {
        if (!display->instrument()) continue;
        const std::string rate = runningRate(lastPage(*display));
        if (rate.empty()) continue;
        const std::string why = nothingToPump(pageFields(lastPage(*display)));
        if (!why.empty())
            lines.push_back(display->name() + ": rate " + rate + ", but the pump cannot run: " + why);
    }
    return lines;
}

bool Emulator::showedHelpPage(const sim::Display& display) const {
    const auto fields = pageFields(lastPage(display));
    const std::string* page = pageField(fields, "page");
    return display.instrument() && page && *page == "help";
}

std::vector<std::string> Emulator::startNotes() {
    std::vector<std::string> notes = readingNotes();
    // A rate the reading notes explained is not said a second time as one that cannot run.
    if (!rateExplained_) {
        for (std::string& line : idlePumps()) notes.push_back(std::move(line));
    }
    return notes;
}

std::vector<std::string> Emulator::readingNotes() {
    rateExplained_ = false;
    std::vector<std::string> notes;
    if (!simulation_ || blockLines_.empty()) return notes;
    // The settings as the module's pages show them, from the first that shows the status page.
    std::string page;
    for (const sim::Display* d : simulation_->displays()) {
        if (!d->instrument()) continue;
        const auto fields = pageFields(lastPage(*d));
        if (const std::string* shows = pageField(fields, "page"); shows && *shows == "status") {
            page = lastPage(*d);
            break;
        }
    }
    if (page.empty()) return notes;
    const auto shown = pageFields(page);
    const auto items = itemsOf(blockLines_);
    // A configuration saved as another vessel's that the instrument could not give back to it: the
    // pump is Off, and that is the one thing to say.
    std::string target, targetLine;
    for (const std::string& line : blockLines_) {
        if (!sim::startsWithIgnoringCase(line, kItemTargetVessel)) continue;
        targetLine = line;
        const std::string_view value =
            sim::trim(std::string_view(line).substr(std::strlen(kItemTargetVessel)));
        target = std::string(value.substr(0, value.find_first_of(" \t")));
    }
    if (!targetLine.empty()) {
        const sim::VesselRecord* vessel = simulation_->findVessel(target);
        if (!vessel || target.empty())
            return {"the block's " + sim::printable(targetLine) +
                    " names no vessel of the scenario: its configuration is not restored, and the display "
                    "starts afresh with the pump Off"};
        const auto port = items.find(kItemDockPort);
        if (port != items.end()) {
            const long long number = port->second.back().first;
            if (number != 0 && number >= static_cast<long long>(vessel->ports.size()))
                return {"the block's " + sim::printable(port->second.back().second) +
                        " names no port of the " + std::to_string(vessel->ports.size()) + " " + vessel->name +
                        " has: the configuration is " + vessel->name + "'s, with the pump Off"};
        }
    }
    const std::string* mode = pageField(shown, "mode");
    const bool docking = mode && (*mode == kModeNames[1] || *mode == kModeNames[2]);
    const std::string own = target.empty() ? titledVessel(page) : target;
    const std::string* docked = pageField(shown, "docked to");
    const auto last = [&](const char* item) { return items.count(item) ? &items.at(item).back() : nullptr; };
    const auto said = [](const std::pair<long long, std::string>& item) {
        return "the block's " + sim::printable(item.second);
    };
    // The rate the block gave, when one the pump runs at.
    const auto* rate = last(kItemPumpRate);
    const bool blockRuns =
        rate && rate->first > 0 && rate->first < static_cast<long long>(std::size(kRateNames));
    // Each item is said once, with why: a value the instrument cannot take keeps the setting the
    // page shows, one beyond the vessel's tanks or ports is set back to the first.
    std::vector<const char*> explained;
    for (const auto& [item, setting, what] : {std::tuple{kItemDockPort, "docking port", "port"},
                                              {kItemTargetTank, "target tank", "tank"},
                                              {kItemSourceTank, "source tank", "tank"}}) {
        const auto* read = last(item);
        const std::string* value = pageField(shown, setting);
        if (!read || !value || !std::isdigit(static_cast<unsigned char>((*value)[0]))) continue;
        const long long count = countOf(*value);
        const bool port = std::string_view(what) == "port";
        const std::string vessel =
            !port && docking && std::string_view(setting) == "source tank" && docked ? *docked : own;
        if (read->first >= count && !(port && read->first == 0)) {
            std::string note = said(*read) + " names no " + what + " of the " + std::to_string(count) + " " +
                               vessel + " has: ";
            if (port) {
                note += "it reads as docking port " + *value;
            } else {
                note += "the page takes tank 1";
                if (blockRuns) note += " and switches the pump off";
                rateExplained_ = rateExplained_ || blockRuns;
            }
            notes.push_back(note);
            explained.push_back(item);
        } else if (read->first < 0) {
            notes.push_back(said(*read) + " reads as " + setting + " " + *value + ": the " + what +
                            "s are numbered from 0");
            explained.push_back(item);
        }
    }
    // A source vessel the scenario does not have: the page shows no source tank.
    if (const auto* source = last(kItemSourceTank)) {
        const size_t colon = source->second.find(kSourceTankSeparator);
        std::string name = colon == std::string::npos ? std::string() : source->second.substr(colon + 1);
        name = name.substr(0, name.find_first_of(" \t"));
        const std::string* value = pageField(shown, "source tank");
        if (!name.empty() && !simulation_->findVessel(name) && value && *value == "no source tank") {
            std::string note =
                said(*source) + " names no vessel of the scenario: the page shows NO SOURCE TANK";
            if (const std::string running = runningRate(page); !running.empty() && !rateExplained_) {
                note += ", and the rate " + running + " cannot run";
                rateExplained_ = true;
            }
            notes.push_back(note);
            explained.push_back(kItemSourceTank);
        }
    }
    // A rate with a tank to give from and one to receive, but empty or full: the pump switches
    // itself off at its first step, whether or not the page drew it running first.
    if (blockRuns && !rateExplained_ && nothingToPump(shown).empty()) {
        if (const std::string why = emptyOrFull(page); !why.empty()) {
            notes.push_back(said(*rate) + " reads as rate " + std::string(kRateOff) + ": " + why);
            rateExplained_ = true;
        }
    }
    if (rateExplained_) explained.push_back(kItemPumpRate);
    // The blocks of two displays may differ (an older file's second block): an item counts as
    // read otherwise only when the page shows none of its values.
    // An item the page shows otherwise: a mode or rate by its name, a port or tank by its number.
    const auto check = [&](const char* item, const char* setting, auto matches, const std::string& why) {
        const auto it = items.find(item);
        const std::string* value = pageField(shown, setting);
        if (it == items.end() || !value ||
            std::find(explained.begin(), explained.end(), item) != explained.end() ||
            std::any_of(it->second.begin(), it->second.end(),
                        [&](const auto& read) { return matches(read.first, *value); }))
            return;
        notes.push_back(said(it->second.back()) + " reads as " + setting + " " + *value + why);
    };
    const auto byName = [](const auto& names) {
        return [&names](long long v, const std::string& value) {
            return v >= 0 && v < static_cast<long long>(std::size(names)) && value == names[v];
        };
    };
    // A warning in place of the setting ("overboard vent") is no number to compare.
    const auto byNumber = [](long long v, const std::string& value) {
        return !std::isdigit(static_cast<unsigned char>(value[0])) || std::atoll(value.c_str()) == v + 1;
    };
    // A number no mode or rate has keeps the one set before.
    const auto outside = [&](const char* item, const auto& names, const char* what) -> std::string {
        const auto* read = last(item);
        if (!read || (read->first >= 0 && read->first < static_cast<long long>(std::size(names)))) return {};
        return std::string(": the ") + what + " are 0 to " + std::to_string(std::size(names) - 1);
    };
    check(kItemPumpMode, "mode", byName(kModeNames), outside(kItemPumpMode, kModeNames, "modes"));
    // A rate the page cannot run: a warning where a tank or the docked vessel would be.
    std::string rateWhy = outside(kItemPumpRate, kRateNames, "rates");
    if (const std::string nothing = nothingToPump(shown); rateWhy.empty() && !nothing.empty())
        rateWhy = ": " + nothing;
    check(kItemPumpRate, "rate", byName(kRateNames), rateWhy);
    check(kItemDockPort, "docking port", byNumber, "");
    check(kItemTargetTank, "target tank", byNumber, "");
    check(kItemSourceTank, "source tank", byNumber, "");
    return notes;
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
    rateExplained_ = false;  // a stop after a key is the key's, not the block's
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
