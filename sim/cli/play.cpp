#include "sim/cli/play.h"

#include <curses.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>
#include <vector>

#include "display/cell_grid.h"
#include "sim/cli/emulator.h"
#include "sim/cli/keys.h"
#include "sim/cli/ledger.h"
#include "sim/cli/runner.h"
#include "sim/cli/term_colours.h"
#include "sim/cli/terminal.h"

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kMinAccel = 0.1, kMaxAccel = 10000.0;
constexpr double kLongestFrame = 0.1;  // a stalled terminal does not turn into one huge step

class Screen {
public:
    Screen() {
        initscr();
        cbreak();
        noecho();
        keypad(stdscr, TRUE);
        set_escdelay(25);
        timeout(20);
        curs_set(0);
        colour_ = has_colors() && start_color() == OK && COLORS >= 8;
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
int putWrapped(int y, int x, int width, const std::string& text, int rows);

// The keys, each line within the panel's width.
constexpr const char* kKeyLines[] = {
    "  M  pump mode      = or +  rate up    -  rate down",
    "  T  target tank    S  source tank     D  docking port",
    "  / or ?  help page (these are the display's keys)",
    "  F1  mode selection       Tab  next display",
    "  < >  time acceleration   P    pause",
    "  O  display on/off        F3   focus on the next vessel",
    "  W  save, then go on from the saved file",
    "  Q  quit",
};
constexpr int kPanelWidth = 56;
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
    void save();
    void switchFocus();
    // The picture of the display on screen, as it was last drawn.
    const Painted& picture();
    void drawDisplay(int top, int left);
    int drawSide(int top, int left);  // the rows it took
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
    std::string message_;  // what the last key did
};

sim::Display* Player::current() {
    const std::vector<sim::Display*> displays = emulator_.simulation().displays();
    if (displays.empty()) return nullptr;
    displayIndex_ %= displays.size();
    return displays[displayIndex_];
}

// What the pilot can do next on the display shown.
std::string Player::hint() {
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
        // As the simulator's quicksave: the flight goes on as it was.
        message_ = "Saved " + path.string() + "; the flight goes on.";
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
    std::string reopened;
    for (const std::string& r : done.reopened) reopened += (reopened.empty() ? "" : ", ") + r;
    message_ =
        "F3: focus " + to.name + "; the displays of " + done.from + " opened again for it (" + reopened +
        ")" +
        (done.stoppedTransfer ? "; the running transfer stopped (the module resets it for another vessel)."
                              : ".");
}

const Painted& Player::picture() {
    static const Painted kNone;
    sim::Display* d = current();
    const Emulator::Drawing* drawing = d ? emulator_.lastDrawing(*d) : nullptr;
    return drawing ? drawing->painted : kNone;
}

void Player::handle(int key) {
    switch (key) {
        case 'q':
        case 'Q':
        case 27:
            quit_ = true;
            return;
        case '\t':
        case KEY_BTAB:
            displayIndex_ += key == '\t' ? 1 : emulator_.simulation().displays().size() - 1;
            if (sim::Display* d = current())
                message_ = (key == '\t' ? "Tab" : "Shift-Tab") + (": display " + d->name());
            return;
        case '>':
        case '.':
        case '<':
        case ',': {
            accel_ = key == '>' || key == '.' ? std::min(accel_ * 10.0, kMaxAccel)
                                              : std::max(accel_ / 10.0, kMinAccel);
            char text[64];
            std::snprintf(text, sizeof text, "Key %c: time acceleration x%g", static_cast<char>(key), accel_);
            message_ = text;
            return;
        }
        case 'p':
        case 'P':
        case ' ':
            paused_ = !paused_;
            emulator_.paused = paused_;
            message_ = paused_ ? "Paused: P or space goes on." : "Going on.";
            return;
        case 'w':
        case 'W':
        case KEY_F(2):
            save();
            return;
        case KEY_F(1):
            if (sim::Display* d = current())
                message_ = "Mode select on " + d->name() + ": " +
                           (paused_ ? std::string(Emulator::kPausedRefusal) : selectOutcome(*d));
            return;
        case 'o':
        case 'O':
            if (sim::Display* d = current()) {
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
            }
            return;
        case KEY_F(3):
            if (paused_)
                message_ = std::string("F3: ") + Emulator::kPausedRefusal;
            else
                switchFocus();
            return;
        case KEY_RESIZE:
            return;
        default:
            break;
    }
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
        const int row = top + 1 + buttonRow(*painted.surface, slot);
        const std::string& l = painted.labels[static_cast<size_t>(slot)];
        const std::string& r = painted.labels[static_cast<size_t>(slot + 6)];
        if (!l.empty()) put(row, left - 1 - static_cast<int>(l.size()), l);
        if (!r.empty()) put(row, left + columns + 3, r);
    }
}

int Player::drawSide(int top, int left) {
    sim::Simulation& s = emulator_.simulation();
    char text[256];
    int y = top;
    const auto line = [&](const std::string& t, int attributes = 0) {
        if (attributes) attron(attributes);
        put(y++, left, t);
        if (attributes) attroff(attributes);
    };
    line("kestrane-sim play: " + options_.scenarioLabel, A_BOLD);
    std::snprintf(text, sizeof text, "Time %.2f s   acceleration x%g%s", s.simTime, accel_,
                  paused_ ? "   PAUSED: keys and buttons do not reach the displays" : "");
    line(text);
    const std::vector<sim::Display*> displays = s.displays();
    if (sim::Display* d = current()) {
        std::snprintf(text, sizeof text, " (%zu of %zu) on ", displayIndex_ + 1, displays.size());
        line("Display " + d->name() + text + d->vessel().name);
    } else {
        line("No display");
    }
    ++y;
    line("Tanks", A_BOLD);
    for (sim::VesselRecord* v : s.vessels()) {
        for (size_t i = 0; i < v->tanks.size(); ++i) {
            std::snprintf(text, sizeof text, " %2zu %11.3f of %9.1f kg", i + 1, v->tanks[i].mass,
                          v->tanks[i].capacity);
            char name[16];
            std::snprintf(name, sizeof name, "  %-12.12s", v->name.c_str());
            line(name + std::string(text));
        }
    }
    std::snprintf(text, sizeof text, "  total %27.3f kg", s.totalPropellant());
    line(text);
    ++y;
    line("Keys", A_BOLD);
    for (const char* keys : kKeyLines) line(keys);
    return y - top;
}

// Text at (y, x), cut at the screen's edges instead of wrapping onto the next row.
void put(int y, int x, const std::string& text) {
    if (y < 0 || y >= std::min(LINES, rowLimit) || x >= COLS || text.empty()) return;
    size_t from = 0;
    if (x < 0) {
        from = static_cast<size_t>(-x);
        x = 0;
        if (from >= text.size()) return;
    }
    mvaddnstr(y, x, text.c_str() + from, std::min(static_cast<int>(text.size() - from), COLS - x));
}

// Words of `text` over rows from `y`, at most `rows` of them, each at most `width` wide.
int putWrapped(int y, int x, int width, const std::string& text, int rows) {
    int used = 0;
    std::string rest = text;
    while (!rest.empty() && used < rows) {
        size_t cut = rest.size();
        if (static_cast<int>(cut) > width) {
            const size_t space = rest.rfind(' ', static_cast<size_t>(width));
            cut = space != std::string::npos && space > 0 ? space : static_cast<size_t>(width);
        }
        put(y + used++, x, rest.substr(0, cut));
        rest.erase(0, cut);
        if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    }
    return used;
}

void Player::draw() {
    size_t labelWidth = 3;
    for (const std::string& l : picture().labels) labelWidth = std::max(labelWidth, l.size());
    const int left = static_cast<int>(labelWidth) + 2;
    const int columns = picture().surface ? picture().surface->cells().columns() : grid::kColumns;
    const int rows = picture().surface ? picture().surface->cells().rows() : grid::kRows;
    const int sideLeft = left + columns + 4 + static_cast<int>(labelWidth) + 2;
    int tanks = 0;
    for (sim::VesselRecord* v : emulator_.simulation().vessels()) tanks += static_cast<int>(v->tanks.size());
    const int sideRows = 8 + tanks + static_cast<int>(std::size(kKeyLines));
    const int neededColumns = sideLeft + kPanelWidth;
    const int neededRows = std::max(rows + 2, sideRows) + kMessageRows;
    int top = 0;
    if (COLS < neededColumns || LINES < neededRows) {
        // Say what is cut rather than leave rows or columns out unnoticed.
        char notice[160];
        std::snprintf(
            notice, sizeof notice,
            "Terminal %d x %d, too small (needs %d x %d): showing what fits of the display and panel.", COLS,
            LINES, neededColumns, neededRows + 1);
        attron(A_REVERSE);
        top = putWrapped(0, 0, std::max(COLS, 1), notice, 2);
        attroff(A_REVERSE);
    }
    // The hint and the outcome come first when rows are short: they say what to do next.
    const int messageTop = std::min(top + std::max(rows + 2, sideRows), std::max(LINES - kMessageRows, top));
    attron(A_BOLD);
    rowLimit = LINES;
    putWrapped(messageTop, 0, std::max(COLS, 1), hint(), 1);
    attroff(A_BOLD);
    putWrapped(messageTop + 1, 0, std::max(COLS, 1), message_, kMessageRows - 1);
    rowLimit = messageTop;
    drawDisplay(top, left);
    drawSide(top, sideLeft);
    rowLimit = LINES;
}

int Player::run() {
    Screen screen;
    screen_ = &screen;
    emulator_.refreshInterval = options_.refresh;
    // Every display keeps the picture of its last drawing, which the screen shows.
    emulator_.keepPictures = true;
    auto last = Clock::now();
    double realTime = 0.0;
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
        erase();
        draw();
        refresh();
    }
    emulator_.keepPictures = false;
    screen_ = nullptr;
    ledger.finish();
    return kExitOk;
}

}  // namespace

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
