// The stand-in simulator: what it keeps behind the SDK's functions and classes, the display it
// draws instruments on, and the checks of a session. Plain C-style C++ over the C runtime and
// Windows: no C++ library exists for this target.
#pragma once

#include <MFDAPI.h>
#include <OrbiterAPI.h>
#include <VesselAPI.h>
#include <stdio.h>

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
// The vessels of this session; a new roster deletes every previous interface.
void clearVessels();
StandInVessel* addVessel(const char* name, const char* className, int tankCount, const Tank* tanks,
                         int portCount);
void dock(StandInVessel* a, int portA, StandInVessel* b, int portB);
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
constexpr int kDisplaySize = 512, kCellWidth = 512 / 38, kCellHeight = 512 / 24;
constexpr int kColumns = 38, kRows = 24;
struct Cell {
    char ch;
    bool drawn, bar;
    COLORREF barFill;
};
struct Display {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previousBitmap, previousFont, previousBrush, previousPen;
    HFONT font;
    HPEN pen;
    Cell cells[kRows][kColumns];
    int overlaps, clipped;
};
bool openDisplay(Display& display, char* error, int errorSize);
void closeDisplay(Display& display);
// Routes the module's GDI imports through the display's recorder.
bool interceptGdi(HMODULE module, char* error, int errorSize);
// Clears the surface and the cells, draws the instrument through Update, and writes the page
// as text: one line per row, trailing blanks and trailing empty lines left out.
void drawPage(Display& display, MFD* mfd, char* page, int pageSize);
// The title the MFD base draws, recorded as the module's own texts are.
void recordTitle(HDC dc, const char* title);

// ---- What the simulator does with a plug-in (stand_in_session.cpp).
constexpr const char* kModeName = "Fuel Management";
typedef void (*InitFn)(HINSTANCE);
typedef void (*StepFn)(double, double, double);
typedef void (*DeleteVesselFn)(OBJHANDLE);
// What the simulator finds in a plug-in, by name.
struct Plugin {
    HMODULE dll;
    InitFn init, exit;
    StepFn preStep, timestep;
    DeleteVesselFn deleteVessel;
};
extern const char* dllPath;  // the plug-in's file
// The Launchpad's view of the plug-in: its description, category and version resource.
void launchpadEntry();
bool loadPlugin(Plugin& p);
void unloadPlugin(Plugin& p);
// Opens the mode on a display of the vessel, as the simulator does; null (and a failed check)
// when the module made no instrument.
MFD* openInstrument(StandInVessel* vessel);
void closeInstrument(MFD* mfd);
void press(MFD* mfd, DWORD key, int times = 1);
// opcPreStep, steps times, each dt seconds of simulated time on.
void step(const Plugin& p, int steps, double dt = 1.0);

// ---- The package as a pilot unzips it into the simulator's folder (stand_in_package.cpp):
// run in that folder, with the vessel classes' tanks and ports from classesFile.
void packageSession(Display& display, const char* classesFile);
