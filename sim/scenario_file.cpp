#include "sim/scenario_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <unordered_map>
#include <utility>

#include "sim/files.h"
#include "sim/scenario_block.h"
#include "sim/text.h"

namespace sim {

namespace {

constexpr std::string_view kBeginDesc = "BEGIN_DESC";
constexpr std::string_view kEndDesc = "END_DESC";
constexpr std::string_view kBeginVessel = "BEGIN_VESSEL";
constexpr std::string_view kEndVessel = "END_VESSEL";
constexpr std::string_view kBeginDisplay = "BEGIN_DISPLAY";
constexpr std::string_view kEndDisplay = "END_DISPLAY";
constexpr char kComment = ';';

// The text after the keyword, trimmed.
std::string_view restAfter(std::string_view line, std::string_view keyword) {
    line = trim(line);
    return trim(line.substr(keyword.size()));
}

class Parser {
public:
    Parser(std::string_view text, const std::string& source, std::string& error)
        : lines_(splitLines(text)), source_(source), error_(error) {
        result_.source = source;
    }

    std::optional<ScenarioDescription> run() {
        if (!parseAll() || !check()) return std::nullopt;
        return std::move(result_);
    }

private:
    std::vector<std::string_view> lines_;
    size_t next_ = 0;  // index of the next line to read
    const std::string& source_;
    std::string& error_;
    ScenarioDescription result_;
    bool haveDescription_ = false;

    bool fail(int line, const std::string& what) {
        error_ = lineMessage(source_, line, what);
        return false;
    }
    int lineNumber() const { return static_cast<int>(next_); }  // of the line last read

    // The next line that holds more than a comment, without the comment; false at the end of
    // the text.
    bool nextContentLine(std::string_view& line) {
        while (next_ < lines_.size()) {
            line = lines_[next_++];
            line = trim(line.substr(0, line.find(kComment)));
            if (!line.empty()) return true;
        }
        return false;
    }

    bool parseAll() {
        std::string_view line;
        while (nextContentLine(line)) {
            const std::vector<std::string_view> w = splitWords(line);
            if (w[0] == kBeginDesc) {
                if (!parseDescription(w)) return false;
            } else if (w[0] == kBeginVessel) {
                if (!parseVessel(w)) return false;
            } else if (w[0] == kBeginDisplay) {
                if (!parseDisplay(w)) return false;
            } else {
                return fail(lineNumber(), "unknown keyword " + inQuotes(w[0]));
            }
        }
        return true;
    }

    bool expectWords(const std::vector<std::string_view>& w, size_t count, const char* form) {
        if (w.size() == count) return true;
        return fail(lineNumber(), std::string("expected \"") + form + "\"");
    }

    bool unsignedNumber(std::string_view text, unsigned& value) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc{} || end != text.data() + text.size()) {
            const bool tooLarge = error == std::errc::result_out_of_range && end == text.data() + text.size();
            return fail(lineNumber(),
                        (tooLarge ? "number out of range " : "malformed number ") + inQuotes(text));
        }
        return true;
    }

    bool mass(std::string_view text, double& value) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) {
            return fail(lineNumber(), "malformed number " + inQuotes(text));
        }
        return true;
    }

    bool parseDescription(const std::vector<std::string_view>& w) {
        const int begin = lineNumber();
        if (!expectWords(w, 1, "BEGIN_DESC")) return false;
        if (haveDescription_) return fail(begin, "second description block");
        haveDescription_ = true;
        while (next_ < lines_.size()) {
            const std::string_view line = lines_[next_++];
            if (trim(line.substr(0, line.find(kComment))) == kEndDesc) return true;
            result_.description.emplace_back(line);
        }
        return fail(begin, "BEGIN_DESC without END_DESC");
    }

    bool parseVessel(const std::vector<std::string_view>& w) {
        ScenarioVessel v;
        v.line = lineNumber();
        if (!expectWords(w, 2, "BEGIN_VESSEL name")) return false;
        v.name = w[1];
        bool haveClass = false, havePorts = false;
        std::string_view line;
        while (nextContentLine(line)) {
            const std::vector<std::string_view> k = splitWords(line);
            if (k[0] == kEndVessel) {
                if (!expectWords(k, 1, "END_VESSEL")) return false;
                result_.vessels.push_back(std::move(v));
                return true;
            }
            if (k[0] == "CLASS") {
                if (haveClass) return fail(lineNumber(), "second CLASS line");
                if (k.size() < 2) return expectWords(k, 2, "CLASS name");
                v.className = restAfter(line, k[0]);
                haveClass = true;
            } else if (k[0] == "TANK") {
                if (!expectWords(k, 3, "TANK capacity mass")) return false;
                Tank t;
                if (!mass(k[1], t.capacity) || !mass(k[2], t.mass)) return false;
                if (t.capacity < 0.0) return fail(lineNumber(), "negative capacity");
                // Totals of many such tanks stay finite.
                if (t.capacity > kMaxTankCapacity) return fail(lineNumber(), "capacity above 1e15 kg");
                if (t.mass < 0.0) return fail(lineNumber(), "negative mass");
                if (t.mass > t.capacity) return fail(lineNumber(), "mass above capacity");
                v.tanks.push_back(t);
            } else if (k[0] == "PORTS") {
                if (havePorts) return fail(lineNumber(), "second PORTS line");
                if (!expectWords(k, 2, "PORTS count") || !unsignedNumber(k[1], v.ports)) return false;
                if (v.ports > kMaxDockPorts) {
                    return fail(lineNumber(), "more than " + std::to_string(kMaxDockPorts) + " ports");
                }
                havePorts = true;
            } else if (k[0] == "DOCK") {
                ScenarioDockLink link;
                link.line = lineNumber();
                if (!expectWords(k, 4, "DOCK port vessel port") || !unsignedNumber(k[1], link.port) ||
                    !unsignedNumber(k[3], link.otherPort)) {
                    return false;
                }
                link.vessel = k[2];
                v.docks.push_back(std::move(link));
            } else {
                return fail(lineNumber(), "unknown keyword " + inQuotes(k[0]) + " in a vessel block");
            }
        }
        return fail(v.line, "BEGIN_VESSEL without END_VESSEL");
    }

    bool parseDisplay(const std::vector<std::string_view>& w) {
        ScenarioDisplay d;
        d.line = lineNumber();
        if (!expectWords(w, 2, "BEGIN_DISPLAY name")) return false;
        d.name = w[1];
        bool haveVessel = false, haveSize = false;
        std::string_view line;
        while (nextContentLine(line)) {
            const std::vector<std::string_view> k = splitWords(line);
            if (k[0] == kEndDisplay) {
                if (!expectWords(k, 1, "END_DISPLAY")) return false;
                return finishDisplay(std::move(d), haveVessel);
            }
            if (k[0] == "VESSEL") {
                if (haveVessel) return fail(lineNumber(), "second VESSEL line");
                if (!expectWords(k, 2, "VESSEL name")) return false;
                d.vessel = k[1];
                d.vesselLine = lineNumber();
                haveVessel = true;
            } else if (k[0] == "SIZE") {
                if (haveSize) return fail(lineNumber(), "second SIZE line");
                if (!expectWords(k, 3, "SIZE width height") || !unsignedNumber(k[1], d.width) ||
                    !unsignedNumber(k[2], d.height)) {
                    return false;
                }
                if (d.width == 0 || d.height == 0 || d.width > kMaxDisplaySize ||
                    d.height > kMaxDisplaySize) {
                    return fail(lineNumber(),
                                "display size out of range 1.." + std::to_string(kMaxDisplaySize));
                }
                haveSize = true;
            } else if (k[0] == "MODE") {
                if (k.size() < 2) return expectWords(k, 2, "MODE name");
                d.mode = restAfter(line, k[0]);
                d.modeLine = lineNumber();
                // Everything up to the end marker belongs to the instrument, as written.
                while (next_ < lines_.size()) {
                    const std::string_view item = lines_[next_++];
                    if (trim(item.substr(0, item.find(kComment))) == kEndDisplay)
                        return finishDisplay(std::move(d), haveVessel);
                    // The host hands item lines over without their leading blanks anyway.
                    d.items.emplace_back(trimStart(item));
                }
                return fail(d.line, "BEGIN_DISPLAY without END_DISPLAY");
            } else {
                return fail(lineNumber(), "unknown keyword " + inQuotes(k[0]) + " in a display block");
            }
        }
        return fail(d.line, "BEGIN_DISPLAY without END_DISPLAY");
    }

    bool finishDisplay(ScenarioDisplay d, bool haveVessel) {
        if (!haveVessel) return fail(d.line, "display " + inQuotes(d.name) + " has no VESSEL line");
        result_.displays.push_back(std::move(d));
        return true;
    }

    // What the file alone decides: unique names, dock links between existing ports that agree
    // with each other, displays on vessels of the file.
    bool check() {
        std::map<std::string, size_t> index;
        for (size_t i = 0; i < result_.vessels.size(); ++i) {
            const ScenarioVessel& v = result_.vessels[i];
            const auto [at, added] = index.emplace(v.name, i);
            if (!added) {
                return fail(v.line, "duplicate vessel name " + inQuotes(v.name) + " (first at line " +
                                        std::to_string(result_.vessels[at->second].line) + ")");
            }
        }
        // Each port holds at most one partner; a link may be written from both sides alike.
        std::map<std::pair<size_t, unsigned>, std::pair<size_t, unsigned>> partner;
        for (size_t i = 0; i < result_.vessels.size(); ++i) {
            const ScenarioVessel& v = result_.vessels[i];
            for (const ScenarioDockLink& link : v.docks) {
                if (link.port >= v.ports) {
                    return fail(link.line, "vessel " + inQuotes(v.name) + " has no port " +
                                               std::to_string(link.port) +
                                               " (ports: " + std::to_string(v.ports) + ")");
                }
                const auto other = index.find(link.vessel);
                if (other == index.end())
                    return fail(link.line, "dock link to unknown vessel " + inQuotes(link.vessel));
                if (other->second == i)
                    return fail(link.line, "vessel " + inQuotes(v.name) + " docked to itself");
                const ScenarioVessel& o = result_.vessels[other->second];
                if (link.otherPort >= o.ports) {
                    return fail(link.line, "vessel " + inQuotes(o.name) + " has no port " +
                                               std::to_string(link.otherPort) +
                                               " (ports: " + std::to_string(o.ports) + ")");
                }
                const std::pair<size_t, unsigned> a{i, link.port}, b{other->second, link.otherPort};
                for (const auto& [from, to] : {std::pair{a, b}, std::pair{b, a}}) {
                    const auto [at, added] = partner.emplace(from, to);
                    if (!added && at->second != to) {
                        const ScenarioVessel& holder = result_.vessels[from.first];
                        return fail(link.line, "port " + std::to_string(from.second) + " of " +
                                                   inQuotes(holder.name) + " is already docked to " +
                                                   inQuotes(result_.vessels[at->second.first].name));
                    }
                }
            }
        }
        std::map<std::string, int> displayNames;
        for (const ScenarioDisplay& d : result_.displays) {
            const auto [at, added] = displayNames.emplace(d.name, d.line);
            if (!added) {
                return fail(d.line, "duplicate display name " + inQuotes(d.name) + " (first at line " +
                                        std::to_string(at->second) + ")");
            }
            if (!index.count(d.vessel)) {
                return fail(d.vesselLine ? d.vesselLine : d.line,
                            "display " + inQuotes(d.name) + " on unknown vessel " + inQuotes(d.vessel));
            }
        }
        return true;
    }
};

// Names the file could not give back as they are: a name is one word, and nothing holds a
// comment sign or a line break.
bool savable(Simulation& simulation, const std::string& path, std::string& error) {
    auto word = [](const std::string& s) {
        return !s.empty() && s.find_first_of(" \t\r\n;") == std::string::npos;
    };
    auto refuse = [&](const std::string& what) {
        error = path + ": cannot save " + what;
        return false;
    };
    for (VesselRecord* v : simulation.vessels()) {
        if (!word(v->name)) return refuse("vessel name " + inQuotes(v->name) + ": not one word");
        if (v->className.find_first_of("\r\n;") != std::string::npos) {
            return refuse("class name " + inQuotes(v->className));
        }
        for (const Tank& t : v->tanks) {
            if (t.capacity > kMaxTankCapacity)
                return refuse("vessel " + inQuotes(v->name) + ": a tank above 1e15 kg");
        }
    }
    for (Display* d : simulation.displays()) {
        if (!word(d->name())) return refuse("display name " + inQuotes(d->name()) + ": not one word");
        if (d->modeName().find_first_of("\r\n;") != std::string::npos) {
            return refuse("mode name " + inQuotes(d->modeName()));
        }
    }
    return true;
}

// Shortest text that reads back as the same double.
std::string exact(double value) {
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc{} ? std::string(buffer, end) : std::string("nan");
}

}  // namespace

std::optional<ScenarioDescription> parseScenario(std::string_view text, const std::string& source,
                                                 std::string& error) {
    return Parser(text, source, error).run();
}

std::optional<ScenarioDescription> readScenarioFile(const std::string& path, std::string& error) {
    const std::optional<std::string> text = readFile(path, error);
    if (!text) return std::nullopt;
    return parseScenario(*text, path, error);
}

bool applyScenario(const ScenarioDescription& scenario, Simulation& simulation, std::string& error) {
    // Everything that could refuse the scenario is checked before anything is created.
    for (const ScenarioVessel& v : scenario.vessels) {
        if (simulation.findVessel(v.name)) {
            error = lineMessage(scenario.source, v.line, "vessel " + inQuotes(v.name) + " already exists");
            return false;
        }
    }
    for (const ScenarioDisplay& d : scenario.displays) {
        if (simulation.findDisplay(d.name)) {
            error = lineMessage(scenario.source, d.line, "display " + inQuotes(d.name) + " already exists");
            return false;
        }
        if (!d.mode.empty() && !simulation.findMode(d.mode)) {
            error =
                lineMessage(scenario.source, d.modeLine, "mode " + inQuotes(d.mode) + " is not registered");
            return false;
        }
    }

    // Hashed: a scenario of many vessels looks a name up for every vessel and dock link.
    std::unordered_map<std::string, VesselRecord*> created;
    created.reserve(scenario.vessels.size());
    std::vector<Display*> displays;
    // Should the host refuse anyway, what was created is taken out again.
    auto undo = [&](int line, const std::string& what) {
        for (Display* d : displays) simulation.removeDisplay(*d);
        for (auto& [name, record] : created) simulation.removeVessel(*record);
        error = lineMessage(scenario.source, line, what);
        return false;
    };

    for (const ScenarioVessel& v : scenario.vessels) {
        created[v.name] = &simulation.addVessel({v.name, v.className, v.tanks, v.ports});
    }
    for (const ScenarioVessel& v : scenario.vessels) {
        VesselRecord& a = *created[v.name];
        for (const ScenarioDockLink& link : v.docks) {
            VesselRecord& b = *created[link.vessel];
            const DockPort& port = a.ports[link.port];
            if (port.docked == &b && port.dockedPort == link.otherPort) continue;  // written from both sides
            if (!simulation.dock(a, link.port, b, link.otherPort)) return undo(link.line, "cannot dock");
        }
    }
    for (const ScenarioDisplay& d : scenario.displays) {
        Display& display = simulation.addDisplay(d.name, *created[d.vessel], d.width, d.height);
        displays.push_back(&display);
        if (d.mode.empty()) continue;
        if (!display.openMode(d.mode))
            return undo(d.modeLine, "mode " + inQuotes(d.mode) + " made no instrument");
        ScenarioBlock block(d.items);
        display.readStatus(block);
    }
    return true;
}

bool loadScenario(const std::string& path, Simulation& simulation, std::string& error) {
    const std::optional<ScenarioDescription> scenario = readScenarioFile(path, error);
    return scenario && applyScenario(*scenario, simulation, error);
}

ScenarioDescription captureScenario(Simulation& simulation, std::vector<std::string> description) {
    ScenarioDescription out;
    out.description = std::move(description);
    const std::vector<VesselRecord*> vessels = simulation.vessels();
    std::map<const VesselRecord*, size_t> order;
    for (size_t i = 0; i < vessels.size(); ++i) order[vessels[i]] = i;
    for (size_t i = 0; i < vessels.size(); ++i) {
        const VesselRecord& r = *vessels[i];
        ScenarioVessel v;
        v.name = r.name;
        v.className = r.className;
        v.tanks = r.tanks;
        v.ports = static_cast<unsigned>(r.ports.size());
        // Each link once, in the block of the vessel that comes first.
        for (unsigned p = 0; p < r.ports.size(); ++p) {
            const DockPort& port = r.ports[p];
            const auto other = order.find(port.docked);
            if (other != order.end() && other->second > i) {
                v.docks.push_back({p, port.docked->name, port.dockedPort, 0});
            }
        }
        out.vessels.push_back(std::move(v));
    }
    for (Display* display : simulation.displays()) {
        ScenarioDisplay d;
        d.name = display->name();
        d.vessel = display->vessel().name;
        d.width = display->width();
        d.height = display->height();
        if (display->instrument()) {
            d.mode = display->modeName();
            ScenarioBlock block;
            display->writeStatus(block);
            d.items = std::move(block.lines);
        }
        out.displays.push_back(std::move(d));
    }
    return out;
}

std::string formatScenario(const ScenarioDescription& scenario) {
    std::string out;
    auto line = [&out](std::string_view text) {
        out += text;
        out += '\n';
    };
    if (!scenario.description.empty()) {
        line(kBeginDesc);
        for (const std::string& text : scenario.description) line(text);
        line(kEndDesc);
        line("");
    }
    for (const ScenarioVessel& v : scenario.vessels) {
        line(std::string(kBeginVessel) + " " + v.name);
        if (!v.className.empty()) line("  CLASS " + v.className);
        for (const Tank& t : v.tanks) line("  TANK " + exact(t.capacity) + " " + exact(t.mass));
        line("  PORTS " + std::to_string(v.ports));
        for (const ScenarioDockLink& link : v.docks) {
            line("  DOCK " + std::to_string(link.port) + " " + link.vessel + " " +
                 std::to_string(link.otherPort));
        }
        line(kEndVessel);
        line("");
    }
    for (const ScenarioDisplay& d : scenario.displays) {
        line(std::string(kBeginDisplay) + " " + d.name);
        line("  VESSEL " + d.vessel);
        line("  SIZE " + std::to_string(d.width) + " " + std::to_string(d.height));
        if (!d.mode.empty()) {
            line("  MODE " + d.mode);
            for (const std::string& item : d.items) line("  " + item);
        }
        line(kEndDisplay);
        line("");
    }
    return out;
}

bool writeScenarioFile(const std::string& path, std::string_view text, std::string& error) {
    ReplacingFile file(path);
    return file.write(text, error) && file.commit(error);
}

bool saveScenario(Simulation& simulation, const std::string& path, std::string& error,
                  std::vector<std::string> description) {
    if (!savable(simulation, path, error)) return false;
    // The temporary file is made first: when it cannot be, the instruments are not asked.
    ReplacingFile file(path);
    return file.open(error) &&
           file.write(formatScenario(captureScenario(simulation, std::move(description))), error) &&
           file.commit(error);
}

}  // namespace sim
