#include "sim/world/display.h"

#include <cstdio>
#include <cstring>

#include "sim/world/scenario_block.h"

namespace sim {

namespace {
// The display whose instrument is being constructed: the MFD base records it.
Display* displayUnderConstruction = nullptr;
}  // namespace

Display::Display(const ModeRegistry& modes, std::string name, VesselRecord& vessel, unsigned width,
                 unsigned height)
    : modes_(modes), name_(std::move(name)), vessel_(&vessel), width_(width), height_(height) {}

Display::~Display() { closeMode(); }

Display* Display::underConstruction() { return displayUnderConstruction; }

bool Display::openMode(const std::string& modeName) {
    const RegisteredMode* mode = modes_.findMode(modeName);
    if (!mode || !mode->msgproc || !vessel_->vessel) return false;
    closeMode();
    // Width in the low 16 bits, height in the high 16 bits.
    const WPARAM size = (width_ & 0xFFFFu) | ((height_ & 0xFFFFu) << 16);
    displayUnderConstruction = this;
    const OAPI_MSGTYPE result =
        mode->msgproc(OAPI_MSG_MFD_OPENED, 0, size, reinterpret_cast<LPARAM>(vessel_->vessel.get()));
    displayUnderConstruction = nullptr;
    instrument_ = reinterpret_cast<MFD*>(result);
    if (!instrument_) return false;
    modeName_ = modeName;
    selecting_ = false;
    foreign_.clear();
    foreignBlock_.clear();
    pendingRedraws = 1;  // a new instrument is drawn at once
    return true;
}

bool Display::select() {
    if (selecting_) {
        selecting_ = false;
        ++pendingRedraws;
        if (!modeBeforeSelection_.empty()) openMode(modeBeforeSelection_);
        return selecting_;
    }
    modeBeforeSelection_ = modeName_;
    closeMode();
    selecting_ = true;
    ++pendingRedraws;
    return true;
}

void Display::showForeign(std::string title, std::string note, std::vector<std::string> block) {
    closeMode();
    foreign_ = std::move(title);
    foreignNote_ = std::move(note);
    foreignBlock_ = std::move(block);
    ++pendingRedraws;
}

void Display::closeMode() {
    if (instrument_) {
        lastMode_ = modeName_;
        lastForeign_ = {};
        ++pendingRedraws;  // the screen goes blank
    }
    delete instrument_;
    instrument_ = nullptr;
    modeName_.clear();
}

bool Display::power() {
    if (!off()) {
        if (!instrument_ && !foreign_.empty()) {
            lastMode_.clear();
            lastForeign_ = {foreign_, foreignNote_, foreignBlock_};
        }
        closeMode();
        selecting_ = false;
        foreign_.clear();
        foreignBlock_.clear();
        ++pendingRedraws;
        return false;
    }
    if (!lastMode_.empty() && openMode(lastMode_)) return true;
    if (lastForeign_.title.empty())
        lastForeign_ = {
            "Orbit", "the simulator's own; not emulated", {"BEGIN_MFD " + name_, "  TYPE Orbit", "END_MFD"}};
    showForeign(lastForeign_.title, lastForeign_.note, lastForeign_.block);
    return true;
}

void Display::moveTo(VesselRecord& vessel) {
    if (!instrument_) vessel_ = &vessel;
}

bool Display::resize(unsigned width, unsigned height) {
    const std::string mode = instrument_ ? modeName_ : std::string();
    closeMode();
    width_ = width;
    height_ = height;
    ++pendingRedraws;
    return !mode.empty() && openMode(mode);
}

bool Display::key(DWORD key) {
    if (selecting_) {
        const RegisteredMode* mode = modes_.findModeByKey(key);
        return mode && openMode(mode->name);
    }
    return instrument_ && instrument_->ConsumeKeyBuffered(key);
}

bool Display::button(int button, int event) {
    return instrument_ && instrument_->ConsumeButton(button, event);
}

const char* Display::buttonLabel(int button) {
    return instrument_ ? instrument_->ButtonLabel(button) : nullptr;
}

int Display::buttonMenu(const MFDBUTTONMENU** menu) const {
    return instrument_ ? instrument_->ButtonMenu(menu) : 0;
}

void Display::repaint(HDC surface) {
    pendingRedraws = 0;
    ++repaints;
    if (instrument_) instrument_->Update(surface);
    if (selecting_)
        drawSelection(surface);
    else if (!instrument_ && !foreign_.empty())
        drawForeign(surface);
}

namespace {
// The letter of a scan code (set 1) on the main block, or 0.
char letterOf(DWORD key) {
    static constexpr const char* kRows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
    static constexpr DWORD kFirst[] = {0x10, 0x1E, 0x2C};
    for (int r = 0; r < 3; ++r) {
        const DWORD n = static_cast<DWORD>(std::strlen(kRows[r]));
        if (key >= kFirst[r] && key < kFirst[r] + n) return kRows[r][key - kFirst[r]];
    }
    return 0;
}
}  // namespace

void Display::drawSelection(HDC surface) {
    const int cw = cellWidthFor(width_), ch = cellHeightFor(height_);
    const auto line = [&](int row, const std::string& text) {
        TextOutA(surface, cw / 2, row * ch, text.c_str(), static_cast<int>(text.size()));
    };
    SetBkMode(surface, TRANSPARENT);
    SetTextColor(surface, kTitleColour);
    line(0, "Mode selection");
    SetTextColor(surface, kSelectionColour);
    int row = 2;
    for (const RegisteredMode& m : modes_.modes()) {
        char key[16];
        if (const char letter = letterOf(m.key))
            std::snprintf(key, sizeof key, "[%c]", letter);
        else
            std::snprintf(key, sizeof key, "[0x%02X]", static_cast<unsigned>(m.key));
        line(row++, std::string(key) + " " + m.name);
    }
    if (modes_.modes().empty()) line(row, "No mode registered");
}

void Display::drawForeign(HDC surface) {
    const int cw = cellWidthFor(width_), ch = cellHeightFor(height_);
    SetBkMode(surface, TRANSPARENT);
    SetTextColor(surface, kTitleColour);
    TextOutA(surface, cw / 2, 0, foreign_.c_str(), static_cast<int>(foreign_.size()));
    SetTextColor(surface, kSelectionColour);
    const std::string note = "(" + foreignNote_ + ")";
    TextOutA(surface, cw / 2, 2 * ch, note.c_str(), static_cast<int>(note.size()));
}

void Display::writeStatus(ScenarioBlock& block) const {
    if (instrument_) instrument_->WriteStatus(&block);
}

void Display::readStatus(ScenarioBlock& block) {
    if (instrument_) instrument_->ReadStatus(&block);
}

}  // namespace sim
