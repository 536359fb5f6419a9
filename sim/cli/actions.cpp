// The actions of a script, each written once: how its line is read, what is checked before the
// run, and what it does in the run. The table at the end names them and their arguments.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "sim/cli/keys.h"
#include "sim/cli/runner.h"
#include "sim/cli/script.h"
#include "sim/formats/scenario_text.h"
#include "sim/formats/text.h"

namespace cli {

namespace {

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

}  // namespace

// The parts of the actions, grouped by action, as the table at the end puts them together. A
// friend of Runner: checking and running an action works on the runner's state.
struct ScriptActions {
    static const ActionType kTable[];

    // What several actions share.

    static bool readDisplayOrNone(ActionLine& in, Action& a) {
        if (!in.count(0, 1)) return false;
        if (!in.args.empty()) a.display = in.args[0];
        return true;
    }
    static bool readDisplay(ActionLine& in, Action& a) {
        if (!in.count(1, 1)) return false;
        a.display = in.args[0];
        return true;
    }
    static bool readVessel(ActionLine& in, Action& a) {
        if (!in.count(1, 1)) return false;
        a.vessel = in.args[0];
        return true;
    }
    // The rest of the line, blanks and all.
    static bool readFileName(ActionLine& in, Action& a) {
        a.text = in.rest;
        return !a.text.empty() || in.fail("missing file: expected '" + in.usage() + "'");
    }

    static bool nothingToCheck(Runner&, const Action&) { return true; }
    static bool needVessel(Runner& r, const Action& a, const std::string& name) {
        return r.names_.hasVessel(name) || r.fail(a, "unknown vessel " + sim::inQuotes(name) +
                                                         " (vessels: " + joined(r.names_.vessels) + ")");
    }
    static bool needDisplay(Runner& r, const Action& a, const std::string& name) {
        return r.names_.hasDisplay(name) || r.fail(a, unknownDisplay(r.names_, name));
    }
    // "unknown display 'X' (displays: ...)", or for one the script saw go, when and why.
    static std::string unknownDisplay(const Runner::Names& names, const std::string& name) {
        if (const auto it = names.gone.find(name); it != names.gone.end())
            return "display " + sim::inQuotes(name) + " is gone: " + it->second +
                   " (displays now: " + joined(names.displayNames()) + ")";
        return "unknown display " + sim::inQuotes(name) + " (displays: " + joined(names.displayNames()) + ")";
    }
    // When the action runs, for a display it makes go: "at 3.00 s (line 4)".
    static std::string when(const Action& a) {
        return "at " + seconds(a.time) + " (line " + std::to_string(a.line) + ")";
    }
    static bool needPort(Runner& r, const Action& a, const std::string& vessel, unsigned port) {
        const unsigned count = r.names_.ports[vessel];
        return port < count ||
               r.fail(a, "vessel " + sim::inQuotes(vessel) + " has no port " + std::to_string(port) +
                             " (it has " + std::to_string(count) + ", counted from 0)");
    }
    static bool checkDisplay(Runner& r, const Action& a) { return needDisplay(r, a, a.display); }
    // The display named, or the default one, which needs a display to be there.
    static bool checkDisplayOrDefault(Runner& r, const Action& a) {
        if (!a.display.empty()) return needDisplay(r, a, a.display);
        return !r.names_.displays.empty() || r.fail(a, "there is no display");
    }

    // In the run: what the action names, or nothing with the error set.
    static sim::VesselRecord* vesselThere(Runner& r, const Action& a, const std::string& name) {
        sim::VesselRecord* v = r.emulator_.simulation().findVessel(name);
        if (!v) r.fail(a, "vessel " + sim::inQuotes(name) + " is not there");
        return v;
    }
    static sim::Display* displayThere(Runner& r, const Action& a) {
        sim::Display* d = r.emulator_.simulation().findDisplay(a.display);
        if (!d) r.fail(a, "display " + sim::inQuotes(a.display) + " is not there");
        return d;
    }

    // note TEXT

    static bool readNote(ActionLine& in, Action& a) {
        a.text = in.rest;
        return true;
    }
    static bool note(Runner& r, const Action& a) {
        r.log() << sim::printable(a.text) << "\n";
        return true;
    }

    // open DISPLAY [VESSEL [WIDTH HEIGHT]]

    // WIDTH HEIGHT from the words at `at`, each 1 to 65535, as a scenario's sizes are read.
    static bool readSize(ActionLine& in, size_t at, Action& a) {
        std::string why;
        return (sim::displaySize(in.args[at], "width", a.width, why) &&
                sim::displaySize(in.args[at + 1], "height", a.height, why)) ||
               in.fail(why);
    }
    static bool readOpen(ActionLine& in, Action& a) {
        if (!in.count(1, 4)) return false;
        if (in.args.size() == 3) return in.fail("a new display's size needs both WIDTH and HEIGHT");
        a.display = in.args[0];
        if (in.args.size() >= 2) a.vessel = in.args[1];
        return in.args.size() < 4 || readSize(in, 2, a);
    }
    static bool checkOpen(Runner& r, const Action& a) {
        Runner::Names& names = r.names_;
        if (a.vessel.empty()) {
            return names.hasDisplay(a.display) ||
                   r.fail(a, unknownDisplay(names, a.display) + "; a new one needs its vessel: open " +
                                 a.display + " VESSEL");
        }
        if (Runner::Names::Display* d = names.display(a.display)) {
            if (a.width)
                return r.fail(
                    a, "display " + sim::inQuotes(a.display) +
                           " is there already: a size is for a new display (to change its size: resize " +
                           a.display + " " + std::to_string(a.width) + " " + std::to_string(a.height) + ")");
            // The display goes over to that vessel.
            if (!needVessel(r, a, a.vessel)) return false;
            d->vessel = a.vessel;
            return true;
        }
        const bool external = sim::isExternalDisplayName(a.display);
        if (!external && !sim::isDisplayId(a.display))
            return r.fail(a, "display " + sim::inQuotes(a.display) +
                                 ": the simulator's displays are Left, Right and 3 to 12, and external "
                                 "displays Ext1 to Ext99");
        if (!needVessel(r, a, a.vessel)) return false;
        names.displays.push_back({a.display, a.vessel, external});
        return true;
    }
    static bool open(Runner& r, const Action& a) {
        sim::Simulation& s = r.emulator_.simulation();
        const sim::Display* before = s.findDisplay(a.display);
        const bool made = !before;
        // The mode shown on that vessel already: opening it again is all that happens.
        const bool same = before && before->instrument() && before->modeName() == r.emulator_.modeName() &&
                          (a.vessel.empty() || before->vessel().name == a.vessel);
        sim::Display* d = nullptr;
        if (a.vessel.empty()) {
            d = displayThere(r, a);
        } else if (sim::VesselRecord* v = vesselThere(r, a, a.vessel)) {
            if ((d = s.findDisplay(a.display))) {
                d->closeMode();
                d->moveTo(*v);
            } else {
                // An external display's window opens at the size the simulator's plug-in gives it.
                const bool external = sim::isExternalDisplayName(a.display);
                const unsigned size = external ? sim::kExternalDisplaySize : sim::kDefaultDisplaySize;
                d = &s.addDisplay(a.display, *v, a.width ? a.width : size, a.height ? a.height : size);
                d->external = external;
            }
        }
        if (!d) return false;
        const std::string elsewhere = r.emulator_.transferShownElsewhere(*d);
        const std::string& mode = r.emulator_.modeName();
        if (!d->openMode(mode))
            return r.fail(a, "display " + sim::inQuotes(a.display) + ": the mode made no instrument");
        std::ostream& line = r.log() << "open " << a.display << ": ";
        if (made)
            line << (d->external ? "an external display, " : "a new display of the cockpit, ") << d->width()
                 << " x " << d->height() << ", ";
        line << (same ? "it showed " + mode + " on " + sim::printable(d->vessel().name) +
                            " already: the mode closed and opened again"
                      : "switched to " + mode + " on " + sim::printable(d->vessel().name))
             << sim::printable(r.emulator_.stoppedByOpening(*d, elsewhere)) << "\n";
        return true;
    }

    // close DISPLAY

    static bool checkClose(Runner& r, const Action& a) {
        if (!needDisplay(r, a, a.display)) return false;
        // An external display's window goes with it.
        r.names_.forget([&](const auto& d) { return d.name == a.display && d.external; },
                        "its window was closed " + when(a));
        return true;
    }
    static bool close(Runner& r, const Action& a) {
        sim::Display* d = displayThere(r, a);
        if (!d) return false;
        const bool had = d->instrument() != nullptr;
        if (d->external) {
            r.emulator_.closeWindow(*d);
            r.log() << "close " << a.display << ": the external display's window closed"
                    << (had ? " (a running transfer goes on)" : "") << "\n";
            return true;
        }
        d->closeMode();
        r.log() << "close " << a.display
                << (had ? ": left the mode, the display is off (a running transfer goes on)"
                        : ": showed no mode")
                << "\n";
        return true;
    }

    // select [DISPLAY]

    static bool select(Runner& r, const Action& a) {
        sim::Display* d = r.displayFor(a);
        if (!d) return false;
        r.log() << "select on " << d->name() << ": " << selectOutcome(*d) << "\n";
        return true;
    }

    // key KEY [DISPLAY]

    static bool readKey(ActionLine& in, Action& a) {
        if (!in.count(1, 2)) return false;
        const std::optional<uint32_t> code = keyCode(in.args[0]);
        if (!code) return in.fail(notAKey(in.args[0]));
        a.key = *code;
        a.keyText = in.args[0];
        if (in.args.size() == 2) a.display = in.args[1];
        return true;
    }
    static bool key(Runner& r, const Action& a) {
        sim::Display* d = r.displayFor(a);
        if (!d) return false;
        char code[16];
        std::snprintf(code, sizeof code, "0x%02X", a.key);
        r.log() << "key " << a.keyText << " (" << keyName(a.key) << ", " << code << ") on " << d->name()
                << ": " << r.outcome(*d, [&] { return d->key(a.key); }) << "\n";
        return true;
    }

    // button BUTTON [EVENT] [DISPLAY]

    static bool readButton(ActionLine& in, Action& a) {
        if (!in.count(1, 3)) return false;
        const std::string_view word = in.args[0];
        if (const std::optional<long long> index = ActionLine::integer(word)) {
            if (*index < -1000000 || *index > 1000000)
                return in.fail("button index '" + std::string(word) +
                               "' is out of range -1000000 to 1000000 (the display's buttons are 0 to 11)");
            a.button = static_cast<int>(*index);
        } else if (word[0] == '-' || (word[0] >= '0' && word[0] <= '9')) {
            // Labels begin with a letter; this was meant as an index.
            return in.fail("button index '" + std::string(word) + "' is not a number");
        } else {
            a.buttonLabel = word;
        }
        size_t next = 1;
        if (in.args.size() > next) {
            if (const std::optional<long long> event = ActionLine::integer(in.args[next])) {
                if (*event < 0 || *event > 0x7FFFFFFF)
                    return in.fail("event '" + std::string(in.args[next]) +
                                   "' is not a set of event bits, a number from 0 to 0x7FFFFFFF");
                a.event = static_cast<int>(*event);
                ++next;
            }
        }
        if (in.args.size() > next) a.display = in.args[next++];
        return in.args.size() <= next || in.fail("too many arguments: expected '" + in.usage() + "'");
    }
    static bool button(Runner& r, const Action& a) {
        sim::Display* d = r.displayFor(a);
        if (!d) return false;
        int index = a.button;
        if (!a.buttonLabel.empty()) {
            std::vector<std::string> labels;
            for (int i = 0; i < 12 && index < 0; ++i) {
                const char* label = d->buttonLabel(i);
                if (!label || !*label) continue;
                labels.push_back(label);
                if (a.buttonLabel == label) index = i;
            }
            if (index < 0)
                return r.fail(a, "display " + sim::inQuotes(d->name()) + " has no button labelled " +
                                     sim::inQuotes(a.buttonLabel) + " (its labels: " + joined(labels) + ")");
        }
        const std::string what = r.outcome(*d, [&] { return d->button(index, a.event); });
        std::ostream& line = r.log() << "button " << index;
        if (!a.buttonLabel.empty()) line << " (" << a.buttonLabel << ")";
        line << " event " << a.event << " on " << d->name() << ": " << what << "\n";
        return true;
    }

    // dock VESSEL PORT OTHER-VESSEL OTHER-PORT

    static bool readDock(ActionLine& in, Action& a) {
        if (!in.count(4, 4)) return false;
        a.vessel = in.args[0];
        a.otherVessel = in.args[2];
        return in.unsignedValue(in.args[1], "port", 1023, a.port) &&
               in.unsignedValue(in.args[3], "port", 1023, a.otherPort);
    }
    static bool checkDock(Runner& r, const Action& a) {
        if (!needVessel(r, a, a.vessel) || !needVessel(r, a, a.otherVessel)) return false;
        if (a.vessel == a.otherVessel) return r.fail(a, "a vessel cannot dock to itself");
        return needPort(r, a, a.vessel, a.port) && needPort(r, a, a.otherVessel, a.otherPort);
    }
    static bool dock(Runner& r, const Action& a) {
        sim::VesselRecord* v = vesselThere(r, a, a.vessel);
        sim::VesselRecord* o = v ? vesselThere(r, a, a.otherVessel) : nullptr;
        if (!o) return false;
        if (!r.emulator_.simulation().dock(*v, a.port, *o, a.otherPort))
            return r.fail(a, "cannot dock " + a.vessel + " port " + std::to_string(a.port) + " to " +
                                 a.otherVessel + " port " + std::to_string(a.otherPort) +
                                 ": a port is in use or missing");
        r.log() << "dock: " << sim::printable(a.vessel) << " port " << a.port << " holds "
                << sim::printable(a.otherVessel) << " port " << a.otherPort << "\n";
        return true;
    }

    // undock VESSEL PORT

    static bool readUndock(ActionLine& in, Action& a) {
        if (!in.count(2, 2)) return false;
        a.vessel = in.args[0];
        return in.unsignedValue(in.args[1], "port", 1023, a.port);
    }
    static bool checkUndock(Runner& r, const Action& a) {
        return needVessel(r, a, a.vessel) && needPort(r, a, a.vessel, a.port);
    }
    static bool undock(Runner& r, const Action& a) {
        sim::VesselRecord* v = vesselThere(r, a, a.vessel);
        if (!v) return false;
        const sim::VesselRecord* other = a.port < v->ports.size() ? v->ports[a.port].docked : nullptr;
        if (!other)
            return r.fail(
                a, "cannot undock: nothing is docked at port " + std::to_string(a.port) + " of " + a.vessel);
        const std::string otherName = other->name;
        r.emulator_.simulation().undock(*v, a.port);
        r.log() << "undock: " << sim::printable(otherName) << " leaves port " << a.port << " of "
                << sim::printable(a.vessel) << "\n";
        return true;
    }

    // remove VESSEL

    static bool checkRemove(Runner& r, const Action& a) {
        if (!needVessel(r, a, a.vessel)) return false;
        // The simulator moves the focus off a vessel that goes, when there is another.
        if (r.names_.focus == a.vessel) {
            for (const std::string& other : r.names_.vessels) {
                if (other != a.vessel) {
                    focusNames(r.names_, other);
                    break;
                }
            }
        }
        std::erase(r.names_.vessels, a.vessel);
        r.names_.forget([&](const auto& d) { return d.vessel == a.vessel; },
                        "it closed when its vessel " + a.vessel + " was removed " + when(a));
        return true;
    }
    // The simulator deletes a vessel at the end of the frame it was asked in, after the modules'
    // step: a transfer with it runs one more step.
    static bool remove(Runner& r, const Action& a) {
        if (!vesselThere(r, a, a.vessel)) return false;
        r.removals_.push_back(&a);
        return true;
    }
    static void removeNow(Runner& r, const Action& a) {
        sim::VesselRecord* v = r.emulator_.simulation().findVessel(a.vessel);
        if (!v) return;
        double mass = 0.0;
        for (const sim::Tank& t : v->tanks) mass += t.mass;
        if (v == r.emulator_.focus()) {
            for (sim::VesselRecord* other : r.emulator_.simulation().vessels()) {
                if (other != v) {
                    logFocus(r, "remove " + a.vessel + ": the focus goes to ", *other);
                    break;
                }
            }
        }
        std::vector<std::string> closing;
        for (const sim::Display* d : r.emulator_.simulation().displays()) {
            if (&d->vessel() == v) closing.push_back(d->name());
        }
        r.ledger_.removing(*v, r.now_);
        r.emulator_.simulation().removeVessel(*v);
        char text[64];
        std::snprintf(text, sizeof text, "%.3f kg", mass);
        r.log() << "remove " << sim::printable(a.vessel) << " (" << when(a)
                << "), at the end of that frame: it leaves the simulation with " << text << " of propellant"
                << (closing.empty() ? std::string("; it had no displays")
                                    : "; its displays close: " + joined(closing))
                << "\n";
    }

    // focus VESSEL

    // The displays of the focus vessel's cockpit go to the new focus vessel, and so do the
    // external displays not pinned to theirs.
    static void focusNames(Runner::Names& names, const std::string& to) {
        if (to == names.focus) return;  // the focus already: nothing is opened again
        for (Runner::Names::Display& d : names.displays) {
            if (d.external ? !d.pinned : d.vessel == names.focus) d.vessel = to;
        }
        names.focus = to;
    }
    static bool checkFocus(Runner& r, const Action& a) {
        if (!needVessel(r, a, a.vessel)) return false;
        focusNames(r.names_, a.vessel);
        return true;
    }
    static void logFocus(Runner& r, const std::string& what, sim::VesselRecord& to) {
        const Emulator::FocusSwitch done = r.emulator_.switchFocus(to);
        r.base_.focus = to.name;  // what a save names as the focus
        std::ostream& line = r.log() << what << sim::printable(to.name);
        if (done.from.empty() || done.from == to.name) {
            line << " (the focus already)\n";
            return;
        }
        line << "; the displays of " << sim::printable(done.from) << " closed and opened again for "
             << sim::printable(to.name) << " (" << joined(done.reopened) << ")";
        if (!done.stayed.empty()) line << "; pinned, staying: " << sim::printable(joined(done.stayed));
        if (done.stoppedTransfer)
            line << "; the running transfer stopped: the module resets it when its display opens for "
                    "another vessel";
        line << "\n";
    }
    static bool focus(Runner& r, const Action& a) {
        sim::VesselRecord* v = vesselThere(r, a, a.vessel);
        if (!v) return false;
        logFocus(r, "focus ", *v);
        return true;
    }

    // resize DISPLAY WIDTH HEIGHT

    static bool readResize(ActionLine& in, Action& a) {
        if (!in.count(3, 3)) return false;
        a.display = in.args[0];
        return readSize(in, 1, a);
    }
    static bool resize(Runner& r, const Action& a) {
        sim::Display* d = displayThere(r, a);
        if (!d) return false;
        const std::string elsewhere = r.emulator_.transferShownElsewhere(*d);
        const bool help = r.emulator_.showedHelpPage(*d);
        const std::string shows = r.emulator_.resize(*d, a.width, a.height);
        r.log() << "resize " << a.display << " to " << a.width << " x " << a.height << ": "
                << (d->instrument() ? shows + " closed and opened again at that size" +
                                          (help ? Emulator::kHelpPageClosed : "")
                                    : "it shows no mode (" + shows + "); only its size changed")
                << sim::printable(r.emulator_.stoppedByOpening(*d, elsewhere)) << "\n";
        return true;
    }

    // view NAME

    static bool readView(ActionLine& in, Action& a) {
        if (!in.count(1, 1)) return false;
        for (const std::string_view view : sim::kCockpitViews) {
            if (sim::equalsIgnoringCase(view, in.args[0])) a.text = view;
        }
        return !a.text.empty() || in.fail("view '" + std::string(in.args[0]) +
                                          "': the simulator's cockpit views "
                                          "are generic, panel and vc");
    }
    static bool checkView(Runner& r, const Action& a) {
        // The size of a view's displays comes from the vessel's panels and the simulator's
        // window; the emulator knows it only from the scenario.
        return r.names_.viewSizes.count(a.text) ||
               r.fail(a, "view " + a.text +
                             ": the scenario does not say how large the cockpit's displays are in that view "
                             "(a line \"VIEW " +
                             a.text +
                             " WIDTH HEIGHT\" in its BEGIN_KESTRANE_SIM block, docs/scenario-format.md)");
    }
    static bool view(Runner& r, const Action& a) {
        const auto [width, height] = r.base_.viewSizes.at(a.text);
        const Emulator::FocusSwitch done = r.emulator_.switchView(width, height);
        std::ostream& line = r.log() << "view " << a.text
                                     << ": the cockpit's displays closed and opened again at " << width
                                     << " x " << height << " (" << joined(done.reopened) << ")";
        if (done.stoppedTransfer)
            line
                << "; the running transfer stopped: the module resets it when its display opens for a vessel "
                   "other than the transfer's";
        line << "\n";
        return true;
    }

    // pin DISPLAY on/off

    static bool readPin(ActionLine& in, Action& a) {
        if (!in.count(2, 2)) return false;
        a.display = in.args[0];
        a.on = sim::equalsIgnoringCase(in.args[1], "on");
        return a.on || sim::equalsIgnoringCase(in.args[1], "off") ||
               in.fail("pin " + std::string(in.args[1]) + ": expected on or off");
    }
    static bool checkPin(Runner& r, const Action& a) {
        if (!needDisplay(r, a, a.display)) return false;
        Runner::Names::Display& d = *r.names_.display(a.display);
        if (!d.external)
            return r.fail(a,
                          "display " + sim::inQuotes(a.display) +
                              " is the cockpit's: it always shows the focus vessel (only external displays, "
                              "Ext1 to Ext99, are pinned)");
        d.pinned = a.on;
        return true;
    }
    static bool pin(Runner& r, const Action& a) {
        sim::Display* d = displayThere(r, a);
        if (!d) return false;
        d->pinned = a.on;
        r.log() << "pin " << a.display << " " << (a.on ? "on" : "off") << ": "
                << (a.on ? "it keeps " + sim::printable(d->vessel().name) + " when the focus moves"
                         : std::string("it goes over to the focus vessel when the focus moves"))
                << "\n";
        return true;
    }

    // power DISPLAY

    static bool power(Runner& r, const Action& a) {
        sim::Display* d = displayThere(r, a);
        if (!d) return false;
        const bool on = d->power();
        r.emulator_.redrawPending();
        r.log() << "power " << a.display << ": "
                << (!on               ? std::string("off")
                    : d->instrument() ? "on, " + d->modeName()
                                      : "on, " + d->foreign() + " (not emulated)")
                << "\n";
        return true;
    }

    // save FILE

    static bool checkSave(Runner& r, const Action& a) {
        // Pictures are named <scenario>-<display>-<time>.png, also after the save: a scenario under
        // such a name would be taken for one, or push the picture to another name.
        std::string extension = std::filesystem::path(a.text).extension().string();
        for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (extension == ".png")
            return r.fail(a, "save " + a.text +
                                 ": a name for a picture of this run; give the scenario a name "
                                 "of its own, such as " +
                                 std::filesystem::path(a.text).stem().string() + ".scn");
        // A folder in the way is known now: found only when the files are written, it would
        // lose this save after the whole run.
        if (std::string why; !checkFilePath(r.outPath(a.text), why))
            return r.fail(a, "save " + a.text + ": " + why);
        const auto [earlier, added] = r.savedAt_.emplace(r.outPath(a.text), a.line);
        if (!added)
            return r.fail(a, "save " + a.text + ": " + r.outPath(a.text).string() +
                                 " is already saved by line " + std::to_string(earlier->second) +
                                 " of this run; give the scenario another name");
        // External displays are not saved: a load of this file has none.
        Runner::Names saved = r.names_;
        std::erase_if(saved.displays, [](const auto& d) { return d.external; });
        r.savedNames_[a.text] = std::move(saved);
        return true;
    }
    static bool save(Runner& r, const Action& a) {
        sim::Simulation& s = r.emulator_.simulation();
        const std::filesystem::path path = r.outPath(a.text);
        Runner::Saved saved;
        saved.time = r.now_;
        // What each display shows as it is saved, to compare with what a reload shows.
        for (sim::Display* d : s.displays()) {
            if (d->instrument()) saved.screens[d->name()] = paint(*d).surface->cells().text();
        }
        saved.text = savedScenario(s, r.base_, "kestrane-sim", r.now_);
        r.files_.push_back({path, saved.text, std::nullopt, where(r.script_, a) + "save " + a.text + ": "});
        r.saved_[a.text] = std::move(saved);
        r.log() << "save " << a.text << ": every display's instrument wrote its block; the flight goes on "
                << "as it was\n";
        return true;
    }

    // load FILE

    // The names of the loaded scenario; the displays the load closes are remembered as gone.
    static void namesAfterLoad(Runner& r, const Action& a, Runner::Names loaded) {
        Runner::Names before = std::move(r.names_);
        before.forget([&](const auto& d) { return d.external; },
                      "the load " + when(a) + " closed it: external displays are not saved");
        before.forget([&](const auto& d) { return !loaded.hasDisplay(d.name); },
                      "the file loaded " + when(a) + " has no such display");
        std::erase_if(before.gone, [&](const auto& g) { return loaded.hasDisplay(g.first); });
        loaded.gone = std::move(before.gone);
        r.names_ = std::move(loaded);
    }
    static bool checkLoad(Runner& r, const Action& a) {
        if (const auto it = r.savedNames_.find(a.text); it != r.savedNames_.end()) {
            namesAfterLoad(r, a, it->second);
            return true;
        }
        const std::filesystem::path file =
            std::filesystem::path(a.text).is_absolute()
                ? std::filesystem::path(a.text)
                : std::filesystem::path(r.script_.source).parent_path() / a.text;
        std::string why;
        std::optional<sim::ScenarioDescription> loaded =
            sim::readScenarioFile(file.string(), why, r.options_.classes);
        if (!loaded) return r.fail(a, "load: " + why);
        if (const std::string empty = emptyScenarioError(*loaded); !empty.empty())
            return r.fail(a, "load: " + empty);
        namesAfterLoad(r, a, Runner::Names::of(*loaded));
        r.loadFiles_[a.text] = std::move(*loaded);
        return true;
    }
    static bool load(Runner& r, const Action& a) {
        r.removePending();  // the frame that asked ends before the load
        sim::ScenarioDescription next;
        const Runner::Saved* saved = nullptr;
        if (const auto it = r.saved_.find(a.text); it != r.saved_.end()) {
            saved = &it->second;
            std::string why;
            std::optional<sim::ScenarioDescription> parsed =
                sim::parseScenario(saved->text, a.text, why, r.options_.classes);
            if (!parsed) return r.fail(a, "load: " + why);
            next = std::move(*parsed);
        } else {
            next = r.loadFiles_.at(a.text);
        }
        std::string why;
        if (!r.emulator_.resume(next, r.now_, r.ledger_, a.text, why)) return r.fail(a, "load: " + why);
        r.base_ = std::move(next);
        r.idleCheckDue_ = true;
        r.log() << "load " << a.text
                << ": the session ended and the next started, the module still loaded, from "
                << (saved ? "the scenario saved at " + seconds(saved->time) : std::string("the file"))
                << "\n";
        for (const std::string& warning : r.base_.warnings)
            r.log() << "  " << sim::printable(warning) << "\n";
        if (!saved) return true;
        // The new instruments are drawn at the end of the frame, as the simulator draws them.
        r.emulator_.redrawPending();
        for (const auto& [name, text] : saved->screens) {
            sim::Display* d = r.emulator_.simulation().findDisplay(name);
            if (!d && sim::isExternalDisplayName(name)) {
                r.log() << "  " << name << ": closed by the load: external displays are not saved\n";
                continue;
            }
            if (!d || !d->instrument()) {
                r.log() << "  " << name << ": shows no mode after loading\n";
                continue;
            }
            const std::string page = r.emulator_.lastPage(*d);
            r.log() << "  " << name
                    << (page == text ? ": shows the same page as when it was saved"
                                     : ": shows a different page from when it was saved")
                    << "\n";
        }
        return true;
    }

    // accel FACTOR

    static bool readAccel(ActionLine& in, Action& a) {
        if (!in.count(1, 1)) return false;
        const std::optional<double> factor = ActionLine::number(in.args[0]);
        if (!factor || *factor <= 0.0 || *factor > 1e6)
            return in.fail("time acceleration '" + std::string(in.args[0]) +
                           "' is not a number above 0 and up to 1000000");
        a.accel = *factor;
        return true;
    }
    static bool accel(Runner& r, const Action& a) {
        r.accel_ = a.accel;
        r.log() << "time acceleration " << a.accel << " (steps of " << r.options_.step * r.accel_ << " s)\n";
        return true;
    }

    // show [DISPLAY]

    static bool show(Runner& r, const Action& a) {
        if (a.display.empty()) {
            for (sim::Display* d : r.emulator_.simulation().displays()) {
                if (!d->off()) r.show(*d, timeTag(r.now_));
            }
            return true;
        }
        sim::Display* d = displayThere(r, a);
        if (!d) return false;
        r.show(*d, timeTag(r.now_));
        return true;
    }
};

// One action a line: its name and arguments, then how its line is read, what is checked before
// the run, and what it does.
const ActionType ScriptActions::kTable[] = {
    {"note", "TEXT", readNote, nothingToCheck, note},
    {"open", "DISPLAY [VESSEL [WIDTH HEIGHT]]", readOpen, checkOpen, open},
    {"close", "DISPLAY", readDisplay, checkClose, close},
    {"resize", "DISPLAY WIDTH HEIGHT", readResize, checkDisplay, resize},
    {"view", "NAME", readView, checkView, view},
    {"pin", "DISPLAY on/off", readPin, checkPin, pin},
    {"select", "[DISPLAY]", readDisplayOrNone, checkDisplayOrDefault, select},
    {"key", "KEY [DISPLAY]", readKey, checkDisplayOrDefault, key},
    {"button", "BUTTON [EVENT] [DISPLAY]", readButton, checkDisplayOrDefault, button},
    {"dock", "VESSEL PORT OTHER-VESSEL OTHER-PORT", readDock, checkDock, dock},
    {"undock", "VESSEL PORT", readUndock, checkUndock, undock},
    {"remove", "VESSEL", readVessel, checkRemove, remove},
    {"focus", "VESSEL", readVessel, checkFocus, focus},
    {"power", "DISPLAY", readDisplay, checkDisplay, power},
    {"save", "FILE", readFileName, checkSave, save},
    {"load", "FILE", readFileName, checkLoad, load},
    {"accel", "FACTOR", readAccel, nothingToCheck, accel},
    {"show", "[DISPLAY]", readDisplayOrNone, checkDisplayOrDefault, show},
};

std::span<const ActionType> actionTypes() { return ScriptActions::kTable; }

void Runner::removePending() {
    for (const Action* a : std::exchange(removals_, {})) ScriptActions::removeNow(*this, *a);
}

}  // namespace cli
