#include "sim/cli/runner.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>

#include "sim/drawing/font.h"
#include "sim/drawing/panel.h"
#include "sim/formats/files.h"
#include "sim/formats/text.h"

namespace cli {

namespace {

constexpr double kDefaultRunTime = 60.0;
// More frames than this would keep the program busy for hours.
constexpr double kMaxFrames = 1e8;

// The nearest part of `folder` that is there: the folder itself, or the one the rest would be
// made in.
std::filesystem::path nearestThere(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::path p = folder.empty() ? "." : folder;
    while (!std::filesystem::exists(p, ec) && p.has_parent_path() && p != p.parent_path())
        p = p.parent_path();
    return std::filesystem::exists(p, ec) ? p : ".";
}

}  // namespace

std::string seconds(double t) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", t);
    return text;
}

double defaultRunTime(const Script& script) {
    return script.actions.empty() ? kDefaultRunTime : script.lastTime();
}

bool checkOutFolder(const std::filesystem::path& folder, std::string& error) {
    std::error_code ec;
    const std::filesystem::path p = nearestThere(folder);
    const bool itself = std::filesystem::equivalent(p, folder.empty() ? "." : folder, ec);
    if (!std::filesystem::is_directory(p, ec)) {
        error = "--out " + folder.string() + ": " + p.string() +
                (itself ? " is not a folder" : " is not a folder, so the folder cannot be made");
        return false;
    }
    if (access(p.c_str(), W_OK | X_OK) != 0) {
        error = "--out " + folder.string() + ": " +
                (itself ? "cannot write into " : "cannot create a folder in ") + p.string() + ": " +
                std::strerror(errno);
        return false;
    }
    return true;
}

bool checkFilePath(const std::filesystem::path& path, std::string& error) {
    std::error_code ec;
    // The rename could not replace a folder.
    if (std::filesystem::is_directory(path, ec)) {
        error = path.string() + ": is a folder, not a file";
        return false;
    }
    const std::filesystem::path folder = path.parent_path();
    if (folder.empty()) return true;
    const std::filesystem::path there = nearestThere(folder);
    const char* why = !std::filesystem::is_directory(there, ec)                    ? std::strerror(ENOTDIR)
                      : there != folder && access(there.c_str(), W_OK | X_OK) != 0 ? std::strerror(errno)
                                                                                   : nullptr;
    if (why) error = folder.string() + ": cannot create the folder: " + why;
    return !why;
}

std::vector<std::string> writeFiles(const std::vector<PendingFile>& files) {
    std::vector<std::string> failures(files.size());
    // Temporary names of this process alone, beside the files they become.
    const std::string suffix = ".kestrane-" + std::to_string(getpid()) + ".tmp";
    for (size_t i = 0; i < files.size(); ++i) {
        const PendingFile& f = files[i];
        // A save's errors begin with its script line, which names the file it was asked for.
        const auto failed = [&](const std::string& what) { failures[i] = f.origin + what; };
        std::string why;
        if (!checkFilePath(f.path, why)) {
            failed(why);
            continue;
        }
        std::error_code ec;
        if (f.path.has_parent_path()) std::filesystem::create_directories(f.path.parent_path(), ec);
        if (ec) {
            failed(f.path.parent_path().string() + ": cannot create the folder: " + ec.message());
            continue;
        }
        sim::ReplacingFile file(f.path, suffix);
        if (f.image) {
            if (!file.writeWith([&](const std::string& name) { return sim::writePng(*f.image, name, &why); }))
                failed(f.path.string() + ": cannot write the picture: " + why);
            else if (!file.commit(why))
                failed(why);
        } else if (!file.write(f.text, why) || !file.commit(why)) {
            failed(why);
        }
    }
    return failures;
}

Runner::Runner(std::string modulePath, sim::ScenarioDescription scenario, Script script, RunOptions options,
               std::ostream& out)
    : emulator_(std::move(modulePath)),
      scenario_(std::move(scenario)),
      base_(scenario_),
      script_(std::move(script)),
      options_(std::move(options)),
      out_(out),
      accel_(options_.accel) {}

std::ostream& Runner::out() {
    progress_.finish();
    fresh_ = false;
    return out_;
}

std::ostream& Runner::log() {
    char text[32];
    std::snprintf(text, sizeof text, "%9.2f s  ", now_);
    return out() << text;
}

void Runner::logPageNotes() {
    for (const std::string& line : emulator_.takePumpStops())
        log() << "the pump switched itself off: " << sim::printable(line) << std::endl;
    // A scenario's block may leave a rate with nothing to pump between, or hold items the
    // instrument takes otherwise: said once its pages are drawn, at the start and after a load,
    // before any key.
    if (!std::exchange(idleCheckDue_, false)) return;
    for (const std::string& line : emulator_.startNotes()) log() << sim::printable(line) << std::endl;
}

bool Runner::fail(const Action& action, const std::string& what) {
    error_ = where(script_, action) + what;
    return false;
}

std::filesystem::path Runner::outPath(const std::string& name) const {
    const std::filesystem::path p(name);
    return p.is_absolute() ? p : options_.outDir / p;
}

Runner::Names Runner::Names::of(const sim::ScenarioDescription& s) {
    Names n;
    for (const sim::ScenarioVessel& v : s.vessels) {
        n.vessels.push_back(v.name);
        n.ports[v.name] = v.ports;
    }
    for (const sim::ScenarioDisplay& d : s.displays) n.displays.push_back({d.name, d.vessel});
    // The cockpit's two displays are there, off, also when the file names no mode for them.
    n.focus = s.focus;
    for (const char* id : {"Left", "Right"}) {
        if (!s.focus.empty() && std::none_of(n.displays.begin(), n.displays.end(), [&](const auto& d) {
                return sim::equalsIgnoringCase(d.name, id);
            }))
            n.displays.push_back({id, s.focus});
    }
    n.viewSizes = s.viewSizes;
    return n;
}

bool Runner::Names::hasVessel(const std::string& name) const {
    return std::find(vessels.begin(), vessels.end(), name) != vessels.end();
}

Runner::Names::Display* Runner::Names::display(const std::string& name) {
    const auto it =
        std::find_if(displays.begin(), displays.end(), [&](const auto& d) { return d.name == name; });
    return it == displays.end() ? nullptr : &*it;
}

bool Runner::Names::hasDisplay(const std::string& name) const {
    return std::any_of(displays.begin(), displays.end(), [&](const auto& d) { return d.name == name; });
}

void Runner::Names::forget(const std::function<bool(const Display&)>& which, const std::string& why) {
    std::erase_if(displays, [&](const Display& d) { return which(d) && (gone[d.name] = why, true); });
}

std::vector<std::string> Runner::Names::displayNames() const {
    std::vector<std::string> out;
    for (const auto& d : displays) out.push_back(d.name);
    return out;
}

bool Runner::checkScript(std::string& error) {
    names_ = Names::of(scenario_);
    for (const Action& a : script_.actions) {
        if (!a.type->check(*this, a)) {
            error = error_;
            return false;
        }
    }
    return true;
}

sim::Display* Runner::displayFor(const Action& action) {
    sim::Simulation& s = emulator_.simulation();
    if (!action.display.empty()) {
        if (sim::Display* d = s.findDisplay(action.display)) return d;
        fail(action, "display " + sim::inQuotes(action.display) + " is not there");
        return nullptr;
    }
    // Keys go to the first display that shows a mode or the mode selection, as the pilot
    // would use it.
    for (sim::Display* d : s.displays()) {
        if (d->instrument() || d->selecting()) return d;
    }
    if (!s.displays().empty()) return s.displays().front();
    fail(action, "there is no display");
    return nullptr;
}

namespace {
// One of the simulator's own displays, or another module's mode: shown by name only.
bool showsForeign(const sim::Display& d) { return !d.instrument() && !d.selecting() && !d.foreign().empty(); }
}  // namespace

void Runner::show(sim::Display& display, const std::string& tag) {
    char size[32];
    std::snprintf(size, sizeof size, "%u x %u", display.width(), display.height());
    std::ostream& line = out() << "\n"
                               << display.name() << ": " << Emulator::showing(display)
                               << (showsForeign(display) ? " (not emulated)" : "") << " on "
                               << sim::printable(display.vessel().name) << ", " << size << " pixels, at "
                               << seconds(now_);
    std::string base = options_.stem + "-" + display.name() + "-" + tag;
    std::filesystem::path path = options_.outDir / (base + ".png");
    for (int n = 2;
         std::any_of(files_.begin(), files_.end(), [&](const PendingFile& f) { return f.path == path; }); ++n)
        path = options_.outDir / (base + "-" + std::to_string(n) + ".png");
    // What the module draws is shown as it was last drawn, as the pilot sees it until the next
    // refresh; the rest does not change between drawings.
    Emulator::Drawing now;
    const Emulator::Drawing* drawing = display.instrument() ? emulator_.lastDrawing(display) : nullptr;
    if (!drawing) {
        if (display.instrument()) {
            line << ": not drawn yet (it is drawn at the next refresh)\n";
            return;
        }
        now = {paint(display), now_};
        drawing = &now;
    } else if (drawing->time != now_) {
        line << " (as drawn at " << seconds(drawing->time) << ")";
    }
    line << "\n" << drawDisplay(drawing->painted, options_.style);
    shownAt_[display.name()] = now_;
    if (!options_.pictures) return;
    if (const sim::RasterSurface* picture = drawing->painted.picture())
        files_.push_back({path, {}, sim::renderPanel(*picture, drawing->painted.labels), {}});
    else
        notDrawn_.push_back(path.string() + ": not made: " + size + " pixels is more than the " +
                            std::to_string(kMostPixels) + " (4096 x 4096) this program draws");
}

std::string selectOutcome(sim::Display& display) {
    if (!display.select())
        return display.instrument() ? "back to " + display.modeName()
                                    : std::string("left the mode selection; no mode shown");
    const std::string keys = modeKeys(*sim::Simulation::current());
    return "the mode selection page" +
           (keys.empty() ? std::string(", no mode registered") : " (" + keys + ")");
}

std::string savedScenario(sim::Simulation& simulation, const sim::ScenarioDescription& base,
                          const std::string& by, double time) {
    sim::ScenarioDescription layout = base;
    std::string note = "Saved by ";
    note += by;
    note += " at ";
    note += seconds(time);
    note += " of simulated time.";
    layout.description.push_back(std::move(note));
    return sim::formatScenario(sim::captureScenario(simulation, layout));
}

int closingReport(std::ostream& out, const TankLedger& ledger, double end, const ModuleFaults& faults,
                  const std::vector<std::string>& files, const std::vector<std::string>& notWritten) {
    out << "Tanks from 0 s to " << seconds(end) << ":\n" << formatTankTable(ledger.accounts());
    const ConservationCheck check = ledger.check();
    out << formatCheck(check);
    if (faults.any()) out << "\n" << formatFaults(faults);
    if (!files.empty()) {
        out << "\nFiles written:\n";
        for (const std::string& f : files) out << "  " << f << "\n";
    }
    if (!notWritten.empty()) {
        out << "\nNot written:\n";
        for (const std::string& f : notWritten) out << "  " << sim::printable(f) << "\n";
    }
    out.flush();
    return check.ok() && !faults.any() ? kExitOk : kExitCheckFailed;
}

std::string Runner::outcome(sim::Display& display, const std::function<bool()>& press) {
    return emulator_.press(display, press, options_.style.unicode ? "\u2192" : "->");
}

// Each frame moves time on by step x acceleration, shortened at the actions and the end.
double Runner::framesNeeded(double end) const {
    double frames = 0.0, t = 0.0, accel = options_.accel;
    for (const Action& a : script_.actions) {
        if (a.time >= end) break;
        frames += std::ceil((a.time - t) / (options_.step * accel)) + 1.0;
        t = a.time;
        if (a.name() == "accel") accel = a.accel;
    }
    return frames + std::ceil((end - t) / (options_.step * accel));
}

int Runner::run(std::string& error) {
    const double end = options_.time.value_or(defaultRunTime(script_));
    if (!checkScript(error)) return kExitError;
    if (const double frames = framesNeeded(end); !(frames <= kMaxFrames)) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "the run would need %.3g frames, more than %.0f: give a longer --step, a higher "
                      "--accel or a shorter --time",
                      frames, kMaxFrames);
        error = text;
        return kExitError;
    }
    // Pictures without text would pass for pictures of the pages.
    if (options_.pictures && !sim::Font::forCell(8, 16, sim::defaultFontPath(), &error)) {
        error += "; the pictures need it (or run with --no-pictures)";
        return kExitError;
    }
    if (!emulator_.start(scenario_, error)) return kExitError;
    emulator_.keepDrawings = true;
    ledger_.begin(emulator_.simulation());

    // Printed as the run goes: what happened stays on the screen whatever comes later.
    if (!options_.title.empty()) out() << options_.title << "\n";
    for (const std::string& line : scenario_.description) out() << "  " << sim::printable(line) << "\n";
    out() << "Module:   " << emulator_.modulePath() << "\n";
    out() << "Font:     " << (options_.pictures ? sim::defaultFontPath() : "none, no pictures are drawn")
          << "\n";
    out() << "Classes:  " << sim::VesselCatalogue::defaultPath();
    if (options_.classes.path() != sim::VesselCatalogue::defaultPath())
        out() << " and " << options_.classes.path();
    out() << "\n";
    out() << "Scenario: " << options_.scenarioLabel << "\n";
    if (!script_.actions.empty()) out() << "Script:   " << script_.source << "\n";
    out() << "Run:      " << seconds(end) << " of simulated time, frames of " << options_.step
          << " s at time acceleration " << options_.accel << "; a display is redrawn every "
          << options_.refresh << " s of simulated time (at most 10 times a second) and whenever it asks\n\n"
          << std::flush;
    fresh_ = true;
    for (const std::string& warning : scenario_.warnings) log() << sim::printable(warning) << "\n";

    emulator_.refreshInterval = options_.refresh;
    long long frame = 0;
    size_t next = 0;
    const auto nearlyReached = [&](double t) { return t <= now_ + 1e-9 * std::max(1.0, std::fabs(t)); };
    // A run stopped by a failed action keeps its files unwritten, and says so.
    const auto stopped = [&] {
        error = error_;
        if (!files_.empty()) {
            out() << "\nNot written, as the run stopped:\n";
            for (const PendingFile& f : files_) out() << "  " << f.path.string() << "\n";
        }
        out().flush();
        return kExitError;
    };
    while (true) {
        while (next < script_.actions.size() && nearlyReached(script_.actions[next].time)) {
            // As in the simulator's frame loop, a display that asked for a redraw is drawn before
            // the next key, button or step reaches anything.
            emulator_.redrawPending();
            logPageNotes();
            const Action& action = script_.actions[next];
            if (!action.type->run(*this, action)) return stopped();
            ++next;
        }
        // Frames are --step seconds of real time apart.
        emulator_.refresh(static_cast<double>(frame) * options_.step);
        logPageNotes();
        if (nearlyReached(end)) break;
        double dt = options_.step * accel_;
        // Steps end on the times of actions and of the end, so that they happen when written.
        const double until = next < script_.actions.size() ? std::min(end, script_.actions[next].time) : end;
        if (now_ + dt > until) dt = until - now_;
        ledger_.beforeStep();
        emulator_.simulation().step(dt);
        ledger_.afterStep();
        now_ = emulator_.simulation().simTime;
        if (!ledger_.pumpStop().empty()) {
            log() << "the pump switched itself off: " << sim::printable(ledger_.pumpStop()) << std::endl;
            emulator_.pumpStopped();
        }
        removePending();
        ++frame;
        progress_.update(now_ / end, "at " + seconds(now_) + " of " + seconds(end) + " simulated", frame);
    }
    removePending();  // asked at the end of the run: its last frame ends
    progress_.finish();
    ledger_.finish();
    if (next < script_.actions.size())
        log() << "the run ends here; " << script_.actions.size() - next
              << " later action(s) of the script did not run\n";

    for (sim::Display* d : emulator_.simulation().displays()) {
        const auto shown = shownAt_.find(d->name());
        if (!d->off() && (shown == shownAt_.end() || shown->second != now_)) show(*d, "end");
    }
    emulator_.stop();
    const std::vector<std::string> why = writeFiles(files_);
    std::vector<std::string> written, notWritten = notDrawn_;
    size_t failures = 0;
    for (size_t i = 0; i < files_.size(); ++i) {
        if (why[i].empty()) {
            written.push_back(files_[i].path.string());
        } else {
            notWritten.push_back(why[i]);
            ++failures;
        }
    }
    // One blank line before the table, also when nothing came between it and the header.
    if (!fresh_) out_ << "\n";
    int status = closingReport(out_, ledger_, now_, emulator_.faults(), written, notWritten);
    if (emulator_.faults().any()) {
        error = kFaultsError;
        if (!ledger_.check().ok()) error += "; propellant was not conserved either";
    }
    if (failures > 0) {
        const std::string what = std::to_string(failures) + " of " + std::to_string(files_.size()) +
                                 " file(s) could not be written (see \"Not written\" above)";
        error = error.empty() ? what : error + "; " + what;
        if (status == kExitOk) status = kExitError;
    }
    return status;
}

}  // namespace cli
