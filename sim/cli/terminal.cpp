#include "sim/cli/terminal.h"

#include <langinfo.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sim/drawing/replay.h"

namespace cli {

namespace {

constexpr COLORREF kDefaultText = 0xc0c0c0;

}  // namespace

TextStyle textStyleFor(std::FILE* stream, ColourChoice choice) {
    TextStyle style;
    const int fd = fileno(stream);
    const bool terminal = isatty(fd) != 0;
    const char* noColour = std::getenv("NO_COLOR");
    const bool wanted = choice == ColourChoice::Always ||
                        (choice == ColourChoice::Auto && terminal && !(noColour && *noColour));
    if (wanted) style.colours = TermColours::forTerminal(fd);
    if (terminal || choice == ColourChoice::Always) {
        std::setlocale(LC_CTYPE, "");
        const char* codeset = nl_langinfo(CODESET);
        style.unicode = codeset && std::strcmp(codeset, "UTF-8") == 0;
        std::setlocale(LC_CTYPE, "C");
    }
    return style;
}

bool drawable(const sim::Display& display) {
    return static_cast<unsigned long long>(display.width()) * display.height() <= kMostPixels;
}

Painted paint(sim::Display& display) {
    Painted p;
    p.width = static_cast<int>(display.width());
    p.height = static_cast<int>(display.height());
    p.surface = std::make_unique<sim::CellSurface>(p.width, p.height);
    p.surface->logging = true;  // for the picture, should it be wanted
    p.showsMode = display.instrument() != nullptr;
    display.repaint(p.surface.get());
    for (int i = 0; i < 12; ++i) {
        const char* label = display.buttonLabel(i);
        p.labels[static_cast<size_t>(i)] = label ? label : "";
    }
    return p;
}

const sim::RasterSurface* Painted::picture() const {
    if (!picture_ && surface &&
        static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height) <= kMostPixels) {
        picture_ = std::make_unique<sim::RasterSurface>(width, height);
        sim::replay(surface->log, surface->defaultBrush(), picture_.get());
    }
    return picture_.get();
}

int buttonRow(const Painted& painted, int slot) {
    const int centreY = painted.height * (2 * slot + 1) / 12;
    return centreY / std::max(painted.surface ? painted.surface->cellHeight() : 1, 1);
}

std::string drawDisplay(const Painted& painted, const TextStyle& style) {
    const sim::CellView& cells = painted.surface->cells();
    const int columns = cells.columns(), rows = cells.rows();
    size_t labelWidth = 3;
    for (const std::string& l : painted.labels) labelWidth = std::max(labelWidth, l.size());
    std::vector<std::string> leftAt(static_cast<size_t>(rows)), rightAt(static_cast<size_t>(rows));
    for (int slot = 0; slot < 6; ++slot) {
        const int row = buttonRow(painted, slot);
        if (row < 0 || row >= rows) continue;
        leftAt[static_cast<size_t>(row)] = painted.labels[static_cast<size_t>(slot)];
        rightAt[static_cast<size_t>(row)] = painted.labels[static_cast<size_t>(slot + 6)];
    }

    const bool u = style.unicode;
    const std::string horizontal = u ? "─" : "-", vertical = u ? "│" : "|";
    std::string rule;
    for (int i = 0; i < columns; ++i) rule += horizontal;
    const std::string pad(labelWidth + 1, ' ');
    std::string out = pad + (u ? "┌" : "+") + rule + (u ? "┐" : "+") + "\n";
    const TermColours* colours = style.colours ? &*style.colours : nullptr;
    for (int row = 0; row < rows; ++row) {
        const std::string& l = leftAt[static_cast<size_t>(row)];
        out += std::string(labelWidth - l.size(), ' ') + l + " " + vertical;
        int fg = -1, bg = -1;
        for (int column = 0; column < columns; ++column) {
            const sim::Cell& c = cells.cell(column, row);
            if (colours) {
                const int wantBg = colours->nearest(sim::terminalPaint(c));
                const int wantFg = colours->nearest(c.drawn ? c.text : kDefaultText);
                if (wantBg != bg) out += colours->background(wantBg);
                if (wantFg != fg) out += colours->foreground(wantFg);
                bg = wantBg;
                fg = wantFg;
            }
            out += colours ? sim::cellText(c, false) : sim::plainCellText(cells, column, row);
        }
        if (colours) out += colours->reset();
        out += vertical;
        const std::string& r = rightAt[static_cast<size_t>(row)];
        if (!r.empty()) out += " " + r;
        out += "\n";
    }
    out += pad + (u ? "└" : "+") + rule + (u ? "┘" : "+") + "\n";
    return out;
}

ProgressBar::ProgressBar(std::string what)
    : what_(std::move(what)),
      terminal_(isatty(STDERR_FILENO) != 0),
      start_(std::chrono::steady_clock::now()),
      last_(start_) {}

void ProgressBar::update(double fraction, const std::string& detail, long long steps) {
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!shown_ && now - start_ < std::chrono::milliseconds(1000)) return;
    if (shown_ && now - last_ < std::chrono::milliseconds(100)) return;
    shown_ = true;
    last_ = now;
    fraction = std::clamp(fraction, 0.0, 1.0);
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(fraction * kWidth);
    std::string bar = "\r" + what_ + " [" + std::string(static_cast<size_t>(filled), '#') +
                      std::string(static_cast<size_t>(kWidth - filled), '.') + "] ";
    char percent[16];
    std::snprintf(percent, sizeof percent, "%3d%% ", static_cast<int>(fraction * 100.0));
    bar += percent + detail;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    if (steps >= 0 && seconds > 0.0) {
        char rate[48];
        std::snprintf(rate, sizeof rate, ", %.0f steps/s", static_cast<double>(steps) / seconds);
        bar += rate;
    }
    bar += "   ";
    std::fputs(bar.c_str(), stderr);
    std::fflush(stderr);
}

void ProgressBar::finish() {
    if (!shown_) return;
    shown_ = false;
    // Blank the line it used, from its start back to its start.
    std::string blank(what_.size() + 72, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    std::fputs(blank.c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace cli
