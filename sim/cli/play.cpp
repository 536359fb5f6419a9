#include "sim/cli/play.h"

#include <curses.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>
#include <vector>

#include "sim/cli/emulator.h"
#include "sim/cli/keys.h"
#include "sim/cli/ledger.h"
#include "sim/cli/page_fields.h"
#include "sim/cli/runner.h"
#include "sim/cli/term_colours.h"
#include "sim/cli/terminal.h"

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kMinAccel = 0.1, kMaxAccel = 10000.0;
constexpr double kFullRefresh = 1.0;   // s of real time between redraws of every display
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

class Player {
public:
    Player(Emulator& emulator, const PlayOptions& options) : emulator_(emulator), options_(options), accel_(options.accel) {}

    int run();
    std::vector<std::string> written;
    TankLedger ledger;

private:
    void handle(int key);
    void save();
    void drawDisplay(int top, int left);
    void drawSide(int top, int left);
    sim::Display* current();

    Emulator& emulator_;
    const PlayOptions& options_;
    Screen* screen_ = nullptr;
    double accel_;
    bool paused_ = false;
    bool quit_ = false;
    size_t displayIndex_ = 0;
    std::string message_ = "Press M to step the pump mode, ? for the instrument's help, Q to quit.";
    Painted painted_;
    std::string paintedName_;
};

sim::Display* Player::current() {
    const std::vector<sim::Display*> displays = emulator_.simulation().displays();
    if (displays.empty()) return nullptr;
    displayIndex_ %= displays.size();
    return displays[displayIndex_];
}

void Player::save() {
    sim::Simulation& s = emulator_.simulation();
    std::filesystem::path path = options_.outDir / (options_.stem + "-saved.scn");
    for (int n = 2; std::find(written.begin(), written.end(), path.string()) != written.end(); ++n)
        path = options_.outDir / (options_.stem + "-saved-" + std::to_string(n) + ".scn");
    const double now = s.simTime;
    char when[64];
    std::snprintf(when, sizeof when, "Saved by kestrane-sim play at %.2f s of simulated time.", now);
    const std::string text = sim::formatScenario(sim::captureScenario(s, {when}));
    std::string error;
    std::error_code ec;
    std::filesystem::create_directories(options_.outDir, ec);
    if (ec || !sim::writeScenarioFile(path.string(), text, error)) {
        message_ = "Not saved: " + (ec ? options_.outDir.string() + ": " + ec.message() : error);
    } else {
        written.push_back(path.string());
        message_ = "Saved " + path.string() + " and went on from it.";
    }
    // Saving has cleared the module's transfer state, as in the simulator; going on from the
    // file gives back what it holds, as the simulator's next start from it would.
    const std::optional<sim::ScenarioDescription> parsed = sim::parseScenario(text, path.string(), error);
    ledger.leaving();
    if (!parsed || !emulator_.start(*parsed, error)) {
        message_ = "Cannot continue from the saved scenario: " + error;
        quit_ = true;
        return;
    }
    emulator_.simulation().simTime = now;
    ledger.loaded(emulator_.simulation(), path.filename().string(), now);
    paintedName_.clear();
}

void Player::handle(int key) {
    switch (key) {
        case 'q': case 'Q': case 27:
            quit_ = true;
            return;
        case '\t':
            ++displayIndex_;
            paintedName_.clear();
            return;
        case KEY_BTAB:
            displayIndex_ += emulator_.simulation().displays().size() - 1;
            paintedName_.clear();
            return;
        case '>': case '.':
            accel_ = std::min(accel_ * 10.0, kMaxAccel);
            return;
        case '<': case ',':
            accel_ = std::max(accel_ / 10.0, kMinAccel);
            return;
        case 'p': case 'P': case ' ':
            paused_ = !paused_;
            return;
        case 'w': case 'W': case KEY_F(2):
            save();
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
    const std::string before = emulator_.lastPage(*d);
    const bool consumed = d->key(*code);
    std::string what = consumed ? "consumed, no change" : d->instrument() ? "not consumed" : "not consumed (no mode shown)";
    if (consumed && d->pendingRedraws > 0) {
        // Drawn before the next key, as the simulator draws at its next frame.
        emulator_.redraw(false);
        what = describeChange(before, emulator_.lastPage(*d), "->");
    }
    char text[48];
    std::snprintf(text, sizeof text, "Key %c (scan code 0x%02X) on ", static_cast<char>(key), *code);
    message_ = text + d->name() + ": " + what;
}

void Player::drawDisplay(int top, int left) {
    if (!painted_.surface) return;
    const sim::CellView& cells = painted_.surface->cells();
    const int rows = cells.rows(), columns = cells.columns();
    mvaddch(top, left, ACS_ULCORNER);
    mvhline(top, left + 1, ACS_HLINE, columns);
    mvaddch(top, left + columns + 1, ACS_URCORNER);
    for (int row = 0; row < rows; ++row) {
        mvaddch(top + 1 + row, left, ACS_VLINE);
        for (int column = 0; column < columns; ++column) {
            const sim::Cell& c = cells.cell(column, row);
            // Gauges read '#' and '.' only without colours; curses here takes no UTF-8.
            const std::string text = sim::cellText(c, !screen_->colour());
            const chtype glyph = text.size() == 1 ? static_cast<unsigned char>(text[0]) : '?';
            int attributes = 0;
            if (screen_->colour())
                attributes = COLOR_PAIR(screen_->pair(c.drawn ? c.text : 0xc0c0c0, sim::terminalPaint(c)));
            mvaddch(top + 1 + row, left + 1 + column, glyph | static_cast<chtype>(attributes));
        }
        mvaddch(top + 1 + row, left + columns + 1, ACS_VLINE);
    }
    mvaddch(top + rows + 1, left, ACS_LLCORNER);
    mvhline(top + rows + 1, left + 1, ACS_HLINE, columns);
    mvaddch(top + rows + 1, left + columns + 1, ACS_LRCORNER);
    for (int slot = 0; slot < 6; ++slot) {
        const int row = top + 1 + buttonRow(*painted_.surface, slot);
        const std::string& l = painted_.labels[static_cast<size_t>(slot)];
        const std::string& r = painted_.labels[static_cast<size_t>(slot + 6)];
        if (!l.empty()) mvaddstr(row, left - 1 - static_cast<int>(l.size()), l.c_str());
        if (!r.empty()) mvaddstr(row, left + columns + 3, r.c_str());
    }
}

void Player::drawSide(int top, int left) {
    sim::Simulation& s = emulator_.simulation();
    char text[256];
    int y = top;
    const auto line = [&](const std::string& t, int attributes = 0) {
        if (attributes) attron(attributes);
        mvaddnstr(y++, left, t.c_str(), std::max(COLS - left, 0));
        if (attributes) attroff(attributes);
    };
    line("kestrane-sim play: " + options_.scenarioLabel, A_BOLD);
    std::snprintf(text, sizeof text, "Time %.2f s   acceleration x%g%s", s.simTime, accel_, paused_ ? "   PAUSED" : "");
    line(text);
    const std::vector<sim::Display*> displays = s.displays();
    if (sim::Display* d = current()) {
        std::snprintf(text, sizeof text, "Display %s (%zu of %zu) on %s", d->name().c_str(), displayIndex_ + 1, displays.size(),
                      d->vessel().name.c_str());
        line(text);
    } else {
        line("No display");
    }
    ++y;
    line("Tanks", A_BOLD);
    for (sim::VesselRecord* v : s.vessels()) {
        for (size_t i = 0; i < v->tanks.size(); ++i) {
            std::snprintf(text, sizeof text, "  %-12s %2zu %11.3f of %9.1f kg", v->name.c_str(), i + 1, v->tanks[i].mass,
                          v->tanks[i].capacity);
            line(text);
        }
    }
    std::snprintf(text, sizeof text, "  total %27.3f kg", s.totalPropellant());
    line(text);
    ++y;
    line("Keys", A_BOLD);
    line("  M  pump mode       = or +  rate up    -  rate down");
    line("  T  target tank     S  source tank     D  docking port");
    line("  / or ?  help page  (the display's keys)");
    line("  Tab  next display  < >  time acceleration  P  pause");
    line("  W  save, then go on from the saved file   Q  quit");
    ++y;
    line(message_);
}

int Player::run() {
    Screen screen;
    screen_ = &screen;
    auto last = Clock::now();
    double sinceRefresh = kFullRefresh, sinceShown = options_.refresh;
    while (!quit_) {
        for (int key = getch(); key != ERR && !quit_; key = getch()) handle(key);
        if (quit_) break;
        const auto now = Clock::now();
        const double real = std::min(std::chrono::duration<double>(now - last).count(), kLongestFrame);
        last = now;
        sinceRefresh += real;
        sinceShown += real;
        // The display on screen is drawn onto a picture; every display is refreshed as the
        // simulator refreshes its displays, and whenever one asks.
        if (sim::Display* d = current()) {
            if (d->name() != paintedName_ || d->pendingRedraws > 0 || sinceShown >= options_.refresh) {
                painted_ = drawable(*d) ? paint(*d) : Painted{};
                if (painted_.surface) emulator_.remember(*d, painted_.surface->cells().text());
                paintedName_ = d->name();
                sinceShown = 0.0;
            }
        }
        emulator_.redraw(sinceRefresh >= kFullRefresh);
        if (sinceRefresh >= kFullRefresh) sinceRefresh = 0.0;
        if (!paused_ && real > 0.0) {
            ledger.beforeStep();
            emulator_.simulation().step(real * accel_);
            ledger.afterStep();
        }
        erase();
        size_t labelWidth = 3;
        for (const std::string& l : painted_.labels) labelWidth = std::max(labelWidth, l.size());
        const int left = static_cast<int>(labelWidth) + 2;
        drawDisplay(0, left);
        const int columns = painted_.surface ? painted_.surface->cells().columns() : 40;
        drawSide(0, left + columns + 4 + static_cast<int>(labelWidth) + 2);
        refresh();
    }
    screen_ = nullptr;
    ledger.finish();
    return kExitOk;
}

}  // namespace

int play(const std::string& modulePath, const sim::ScenarioDescription& scenario, const PlayOptions& options,
         std::string& error) {
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
        error = "play needs a terminal for its input and output (for a scripted session use: kestrane-sim run)";
        return kExitError;
    }
    Emulator emulator(modulePath);
    if (!emulator.start(scenario, error)) return kExitError;
    Player player(emulator, options);
    player.ledger.begin(emulator.simulation());
    player.run();
    const double end = emulator.simulation().simTime;
    emulator.stop();
    char at[64];
    std::snprintf(at, sizeof at, "%.2f s", end);
    std::cout << "Tanks from 0 s to " << at << ":\n" << formatTankTable(player.ledger.accounts());
    const ConservationCheck check = player.ledger.check();
    std::cout << formatCheck(check);
    const ModuleFaults& faults = emulator.faults();
    if (faults.any()) {
        std::cout << "\n" << formatFaults(faults);
        error = "the module broke the host's rules (see above)";
    }
    if (!player.written.empty()) {
        std::cout << "\nFiles written:\n";
        for (const std::string& f : player.written) std::cout << "  " << f << "\n";
    }
    return check.ok() && !faults.any() ? kExitOk : kExitCheckFailed;
}

}  // namespace cli
