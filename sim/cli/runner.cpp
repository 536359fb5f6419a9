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

bool writeFiles(const std::vector<PendingFile>& files, std::string& error) {
    const PendingFile* current = nullptr;
    // A save's errors begin with its script line, which names the file it was asked for.
    const auto failed = [&](const std::string& what) {
        error = current->origin + what;
        return false;
    };
    const auto noFolder = [&](const std::filesystem::path& folder, const std::string& why) {
        return failed(folder.string() + ": cannot create the folder: " + why);
    };
    // What can be known before writing, for every file first.
    for (const PendingFile& f : files) {
        current = &f;
        std::error_code ec;
        // The rename could not replace a folder.
        if (std::filesystem::is_directory(f.path, ec))
            return failed(f.path.string() + ": is a folder, not a file");
        const std::filesystem::path folder = f.path.parent_path();
        if (folder.empty()) continue;
        const std::filesystem::path there = nearestThere(folder);
        if (!std::filesystem::is_directory(there, ec))
            return noFolder(folder, std::make_error_code(std::errc::not_a_directory).message());
        if (there != folder && access(there.c_str(), W_OK | X_OK) != 0)
            return noFolder(folder, std::strerror(errno));
    }
    // Temporary names of this process alone, beside the files they become.
    const std::string suffix = ".kestrane-" + std::to_string(getpid()) + ".tmp";
    for (const PendingFile& f : files) {
        current = &f;
        std::error_code ec;
        if (f.path.has_parent_path()) std::filesystem::create_directories(f.path.parent_path(), ec);
        if (ec) return noFolder(f.path.parent_path(), ec.message());
        sim::ReplacingFile file(f.path, suffix);
        std::string why;
        if (f.image) {
            if (!file.writeWith([&](const std::string& name) { return sim::writePng(*f.image, name, &why); }))
                return failed(f.path.string() + ": cannot write the picture: " + why);
        } else if (!file.write(f.text, why)) {
            return failed(why);
        }
        if (!file.commit(why)) return failed(why);
    }
    return true;
}

Runner::Runner(std::string modulePath, sim::ScenarioDescription scenario, Script script, RunOptions options,
               std::ostream& out)
    : emulator_(std::move(modulePath)),
      scenario_(std::move(scenario)),
      base_(scenario_),
      script_(std::move(script)),
      options_(std::move(options)),
      final_(out),
      accel_(options_.accel) {}

std::ostream& Runner::log() {
    char text[32];
    std::snprintf(text, sizeof text, "%9.2f s  ", now_);
    return out_ << text;
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
    for (const sim::ScenarioDisplay& d : s.displays) n.displays.emplace_back(d.name, d.vessel);
    // The cockpit's two displays are there, off, also when the file names no mode for them.
    n.focus = s.focus;
    for (const char* id : {"Left", "Right"}) {
        if (!s.focus.empty() && std::none_of(n.displays.begin(), n.displays.end(), [&](const auto& d) {
                return sim::equalsIgnoringCase(d.first, id);
            }))
            n.displays.emplace_back(id, s.focus);
    }
    return n;
}

bool Runner::Names::hasVessel(const std::string& name) const {
    return std::find(vessels.begin(), vessels.end(), name) != vessels.end();
}

bool Runner::Names::hasDisplay(const std::string& name) const {
    return std::any_of(displays.begin(), displays.end(), [&](const auto& d) { return d.first == name; });
}

std::vector<std::string> Runner::Names::displayNames() const {
    std::vector<std::string> out;
    for (const auto& d : displays) out.push_back(d.first);
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

void Runner::show(sim::Display& display, const std::string& tag) {
    char size[32];
    std::snprintf(size, sizeof size, "%u x %u", display.width(), display.height());
    out_ << "\n"
         << display.name() << ": "
         << (display.instrument()         ? display.modeName()
             : display.selecting()        ? "mode selection"
             : !display.foreign().empty() ? display.foreign() + " (not emulated)"
                                          : "off")
         << " on " << sim::printable(display.vessel().name) << ", " << size << " pixels, at " << seconds(now_)
         << "\n";
    if (!drawable(display)) {
        out_ << "  (too large to draw here)\n";
        return;
    }
    const Painted painted = paint(display);
    emulator_.remember(display, painted.surface->cells().text());
    out_ << drawDisplay(painted, options_.style);
    shownAt_[display.name()] = now_;
    if (!options_.pictures) return;
    std::string base = options_.stem + "-" + display.name() + "-" + tag;
    std::filesystem::path path = options_.outDir / (base + ".png");
    for (int n = 2;
         std::any_of(files_.begin(), files_.end(), [&](const PendingFile& f) { return f.path == path; }); ++n)
        path = options_.outDir / (base + "-" + std::to_string(n) + ".png");
    files_.push_back({path, {}, sim::renderPanel(*painted.surface, painted.labels), {}});
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
                  const std::vector<std::string>& files) {
    out << "Tanks from 0 s to " << seconds(end) << ":\n" << formatTankTable(ledger.accounts());
    const ConservationCheck check = ledger.check();
    out << formatCheck(check);
    if (faults.any()) out << "\n" << formatFaults(faults);
    if (!files.empty()) {
        out << "\nFiles written:\n";
        for (const std::string& f : files) out << "  " << f << "\n";
    }
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
    ledger_.begin(emulator_.simulation());

    if (!options_.title.empty()) out_ << options_.title << "\n";
    for (const std::string& line : scenario_.description) out_ << "  " << sim::printable(line) << "\n";
    out_ << "Module:   " << emulator_.modulePath() << "\n";
    out_ << "Font:     " << (options_.pictures ? sim::defaultFontPath() : "none, no pictures are drawn")
         << "\n";
    out_ << "Classes:  " << sim::VesselCatalogue::defaultPath();
    if (options_.classes.path() != sim::VesselCatalogue::defaultPath())
        out_ << " and " << options_.classes.path();
    out_ << "\n";
    out_ << "Scenario: " << options_.scenarioLabel << "\n";
    if (!script_.actions.empty()) out_ << "Script:   " << script_.source << "\n";
    out_ << "Run:      " << seconds(end) << " of simulated time, frames of " << options_.step
         << " s at time acceleration " << options_.accel << "; a display is redrawn every "
         << options_.refresh << " s of simulated time (at most 10 times a second) and whenever it asks\n\n";

    emulator_.refreshInterval = options_.refresh;
    long long frame = 0;
    size_t next = 0;
    ProgressBar progress("kestrane-sim");
    const auto nearlyReached = [&](double t) { return t <= now_ + 1e-9 * std::max(1.0, std::fabs(t)); };
    // A scenario's block may leave a rate with nothing to pump between: said once its pages are drawn.
    const auto reportIdlePumps = [&] {
        if (!std::exchange(idleCheckDue_, false)) return;
        for (const std::string& line : emulator_.idlePumps()) log() << sim::printable(line) << "\n";
    };
    while (true) {
        while (next < script_.actions.size() && nearlyReached(script_.actions[next].time)) {
            // As in the simulator's frame loop, a display that asked for a redraw is drawn before
            // the next key, button or step reaches anything.
            emulator_.redrawPending();
            const Action& action = script_.actions[next];
            if (!action.type->run(*this, action)) {
                error = error_;
                return kExitError;
            }
            ++next;
        }
        // Frames are --step seconds of real time apart.
        emulator_.refresh(static_cast<double>(frame) * options_.step);
        reportIdlePumps();
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
            log() << "the pump switched itself off: " << sim::printable(ledger_.pumpStop()) << "\n";
            emulator_.pumpStopped();
        }
        ++frame;
        progress.update(now_ / end, "at " + seconds(now_) + " of " + seconds(end) + " simulated", frame);
    }
    progress.finish();
    ledger_.finish();
    if (next < script_.actions.size())
        log() << "the run ends here; " << script_.actions.size() - next
              << " later action(s) of the script did not run\n";

    for (sim::Display* d : emulator_.simulation().displays()) {
        const auto shown = shownAt_.find(d->name());
        if (!d->off() && (shown == shownAt_.end() || shown->second != now_)) show(*d, "end");
    }
    emulator_.stop();
    if (!writeFiles(files_, error)) return kExitError;
    // One blank line before the table, also when nothing came between it and the header.
    if (!out_.str().ends_with("\n\n")) out_ << "\n";
    std::vector<std::string> written;
    for (const PendingFile& f : files_) written.push_back(f.path.string());
    const int status = closingReport(out_, ledger_, now_, emulator_.faults(), written);
    final_ << out_.str();
    final_.flush();
    if (emulator_.faults().any()) {
        error = kFaultsError;
        if (!ledger_.check().ok()) error += "; propellant was not conserved either";
    }
    return status;
}

}  // namespace cli
