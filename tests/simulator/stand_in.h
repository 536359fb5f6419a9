// The stand-in simulator: what it keeps behind the SDK's functions and classes, the display it
// draws instruments on, and the checks of a session. Plain C-style C++ over the C runtime and
// Windows: no C++ library exists for this target.
#pragma once

#include <MFDAPI.h>
#include <OrbiterAPI.h>
#include <VesselAPI.h>
#include <stdio.h>

#include "display/cell_grid.h"

// ---- Checks: each counted; the summary line "N passed, M failed" closes the run.
extern int checksPassed, checksFailed;
void checkFailed(const char* file, int line, const char* condition, const char* format, ...);
#define CHECK(condition, ...) \
    ((condition) ? (void)++checksPassed : checkFailed(__FILE__, __LINE__, #condition, "" __VA_ARGS__))

// ---- Vessels.
constexpr int kMaxVessels = 4, kMaxTanks = 4, kMaxPorts = 5;
struct Tank {
    double capacity, mass;
};
struct Port {
    struct StandInVessel* docked;
};
struct StandInVessel {
    char name[32], className[32];
    int tankCount, portCount;
    Tank tanks[kMaxTanks];
    Port ports[kMaxPorts];
    bool alive;
    int callsAfterDeletion;  // any host call about this vessel once it was deleted
    VESSEL* api;
};
// A new roster: every vessel deleted. The next roster's vessels take the same places, their
// interfaces included, as the simulator's allocator may hand a deleted vessel's memory to the
// next one: a handle or interface kept from before then names another vessel.
void clearVessels();
void freeVessels();  // at the end: the interfaces too
StandInVessel* addVessel(const char* name, const char* className, int tankCount, const Tank* tanks,
                         int portCount);
void dock(StandInVessel* a, int portA, StandInVessel* b, int portB);
// The propellant lists GetStatusEx allocated that the module has not freed yet: its free()
// from the C runtime is routed through the stand-in, which notes those lists come back.
extern int liveStatusLists;
bool watchStatusLists(HMODULE module, char* error, int errorSize);
// The simulator's side of deleting a vessel once plug-ins were told: gone, undocked.
void removeVessel(StandInVessel* vessel);
OBJHANDLE handleOf(StandInVessel* vessel);

// ---- Registered modes.
struct RegisteredMode {
    int id;
    bool live;
    char name[64];
    DWORD key;
    OAPI_MSGTYPE (*msgproc)(UINT, UINT, WPARAM, LPARAM);
};
constexpr int kMaxModes = 4;
extern RegisteredMode modes[kMaxModes];
extern int modeRegistrations, modeUnregistrations;
const RegisteredMode* findMode(const char* name);
int liveModes();
// The table __opcGetInterface handed out when the mode was registered (by the DLL's entry, at
// load): open and close render viewport, time step, focus and time acceleration changed.
constexpr int kCallbackTableSize = 5;
typedef void (*Callback)();
extern Callback tableAtRegistration[kCallbackTableSize];
extern bool tableAtRegistrationSeen;

// ---- Instruments: what the MFD base stores of each.
struct InstrumentRecord {
    MFD* mfd;
    DWORD w, h;
    VESSEL* vessel;
    int invalidations;
    int titles;
};
constexpr int kMaxInstruments = 8;
extern InstrumentRecord instruments[kMaxInstruments];
InstrumentRecord* recordOf(const MFD* mfd);
// Sets the cell size as the simulator does, after construction.
void setCellSize(MFD* mfd, DWORD cw, DWORD ch);
DWORD widthOf(const MFD* mfd);
DWORD heightOf(const MFD* mfd);
VESSEL* vesselOf(const MFD* mfd);

// ---- Scenario text: what WriteStatus writes, and the reader that hands out a file's lines.
constexpr int kScenarioSize = 8192;
struct ScenarioWriter {
    char text[kScenarioSize];
    int length;
    int items;
};
struct ScenarioReader {
    const char* text;  // the whole file
    int position;      // offset of the next line
    char line[256];    // the line last handed out
    int linesHandedOut;
};

// ---- The display: a GDI memory DC on a DIB section, and the cells the instrument's texts and
// rectangles land in (the grid of the project's page files).
constexpr int kDisplaySize = 512, kCellWidth = grid::cellWidthFor(kDisplaySize),
              kCellHeight = grid::cellHeightFor(kDisplaySize);
constexpr int kColumns = grid::kColumns, kRows = grid::kRows;
struct Cell {
    char ch;
    bool drawn, bar;
    COLORREF barFill;
};
// One GDI call of the module during a redraw, with the device context's state around it.
enum GdiCall { kTextOut, kRectangle, kCreateBrush, kSelectObject, kDeleteObject };
struct GdiEvent {
    GdiCall call;
    BOOL result;
    // TextOutA: the text (cut to the buffer), its length, the current position before and
    // after, the alignment, background mode and colours, and GDI's measure of the text.
    char text[64];
    int length;
    POINT before, after;
    UINT align;
    int bkMode;
    COLORREF textColour, bkColour;
    SIZE extent;
    // Rectangle: the edges passed. Rectangle, CreateSolidBrush, SelectObject, DeleteObject: the
    // brush (the one filled with, made, selected or deleted) and, if solid, its colour.
    RECT rect;
    HGDIOBJ brush;
    bool solidBrush;
    COLORREF brushColour;
    // SelectObject: what it handed back. DeleteObject: whether the object was still selected
    // in the display, and its type after the call (0: gone).
    HGDIOBJ returned;
    bool stillSelected;
    DWORD typeAfter;
};
constexpr int kMaxGdiEvents = 256;
struct Display {
    HDC dc;
    HBITMAP bitmap;
    const DWORD* bits;  // top-down rows of 0x00RRGGBB
    HGDIOBJ previousBitmap, previousFont, previousBrush, previousPen;
    HFONT font;
    int fontHeight;
    HPEN pen;
    HGDIOBJ ownBrush;  // the brush the display keeps selected
    Cell cells[kRows][kColumns];
    int overlaps, clipped;
    GdiEvent events[kMaxGdiEvents];  // of the last drawPage
    int eventCount, eventsLost;
};
constexpr COLORREF kDisplayPen = RGB(0, 160, 0), kDisplayBackground = RGB(0, 0, 0);
bool openDisplay(Display& display, char* error, int errorSize);
void closeDisplay(Display& display);
// The picture's colour at (x, y); the background outside it.
COLORREF pixelAt(const Display& display, int x, int y);
// Points the module's imports of the named functions from the DLL at the replacements;
// returns how many it found.
struct ImportHook {
    const char* name;
    void* replacement;
};
int routeImports(HMODULE module, const char* dll, const ImportHook* hooks, int count);
// Routes the module's GDI imports (TextOutA, Rectangle, CreateSolidBrush, SelectObject,
// DeleteObject) through the display's recorder.
bool interceptGdi(HMODULE module, char* error, int errorSize);
// Clears the surface, the cells and the events, draws the instrument through Update, and
// writes the page as text: one line per row, trailing blanks and trailing empty lines left out.
void drawPage(Display& display, MFD* mfd, char* page, int pageSize);
// The title the MFD base draws, recorded as the module's own texts are.
void recordTitle(HDC dc, const char* title);

// ---- What the simulator does with a plug-in (stand_in_session.cpp).
constexpr const char* kModeName = "Fuel Management";
typedef void (*InitFn)(HINSTANCE);
typedef void (*StepFn)(double, double, double);
typedef void (*DeleteVesselFn)(OBJHANDLE);
typedef void (*OpenViewportFn)(HWND, DWORD, DWORD, BOOL);
typedef void (*CloseViewportFn)();
// What the simulator finds in a plug-in, by name.
struct Plugin {
    HMODULE dll;
    InitFn init, exit;
    StepFn preStep, timestep;
    DeleteVesselFn deleteVessel;
    OpenViewportFn openViewport;
    CloseViewportFn closeViewport;
};
extern const char* dllPath;  // the plug-in's file
// The Launchpad's view of the plug-in: its description, category and version resource.
void launchpadEntry();
bool loadPlugin(Plugin& p);
void unloadPlugin(Plugin& p);
// Opens the mode on a display of the vessel, as the simulator does; null (and a failed check)
// when the module made no instrument.
// A session as the simulator runs one: its vessels made, then startSession, then its
// displays opened and their blocks read, then the steps. At its end the scenario is saved,
// the displays closed, and endSession deletes the vessels and then tells the plug-in.
void startSession(const Plugin& p);
void endSession(const Plugin& p);
MFD* openInstrument(StandInVessel* vessel, DWORD width = kDisplaySize, DWORD height = kDisplaySize);
void closeInstrument(MFD* mfd);
void press(MFD* mfd, DWORD key, int times = 1);
// The whole file into text (terminated); false when it cannot be read or does not fit.
bool readFile(const char* path, char* text, int size);
// opcPreStep, steps times, each dt seconds of simulated time on.
void step(const Plugin& p, int steps, double dt = 1.0);

// ---- The package as a pilot unzips it into the simulator's folder (stand_in_package.cpp):
// run in that folder, with the vessel classes' tanks and ports from classesFile.
void packageSession(Display& display, const char* classesFile);

// ---- The cockpit's left and right displays through a focus switch and a pause
// (stand_in_cockpit.cpp).
void cockpitSession(Display& display);
