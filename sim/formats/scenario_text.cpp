#include "sim/formats/scenario_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <unordered_map>
#include <utility>

#include "sim/formats/files.h"
#include "sim/formats/text.h"

namespace sim {

namespace {

constexpr std::string_view kBeginDesc = "BEGIN_DESC";
constexpr std::string_view kEndDesc = "END_DESC";
constexpr std::string_view kBeginFocus = "BEGIN_FOCUS";
constexpr std::string_view kEndFocus = "END_FOCUS";
constexpr std::string_view kBeginMfd = "BEGIN_MFD";
constexpr std::string_view kEndMfd = "END_MFD";
constexpr std::string_view kBeginShips = "BEGIN_SHIPS";
constexpr std::string_view kEndShips = "END_SHIPS";
constexpr std::string_view kEnd = "END";

// Ship lines the emulator models; every other line of a ship is kept as it stands.
constexpr std::string_view kLevels = "PRPLEVEL";
constexpr std::string_view kFuel = "FUEL";
constexpr std::string_view kDockInfo = "DOCKINFO";
// The lines the simulator writes before PRPLEVEL, and then before DOCKINFO: where a ship that had
// none gets them.
constexpr std::string_view kBeforeLevels[] = {"STATUS",   "RPOS",    "RVEL",   "ELEMENTS", "AROT",
                                              "VROT",     "BASE",    "POS",    "HEADING",  "ALT",
                                              "ATTACHED", "RCSMODE", "AFCMODE"};
constexpr std::string_view kBeforeDocking[] = {kLevels, "THLEVEL"};

// A line without comment and blanks at its ends: what the simulator compares.
std::string_view content(std::string_view line) { return trim(withoutComment(line)); }

// The first word of a line's content.
std::string_view keyword(std::string_view line) {
    const std::string_view c = content(line);
    return c.substr(0, std::min(c.find_first_of(kBlanks), c.size()));
}

template <size_t N>
bool oneOf(std::string_view word, const std::string_view (&words)[N]) {
    return std::any_of(std::begin(words), std::end(words),
                       [&](std::string_view w) { return equalsIgnoringCase(word, w); });
}

template <typename T>
bool number(std::string_view text, T& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size();
}

}  // namespace

bool displaySize(std::string_view word, std::string_view what, unsigned& out, std::string& error) {
    unsigned value = 0;
    if (!number(word, value) || value == 0 || value > kMaxDisplaySize) {
        error = std::string(what) + " " + inQuotes(word) + " is not a whole number from 1 to " +
                std::to_string(kMaxDisplaySize);
        return false;
    }
    out = value;
    return true;
}

namespace {

class Parser {
public:
    Parser(std::string_view text, const std::string& source, const VesselCatalogue& classes,
           std::string& error)
        : lines_(splitLines(text)), source_(source), classes_(classes), error_(error) {
        result_.source = source;
        error_.clear();  // tells a block's own failure from its missing end
    }

    std::optional<ScenarioDescription> run() {
        if (!parseAll() || !check()) return std::nullopt;
        return std::move(result_);
    }

private:
    std::vector<std::string_view> lines_;
    size_t next_ = 0;  // index of the next line to read
    const std::string& source_;
    const VesselCatalogue& classes_;
    std::string& error_;
    ScenarioDescription result_;
    std::map<std::string_view, int> blocksSeen_;  // the modelled blocks, by their first line
    int focusLine_ = 0;
    struct DisplayLine {
        std::string name, vessel;
        unsigned width, height;
        int line;
    };
    std::vector<DisplayLine> displayLines_;  // of the emulator's block

    bool fail(int line, const std::string& what) {
        error_ = lineMessage(source_, line, what);
        return false;
    }
    int lineNumber() const { return static_cast<int>(next_); }  // of the line last read
    // What the file holds that is read otherwise than written, at the line last read.
    void warn(const std::string& what) {
        result_.warnings.push_back(lineMessage(source_, lineNumber(), what));
    }

    // A block the emulator reads: the keyword that begins it, the one that ends it, and the
    // reader of its lines, which returns false on an error (set) or when the text ends first.
    struct Block {
        std::string_view begin, end;
        bool once;  // a second block would leave unclear which one a save replaces
        bool (Parser::*read)(std::string_view header);
    };

    bool once(std::string_view block) {
        const auto [at, added] = blocksSeen_.emplace(block, lineNumber());
        if (added) return true;
        return fail(lineNumber(), "second " + std::string(block) + " block (the first is at line " +
                                      std::to_string(at->second) + ")");
    }

    void layout(ScenarioPart part, std::string text = {}) {
        result_.layout.push_back({part, std::move(text)});
    }

    bool parseAll() {
        static constexpr Block kBlocks[] = {
            {kBeginDesc, kEndDesc, true, &Parser::parseDescription},
            {kBeginFocus, kEndFocus, true, &Parser::parseFocus},
            {kBeginMfd, kEndMfd, false, &Parser::parseDisplay},  // once for each display
            {kBeginShips, kEndShips, true, &Parser::parseShips},
            {kEmulatorBlock, kEnd, true, &Parser::parseEmulatorBlock},
        };
        while (next_ < lines_.size()) {
            const std::string_view line = lines_[next_++];
            // Blocks begin in the first column; anything else between them is kept as it stands.
            const Block* block = std::find_if(std::begin(kBlocks), std::end(kBlocks), [&](const Block& b) {
                return startsWithIgnoringCase(line, b.begin);
            });
            if (block == std::end(kBlocks)) {
                layout(ScenarioPart::Text, std::string(line));
                continue;
            }
            const int begin = lineNumber();
            if (block->once && !once(block->begin)) return false;
            if ((this->*block->read)(line)) continue;
            if (error_.empty())
                fail(begin, std::string(block->begin) + " without " + std::string(block->end));
            return false;
        }
        return true;
    }

    // Lines up to the one that ends the block; false at the end of the text.
    template <typename Ends, typename Each>
    bool blockLines(Ends ends, Each each) {
        while (next_ < lines_.size()) {
            const std::string_view line = lines_[next_++];
            if (ends(content(line))) return true;
            if (!each(line)) return false;
        }
        return false;
    }
    static auto prefix(std::string_view end) {
        return [end](std::string_view c) { return startsWithIgnoringCase(c, end); };
    }
    static auto exactly(std::string_view end) {
        return [end](std::string_view c) { return equalsIgnoringCase(c, end); };
    }

    bool parseDescription(std::string_view) {
        layout(ScenarioPart::Description);
        return blockLines(prefix(kEndDesc), [&](std::string_view line) {
            result_.description.emplace_back(line);
            return true;
        });
    }

    bool parseFocus(std::string_view) {
        layout(ScenarioPart::Focus);
        return blockLines(prefix(kEndFocus), [&](std::string_view line) {
            const std::vector<std::string_view> w = splitWords(content(line));
            if (!w.empty() && equalsIgnoringCase(w[0], "Ship")) {
                if (w.size() != 2) return fail(lineNumber(), "expected \"Ship name\"");
                result_.focus = w[1];
                focusLine_ = lineNumber();
            }
            return true;
        });
    }

    bool parseDisplay(std::string_view header) {
        ScenarioDisplay d;
        d.line = lineNumber();
        const std::vector<std::string_view> w = splitWords(content(header));
        if (w.size() != 2 || !equalsIgnoringCase(w[0], kBeginMfd))
            return fail(d.line, "expected \"BEGIN_MFD id\"");
        d.name = w[1];
        if (!isDisplayId(d.name))
            return fail(d.line, "display " + inQuotes(d.name) + ": the displays are Left, Right and 3 to 12");
        for (const ScenarioDisplay& other : result_.displays) {
            if (equalsIgnoringCase(other.name, d.name))
                return fail(d.line, "second block of display " + inQuotes(d.name) +
                                        " (the first is at line " + std::to_string(other.line) + ")");
        }
        d.block.emplace_back(header);
        bool typed = false;
        const bool ended = blockLines(prefix(kEndMfd), [&](std::string_view line) {
            d.block.emplace_back(line);
            const std::string_view c = content(line);
            if (typed || !startsWithIgnoringCase(c, "TYPE")) return true;
            typed = true;
            d.type = trim(c.substr(4));
            if (!equalsIgnoringCase(d.type, "User")) return true;
            // A mode of a module: its name on the very next line, then the instrument's items.
            const std::string_view mode = next_ < lines_.size() ? content(lines_[next_]) : std::string_view();
            if (!startsWithIgnoringCase(mode, "MODE") || trim(mode.substr(4)).empty())
                return fail(lineNumber(), "TYPE User without a MODE line right after it");
            d.block.emplace_back(lines_[next_++]);
            d.mode = trim(mode.substr(4));
            d.modeLine = lineNumber();
            return true;
        });
        if (!ended) return false;
        d.block.emplace_back(lines_[next_ - 1]);
        if (d.modeLine) {
            // The simulator's reader goes on past END_MFD until a line END.
            for (size_t i = static_cast<size_t>(d.modeLine); i < lines_.size(); ++i) {
                d.reading.emplace_back(lines_[i]);
                if (equalsIgnoringCase(content(lines_[i]), kEnd)) break;
            }
        }
        layout(ScenarioPart::Display, d.name);
        result_.displays.push_back(std::move(d));
        return true;
    }

    bool parseShips(std::string_view) {
        layout(ScenarioPart::Ships);
        std::vector<std::string> pending;
        while (next_ < lines_.size()) {
            const std::string_view line = lines_[next_++];
            const std::string_view c = content(line);
            if (equalsIgnoringCase(c, kEndShips)) {
                result_.shipsEnd = std::move(pending);
                return true;
            }
            if (c.empty()) {
                pending.emplace_back(line);
                continue;
            }
            if (!parseShip(c)) return false;
            result_.vessels.back().before = std::move(pending);
            pending.clear();
        }
        return false;
    }

    // "Name:Class" at the start of the line, one word each, the class one the catalogue has.
    bool beginsShip(std::string_view line) const {
        const std::string_view c = trim(line);
        if (line.empty() || line.front() == ' ' || line.front() == '\t') return false;
        const size_t colon = c.find(':');
        return colon != std::string_view::npos && splitWords(c).size() == 1 &&
               isOneWordName(c.substr(0, colon)) && classes_.find(c.substr(colon + 1));
    }

    bool parseShip(std::string_view header) {
        ScenarioVessel v;
        v.line = lineNumber();
        const size_t colon = header.find(':');
        v.name = trim(header.substr(0, colon));
        v.className = colon == std::string_view::npos ? v.name : std::string(trim(header.substr(colon + 1)));
        if (!isOneWordName(v.name)) return fail(v.line, "ship name " + inQuotes(v.name) + " is not one word");
        if (v.className.empty()) v.className = v.name;
        const VesselClass* vesselClass = classes_.find(v.className);
        if (!vesselClass) {
            std::string what = "ship " + inQuotes(v.name) + ": unknown vessel class " +
                               inQuotes(v.className) + "; add it to " + classes_.path();
            if (!classes_.loadError().empty()) what += " (" + classes_.loadError() + ")";
            return fail(v.line, what);
        }
        v.ports = vesselClass->ports;
        // Loading empties every tank first: a tank no line names stays empty.
        for (const double capacity : vesselClass->tanks) v.tanks.push_back({capacity, 0.0});

        while (next_ < lines_.size()) {
            const std::string_view line = lines_[next_++];
            const std::string_view c = content(line);
            if (equalsIgnoringCase(c, kEnd)) {
                result_.vessels.push_back(std::move(v));
                return true;
            }
            if (equalsIgnoringCase(c, kEndShips))
                return fail(v.line, "ship " + inQuotes(v.name) + " has no END line before END_SHIPS");
            // Its items are written indented; a line at the margin that names a ship and a known
            // class begins the next ship, and this one's END is missing.
            if (beginsShip(line))
                return fail(v.line, "ship " + inQuotes(v.name) + " has no END line: line " +
                                        std::to_string(lineNumber()) + " " + inQuotes(trim(line)) +
                                        " begins another ship");
            v.lines.emplace_back(line);
            const std::vector<std::string_view> w = splitWords(c);
            if (w.empty()) continue;
            if (equalsIgnoringCase(w[0], kLevels)) {
                if (!parseLevels(w, v)) return false;
            } else if (equalsIgnoringCase(w[0], kFuel)) {
                if (!parseFuel(w, v)) return false;
            } else if (equalsIgnoringCase(w[0], kDockInfo)) {
                if (!parseDockInfo(w, v)) return false;
            }
        }
        return fail(v.line, "ship " + inQuotes(v.name) + " without END");
    }

    // A level as the simulator takes it: a fraction of the capacity, held to 0 to 1.
    // `item` names what is read in a warning: "PRPLEVEL '0:1e308'".
    bool level(std::string_view text, double& value, const std::string& item) {
        if (!number(text, value) || !std::isfinite(value)) return false;
        if (value > 1.0 || value < 0.0)
            warn(item + ": a level is a fraction of the capacity, 0 to 1; " + "taken as " +
                 (value > 1.0 ? "1 (full)" : "0 (empty)"));
        value = std::clamp(value, 0.0, 1.0);
        return true;
    }

    bool parseLevels(const std::vector<std::string_view>& w, ScenarioVessel& v) {
        for (size_t i = 1; i < w.size(); ++i) {
            const size_t colon = w[i].find(':');
            int tank = 0;
            double fraction = 0.0;
            if (colon == std::string_view::npos || !number(w[i].substr(0, colon), tank) ||
                !level(w[i].substr(colon + 1), fraction, std::string(kLevels) + " " + inQuotes(w[i])))
                return fail(lineNumber(), "PRPLEVEL: cannot read " + inQuotes(w[i]) + " as tank:level");
            // A tank the class does not have is passed over, as the simulator does.
            if (tank >= 0 && static_cast<size_t>(tank) < v.tanks.size()) {
                Tank& t = v.tanks[static_cast<size_t>(tank)];
                t.mass = fraction * t.capacity;
            } else {
                warn("PRPLEVEL " + inQuotes(w[i]) + ": class " + inQuotes(v.className) + " has " +
                     std::to_string(v.tanks.size()) + " tank(s), counted from 0; passed over");
            }
        }
        return true;
    }

    bool parseFuel(const std::vector<std::string_view>& w, ScenarioVessel& v) {
        double fraction = 0.0;
        if (w.size() != 2 || !level(w[1], fraction, std::string(kFuel) + " " + inQuotes(w[1])))
            return fail(lineNumber(), "FUEL: expected one level, a fraction of each tank's capacity");
        for (Tank& t : v.tanks) t.mass = fraction * t.capacity;
        return true;
    }

    bool parseDockInfo(const std::vector<std::string_view>& w, ScenarioVessel& v) {
        for (size_t i = 1; i < w.size(); ++i) {
            const size_t colon = w[i].find(':'), comma = w[i].find(',');
            ScenarioDockLink link;
            link.line = lineNumber();
            if (colon == std::string_view::npos || comma == std::string_view::npos || comma < colon ||
                !number(w[i].substr(0, colon), link.port) ||
                !number(w[i].substr(colon + 1, comma - colon - 1), link.otherPort) ||
                comma + 1 == w[i].size())
                return fail(lineNumber(),
                            "DOCKINFO: cannot read " + inQuotes(w[i]) + " as port:otherport,name");
            link.vessel = w[i].substr(comma + 1);
            v.docks.push_back(std::move(link));
        }
        return true;
    }

    bool parseEmulatorBlock(std::string_view) {
        layout(ScenarioPart::Emulator);
        return blockLines(exactly(kEnd), [&](std::string_view line) {
            const std::vector<std::string_view> w = splitWords(content(line));
            if (w.empty()) return true;
            DisplayLine d{};
            d.line = lineNumber();
            if (equalsIgnoringCase(w[0], "VIEW")) return parseView(w);
            if (!equalsIgnoringCase(w[0], "DISPLAY"))
                return fail(d.line, "unknown line " + inQuotes(w[0]) + " in " + std::string(kEmulatorBlock) +
                                        " (it holds DISPLAY and VIEW lines)");
            if (w.size() != 4 && w.size() != 5)
                return fail(d.line, "expected \"DISPLAY id width height [ship]\"");
            std::string why;
            if (!displaySize(w[2], "width", d.width, why) || !displaySize(w[3], "height", d.height, why))
                return fail(d.line, "DISPLAY " + std::string(w[1]) + ": " + why);
            d.name = w[1];
            if (w.size() == 5) d.vessel = w[4];
            displayLines_.push_back(std::move(d));
            return true;
        });
    }

    // "VIEW name width height": the size of the cockpit's displays in one of the simulator's views.
    bool parseView(const std::vector<std::string_view>& w) {
        std::pair<unsigned, unsigned> size;
        if (w.size() != 4) return fail(lineNumber(), "expected \"VIEW name width height\"");
        const auto* view = std::find_if(std::begin(kCockpitViews), std::end(kCockpitViews),
                                        [&](std::string_view v) { return equalsIgnoringCase(v, w[1]); });
        if (view == std::end(kCockpitViews))
            return fail(lineNumber(), "VIEW " + inQuotes(w[1]) + ": the views are generic, panel and vc");
        std::string why;
        if (!displaySize(w[2], "width", size.first, why) || !displaySize(w[3], "height", size.second, why))
            return fail(lineNumber(), "VIEW " + std::string(*view) + ": " + why);
        if (!result_.viewSizes.emplace(std::string(*view), size).second)
            return fail(lineNumber(), "second VIEW line for " + std::string(*view));
        return true;
    }

    // What the file alone decides: unique ship names, a focus and dock links between existing
    // ports that agree with each other, displays on ships of the file.
    bool check() {
        std::unordered_map<std::string, size_t> index;
        for (size_t i = 0; i < result_.vessels.size(); ++i) {
            const ScenarioVessel& v = result_.vessels[i];
            const auto [at, added] = index.emplace(v.name, i);
            if (!added) {
                return fail(v.line, "duplicate ship name " + inQuotes(v.name) + " (first at line " +
                                        std::to_string(result_.vessels[at->second].line) + ")");
            }
        }
        if (!result_.focus.empty() && !index.count(result_.focus))
            return fail(focusLine_, "the focus ship " + inQuotes(result_.focus) + " is not among the ships");
        if (result_.focus.empty() && !result_.vessels.empty()) result_.focus = result_.vessels[0].name;
        if (!checkDocking(index)) return false;

        for (ScenarioDisplay& d : result_.displays) {
            if (result_.focus.empty())
                return fail(d.line,
                            "display " + inQuotes(d.name) + ": the scenario has no ship to show it on");
            d.vessel = result_.focus;
        }
        for (const DisplayLine& line : displayLines_) {
            auto d =
                std::find_if(result_.displays.begin(), result_.displays.end(),
                             [&](const ScenarioDisplay& s) { return equalsIgnoringCase(s.name, line.name); });
            if (d == result_.displays.end()) {
                // A display that is off: the simulator writes no block for it.
                if (!isDisplayId(line.name))
                    return fail(line.line, "display " + inQuotes(line.name) +
                                               ": the displays are Left, Right and 3 to 12");
                ScenarioDisplay off;
                off.name = line.name;
                off.vessel = result_.focus;
                off.line = line.line;
                result_.displays.push_back(std::move(off));
                d = result_.displays.end() - 1;
            }
            if (!line.vessel.empty()) {
                if (!index.count(line.vessel))
                    return fail(line.line, "display " + inQuotes(line.name) + " on unknown ship " +
                                               inQuotes(line.vessel));
                d->vessel = line.vessel;
            }
            d->width = line.width;
            d->height = line.height;
        }
        return true;
    }

    // Each port holds at most one partner; the simulator writes a link from both sides, and a
    // link written from one side only docks as well. A name of no ship leaves the port free.
    bool checkDocking(const std::unordered_map<std::string, size_t>& index) {
        std::map<std::pair<size_t, unsigned>, std::pair<size_t, unsigned>> partner;
        auto noPort = [&](const ScenarioDockLink& link, const ScenarioVessel& ship, unsigned port) {
            return fail(link.line, "DOCKINFO: ship " + inQuotes(ship.name) + " has no port " +
                                       std::to_string(port) + " (its class has " +
                                       std::to_string(ship.ports) + ")");
        };
        for (size_t i = 0; i < result_.vessels.size(); ++i) {
            ScenarioVessel& v = result_.vessels[i];
            std::erase_if(v.docks, [&](const ScenarioDockLink& link) { return !index.count(link.vessel); });
            for (const ScenarioDockLink& link : v.docks) {
                if (link.port >= v.ports) return noPort(link, v, link.port);
                const size_t other = index.at(link.vessel);
                if (other == i)
                    return fail(link.line, "DOCKINFO: ship " + inQuotes(v.name) + " docked to itself");
                const ScenarioVessel& o = result_.vessels[other];
                if (link.otherPort >= o.ports) return noPort(link, o, link.otherPort);
                const std::pair<size_t, unsigned> a{i, link.port}, b{other, link.otherPort};
                for (const auto& [from, to] : {std::pair{a, b}, std::pair{b, a}}) {
                    const auto [at, added] = partner.emplace(from, to);
                    if (!added && at->second != to) {
                        return fail(link.line, "DOCKINFO: port " + std::to_string(from.second) + " of " +
                                                   inQuotes(result_.vessels[from.first].name) +
                                                   " is already docked to " +
                                                   inQuotes(result_.vessels[at->second.first].name));
                    }
                }
            }
        }
        return true;
    }
};

// A display that shows nothing: the simulator writes no block for it.
bool isOff(const ScenarioDisplay& d) { return d.type.empty() && d.block.empty(); }

// The layout of a scenario that was not loaded: the blocks in the order the simulator saves them.
std::vector<ScenarioLayoutEntry> simulatorLayout(const ScenarioDescription& scenario) {
    std::vector<ScenarioLayoutEntry> out;
    auto text = [&](std::string line) { out.push_back({ScenarioPart::Text, std::move(line)}); };
    if (!scenario.description.empty()) {
        out.push_back({ScenarioPart::Description, {}});
        text("");
    }
    for (const char* line :
         {"BEGIN_ENVIRONMENT", "  System Sol", "  Date MJD 51544.5", "END_ENVIRONMENT", ""})
        text(line);
    out.push_back({ScenarioPart::Focus, {}});
    text("");
    for (const ScenarioDisplay& d : scenario.displays) {
        if (isOff(d)) continue;
        out.push_back({ScenarioPart::Display, d.name});
        text("");
    }
    out.push_back({ScenarioPart::Ships, {}});
    return out;
}

// A display whose size or ship the simulator's format cannot say, for the emulator's block.
bool needsEmulatorLine(const ScenarioDisplay& d, const std::string& focus) {
    return d.width != kDefaultDisplaySize || d.height != kDefaultDisplaySize || d.vessel != focus;
}

class Writer {
public:
    explicit Writer(const ScenarioDescription& scenario) : s_(scenario) {}

    std::string run() {
        const std::vector<ScenarioLayoutEntry> simulators =
            s_.layout.empty() ? simulatorLayout(s_) : std::vector<ScenarioLayoutEntry>{};
        const std::vector<ScenarioLayoutEntry>& entries = s_.layout.empty() ? simulators : s_.layout;
        bool emulatorBlock = false;
        for (const ScenarioLayoutEntry& e : entries) {
            switch (e.part) {
                case ScenarioPart::Text:
                    line(e.text);
                    break;
                case ScenarioPart::Description:
                    description();
                    break;
                case ScenarioPart::Focus:
                    focus();
                    break;
                case ScenarioPart::Display:
                    display(e.text);
                    break;
                case ScenarioPart::Ships:
                    ships();
                    break;
                case ScenarioPart::Emulator:
                    emulator();
                    emulatorBlock = true;
                    break;
            }
        }
        if (!emulatorBlock && needsEmulator()) {
            line("");
            emulator();
        }
        return std::move(out_);
    }

private:
    const ScenarioDescription& s_;
    std::string out_;

    void line(std::string_view text) {
        out_ += text;
        out_ += '\n';
    }

    void description() {
        line(kBeginDesc);
        for (const std::string& text : s_.description) line(text);
        line(kEndDesc);
    }

    void focus() {
        if (s_.focus.empty()) return;
        line(kBeginFocus);
        line("  Ship " + s_.focus);
        line(kEndFocus);
    }

    void display(const std::string& name) {
        const auto d = std::find_if(s_.displays.begin(), s_.displays.end(),
                                    [&](const ScenarioDisplay& x) { return x.name == name; });
        if (d == s_.displays.end() || isOff(*d)) return;
        if (!d->block.empty()) {
            for (const std::string& text : d->block) line(text);
            return;
        }
        line(std::string(kBeginMfd) + " " + d->name);
        if (!d->type.empty()) line("  TYPE " + d->type);
        if (!d->mode.empty()) line("  MODE " + d->mode);
        for (const std::string& item : d->items) line("  " + item);
        line(kEndMfd);
    }

    void ships() {
        line(kBeginShips);
        for (const ScenarioVessel& v : s_.vessels) {
            for (const std::string& text : v.before) line(text);
            line(v.name + ":" + v.className);
            for (const std::string& text : shipLines(v)) line(text);
            line(kEnd);
        }
        for (const std::string& text : s_.shipsEnd) line(text);
        line(kEndShips);
    }

    // The ship's own lines with its levels and docking written anew: in place of the first
    // line that held them, or where the simulator writes them.
    static std::vector<std::string> shipLines(const ScenarioVessel& v) {
        std::string levels, docking;
        for (size_t i = 0; i < v.tanks.size(); ++i) {
            if (v.tanks[i].mass > 0.0)
                levels += " " + std::to_string(i) + ":" + formatLevel(v.tanks[i].mass, v.tanks[i].capacity);
        }
        for (const ScenarioDockLink& link : v.docks)
            docking +=
                " " + std::to_string(link.port) + ":" + std::to_string(link.otherPort) + "," + link.vessel;
        if (!levels.empty()) levels = "  " + std::string(kLevels) + levels;
        if (!docking.empty()) docking = "  " + std::string(kDockInfo) + docking;

        std::vector<std::string> out;
        bool levelsPlaced = false, dockingPlaced = false;
        for (const std::string& text : v.lines) {
            const std::string_view word = keyword(text);
            if (equalsIgnoringCase(word, kLevels) || equalsIgnoringCase(word, kFuel)) {
                if (!levelsPlaced && !levels.empty()) out.push_back(levels);
                levelsPlaced = true;
            } else if (equalsIgnoringCase(word, kDockInfo)) {
                if (!dockingPlaced && !docking.empty()) out.push_back(docking);
                dockingPlaced = true;
            } else {
                out.push_back(text);
            }
        }
        auto insertAfterLeading = [&](const std::string& text, auto before) {
            auto at = out.begin();
            while (at != out.end() && before(keyword(*at))) ++at;
            out.insert(at, text);
        };
        auto beforeLevels = [](std::string_view w) { return oneOf(w, kBeforeLevels); };
        if (!levelsPlaced && !levels.empty()) insertAfterLeading(levels, beforeLevels);
        if (!dockingPlaced && !docking.empty()) {
            insertAfterLeading(
                docking, [&](std::string_view w) { return beforeLevels(w) || oneOf(w, kBeforeDocking); });
        }
        return out;
    }

    bool needsEmulator() const {
        return !s_.viewSizes.empty() ||
               std::any_of(s_.displays.begin(), s_.displays.end(),
                           [&](const ScenarioDisplay& d) { return needsEmulatorLine(d, s_.focus); });
    }

    void emulator() {
        if (!needsEmulator()) return;
        line(kEmulatorBlock);
        line(
            "  ; kestrane-sim's own: display sizes in pixels, and the ship of a display that is not the "
            "focus ship's");
        for (const ScenarioDisplay& d : s_.displays) {
            if (!needsEmulatorLine(d, s_.focus)) continue;
            line("  DISPLAY " + d.name + " " + std::to_string(d.width) + " " + std::to_string(d.height) +
                 (d.vessel != s_.focus ? " " + d.vessel : std::string()));
        }
        for (const auto& [view, size] : s_.viewSizes)
            line("  VIEW " + view + " " + std::to_string(size.first) + " " + std::to_string(size.second));
        line(kEnd);
    }
};

}  // namespace

bool isOneWordName(std::string_view name) {
    return !name.empty() && name.find_first_of(" \t\r\n;:") == std::string_view::npos;
}

std::vector<ScenarioLayoutEntry> layoutFor(const ScenarioDescription& base, const ScenarioDescription& now) {
    if (base.layout.empty()) return simulatorLayout(now);
    auto has = [&](const std::string& name) {
        return std::any_of(now.displays.begin(), now.displays.end(),
                           [&](const ScenarioDisplay& d) { return d.name == name && !isOff(d); });
    };
    std::vector<ScenarioLayoutEntry> out;
    for (const ScenarioLayoutEntry& e : base.layout) {
        if (e.part != ScenarioPart::Display || has(e.text)) out.push_back(e);
    }
    auto at = [&](ScenarioPart part) {
        return std::find_if(out.begin(), out.end(),
                            [&](const ScenarioLayoutEntry& e) { return e.part == part; });
    };
    if (at(ScenarioPart::Ships) == out.end()) out.push_back({ScenarioPart::Ships, {}});
    if (!now.description.empty() && at(ScenarioPart::Description) == out.end()) {
        out.insert(out.begin(), {{ScenarioPart::Description, {}}, {ScenarioPart::Text, ""}});
    }
    if (at(ScenarioPart::Focus) == out.end()) {
        out.insert(at(ScenarioPart::Ships), {{ScenarioPart::Focus, {}}, {ScenarioPart::Text, ""}});
    }
    for (const ScenarioDisplay& d : now.displays) {
        if (isOff(d) || std::any_of(out.begin(), out.end(), [&](const ScenarioLayoutEntry& e) {
                return e.part == ScenarioPart::Display && e.text == d.name;
            }))
            continue;
        const auto last = std::find_if(out.rbegin(), out.rend(), [](const ScenarioLayoutEntry& e) {
            return e.part == ScenarioPart::Display;
        });
        const ScenarioLayoutEntry display{ScenarioPart::Display, d.name}, blank{ScenarioPart::Text, ""};
        if (last != out.rend())
            out.insert(last.base(), {blank, display});
        else
            out.insert(at(ScenarioPart::Ships), {display, blank});
    }
    return out;
}

bool isDisplayId(std::string_view name) {
    if (equalsIgnoringCase(name, "Left") || equalsIgnoringCase(name, "Right")) return true;
    unsigned n = 0;
    return number(name, n) && n >= 3 && n <= 12 && name[0] != '0';
}

bool isExternalDisplayName(std::string_view name) {
    unsigned n = 0;
    return name.size() > 3 && equalsIgnoringCase(name.substr(0, 3), "Ext") && name[3] != '0' &&
           number(name.substr(3), n) && n >= 1 && n <= 99;
}

std::string formatLevel(double mass, double capacity) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", capacity > 0.0 ? std::clamp(mass / capacity, 0.0, 1.0) : 0.0);
    return text;
}

std::optional<ScenarioDescription> parseScenario(std::string_view text, const std::string& source,
                                                 std::string& error, const VesselCatalogue& classes) {
    return Parser(text, source, classes, error).run();
}

std::optional<ScenarioDescription> readScenarioFile(const std::string& path, std::string& error,
                                                    const VesselCatalogue& classes) {
    const std::optional<std::string> text = readFile(path, error);
    if (!text) return std::nullopt;
    return parseScenario(*text, path, error, classes);
}

std::string formatScenario(const ScenarioDescription& scenario) { return Writer(scenario).run(); }

bool writeScenarioFile(const std::string& path, std::string_view text, std::string& error) {
    ReplacingFile file(path);
    return file.write(text, error) && file.commit(error);
}

}  // namespace sim
