#include "sim/cli/play.h"

#include <curses.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <utility>
#include <vector>

#include "display/cell_grid.h"
#include "sim/cli/emulator.h"
#include "sim/cli/keys.h"
#include "sim/cli/ledger.h"
#include "sim/cli/runner.h"
#include "sim/cli/term_colours.h"
#include "sim/cli/terminal.h"
#include "sim/cli/transfer_watch.h"
#include "sim/formats/text.h"

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kMinAccel = 0.1, kMaxAccel = 10000.0;
constexpr double kLongestFrame = 0.1;  // a stalled terminal does not turn into one huge step

class Screen {
public:
    explicit Screen(ColourChoice choice) {
        initscr();
        cbreak();
        noecho();
        keypad(stdscr, TRUE);
        set_escdelay(25);
        timeout(20);
        curs_set(0);
        const char* noColour = std::getenv("NO_COLOR");
        const bool wanted =
            choice == ColourChoice::Always || (choice == ColourChoice::Auto && !(noColour && *noColour));
        colour_ = wanted && has_colors() && start_color() == OK && COLORS >= 8;
        if (colour_) use_default_colors();
    }
    ~Screen() { endwin(); }
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    bool colour() const { return colour_; }

    // A colour pair for text and background, made on first use.
    int pair(COLORREF text, COLORREF background) {
        const auto key = std::make_pair(text, background);
        if (const auto it = pairs_.find(key); it != pairs_.end()) return it->second;
        const int next = static_cast<int>(pairs_.size()) + 1;
        if (next >= COLOR_PAIRS) return 0;
        init_pair(static_cast<short>(next), static_cast<short>(nearestPaletteColour(text, COLORS)),
                  static_cast<short>(nearestPaletteColour(background, COLORS)));
        pairs_[key] = next;
        return next;
    }

private:
    bool colour_ = false;
    std::map<std::pair<COLORREF, COLORREF>, int> pairs_;
};

// Rows from here down are kept for the hint and the last key's outcome.
int rowLimit = 0;
void put(int y, int x, const std::string& text);

enum class Command {
    Display,
    ModeSelect,
    Power,
    Focus,
    View,
    OpenExternal,
    Resize,
    Pin,
    CloseExternal,
    NextDisplay,
    PreviousDisplay,
    Slower,
    Faster,
    Pause,
    Save,
    Quit
};

// What a pause refuses, as the pause's key and the hint while paused say it.
#define KESTRANE_REFUSED_WHILE_PAUSED "the display's keys, F1, O, F3, F8, E, R, K and X"

struct Binding {
    Command command;
    // As curses reads them. The display's keys reach it as every other character does: theirs
    // are here for the reader.
    std::vector<int> codes;
    PlayKey key;
};

// Every key play takes, in the order the panel, the help and the README list them.
const std::vector<Binding>& bindings() {
    static const std::vector<Binding> table = {
        {Command::Display, {'m', 'M'}, {{"M"}, "M  pump mode", "next pump mode"}},
        {Command::Display, {'=', '+'}, {{"=", "+"}, "+  rate up", "raise the pump rate"}},
        {Command::Display, {'-'}, {{"-"}, "-  rate down", "lower the pump rate"}},
        {Command::Display, {'t', 'T'}, {{"T"}, "T  target tank", "next target tank"}},
        {Command::Display, {'s', 'S'}, {{"S"}, "S  source tank", "next source tank"}},
        {Command::Display, {'d', 'D'}, {{"D"}, "D  docking port", "next docking port"}},
        {Command::Display, {'/', '?'}, {{"/", "?"}, "?  help page", "the instrument's help page on and off"}},
        {Command::ModeSelect,
         {KEY_F(1)},
         {{"F1"},
          "F1  mode select",
          "the mode selection page of the display (the simulator's mode-select key); on it, F opens Fuel "
          "Management, F1 goes back to the mode shown before"}},
        {Command::Power,
         {'o', 'O'},
         {{"O"},
          "O  display power",
          "the display's power key (the simulator's Shift-Esc): off, or on again in the mode it showed last "
          "(else the simulator's Orbit display)"}},
        {Command::Focus,
         {KEY_F(3)},
         {{"F3"},
          "F3  next vessel",
          "the focus on the next vessel: every display of the old focus vessel is closed and opened again, "
          "in the same mode, for the new one (which stops a running transfer)"}},
        {Command::View,
         {KEY_F(8)},
         {{"F8"},
          "F8  cockpit view",
          "the next cockpit view (as the simulator's F8): every cockpit display closes and opens again in "
          "its "
          "mode at the view's size, which the scenario's VIEW lines give"}},
        {Command::OpenExternal,
         {'e', 'E'},
         {{"E"},
          "E  ext. display",
          "a new external display (a window of its own, as the simulator's plug-in opens one), 300 x 300 in "
          "Fuel Management on the focus vessel, shown at once; not saved"}},
        {Command::Resize,
         {'r', 'R'},
         {{"R"},
          "R  resize",
          "the display shown at the next size (232, 300, 369, 512 square, 500 x 400), as a window resized: "
          "its "
          "mode closes and opens again at that size"}},
        {Command::Pin,
         {'k', 'K'},
         {{"K"},
          "K  pin",
          "pin the external display shown to its vessel (it stays there when the focus moves), or unpin it"}},
        {Command::CloseExternal, {'x', 'X'}, {{"X"}, "X  close window", "close the external display shown"}},
        {Command::NextDisplay, {'\t'}, {{"Tab"}, "Tab  displays", "next display"}},
        {Command::PreviousDisplay, {KEY_BTAB}, {{"Shift+Tab"}, "", "previous display"}},
        {Command::Slower,
         {'<', ','},
         {{"<", ","}, "< >  time accel.", "time acceleration down, tenfold (down to 0.1)"}},
        {Command::Faster, {'>', '.'}, {{">", "."}, "", "time acceleration up, tenfold (up to 10000)"}},
        {Command::Pause,
         {'p', 'P', ' '},
         {{"P", "space"},
          "P  pause",
          "pause and go on: while paused no time passes, no display is redrawn, "
          "and " KESTRANE_REFUSED_WHILE_PAUSED " are refused (the line below the display says so)"}},
        {Command::Save,
         {'w', 'W', KEY_F(2)},
         {{"W", "F2"},
          "W  save",
          "save into the --out folder (the description kept); the flight goes on as it was, nothing is "
          "loaded"}},
        {Command::Quit,
         {'q', 'Q', 27},
         {{"Q", "Esc"}, "Q  quit", "quit; the tank table and the conservation check are printed"}},
    };
    return table;
}

std::string joinedNames(const PlayKey& key) {
    std::string out;
    for (const std::string& n : key.names) out += (out.empty() ? "" : " or ") + n;
    return out;
}

// The key panel in as many columns as `width` holds, down each column first.
std::vector<std::string> keyPanel(size_t width) {
    std::vector<std::string> cells;
    size_t cell = 0;
    for (const Binding& b : bindings()) {
        if (b.key.panel.empty()) continue;
        cells.push_back(b.key.panel);
        cell = std::max(cell, b.key.panel.size() + 2);
    }
    // The last column needs no gap after it.
    const size_t columns = std::max<size_t>(1, (width + 2) / cell);
    const size_t rows = (cells.size() + columns - 1) / columns;
    std::vector<std::string> lines(rows);
    for (size_t i = 0; i < cells.size(); ++i) {
        std::string& line = lines[i % rows];
        line.resize((i / rows) * cell, ' ');
        line += cells[i];
    }
    return lines;
}

// The title within `width`: a long scenario path loses its beginning, not its file name.
std::string fitTitle(const std::string& label, size_t width) {
    const std::string head = "kestrane-sim play: ";
    if (head.size() + label.size() <= width) return head + label;
    const size_t room = width > head.size() + 3 ? width - head.size() - 3 : 0;
    return head + "..." + label.substr(label.size() - std::min(room, label.size()));
}

// The panel beside the display and the rows below it are at least this wide: the key panel in
// three columns, and beside a 300-pixel display (43 columns) still within 109.
constexpr size_t kPanelWidth = 52;
constexpr size_t kTransferRows = 4;
constexpr int kMessageRows = 3;  // the hint and up to two of the last key's outcome

class Player {
public:
    Player(Emulator& emulator, const PlayOptions& options, sim::ScenarioDescription base)
        : emulator_(emulator), options_(options), base_(std::move(base)), accel_(options.accel) {}

    int run();
    std::vector<std::string> written;
    TankLedger ledger;

private:
    void handle(int key);
    void command(Command command, int key);
    void save();
    void switchFocus();
    void switchView();
    void openExternal();
    void resize(sim::Display& display);
    std::string pausedRefusal(Command command, const sim::Display* display);
    // The picture of the display on screen, as it was last drawn.
    const Painted& picture();
    void drawDisplay(int top, int left);
    // The panel beside the display, one line each, within `width` columns.
    std::vector<std::pair<std::string, int>> side(size_t width);
    sim::Display* current();
    std::string hint();
    void draw();

    Emulator& emulator_;
    const PlayOptions& options_;
    sim::ScenarioDescription base_;  // what a save is laid out as: the scenario running now
    Screen* screen_ = nullptr;
    double accel_;
    bool paused_ = false;
    bool quit_ = false;
    size_t displayIndex_ = 0;
    size_t view_ = std::size(sim::kCockpitViews);  // the cockpit view F8 switched to last; none yet
    std::string message_;                          // what the last key did
    TransferWatch transfer_;
};

sim::Display* Player::current() {
    const std::vector<sim::Display*> displays = emulator_.simulation().displays();
    if (displays.empty()) return nullptr;
    displayIndex_ %= displays.size();
    return displays[displayIndex_];
}

// What the pilot can do next on the display shown.
std::string Player::hint() {
    if (paused_)
        return "Paused: no time passes, and " KESTRANE_REFUSED_WHILE_PAUSED
               " are refused. P or space goes on.";
    sim::Display* d = current();
    if (!d) return "No display. Q to quit.";
    const std::string keys = modeKeys(emulator_.simulation());
    if (d->selecting())
        return "Mode selection: press " + (keys.empty() ? std::string("F1") : keys + ", F1") + " to go back.";
    if (d->off())
        return d->name() + " is off: press O to switch it on, or F1 for the mode selection, then " + keys +
               ".";
    if (!d->instrument())
        return d->name() + " shows " + d->foreign() +
               ", not emulated: press F1 for the mode selection, then " + keys + ".";
    return "Press M to step the pump mode, ? for the instrument's help, F1 for the mode selection, Q to "
           "quit.";
}

void Player::save() {
    sim::Simulation& s = emulator_.simulation();
    std::filesystem::path path = options_.outDir / (options_.stem + "-saved.scn");
    for (int n = 2; std::find(written.begin(), written.end(), path.string()) != written.end(); ++n)
        path = options_.outDir / (options_.stem + "-saved-" + std::to_string(n) + ".scn");
    const double now = s.simTime;
    const std::string text = savedScenario(s, base_, "kestrane-sim play", now);
    std::string error;
    std::error_code ec;
    std::filesystem::create_directories(options_.outDir, ec);
    if (ec || !sim::writeScenarioFile(path.string(), text, error)) {
        message_ = "Not saved: " + (ec ? options_.outDir.string() + ": " + ec.message() : error);
    } else {
        written.push_back(path.string());
        // The simulator's external displays are its plug-in's windows, which no scenario keeps.
        std::string external;
        for (const sim::Display* d : s.displays())
            if (d->external) external += (external.empty() ? "" : ", ") + d->name();
        // As the simulator's quicksave: nothing is loaded, the tanks keep their exact masses.
        message_ = "Saved " + path.string() +
                   (external.empty() ? "" : " without " + external + " (external displays are not saved)") +
                   "; the flight goes on as it was.";
    }
}

void Player::switchFocus() {
    const std::vector<sim::VesselRecord*> vessels = emulator_.simulation().vessels();
    sim::VesselRecord* from = emulator_.focus();
    if (vessels.size() < 2 || !from) {
        message_ = "F3: no other vessel to take the focus";
        return;
    }
    const auto at = std::find(vessels.begin(), vessels.end(), from);
    sim::VesselRecord& to =
        *vessels[at == vessels.end() ? 0 : static_cast<size_t>(at - vessels.begin() + 1) % vessels.size()];
    const Emulator::FocusSwitch done = emulator_.switchFocus(to);
    base_.focus = to.name;
    std::string reopened, stayed;
    for (const std::string& r : done.reopened) reopened += (reopened.empty() ? "" : ", ") + r;
    for (const std::string& st : done.stayed) stayed += (stayed.empty() ? "" : ", ") + st;
    message_ =
        "F3: focus " + to.name + "; the displays of " + done.from + " opened again for it (" + reopened +
        ")" + (stayed.empty() ? "" : "; pinned, staying: " + stayed) +
        (done.stoppedTransfer ? "; the running transfer stopped (the module resets it for another vessel)."
                              : ".");
}

void Player::switchView() {
    // The views the scenario sizes, in the order F8 steps through them, from the one after the last.
    constexpr size_t kViews = std::size(sim::kCockpitViews);
    for (size_t step = 1; step <= kViews; ++step) {
        const size_t next = (view_ + step) % (kViews + 1);
        if (next == kViews) continue;
        const std::string view(sim::kCockpitViews[next]);
        const auto size = base_.viewSizes.find(view);
        if (size == base_.viewSizes.end()) continue;
        view_ = next;
        const Emulator::FocusSwitch done = emulator_.switchView(size->second.first, size->second.second);
        std::string reopened;
        for (const std::string& r : done.reopened) reopened += (reopened.empty() ? "" : ", ") + r;
        message_ = "F8: view " + view + ", the cockpit's displays opened again at " +
                   std::to_string(size->second.first) + " x " + std::to_string(size->second.second) + " (" +
                   reopened + ")" +
                   (done.stoppedTransfer
                        ? "; the running transfer stopped (the module resets it for another vessel)."
                        : ".");
        return;
    }
    message_ =
        "F8: the scenario does not say how large the cockpit's displays are in any view (VIEW lines in "
        "its BEGIN_KESTRANE_SIM block, docs/scenario-format.md); the view stays.";
}

void Player::openExternal() {
    sim::Simulation& s = emulator_.simulation();
    sim::VesselRecord* focus = emulator_.focus();
    int n = 1;
    while (n <= 99 && s.findDisplay("Ext" + std::to_string(n))) ++n;
    if (!focus || n > 99) {
        message_ = focus ? "E: 99 external displays are open already" : "E: no vessel to open a display on";
        return;
    }
    const std::string name = "Ext" + std::to_string(n);
    sim::Display& d = s.addDisplay(name, *focus, sim::kExternalDisplaySize, sim::kExternalDisplaySize);
    d.external = true;
    const std::string elsewhere = emulator_.transferShownElsewhere(d);
    d.openMode(emulator_.modeName());
    emulator_.redrawPending();
    displayIndex_ = s.displays().size() - 1;
    message_ = "E: " + name + ", an external display of 300 x 300 on " + focus->name + ", in " +
               Emulator::showing(d) + emulator_.stoppedByOpening(d, elsewhere) + ".";
}

void Player::resize(sim::Display& d) {
    static constexpr std::pair<unsigned, unsigned> kSizes[] = {
        {232, 232}, {300, 300}, {369, 369}, {512, 512}, {500, 400}};
    const auto* at = std::find(std::begin(kSizes), std::end(kSizes), std::pair{d.width(), d.height()});
    const auto [width, height] = at == std::end(kSizes) || at + 1 == std::end(kSizes) ? kSizes[0] : *(at + 1);
    const std::string elsewhere = emulator_.transferShownElsewhere(d);
    const std::string shows = emulator_.resize(d, width, height);
    message_ = "R: " + d.name() + " at " + std::to_string(width) + " x " + std::to_string(height) + ", " +
               (d.instrument() ? shows + " opened again at that size" : "showing " + shows) +
               emulator_.stoppedByOpening(d, elsewhere) + ".";
}

// Why a window or view key waits for the simulation to run: the display keys' refusal is the
// emulator's, these are play's own.
std::string Player::pausedRefusal(Command command, const sim::Display* d) {
    const std::string name = d ? d->name() : std::string("the display");
    const std::string drawn = ", and nothing is drawn while paused.";
    switch (command) {
        case Command::View:
            return "F8: not while paused: a view switch closes the cockpit's displays and opens them again "
                   "at "
                   "the view's size" +
                   drawn;
        case Command::Focus: {
            const sim::VesselRecord* focus = emulator_.focus();
            return "F3: not while paused: a focus switch closes the displays of " +
                   (focus ? focus->name : std::string("the focus vessel")) +
                   " and opens them again for the next vessel" + drawn;
        }
        case Command::OpenExternal:
            return "E: not while paused: a new external display opens in Fuel Management" + drawn;
        case Command::Resize:
            return "R: not while paused: a resize closes " + name +
                   "'s mode and opens it again at the next size" + drawn;
        case Command::Pin:
            return "K: not while paused: a pin only matters when the focus moves (F3), which waits for the "
                   "simulation to run too.";
        case Command::CloseExternal:
            return "X: not while paused: closing " + name +
                   "'s window ends its instrument, and play changes no display while paused.";
        default:
            return Emulator::kPausedRefusal;
    }
}

const Painted& Player::picture() {
    static const Painted kNone;
    sim::Display* d = current();
    const Emulator::Drawing* drawing = d ? emulator_.lastDrawing(*d) : nullptr;
    return drawing ? drawing->painted : kNone;
}

void Player::handle(int key) {
    for (const Binding& b : bindings()) {
        if (b.command != Command::Display && std::find(b.codes.begin(), b.codes.end(), key) != b.codes.end())
            return command(b.command, key);
    }
    // Every other character goes to the display, as the simulator hands on its keys: the
    // instrument's, and a mode's key on the mode selection page.
    if (key < 0 || key > 0xff) return;
    const std::optional<uint32_t> code = keyForCharacter(static_cast<char>(key));
    sim::Display* d = current();
    if (!code || !d) return;
    const std::string what = emulator_.press(
        *d, [&] { return d->key(*code); }, "->");
    char text[48];
    std::snprintf(text, sizeof text, "Key %c (scan code 0x%02X) on ", static_cast<char>(key), *code);
    message_ = text + d->name() + ": " + what;
}

void Player::command(Command command, int key) {
    sim::Display* d = current();
    switch (command) {
        case Command::Display:
            return;
        case Command::Quit:
            quit_ = true;
            return;
        case Command::NextDisplay:
        case Command::PreviousDisplay:
            displayIndex_ +=
                command == Command::NextDisplay ? 1 : emulator_.simulation().displays().size() - 1;
            if ((d = current()))
                message_ =
                    (command == Command::NextDisplay ? "Tab" : "Shift+Tab") + (": display " + d->name());
            return;
        case Command::Slower:
        case Command::Faster: {
            accel_ = command == Command::Faster ? std::min(accel_ * 10.0, kMaxAccel)
                                                : std::max(accel_ / 10.0, kMinAccel);
            char text[64];
            std::snprintf(text, sizeof text, "Key %c: time acceleration x%g", static_cast<char>(key), accel_);
            message_ = text;
            return;
        }
        case Command::Pause:
            paused_ = !paused_;
            emulator_.paused = paused_;
            message_ = paused_ ? "Paused." : "Going on.";
            return;
        case Command::Save:
            save();
            return;
        case Command::ModeSelect:
            if (d)
                message_ = "Mode select on " + d->name() + ": " +
                           (paused_ ? std::string(Emulator::kPausedRefusal) : selectOutcome(*d));
            return;
        case Command::Power:
            if (!d) return;
            if (paused_) {
                message_ = "Power on " + d->name() + ": " + Emulator::kPausedRefusal;
            } else {
                const bool on = d->power();
                emulator_.redrawPending();
                message_ = "Power on " + d->name() + ": " +
                           (!on               ? std::string("off")
                            : d->instrument() ? "on, " + d->modeName()
                                              : "on, " + d->foreign() + " (not emulated)");
            }
            return;
        case Command::Focus:
            if (paused_)
                message_ = pausedRefusal(command, d);
            else
                switchFocus();
            return;
        case Command::View:
        case Command::OpenExternal:
        case Command::Resize:
        case Command::Pin:
        case Command::CloseExternal:
            break;
    }
    const std::string name =
        command == Command::View ? "F8" : std::string(1, static_cast<char>(std::toupper(key)));
    if (paused_) {
        message_ = pausedRefusal(command, d);
    } else if (command == Command::View) {
        switchView();
    } else if (command == Command::OpenExternal) {
        openExternal();
    } else if (!d) {
        message_ = name + ": no display";
    } else if (command == Command::Resize) {
        resize(*d);
    } else if (!d->external) {
        message_ = name + ": " + d->name() +
                   " is one of the cockpit's displays, which show the focus vessel; " +
                   (command == Command::Pin ? "only external displays (E) are pinned" : "O switches it off");
    } else if (command == Command::Pin) {
        d->pinned = !d->pinned;
        message_ = "K: " + d->name() +
                   (d->pinned ? " pinned to " + d->vessel().name + ": it stays there when the focus moves"
                              : " unpinned: it goes over to the focus vessel when the focus moves");
    } else {
        const std::string closed = d->name();
        emulator_.closeWindow(*d);
        message_ = "X: " + closed + "'s window closed (a running transfer goes on)";
    }
}

void Player::drawDisplay(int top, int left) {
    const Painted& painted = picture();
    if (!painted.surface) return;
    const auto inside = [](int y, int x) {
        return y >= 0 && y < std::min(LINES, rowLimit) && x >= 0 && x < COLS;
    };
    const auto addAt = [&](int y, int x, chtype c) {
        if (inside(y, x)) mvaddch(y, x, c);
    };
    const auto lineAt = [&](int y, int x, chtype c, int n) {
        if (inside(y, x)) mvhline(y, x, c, std::min(n, COLS - x));
    };
    const sim::CellView& cells = painted.surface->cells();
    const int rows = cells.rows(), columns = cells.columns();
    addAt(top, left, ACS_ULCORNER);
    lineAt(top, left + 1, ACS_HLINE, columns);
    addAt(top, left + columns + 1, ACS_URCORNER);
    for (int row = 0; row < rows; ++row) {
        addAt(top + 1 + row, left, ACS_VLINE);
        for (int column = 0; column < columns; ++column) {
            const sim::Cell& c = cells.cell(column, row);
            // Gauges read '#' and '.' only without colours; curses here takes no UTF-8.
            const std::string text =
                screen_->colour() ? sim::cellText(c, false) : sim::plainCellText(cells, column, row);
            const chtype glyph = text.size() == 1 ? static_cast<unsigned char>(text[0]) : '?';
            int attributes = 0;
            if (screen_->colour())
                attributes = COLOR_PAIR(screen_->pair(c.drawn ? c.text : 0xc0c0c0, sim::terminalPaint(c)));
            addAt(top + 1 + row, left + 1 + column, glyph | static_cast<chtype>(attributes));
        }
        addAt(top + 1 + row, left + columns + 1, ACS_VLINE);
    }
    addAt(top + rows + 1, left, ACS_LLCORNER);
    lineAt(top + rows + 1, left + 1, ACS_HLINE, columns);
    addAt(top + rows + 1, left + columns + 1, ACS_LRCORNER);
    for (int slot = 0; slot < 6; ++slot) {
        const int row = top + 1 + buttonRow(painted, slot);
        const std::string& l = painted.labels[static_cast<size_t>(slot)];
        const std::string& r = painted.labels[static_cast<size_t>(slot + 6)];
        if (!l.empty()) put(row, left - 1 - static_cast<int>(l.size()), l);
        if (!r.empty()) put(row, left + columns + 3, r);
    }
}

std::vector<std::pair<std::string, int>> Player::side(size_t width) {
    sim::Simulation& s = emulator_.simulation();
    std::vector<std::pair<std::string, int>> lines;
    char text[256];
    lines.emplace_back(fitTitle(options_.scenarioLabel, width), A_BOLD);
    std::snprintf(text, sizeof text, "Time %.2f s   acceleration x%g", s.simTime, accel_);
    lines.emplace_back(text, 0);
    if (paused_) lines.back().first += "   PAUSED";
    const std::vector<sim::Display*> displays = s.displays();
    if (sim::Display* d = current()) {
        std::snprintf(text, sizeof text, " (%zu of %zu) on ", displayIndex_ + 1, displays.size());
        lines.emplace_back("Display " + d->name() + text + sim::printable(d->vessel().name), 0);
    } else {
        lines.emplace_back("No display", 0);
    }
    // Always the same rows, so that a transfer starting or stopping does not move the panel.
    std::vector<std::string> transfer = transfer_.status(accel_);
    transfer.resize(kTransferRows);
    for (size_t i = 0; i < transfer.size(); ++i)
        lines.emplace_back(transfer[i].empty() ? "" : (i == 0 ? "Transfer: " : "  ") + transfer[i], 0);
    lines.emplace_back("", 0);
    lines.emplace_back("Tanks", A_BOLD);
    for (sim::VesselRecord* v : s.vessels()) {
        for (size_t i = 0; i < v->tanks.size(); ++i) {
            std::snprintf(text, sizeof text, "  %-12.12s %2zu %11.3f of %9.1f kg",
                          sim::printable(v->name).c_str(), i + 1, v->tanks[i].mass, v->tanks[i].capacity);
            lines.emplace_back(text, 0);
        }
    }
    std::snprintf(text, sizeof text, "  total %27.3f kg", s.totalPropellant());
    lines.emplace_back(text, 0);
    lines.emplace_back("", 0);
    lines.emplace_back("Keys (other letters go to the display)", A_BOLD);
    for (std::string& k : keyPanel(width)) lines.emplace_back(std::move(k), 0);
    // Long names end in a mark within the panel rather than at the terminal's edge.
    for (auto& [line, attributes] : lines) {
        if (line.size() > width) line = wrapWords(line, width, 1).front();
    }
    return lines;
}

// Text at (y, x), cut at the screen's right edge with a '>' in the last column rather than
// wrapped onto the next row.
void put(int y, int x, const std::string& text) {
    if (y < 0 || y >= std::min(LINES, rowLimit) || x >= COLS || text.empty()) return;
    size_t from = 0;
    if (x < 0) {
        from = static_cast<size_t>(-x);
        x = 0;
        if (from >= text.size()) return;
    }
    const int length = static_cast<int>(text.size() - from);
    mvaddnstr(y, x, text.c_str() + from, std::min(length, COLS - x));
    if (length > COLS - x) mvaddch(y, COLS - 1, '>');
}

void Player::draw() {
    size_t labelWidth = 3;
    for (const std::string& l : picture().labels) labelWidth = std::max(labelWidth, l.size());
    const int left = static_cast<int>(labelWidth) + 2;
    const int columns = picture().surface ? picture().surface->cells().columns() : grid::kColumns;
    const int rows = picture().surface ? picture().surface->cells().rows() : grid::kRows;
    const int sideLeft = left + columns + 4 + static_cast<int>(labelWidth) + 2;
    // The panel takes the width the terminal has beside the display.
    const size_t sideWidth = std::max(kPanelWidth, static_cast<size_t>(std::max(COLS - sideLeft, 0)));
    const std::vector<std::pair<std::string, int>> sideLines = side(sideWidth);
    const int sideRows = static_cast<int>(sideLines.size());
    const int neededColumns = sideLeft + static_cast<int>(kPanelWidth);
    const int neededRows = std::max(rows + 2, sideRows) + kMessageRows;
    int top = 0;
    const size_t width = static_cast<size_t>(std::max(COLS, 1));
    if (COLS < neededColumns || LINES < neededRows) {
        // Say what is cut rather than leave rows or columns out unnoticed.
        char notice[160];
        std::snprintf(
            notice, sizeof notice,
            "Terminal %d x %d, too small (needs %d x %d): showing what fits of the display and panel.", COLS,
            LINES, neededColumns, neededRows);
        rowLimit = LINES;
        attron(A_REVERSE);
        for (const std::string& line : wrapWords(notice, width, 2)) put(top++, 0, line);
        attroff(A_REVERSE);
    }
    // The hint and the outcome come first when rows are short: they say what to do next.
    const int messageTop = std::min(top + std::max(rows + 2, sideRows), std::max(LINES - kMessageRows, top));
    rowLimit = LINES;
    attron(A_BOLD);
    int y = messageTop;
    for (const std::string& line : wrapWords(hint(), width, 1)) put(y++, 0, line);
    attroff(A_BOLD);
    for (const std::string& line : wrapWords(message_, width, kMessageRows - 1)) put(y++, 0, line);
    rowLimit = messageTop;
    drawDisplay(top, left);
    y = top;
    for (const auto& [line, attributes] : sideLines) {
        if (attributes) attron(attributes);
        put(y++, sideLeft, line);
        if (attributes) attroff(attributes);
    }
    rowLimit = LINES;
}

int Player::run() {
    Screen screen(options_.colour);
    screen_ = &screen;
    emulator_.refreshInterval = options_.refresh;
    // Every display keeps the picture of its last drawing, which the screen shows.
    emulator_.keepDrawings = true;
    auto last = Clock::now();
    double realTime = 0.0;
    bool started = false;
    while (!quit_) {
        for (int key = getch(); key != ERR && !quit_; key = getch()) handle(key);
        if (quit_) break;
        const auto now = Clock::now();
        const double real = std::min(std::chrono::duration<double>(now - last).count(), kLongestFrame);
        last = now;
        realTime += real;
        if (!paused_ && real > 0.0) {
            ledger.beforeStep();
            emulator_.simulation().step(real * accel_);
            ledger.afterStep();
            transfer_.afterStep(ledger, real * accel_);
            if (!ledger.pumpStop().empty()) {
                char at[32];
                std::snprintf(at, sizeof at, "%.2f s", emulator_.simulation().simTime);
                message_ =
                    std::string("At ") + at + " the pump switched itself off: " + ledger.pumpStop() + ".";
                emulator_.pumpStopped();
            }
        }
        // The end of the frame: the displays are drawn as the simulator draws them (none while
        // paused).
        emulator_.refresh(realTime);
        // What the scenario holds that is read otherwise than written, once its pages are drawn.
        if (!std::exchange(started, true)) {
            std::vector<std::string> notes = base_.warnings;
            const std::vector<std::string> more = emulator_.startNotes();
            notes.insert(notes.end(), more.begin(), more.end());
            for (const std::string& note : notes)
                message_ += (message_.empty() ? "" : "; ") + sim::printable(note);
        }
        // A stop that only the page shows: nothing was moved, so the ledger saw none.
        for (const std::string& stop : emulator_.takePumpStops()) {
            char at[32];
            std::snprintf(at, sizeof at, "%.2f s", emulator_.simulation().simTime);
            message_ = std::string("At ") + at + " the pump switched itself off: " + stop + ".";
        }
        erase();
        draw();
        refresh();
    }
    emulator_.keepDrawings = false;
    screen_ = nullptr;
    ledger.finish();
    return kExitOk;
}

}  // namespace

const std::vector<PlayKey>& playKeys() {
    static const std::vector<PlayKey> keys = [] {
        std::vector<PlayKey> out;
        for (const Binding& b : bindings()) out.push_back(b.key);
        return out;
    }();
    return keys;
}

std::string playKeysHelp(size_t width) {
    std::string out;
    for (const std::string& line :
         wrapWords("Keys (the display's keys go to the display as the simulator delivers them, and so do the "
                   "other letters, digits and signs of the keyboard's main block, such as F on the mode "
                   "selection page):",
                   width, static_cast<size_t>(-1)))
        out += line + "\n";
    size_t names = 0;
    for (const PlayKey& k : playKeys()) names = std::max(names, joinedNames(k).size());
    const size_t indent = names + 4;
    for (const PlayKey& k : playKeys()) {
        const std::string first = "  " + joinedNames(k);
        const std::vector<std::string> lines =
            wrapWords(k.does, width > indent + 20 ? width - indent : 20, static_cast<size_t>(-1));
        for (size_t i = 0; i < lines.size(); ++i)
            out += (i == 0 ? first + std::string(indent - first.size(), ' ') : std::string(indent, ' ')) +
                   lines[i] + "\n";
    }
    return out;
}

std::vector<std::string> wrapWords(const std::string& text, size_t width, size_t rows) {
    std::vector<std::string> lines;
    if (width == 0 || rows == 0) return lines;
    std::string_view rest = text;
    while (!rest.empty() && lines.size() < rows) {
        size_t cut = rest.size();
        if (cut > width) {
            // The last row takes what fits; the mark below decides where it ends.
            const size_t space = lines.size() + 1 < rows ? rest.rfind(' ', width) : std::string_view::npos;
            cut = space != std::string_view::npos && space > 0 ? space : width;
        }
        lines.emplace_back(rest.substr(0, cut));
        rest.remove_prefix(cut);
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    }
    if (!rest.empty() && !lines.empty()) {
        // Cut with a mark: the last line ends in "..." after its last whole word, or within a
        // long word (a vessel's name) where that keeps more of the line.
        std::string& last = lines.back();
        const size_t room = width > 3 ? width - 3 : 0;
        if (last.size() > room) {
            const size_t space = last.rfind(' ', room);
            last.resize(space != std::string::npos && space > room / 2 ? space : room);
        }
        last += std::string(std::min<size_t>(width, 3), '.');
    }
    return lines;
}

int play(const std::string& modulePath, const sim::ScenarioDescription& scenario, const PlayOptions& options,
         std::string& error) {
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
        error =
            "play needs a terminal for its input and output (for a scripted session use: kestrane-sim run)";
        return kExitError;
    }
    Emulator emulator(modulePath);
    if (!emulator.start(scenario, error)) return kExitError;
    Player player(emulator, options, scenario);
    player.ledger.begin(emulator.simulation());
    player.run();
    const double end = emulator.simulation().simTime;
    emulator.stop();
    const int status = closingReport(std::cout, player.ledger, end, emulator.faults(), player.written);
    if (emulator.faults().any()) error = kFaultsError;
    return status;
}

}  // namespace cli
