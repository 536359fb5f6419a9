#include "sim/cli/runner.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <system_error>

#include "sim/cli/keys.h"
#include "sim/cli/page_fields.h"
#include "sim/files.h"
#include "sim/font.h"
#include "sim/panel.h"

namespace cli {

namespace {

constexpr double kDefaultRunTime = 60.0;
// More frames than this would keep the program busy for hours.
constexpr double kMaxFrames = 1e8;

std::string seconds(double t) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", t);
    return text;
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
    return out.empty() ? "none" : out;
}

// A time for a file name: 15 -> "15s", 2.5 -> "2.5s".
std::string timeTag(double t) {
    char text[32];
    std::snprintf(text, sizeof text, "%gs", t);
    return text;
}

// The names a script may use at some point of the run.
struct Names {
    std::vector<std::string> vessels;
    std::map<std::string, unsigned> ports;
    std::vector<std::pair<std::string, std::string>> displays;  // display, its vessel

    static Names of(const sim::ScenarioDescription& s) {
        Names n;
        for (const sim::ScenarioVessel& v : s.vessels) {
            n.vessels.push_back(v.name);
            n.ports[v.name] = v.ports;
        }
        for (const sim::ScenarioDisplay& d : s.displays) n.displays.emplace_back(d.name, d.vessel);
        return n;
    }
    bool hasVessel(const std::string& name) const {
        return std::find(vessels.begin(), vessels.end(), name) != vessels.end();
    }
    bool hasDisplay(const std::string& name) const {
        return std::any_of(displays.begin(), displays.end(), [&](const auto& d) { return d.first == name; });
    }
    std::vector<std::string> displayNames() const {
        std::vector<std::string> out;
        for (const auto& d : displays) out.push_back(d.first);
        return out;
    }
};

}  // namespace

double defaultRunTime(const Script& script) {
    return script.actions.empty() ? kDefaultRunTime : script.lastTime();
}

bool checkOutFolder(const std::filesystem::path& folder, std::string& error) {
    std::error_code ec;
    // The nearest folder that is there: the one to write into, or to make the rest in.
    std::filesystem::path p = folder.empty() ? "." : folder;
    while (!std::filesystem::exists(p, ec) && p.has_parent_path() && p != p.parent_path())
        p = p.parent_path();
    if (!std::filesystem::exists(p, ec)) p = ".";
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
    // Every folder first, then every file under a temporary name, then the renames: a failure
    // before the renames leaves none of the files behind.
    // Folders made here go again when the files cannot all be written.
    std::vector<std::filesystem::path> made;
    const auto removeMade = [&] {
        std::error_code ignored;
        for (auto it = made.rbegin(); it != made.rend(); ++it) std::filesystem::remove(*it, ignored);
    };
    for (const PendingFile& f : files) {
        std::error_code ec;
        // The final rename could not replace a folder.
        if (std::filesystem::is_directory(f.path, ec)) {
            error = f.path.string() + ": is a folder, not a file";
            removeMade();
            return false;
        }
        if (!f.path.has_parent_path()) continue;
        const std::filesystem::path folder = f.path.parent_path();
        std::vector<std::filesystem::path> missing;
        for (std::filesystem::path p = folder; !p.empty() && !std::filesystem::exists(p, ec);
             p = p.parent_path()) {
            missing.push_back(p);
            if (p == p.parent_path()) break;
        }
        std::filesystem::create_directories(folder, ec);
        made.insert(made.end(), missing.rbegin(), missing.rend());
        if (!ec && !std::filesystem::is_directory(folder, ec))
            ec = std::make_error_code(std::errc::not_a_directory);
        if (ec) {
            error = folder.string() + ": cannot create the folder: " + ec.message();
            removeMade();
            return false;
        }
    }
    // Temporary names of this process alone, beside the files they become.
    const std::string suffix = ".kestrane-" + std::to_string(getpid()) + ".tmp";
    std::deque<sim::ReplacingFile> written;
    for (const PendingFile& f : files) {
        sim::ReplacingFile& file = written.emplace_back(f.path, suffix);
        bool ok = true;
        if (f.image) {
            std::string why;
            ok = file.writeWith([&](const std::string& name) { return sim::writePng(*f.image, name, &why); });
            if (!ok) error = f.path.string() + ": cannot write the picture: " + why;
        } else {
            ok = file.write(f.text, error);
        }
        if (!ok) {
            written.clear();  // the temporary files go before their folders can
            removeMade();
            return false;
        }
    }
    // A rename that fails leaves the files renamed before it; the rest go with `written`.
    for (sim::ReplacingFile& file : written) {
        if (!file.commit(error)) return false;
    }
    return true;
}

Runner::Runner(std::string modulePath, sim::ScenarioDescription scenario, Script script, RunOptions options,
               std::ostream& out)
    : emulator_(std::move(modulePath)),
      scenario_(std::move(scenario)),
      script_(std::move(script)),
      options_(std::move(options)),
      final_(out),
      accel_(options_.accel) {}

std::string Runner::at() const {
    char text[32];
    std::snprintf(text, sizeof text, "%9.2f s  ", now_);
    return text;
}

std::filesystem::path Runner::outPath(const std::string& name) const {
    const std::filesystem::path p(name);
    return p.is_absolute() ? p : options_.outDir / p;
}

bool Runner::checkScript(std::string& error) {
    Names names = Names::of(scenario_);
    std::map<std::string, Names> savedNames;
    std::map<std::filesystem::path, int> savedAt;  // the line of each save
    const std::filesystem::path scriptDir = std::filesystem::path(script_.source).parent_path();
    for (const Action& a : script_.actions) {
        const auto fail = [&](const std::string& what) {
            error = where(script_, a) + what;
            return false;
        };
        const auto needVessel = [&](const std::string& name) {
            return names.hasVessel(name) ||
                   fail("unknown vessel " + quoted(name) + " (vessels: " + joined(names.vessels) + ")");
        };
        const auto needDisplay = [&](const std::string& name) {
            return names.hasDisplay(name) || fail("unknown display " + quoted(name) +
                                                  " (displays: " + joined(names.displayNames()) + ")");
        };
        const auto needPort = [&](const std::string& vessel, unsigned port) {
            const unsigned count = names.ports[vessel];
            return port < count || fail("vessel " + quoted(vessel) + " has no port " + std::to_string(port) +
                                        " (it has " + std::to_string(count) + ", counted from 0)");
        };
        switch (a.kind) {
            case ActionKind::Note:
            case ActionKind::Accel:
                break;
            case ActionKind::Open:
                if (a.vessel.empty()) {
                    if (!names.hasDisplay(a.display))
                        return fail("unknown display " + quoted(a.display) +
                                    " (displays: " + joined(names.displayNames()) +
                                    "; a new one needs its vessel: open " + a.display + " VESSEL)");
                } else {
                    if (names.hasDisplay(a.display))
                        return fail("display " + quoted(a.display) + " already exists");
                    if (!needVessel(a.vessel)) return false;
                    names.displays.emplace_back(a.display, a.vessel);
                }
                break;
            case ActionKind::Close:
                if (!needDisplay(a.display)) return false;
                break;
            case ActionKind::Select:
            case ActionKind::Key:
            case ActionKind::Button:
            case ActionKind::Show:
                if (!a.display.empty() && !needDisplay(a.display)) return false;
                if (a.display.empty() && names.displays.empty()) return fail("there is no display");
                break;
            case ActionKind::Dock:
                if (!needVessel(a.vessel) || !needVessel(a.otherVessel)) return false;
                if (a.vessel == a.otherVessel) return fail("a vessel cannot dock to itself");
                if (!needPort(a.vessel, a.port) || !needPort(a.otherVessel, a.otherPort)) return false;
                break;
            case ActionKind::Undock:
                if (!needVessel(a.vessel) || !needPort(a.vessel, a.port)) return false;
                break;
            case ActionKind::Remove:
                if (!needVessel(a.vessel)) return false;
                std::erase(names.vessels, a.vessel);
                std::erase_if(names.displays, [&](const auto& d) { return d.second == a.vessel; });
                break;
            case ActionKind::Save: {
                const auto [earlier, added] = savedAt.emplace(outPath(a.text), a.line);
                if (!added)
                    return fail("save " + a.text + ": " + outPath(a.text).string() +
                                " is already saved by line " + std::to_string(earlier->second) +
                                " of this run; give the scenario another name");
                savedNames[a.text] = names;
                break;
            }
            case ActionKind::Load: {
                if (const auto it = savedNames.find(a.text); it != savedNames.end()) {
                    names = it->second;
                    break;
                }
                const std::filesystem::path file = std::filesystem::path(a.text).is_absolute()
                                                       ? std::filesystem::path(a.text)
                                                       : scriptDir / a.text;
                std::string why;
                std::optional<sim::ScenarioDescription> loaded = sim::readScenarioFile(file.string(), why);
                if (!loaded) return fail("load: " + why);
                if (const std::string empty = emptyScenarioError(*loaded); !empty.empty())
                    return fail("load: " + empty);
                names = Names::of(*loaded);
                loadFiles_[a.text] = std::move(*loaded);
                break;
            }
        }
    }
    return true;
}

sim::Display* Runner::displayFor(const Action& action, std::string& error) {
    sim::Simulation& s = emulator_.simulation();
    if (!action.display.empty()) {
        if (sim::Display* d = s.findDisplay(action.display)) return d;
        error = where(script_, action) + "display " + quoted(action.display) + " is not there";
        return nullptr;
    }
    // Keys go to the first display that shows a mode or the mode selection, as the pilot
    // would use it.
    for (sim::Display* d : s.displays()) {
        if (d->instrument() || d->selecting()) return d;
    }
    if (!s.displays().empty()) return s.displays().front();
    error = where(script_, action) + "there is no display";
    return nullptr;
}

void Runner::show(sim::Display& display, const std::string& tag) {
    char size[32];
    std::snprintf(size, sizeof size, "%u x %u", display.width(), display.height());
    out_ << "\n"
         << display.name() << ": "
         << (display.instrument()  ? display.modeName()
             : display.selecting() ? "mode selection"
                                   : "no mode")
         << " on " << display.vessel().name << ", " << size << " pixels, at " << seconds(now_) << "\n";
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
    files_.push_back({path, {}, sim::renderPanel(*painted.surface, painted.labels)});
}

std::string selectOutcome(sim::Display& display) {
    if (!display.select())
        return display.instrument() ? "back to " + display.modeName()
                                    : std::string("left the mode selection; no mode shown");
    std::string keys;
    for (const sim::RegisteredMode& m : sim::Simulation::current()->modes())
        keys += (keys.empty() ? "" : ", ") + keyName(m.key) + " for " + m.name;
    return "the mode selection page" +
           (keys.empty() ? std::string(", no mode registered") : " (" + keys + ")");
}

std::string Runner::outcome(sim::Display& display, const std::function<bool()>& press) {
    return emulator_.press(display, press, options_.style.unicode ? "\u2192" : "->");
}

bool Runner::execute(const Action& a, std::string& error) {
    sim::Simulation& s = emulator_.simulation();
    const auto fail = [&](const std::string& what) {
        error = where(script_, a) + what;
        return false;
    };
    switch (a.kind) {
        case ActionKind::Note:
            out_ << at() << a.text << "\n";
            return true;
        case ActionKind::Accel:
            accel_ = a.accel;
            out_ << at() << "time acceleration " << a.accel << " (steps of " << options_.step * accel_
                 << " s)\n";
            return true;
        case ActionKind::Open: {
            sim::Display* d = s.findDisplay(a.display);
            if (!a.vessel.empty()) {
                sim::VesselRecord* vessel = s.findVessel(a.vessel);
                if (!vessel) return fail("vessel " + quoted(a.vessel) + " is not there");
                if (d) return fail("display " + quoted(a.display) + " already exists");
                d = &s.addDisplay(a.display, *vessel, a.width ? a.width : sim::kDefaultDisplaySize,
                                  a.height ? a.height : sim::kDefaultDisplaySize);
            }
            if (!d) return fail("display " + quoted(a.display) + " is not there");
            if (!d->openMode(kModeName))
                return fail("display " + quoted(a.display) + ": the mode made no instrument");
            out_ << at() << "open " << a.display << ": switched to " << kModeName << " on "
                 << d->vessel().name << "\n";
            return true;
        }
        case ActionKind::Close: {
            sim::Display* d = s.findDisplay(a.display);
            if (!d) return fail("display " + quoted(a.display) + " is not there");
            const bool had = d->instrument() != nullptr;
            d->closeMode();
            out_ << at() << "close " << a.display
                 << (had ? ": left the mode (a running transfer goes on)" : ": showed no mode") << "\n";
            return true;
        }
        case ActionKind::Select: {
            sim::Display* d = displayFor(a, error);
            if (!d) return false;
            out_ << at() << "select on " << d->name() << ": " << selectOutcome(*d) << "\n";
            return true;
        }
        case ActionKind::Key: {
            sim::Display* d = displayFor(a, error);
            if (!d) return false;
            char code[16];
            std::snprintf(code, sizeof code, "0x%02X", a.key);
            out_ << at() << "key " << a.keyText << " (" << keyName(a.key) << ", " << code << ") on "
                 << d->name() << ": " << outcome(*d, [&] { return d->key(a.key); }) << "\n";
            return true;
        }
        case ActionKind::Button: {
            sim::Display* d = displayFor(a, error);
            if (!d) return false;
            int button = a.button;
            if (!a.buttonLabel.empty()) {
                std::vector<std::string> labels;
                for (int i = 0; i < 12 && button < 0; ++i) {
                    const char* label = d->buttonLabel(i);
                    if (!label || !*label) continue;
                    labels.push_back(label);
                    if (a.buttonLabel == label) button = i;
                }
                if (button < 0)
                    return fail("display " + quoted(d->name()) + " has no button labelled " +
                                quoted(a.buttonLabel) + " (its labels: " + joined(labels) + ")");
            }
            const std::string what = outcome(*d, [&] { return d->button(button, a.event); });
            out_ << at() << "button " << button;
            if (!a.buttonLabel.empty()) out_ << " (" << a.buttonLabel << ")";
            out_ << " event " << a.event << " on " << d->name() << ": " << what << "\n";
            return true;
        }
        case ActionKind::Dock: {
            sim::VesselRecord* v = s.findVessel(a.vessel);
            sim::VesselRecord* o = s.findVessel(a.otherVessel);
            if (!v || !o) return fail("vessel " + quoted(v ? a.otherVessel : a.vessel) + " is not there");
            if (!s.dock(*v, a.port, *o, a.otherPort))
                return fail("cannot dock " + a.vessel + " port " + std::to_string(a.port) + " to " +
                            a.otherVessel + " port " + std::to_string(a.otherPort) +
                            ": a port is in use or missing");
            out_ << at() << "dock: " << a.vessel << " port " << a.port << " holds " << a.otherVessel
                 << " port " << a.otherPort << "\n";
            return true;
        }
        case ActionKind::Undock: {
            sim::VesselRecord* v = s.findVessel(a.vessel);
            if (!v) return fail("vessel " + quoted(a.vessel) + " is not there");
            const sim::VesselRecord* other = a.port < v->ports.size() ? v->ports[a.port].docked : nullptr;
            if (!other)
                return fail("cannot undock: nothing is docked at port " + std::to_string(a.port) + " of " +
                            a.vessel);
            const std::string otherName = other->name;
            s.undock(*v, a.port);
            out_ << at() << "undock: " << otherName << " leaves port " << a.port << " of " << a.vessel
                 << "\n";
            return true;
        }
        case ActionKind::Remove: {
            sim::VesselRecord* v = s.findVessel(a.vessel);
            if (!v) return fail("vessel " + quoted(a.vessel) + " is not there");
            double mass = 0.0;
            for (const sim::Tank& t : v->tanks) mass += t.mass;
            ledger_.removing(*v, now_);
            s.removeVessel(*v);
            char text[64];
            std::snprintf(text, sizeof text, "%.3f kg", mass);
            out_ << at() << "remove " << a.vessel << ": it leaves the simulation with " << text
                 << " of propellant; its displays close\n";
            return true;
        }
        case ActionKind::Save: {
            const std::filesystem::path path = outPath(a.text);
            if (std::any_of(files_.begin(), files_.end(),
                            [&](const PendingFile& f) { return f.path == path && f.image; }))
                return fail("save " + a.text + ": " + path.string() +
                            " is already a picture of this run; give the scenario another name");
            Saved saved;
            saved.time = now_;
            // What each display shows as it is saved, to compare with what a reload shows.
            for (sim::Display* d : s.displays()) {
                if (d->instrument()) saved.screens[d->name()] = paint(*d).surface->cells().text();
            }
            std::vector<std::string> description = scenario_.description;
            description.push_back("Saved by kestrane-sim at " + seconds(now_) + " of simulated time.");
            saved.text = sim::formatScenario(sim::captureScenario(s, description));
            files_.push_back({path, saved.text, std::nullopt});
            saved_[a.text] = std::move(saved);
            out_ << at() << "save " << a.text
                 << ": every display's instrument wrote its block, and writing cleared "
                 << "the module's transfer state, as in the simulator: the pump is off from here on\n";
            return true;
        }
        case ActionKind::Load: {
            sim::ScenarioDescription next;
            const Saved* saved = nullptr;
            if (const auto it = saved_.find(a.text); it != saved_.end()) {
                saved = &it->second;
                std::string why;
                std::optional<sim::ScenarioDescription> parsed = sim::parseScenario(saved->text, a.text, why);
                if (!parsed) return fail("load: " + why);
                next = std::move(*parsed);
            } else {
                next = loadFiles_.at(a.text);
            }
            ledger_.leaving();
            std::string why;
            if (!emulator_.start(next, why)) return fail("load: " + why);
            emulator_.simulation().simTime = now_;
            ledger_.loaded(emulator_.simulation(), a.text, now_);
            out_ << at() << "load " << a.text << ": a fresh emulator with the module loaded anew, from "
                 << (saved ? "the scenario saved at " + seconds(saved->time) : std::string("the file"))
                 << "\n";
            if (!saved) return true;
            for (const auto& [name, text] : saved->screens) {
                sim::Display* d = emulator_.simulation().findDisplay(name);
                if (!d || !d->instrument()) {
                    out_ << at() << "  " << name << ": shows no mode after loading\n";
                    continue;
                }
                const std::string page = paint(*d).surface->cells().text();
                emulator_.remember(*d, page);
                const bool same = page == text;
                out_ << at() << "  " << name
                     << (same ? ": shows the same page as when it was saved"
                              : ": shows a different page from when it was saved")
                     << "\n";
            }
            return true;
        }
        case ActionKind::Show: {
            if (!a.display.empty()) {
                sim::Display* d = s.findDisplay(a.display);
                if (!d) return fail("display " + quoted(a.display) + " is not there");
                show(*d, timeTag(now_));
            } else {
                for (sim::Display* d : s.displays()) show(*d, timeTag(now_));
            }
            return true;
        }
    }
    return true;
}

// Each frame moves time on by step x acceleration, shortened at the actions and the end.
double Runner::framesNeeded(double end) const {
    double frames = 0.0, t = 0.0, accel = options_.accel;
    for (const Action& a : script_.actions) {
        if (a.time >= end) break;
        frames += std::ceil((a.time - t) / (options_.step * accel)) + 1.0;
        t = a.time;
        if (a.kind == ActionKind::Accel) accel = a.accel;
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
    if (!emulator_.start(scenario_, error)) return kExitError;
    ledger_.begin(emulator_.simulation());

    if (!options_.title.empty()) out_ << options_.title << "\n";
    for (const std::string& line : scenario_.description) out_ << "  " << line << "\n";
    out_ << "Module:   " << emulator_.modulePath() << "\n";
    out_ << "Font:     " << sim::defaultFontPath() << "\n";
    out_ << "Scenario: " << options_.scenarioLabel << "\n";
    if (!script_.actions.empty()) out_ << "Script:   " << script_.source << "\n";
    out_ << "Run:      " << seconds(end) << " of simulated time, frames of " << options_.step
         << " s at time acceleration " << options_.accel << "; every display is redrawn each "
         << options_.refresh << " s and whenever it asks\n\n";

    const long long refreshFrames = std::max(1LL, std::llround(options_.refresh / options_.step));
    long long frame = 0;
    size_t next = 0;
    ProgressBar progress("kestrane-sim");
    const auto nearlyReached = [&](double t) { return t <= now_ + 1e-9 * std::max(1.0, std::fabs(t)); };
    while (true) {
        while (next < script_.actions.size() && nearlyReached(script_.actions[next].time)) {
            // As in the simulator's frame loop, a display that asked for a redraw is drawn before
            // the next key, button or step reaches anything.
            emulator_.redraw(false);
            if (!execute(script_.actions[next], error)) return kExitError;
            ++next;
        }
        emulator_.redraw(frame % refreshFrames == 0);
        if (nearlyReached(end)) break;
        double dt = options_.step * accel_;
        // Steps end on the times of actions and of the end, so that they happen when written.
        const double until = next < script_.actions.size() ? std::min(end, script_.actions[next].time) : end;
        if (now_ + dt > until) dt = until - now_;
        ledger_.beforeStep();
        emulator_.simulation().step(dt);
        ledger_.afterStep();
        now_ = emulator_.simulation().simTime;
        ++frame;
        progress.update(now_ / end, "at " + seconds(now_) + " of " + seconds(end));
    }
    progress.finish();
    ledger_.finish();
    if (next < script_.actions.size())
        out_ << at() << "the run ends here; " << script_.actions.size() - next
             << " later action(s) of the script did not run\n";

    for (sim::Display* d : emulator_.simulation().displays()) {
        const auto shown = shownAt_.find(d->name());
        if (shown == shownAt_.end() || shown->second != now_) show(*d, "end");
    }
    out_ << "\nTanks from 0 s to " << seconds(now_) << ":\n" << formatTankTable(ledger_.accounts());
    const ConservationCheck check = ledger_.check();
    out_ << formatCheck(check);

    emulator_.stop();
    const ModuleFaults& faults = emulator_.faults();
    if (faults.any()) out_ << "\n" << formatFaults(faults);
    if (!writeFiles(files_, error)) return kExitError;
    if (!files_.empty()) {
        out_ << "\nFiles written:\n";
        for (const PendingFile& f : files_) out_ << "  " << f.path.string() << "\n";
    }
    final_ << out_.str();
    final_.flush();
    if (faults.any())
        error = std::string("the module broke the host's rules (see above)") +
                (check.ok() ? "" : "; propellant was not conserved either");
    return check.ok() && !faults.any() ? kExitOk : kExitCheckFailed;
}

}  // namespace cli
