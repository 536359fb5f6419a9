// The cockpit as the simulator keeps it: a left and a right display of the focus vessel, redrawn
// each frame they are due; a focus switch that destroys every display and opens the same modes
// for the new focus vessel; and pause, under which no step, no redraw and no key or button
// reaches a display.
#include <string.h>

#include "tests/simulator/stand_in.h"

namespace {

constexpr int kPageSize = 4096;
constexpr double kFrame = 0.5;           // simulated seconds a frame
constexpr double kRedrawInterval = 0.5;  // the simulator's default InstrumentUpdateInterval
constexpr double kMediumRate = 10.0;     // kg/s
enum { kLeft, kRight, kSides };

struct Side {
    MFD* mfd;
    double nextRedraw;      // simulated time
    int invalidationsSeen;  // InvalidateDisplay calls as of the last redraw
    char page[kPageSize];   // the page last drawn
};

struct Cockpit {
    Display* display;
    const Plugin* plugin;
    StandInVessel* focus;
    Side sides[kSides];
    bool paused;
    double now;  // simulated time, as the redraws count it
};

typedef void (*FocusChangedFn)(OBJHANDLE, OBJHANDLE);
typedef void (*PauseFn)(bool);

template <typename Fn>
Fn exported(const Plugin& p, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(p.dll, name)));
}

// A display opened in the mode is drawn in its first frame, as the simulator's new instrument is.
void openDisplays(Cockpit& c) {
    for (Side& s : c.sides) {
        s.mfd = openInstrument(c.focus);
        s.nextRedraw = c.now - 1.0;
        s.invalidationsSeen = 0;
        s.page[0] = '\0';
    }
}

void closeDisplays(Cockpit& c) {
    for (Side& s : c.sides) {
        if (s.mfd) closeInstrument(s.mfd);
        s.mfd = nullptr;
    }
}

// Filled in place: large frames would need the stack probe the static MSVC runtime has.
void makeCockpit(Cockpit& c, Display& display, const Plugin& p, StandInVessel* focus) {
    memset(&c, 0, sizeof c);
    c.display = &display;
    c.plugin = &p;
    c.focus = focus;
    openDisplays(c);
}

// One frame of the simulator: the plug-ins' step while the simulation runs, then each display
// redrawn when its interval has passed or it asked for a redraw. While paused simulated time
// stands, so nothing is due; the pilot's time passes all the same.
void frame(Cockpit& c) {
    if (c.paused) {
        Sleep(10);
        return;
    }
    step(*c.plugin, 1, kFrame);
    c.now += kFrame;
    for (Side& s : c.sides) {
        if (!s.mfd) continue;
        const int invalidations = recordOf(s.mfd)->invalidations;
        if (c.now < s.nextRedraw && invalidations == s.invalidationsSeen) continue;
        drawPage(*c.display, s.mfd, s.page, sizeof s.page);
        s.nextRedraw = c.now + kRedrawInterval;
        s.invalidationsSeen = invalidations;
    }
}

void frames(Cockpit& c, int count) {
    for (int i = 0; i < count; ++i) frame(c);
}

// Keys with Shift held (left Shift for the left display, right Shift for the right) and clicks
// on a display's buttons: the simulator reads them for the displays only while it runs.
bool shiftKey(Cockpit& c, int side, DWORD key) {
    if (c.paused || !c.sides[side].mfd) return false;
    return c.sides[side].mfd->ConsumeKeyBuffered(key);
}
bool clickButton(Cockpit& c, int side, int button) {
    if (c.paused || !c.sides[side].mfd) return false;
    return c.sides[side].mfd->ConsumeButton(button, PANEL_MOUSE_LBDOWN);
}

// The pause key: a plug-in that exports opcPause is told (this module does not).
void setPaused(Cockpit& c, bool paused) {
    c.paused = paused;
    if (PauseFn pause = exported<PauseFn>(*c.plugin, "opcPause")) pause(paused);
}

// A focus switch (F3, or the focus vessel deleted): the cockpit is set up again for the new
// focus, every display destroyed and then opened in its mode for the new vessel; the plug-ins
// hear of it after that.
void switchFocus(Cockpit& c, StandInVessel* to) {
    StandInVessel* from = c.focus;
    const MFD* old[kSides] = {c.sides[kLeft].mfd, c.sides[kRight].mfd};
    closeDisplays(c);
    // Deleted through the base's virtual destructor, the DLL's destructors run down to the base.
    CHECK(recordOf(old[kLeft]) == nullptr && recordOf(old[kRight]) == nullptr,
          "a display of %s outlived the switch", from->name);
    c.focus = to;
    openDisplays(c);
    if (FocusChangedFn changed = exported<FocusChangedFn>(*c.plugin, "opcFocusChanged"))
        changed(handleOf(to), handleOf(from));
}

// A delta-glider docked to the station, whose one tank it loads from.
struct Flight {
    StandInVessel* glider;
    StandInVessel* station;
};
Flight makeFlight() {
    clearVessels();
    const Tank gliderTanks[] = {{12900, 4000}, {600, 300}};
    const Tank stationTanks[] = {{5000, 4000}};
    Flight f = {addVessel("GL-01", "DeltaGlider", 2, gliderTanks, 1),
                addVessel("ISS", "ProjectAlpha_ISS", 1, stationTanks, 5)};
    dock(f.glider, 0, f.station, 0);
    return f;
}

// Load at Medium into the glider's main tank from the station, by the left display's keys; the
// frame between finds the docked station.
void startLoad(Cockpit& c) {
    const bool mode = shiftKey(c, kLeft, OAPI_KEY_M);
    frame(c);
    const bool rate = shiftKey(c, kLeft, OAPI_KEY_EQUALS) && shiftKey(c, kLeft, OAPI_KEY_EQUALS);
    CHECK(mode && rate, "the keys of the load were not taken");
}

void tearDown(Plugin& p, Cockpit& c) {
    closeDisplays(c);
    endSession(p);
    unloadPlugin(p);
}

// The plug-in loaded, the flight made and its session started, both displays open in the mode on
// the glider; false, with all of it undone, when a display did not open.
bool setUp(Plugin& p, Flight& f, Cockpit& c, Display& display) {
    if (!loadPlugin(p)) return false;
    f = makeFlight();
    startSession(p);
    makeCockpit(c, display, p, f.glider);
    if (c.sides[kLeft].mfd && c.sides[kRight].mfd) return true;
    tearDown(p, c);
    return false;
}

bool titled(const char* page, const char* title) {
    const size_t n = strlen(title);
    return strncmp(page, title, n) == 0 && page[n] == '\n';
}

// Both displays in the mode during a load, the focus switched to the station and back: each
// switch destroys the displays and opens them for the new focus, which sets the transfer up
// afresh for that vessel; the load stops and nothing pumps after either switch.
void focusSwitch(Display& display) {
    Plugin p;
    Flight f;
    static Cockpit c;
    if (!setUp(p, f, c, display)) return;
    startLoad(c);
    frames(c, 4);
    CHECK(f.glider->tanks[0].mass == 4000 + 4 * kFrame * kMediumRate &&
              f.station->tanks[0].mass == 4000 - 4 * kFrame * kMediumRate,
          "the load before the switch left %.6f kg in the glider, %.6f kg in the station",
          f.glider->tanks[0].mass, f.station->tanks[0].mass);

    // Each set up afresh for the new focus: cross-feed within its tanks, the pump off.
    static const struct {
        bool toStation;
        const char* title;
    } kSwitches[] = {{true, "Fuel Mgt ISS (ProjectAlpha_ISS)"}, {false, "Fuel Mgt GL-01 (DeltaGlider)"}};
    for (const auto& to : kSwitches) {
        switchFocus(c, to.toStation ? f.station : f.glider);
        if (!c.sides[kLeft].mfd || !c.sides[kRight].mfd) break;
        const double glider = f.glider->tanks[0].mass, station = f.station->tanks[0].mass;
        frames(c, 6);
        CHECK(f.glider->tanks[0].mass == glider && f.station->tanks[0].mass == station,
              "after the switch to %s the pump moved %.6f kg", to.toStation ? "the station" : "the glider",
              f.glider->tanks[0].mass - glider);
        for (const Side& s : c.sides) {
            CHECK(titled(s.page, to.title) && strstr(s.page, "Pump Mode: Cross-Feed") &&
                      strstr(s.page, "Pump Rate: Off\n"),
                  "%s display after the switch:\n%s", &s == &c.sides[kLeft] ? "left" : "right", s.page);
        }
    }
    tearDown(p, c);
}

// A load paused for a while: no step, no redraw, and the keys and clicks of the pause never reach
// a display, so the load goes on as it was and moves the rate times the time the simulation ran.
void pauseDuringLoad(Display& display) {
    Plugin p;
    Flight f;
    static Cockpit c;
    if (!setUp(p, f, c, display)) return;
    startLoad(c);
    const double glider = f.glider->tanks[0].mass, station = f.station->tanks[0].mass;
    frames(c, 3);

    setPaused(c, true);
    const int invalidations =
        recordOf(c.sides[kLeft].mfd)->invalidations + recordOf(c.sides[kRight].mfd)->invalidations;
    // Pump mode, rate down, target tank, by keys and buttons on both displays.
    const int taken = shiftKey(c, kLeft, OAPI_KEY_M) + shiftKey(c, kLeft, OAPI_KEY_MINUS) +
                      shiftKey(c, kRight, OAPI_KEY_T) + clickButton(c, kRight, 0) + clickButton(c, kLeft, 2);
    frames(c, 8);
    CHECK(taken == 0 &&
              recordOf(c.sides[kLeft].mfd)->invalidations + recordOf(c.sides[kRight].mfd)->invalidations ==
                  invalidations,
          "%d keys and clicks taken while paused", taken);
    setPaused(c, false);
    frames(c, 5);

    // 8 frames ran: 4 s at 10 kg/s.
    CHECK(f.glider->tanks[0].mass == glider + 8 * kFrame * kMediumRate &&
              f.station->tanks[0].mass == station - 8 * kFrame * kMediumRate,
          "the paused load moved %.6f kg into the glider, %.6f kg out of the station",
          f.glider->tanks[0].mass - glider, station - f.station->tanks[0].mass);
    for (const Side& s : c.sides) {
        CHECK(strstr(s.page, "Pump Mode: Load") && strstr(s.page, "Pump Rate: Medium\n") &&
                  strstr(s.page, "Target Tank 1 "),
              "%s display after the pause:\n%s", &s == &c.sides[kLeft] ? "left" : "right", s.page);
    }
    // Running again, a key is the pilot's once more.
    const bool down = shiftKey(c, kLeft, OAPI_KEY_MINUS);
    frame(c);
    CHECK(down && strstr(c.sides[kLeft].page, "Pump Rate: Low\n"), "after the pause, the rate key:\n%s",
          c.sides[kLeft].page);
    tearDown(p, c);
}

}  // namespace

void cockpitSession(Display& display) {
    focusSwitch(display);
    pauseDuringLoad(display);
}
