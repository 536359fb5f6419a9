// One session of the simulator with Kestrane.dll, as the simulator runs it: the DLL loaded with
// LoadLibrary and its callbacks found by name; the mode opened on a display through its
// message procedure; the buttons' labels and menu; keys, buttons and every page drawn through
// Update, compared with the page files, with how GDI drew it down to the pixels; a transfer
// pumped by opcPreStep to its clamp; the configuration written to a scenario and read back from a whole
// file by fresh instruments in the next session; a vessel deleted mid-transfer; two sessions in
// one loaded DLL; the unload.
// Usage: orbiter.exe <Kestrane.dll> <folder of the page files>
//        orbiter.exe --package <vessel classes file>, in the folder a package was unpacked into
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "tests/simulator/stand_in.h"

int checksPassed = 0, checksFailed = 0;

void checkFailed(const char* file, int line, const char* condition, const char* format, ...) {
    ++checksFailed;
    printf("FAILED %s:%d: %s", file, line, condition);
    if (format && *format) {
        printf(": ");
        va_list args;
        va_start(args, format);
        vprintf(format, args);
        va_end(args);
    }
    printf("\n");
}

const char* dllPath = nullptr;

namespace {

constexpr int kPageSize = 4096;

// Initialised at run time by the program's entry point, before main (windows/msvc_runtime).
const DWORD processAtStart = GetCurrentProcessId();

const char* pagesFolder = nullptr;
double simt = 0.0;

template <typename Fn>
Fn lookUp(HMODULE dll, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

}  // namespace

// What the Launchpad shows of a plug-in: it loads each DLL of Modules/Plugin as a data file and
// reads string 1000, the description, and 1001, the category it lists the module under. The
// version resource carries the project's version.
void launchpadEntry() {
    HMODULE data = LoadLibraryExA(dllPath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    CHECK(data != nullptr, "LoadLibraryEx(%s) as a data file: error %lu", dllPath, GetLastError());
    if (!data) return;
    char text[1024] = "";
    CHECK(LoadStringA(data, 1001, text, sizeof text) > 0 && strcmp(text, "MFD modes") == 0, "category '%s'",
          text);
    text[0] = '\0';
    CHECK(LoadStringA(data, 1000, text, sizeof text) > 0, "no description");
    // As the simulator's own modules begin theirs: the name in capitals, a colon, a blank line.
    static constexpr char kBegins[] =
        "KESTRANE:\r\n\r\nAdds the multifunctional display mode \"Fuel Management\"";
    CHECK(strncmp(text, kBegins, sizeof kBegins - 1) == 0, "description '%s'", text);
    CHECK(strstr(text, "Doc\\Kestrane\\Kestrane.md") != nullptr, "the description names no manual: '%s'",
          text);

    int major = 0, minor = 0;
    sscanf(KESTRANE_VERSION, "%d.%d", &major, &minor);
    DWORD fileVersion = 0;
    if (HRSRC found = FindResourceA(data, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16))) {  // RT_VERSION
        const BYTE* bytes = static_cast<const BYTE*>(LockResource(LoadResource(data, found)));
        const DWORD size = SizeofResource(data, found);
        // VS_FIXEDFILEINFO: its signature, the structure's version, then the file version.
        for (DWORD at = 0; bytes && at + 12 <= size; at += 4) {
            DWORD word;
            memcpy(&word, bytes + at, 4);
            if (word != 0xFEEF04BD) continue;
            memcpy(&fileVersion, bytes + at + 8, 4);
            break;
        }
    }
    CHECK(fileVersion == (static_cast<DWORD>(major) << 16 | static_cast<DWORD>(minor)),
          "file version %lu.%lu, the build's is %s", fileVersion >> 16, fileVersion & 0xFFFF,
          KESTRANE_VERSION);
    FreeLibrary(data);
}

bool loadPlugin(Plugin& p) {
    memset(&p, 0, sizeof p);
    memset(modes, 0, sizeof modes);
    modeRegistrations = modeUnregistrations = 0;
    p.dll = LoadLibraryA(dllPath);
    CHECK(p.dll != nullptr, "LoadLibrary(%s): error %lu", dllPath, GetLastError());
    if (!p.dll) return false;
    p.init = lookUp<InitFn>(p.dll, "InitModule");
    if (!p.init) p.init = lookUp<InitFn>(p.dll, "opcDLLInit");
    p.exit = lookUp<InitFn>(p.dll, "ExitModule");
    if (!p.exit) p.exit = lookUp<InitFn>(p.dll, "opcDLLExit");
    p.preStep = lookUp<StepFn>(p.dll, "opcPreStep");
    p.timestep = lookUp<StepFn>(p.dll, "opcTimestep");
    p.deleteVessel = lookUp<DeleteVesselFn>(p.dll, "opcDeleteVessel");
    p.openViewport = lookUp<OpenViewportFn>(p.dll, "opcOpenRenderViewport");
    p.closeViewport = lookUp<CloseViewportFn>(p.dll, "opcCloseRenderViewport");
    const bool all =
        p.init && p.exit && p.preStep && p.timestep && p.deleteVessel && p.openViewport && p.closeViewport;
    CHECK(all, "a callback is not exported by name");
    if (!all) return false;
    char error[128];
    const bool intercepted =
        interceptGdi(p.dll, error, sizeof error) && watchStatusLists(p.dll, error, sizeof error);
    CHECK(intercepted, "%s", error);
    p.init(p.dll);
    return intercepted;
}

// The simulator calls the viewport callbacks of a plug-in without a module class by name.
void startSession(const Plugin& p) { p.openViewport(nullptr, kDisplaySize, kDisplaySize, FALSE); }

void endSession(const Plugin& p) {
    clearVessels();
    p.closeViewport();
}

void unloadPlugin(Plugin& p) {
    p.exit(p.dll);
    FreeLibrary(p.dll);
}

// Opens the mode on a display of the vessel as the simulator does: OAPI_MSG_MFD_OPENEDEX
// first, OAPI_MSG_MFD_OPENED with the size in the parameter only when that gave nothing; then
// the cell size. Checks what the MFD base received.
MFD* openInstrument(StandInVessel* vessel, DWORD width, DWORD height) {
    const RegisteredMode* mode = findMode(kModeName);
    CHECK(mode != nullptr, "mode not registered");
    if (!mode) return nullptr;
    MFDMODESPECEX described = {const_cast<char*>(mode->name), mode->key, nullptr, mode->msgproc};
    MFDMODEOPENSPEC open = {static_cast<int>(width), static_cast<int>(height), &described};
    OAPI_MSGTYPE made = mode->msgproc(OAPI_MSG_MFD_OPENEDEX, static_cast<UINT>(mode->id),
                                      reinterpret_cast<WPARAM>(&open), reinterpret_cast<LPARAM>(vessel->api));
    if (!made) {
        made = mode->msgproc(OAPI_MSG_MFD_OPENED, static_cast<UINT>(mode->id), MAKEWPARAM(width, height),
                             reinterpret_cast<LPARAM>(vessel->api));
    }
    MFD* mfd = reinterpret_cast<MFD*>(made);
    CHECK(mfd != nullptr, "the message procedure made no instrument");
    if (!mfd) return nullptr;
    InstrumentRecord* record = recordOf(mfd);
    CHECK(record != nullptr, "the instrument did not construct the MFD base");
    if (!record) return nullptr;
    CHECK(record->w == width && record->h == height, "base got %lux%lu for %lux%lu", record->w, record->h,
          width, height);
    CHECK(record->vessel == vessel->api && vesselOf(mfd) == vessel->api, "base got another vessel");
    CHECK(widthOf(mfd) == width && heightOf(mfd) == height);
    setCellSize(mfd, kCellWidth, kCellHeight);
    // The simulator asks whether the instrument draws through a sketchpad: the DLL's RTTI
    // must answer (it is no MFD2, so Update(HDC) it is).
    CHECK(dynamic_cast<MFD2*>(mfd) == nullptr, "the instrument claims to be an MFD2");
    return mfd;
}

void closeInstrument(MFD* mfd) { delete mfd; }

void press(MFD* mfd, DWORD key, int times) {
    for (int i = 0; i < times; ++i) CHECK(mfd->ConsumeKeyBuffered(key), "key 0x%02lx not taken", key);
}
bool readFile(const char* path, char* text, int size) {
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    const size_t n = fread(text, 1, static_cast<size_t>(size - 1), f);
    const bool whole = feof(f) != 0 || fgetc(f) == EOF;
    fclose(f);
    text[n] = '\0';
    return whole;
}

void step(const Plugin& p, int steps, double dt) {
    for (int i = 0; i < steps; ++i) {
        simt += dt;
        p.preStep(simt, dt, 51982.0 + simt / 86400.0);
    }
}

namespace {

void click(MFD* mfd, int button, int times = 1) {
    for (int i = 0; i < times; ++i)
        CHECK(mfd->ConsumeButton(button, PANEL_MOUSE_LBDOWN), "button %d not taken", button);
}

// The vessels of the project's page files.
struct Cockpit {
    StandInVessel* ship;
    StandInVessel* depot;
};
Cockpit makeCockpit(bool docked) {
    clearVessels();
    const Tank shipTanks[] = {{1000, 250}, {300, 100}, {5000, 4999.96}};
    const Tank depotTanks[] = {{20000, 18000}, {2000, 150}};
    Cockpit c = {addVessel("Kestrel-7", "ShuttleA", 3, shipTanks, 2),
                 addVessel("Depot%Alpha", "FuelDepot", 2, depotTanks, 1)};
    if (docked) dock(c.ship, 1, c.depot, 0);
    return c;
}

// ---- How a page was drawn, from the module's GDI calls and the picture they left.

bool isBlank(char c) { return c == ' '; }

// Texts: drawn at GDI's current position, which then stands behind them on the same line, one
// cell width per character as GDI measures them in the display's font; each leaves pixels of
// its colour within its cells; an opaque background covers the text's advance and the font's
// height, and no more.
void checkTexts(const Display& display, const char* name) {
    int texts = 0;
    for (int i = 0; i < display.eventCount; ++i) {
        const GdiEvent& e = display.events[i];
        if (e.call != kTextOut) continue;
        ++texts;
        const char* t = e.text;
        CHECK(e.result, "%s: TextOutA('%s') failed", name, t);
        CHECK(e.align & TA_UPDATECP, "%s: '%s' drawn without TA_UPDATECP", name, t);
        CHECK(e.extent.cx == e.length * kCellWidth, "%s: '%s' measures %ld", name, t, e.extent.cx);
        CHECK(e.after.x == e.before.x + e.length * kCellWidth && e.after.y == e.before.y,
              "%s: '%s' from (%ld,%ld) left the position at (%ld,%ld)", name, t, e.before.x, e.before.y,
              e.after.x, e.after.y);
        bool blank = true;
        for (int c = 0; c < e.length && c < static_cast<int>(sizeof e.text) - 1; ++c)
            blank = blank && isBlank(t[c]);
        if (!blank) {
            int inColour = 0;
            for (int y = e.before.y; y < e.before.y + kCellHeight; ++y) {
                for (int x = e.before.x; x < e.after.x; ++x)
                    inColour += pixelAt(display, x, y) == e.textColour;
            }
            CHECK(inColour > 0, "%s: '%s' left no pixel of its colour", name, t);
        }
        if (e.bkMode == OPAQUE && e.length > 0 && e.length < static_cast<int>(sizeof e.text)) {
            const int top = e.before.y, bottom = e.before.y + display.fontHeight - 1;
            const COLORREF bk = e.bkColour;
            if (isBlank(t[0])) {
                CHECK(pixelAt(display, e.before.x, top) == bk && pixelAt(display, e.before.x, bottom) == bk,
                      "%s: '%s': no background at its left", name, t);
            }
            if (isBlank(t[e.length - 1])) {
                CHECK(pixelAt(display, e.after.x - 1, top) == bk &&
                          pixelAt(display, e.after.x - 1, bottom) == bk,
                      "%s: '%s': no background at its right", name, t);
            }
            CHECK(pixelAt(display, e.after.x, top) != bk, "%s: '%s': the background runs on", name, t);
            CHECK(pixelAt(display, e.before.x - 1, top) != bk, "%s: '%s': the background starts early", name,
                  t);
            CHECK(pixelAt(display, e.before.x, bottom + 1) != bk || bottom + 1 >= e.before.y + kCellHeight,
                  "%s: '%s': the background runs below the font", name, t);
        }
    }
    CHECK(texts > 0, "%s: no text drawn", name);
}

// Brushes: each gauge makes one, selects it once, fills one rectangle with it, hands it back by
// selecting the previous one again, and deletes it once that is done, never while selected.
// The display keeps its own brush. Returns how many were made.
int checkBrushes(const Display& display, const char* name) {
    int made = 0;
    for (int i = 0; i < display.eventCount; ++i) {
        if (display.events[i].call != kCreateBrush) continue;
        ++made;
        const HGDIOBJ brush = display.events[i].brush;
        CHECK(brush != nullptr && display.events[i].solidBrush, "%s: brush %d not made solid", name, made);
        int selected = 0, handedBack = 0, filled = 0, deleted = 0;
        for (int j = i + 1; j < display.eventCount; ++j) {
            const GdiEvent& e = display.events[j];
            if (e.call == kSelectObject && e.brush == brush) ++selected;
            if (e.call == kSelectObject && e.returned == brush) ++handedBack;
            if (e.call == kRectangle && e.brush == brush) ++filled;
            if (e.call == kDeleteObject && e.brush == brush) {
                ++deleted;
                CHECK(e.result && e.typeAfter == 0, "%s: brush %d still exists after DeleteObject", name,
                      made);
                CHECK(!e.stillSelected, "%s: brush %d deleted while selected", name, made);
                CHECK(handedBack == 1, "%s: brush %d deleted before it was handed back", name, made);
            }
        }
        CHECK(selected == 1 && handedBack == 1 && filled == 1 && deleted == 1,
              "%s: brush %d selected %d, handed back %d, filled %d, deleted %d times", name, made, selected,
              handedBack, filled, deleted);
    }
    CHECK(GetCurrentObject(display.dc, OBJ_BRUSH) == display.ownBrush,
          "%s: the display's brush was not given back", name);
    return made;
}

// Gauges, at the given rows: a frame across the display, half a cell in from each side, from
// half a cell below the row's top down to two cells below it, filled with the display's brush;
// then the fill, from the same corner, with the gauge's brush; both outlined by the display's
// pen. GDI covers x in [left, right - 1] and y in [top, bottom - 1].
void checkGauges(const Display& display, const char* name, const int* rows, int gauges) {
    const GdiEvent* rects[2 * 2];
    int count = 0;
    for (int i = 0; i < display.eventCount; ++i) {
        if (display.events[i].call != kRectangle) continue;
        if (count < 2 * gauges) rects[count] = &display.events[i];
        ++count;
    }
    CHECK(count == 2 * gauges, "%s: %d rectangles for %d gauges", name, count, gauges);
    if (count != 2 * gauges) return;
    const COLORREF pen = kDisplayPen, background = kDisplayBackground;
    for (int g = 0; g < gauges; ++g) {
        const RECT frame = rects[2 * g]->rect, fill = rects[2 * g + 1]->rect;
        const int row = rows[g];
        CHECK(frame.left == kCellWidth / 2 && frame.right == kDisplaySize - kCellWidth / 2 &&
                  frame.top == row * kCellHeight + kCellHeight / 2 &&
                  frame.bottom == row * kCellHeight + 2 * kCellHeight,
              "%s: gauge at row %d: frame %ld,%ld - %ld,%ld", name, row, frame.left, frame.top, frame.right,
              frame.bottom);
        CHECK(rects[2 * g]->brush == display.ownBrush,
              "%s: gauge at row %d: frame not filled with the display's brush", name, row);
        CHECK(fill.left == frame.left && fill.top == frame.top && fill.bottom == frame.bottom,
              "%s: gauge at row %d: fill %ld,%ld - %ld,%ld", name, row, fill.left, fill.top, fill.right,
              fill.bottom);
        const int l = frame.left, r = frame.right, t = frame.top, b = frame.bottom;
        const int w = fill.right - fill.left;
        CHECK(l < r && t + 3 <= b && w >= 0 && w <= r - l, "%s: gauge at row %d: fill %d wide", name, row, w);
        if (!(l < r && t + 3 <= b && w >= 0 && w <= r - l)) continue;

        // The outline: whole edges in the pen's colour, the background just outside.
        int off = 0;
        for (int x = l; x < r; ++x) off += pixelAt(display, x, b - 1) != pen;
        CHECK(off == 0, "%s: gauge at row %d: %d pixels of the bottom edge not the pen's", name, row, off);
        off = 0;
        for (int y = t; y < b; ++y)
            off += (pixelAt(display, l, y) != pen) + (pixelAt(display, r - 1, y) != pen);
        CHECK(off == 0, "%s: gauge at row %d: %d pixels of the side edges not the pen's", name, row, off);
        CHECK(pixelAt(display, l - 1, b - 1) == background && pixelAt(display, r, b - 1) == background &&
                  pixelAt(display, l, b) == background && pixelAt(display, r - 1, b) == background,
              "%s: gauge at row %d: drawn outside its frame", name, row);

        // One row inside, below the texts: the fill up to its own outline, then the frame's inside.
        const int y = b - 2;
        int x = l;
        COLORREF expected = background;
        for (; x < r; ++x) {
            expected = background;
            if (x == l || x == r - 1 || (w >= 1 && x == l + w - 1)) {
                expected = pen;
            } else if (x < l + w - 1) {
                expected = rects[2 * g + 1]->brushColour;
            }
            if (pixelAt(display, x, y) != expected) break;
        }
        CHECK(x == r, "%s: gauge at row %d: pixel %d,%d is %06lx instead of %06lx (fill %d wide)", name, row,
              x, y, x < r ? pixelAt(display, x, y) : 0, expected, w);
    }
}

// The page drawn through Update against the project's page file, cell by cell; how GDI drew it
// (texts, brushes, the gauges at the given rows).
void checkPage(Display& display, MFD* mfd, const char* name, const int* gaugeRows, int gauges) {
    // Static: large frames would need the stack probe the static MSVC runtime has.
    static char page[kPageSize], expected[kPageSize];
    char path[512];
    drawPage(display, mfd, page, sizeof page);
    snprintf(path, sizeof path, "%s/%s.txt", pagesFolder, name);
    const bool found = readFile(path, expected, sizeof expected);
    CHECK(found, "no page file %s", path);
    if (!found) return;
    const bool same = strcmp(page, expected) == 0;
    CHECK(same, "page %s differs:\n--- drawn\n%s--- expected\n%s---", name, page, expected);
    CHECK(display.overlaps == 0 && display.clipped == 0, "page %s: %d overlapping, %d clipped characters",
          name, display.overlaps, display.clipped);
    CHECK(recordOf(mfd)->titles == 1, "page %s: the title drawn %d times", name, recordOf(mfd)->titles);
    recordOf(mfd)->titles = 0;
    CHECK(display.eventsLost == 0, "page %s: %d GDI calls not recorded", name, display.eventsLost);
    CHECK(liveStatusLists == 0, "page %s: %d propellant lists not freed", name, liveStatusLists);
    checkTexts(display, name);
    const int brushes = checkBrushes(display, name);
    CHECK(brushes == gauges, "page %s: %d brushes made for %d gauges", name, brushes, gauges);
    checkGauges(display, name, gaugeRows, gauges);
}

// The pages of the page files, and the rows their gauges stand on.
struct PageFile {
    const char* name;
    int gaugeRows[2];
    int gauges;
};
const PageFile kPageFiles[] = {{"status_crossfeed", {14, 18}, 2},
                               {"status_load", {14, 18}, 2},
                               {"status_unload_not_docked", {14, 0}, 1},
                               {"status_vent", {14, 0}, 1},
                               {"help", {0, 0}, 0}};
void checkPage(Display& display, MFD* mfd, const char* name) {
    for (const PageFile& f : kPageFiles) {
        if (strcmp(f.name, name) == 0) return checkPage(display, mfd, f.name, f.gaugeRows, f.gauges);
    }
    CHECK(false, "no page file named %s", name);
}

double totalMass(const StandInVessel* v) {
    double sum = 0;
    for (int i = 0; i < v->tankCount; ++i) sum += v->tanks[i].mass;
    return sum;
}

// ---- The session's parts.

DWORD WINAPI doNothing(LPVOID) { return 0; }

// The DLL's entry registers the mode at load, with the callback table already complete: each
// entry the callback of that name (the host/callbacks.h order). Threads starting and ending
// change nothing; the unload withdraws the mode and the DLL leaves the process; a second load
// starts afresh.
void loadRegistersTheModeOnce() {
    Plugin p;
    if (!loadPlugin(p)) return;
    const RegisteredMode* mode = findMode(kModeName);
    CHECK(mode != nullptr, "no mode named %s", kModeName);
    CHECK(mode && mode->key == OAPI_KEY_F, "mode key 0x%02lx", mode ? mode->key : 0);
    CHECK(mode && mode->msgproc != nullptr);
    CHECK(modeRegistrations == 1, "the mode was registered %d times", modeRegistrations);

    static const char* const kTableNames[kCallbackTableSize] = {"opcOpenRenderViewport",
                                                                "opcCloseRenderViewport", "opcTimestep",
                                                                "opcFocusChanged", "opcTimeAccChanged"};
    CHECK(tableAtRegistrationSeen, "no callback table from __opcGetInterface when the mode was registered");
    typedef Callback* (*GetInterfaceFn)();
    const GetInterfaceFn getInterface = lookUp<GetInterfaceFn>(p.dll, "__opcGetInterface");
    Callback* table = getInterface ? getInterface() : nullptr;
    CHECK(table != nullptr, "__opcGetInterface gives no table");
    for (int i = 0; i < kCallbackTableSize; ++i) {
        const Callback exported = lookUp<Callback>(p.dll, kTableNames[i]);
        CHECK(exported != nullptr && tableAtRegistration[i] == exported && table && table[i] == exported,
              "table entry %d is not %s", i, kTableNames[i]);
    }

    HANDLE thread = CreateThread(nullptr, 0, &doNothing, nullptr, 0, nullptr);
    CHECK(thread != nullptr, "CreateThread: error %lu", GetLastError());
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    CHECK(
        modeRegistrations == 1 && modeUnregistrations == 0 && liveModes() == 1 && findMode(kModeName) == mode,
        "a thread's start and end changed the modes: %d registered, %d withdrawn", modeRegistrations,
        modeUnregistrations);

    unloadPlugin(p);
    CHECK(findMode(kModeName) == nullptr, "the mode outlived the unload");
    CHECK(modeUnregistrations == modeRegistrations, "%d registrations, %d withdrawn", modeRegistrations,
          modeUnregistrations);
    CHECK(GetModuleHandleA(dllPath) == nullptr, "the DLL stayed in the process");

    if (!loadPlugin(p)) return;
    CHECK(modeRegistrations == 1 && liveModes() == 1 && findMode(kModeName) != nullptr,
          "a second load registered %d times, %d modes live", modeRegistrations, liveModes());
    unloadPlugin(p);
    CHECK(liveModes() == 0 && modeUnregistrations == 1,
          "after the second unload: %d modes live, %d withdrawn", liveModes(), modeUnregistrations);
}

// The buttons' labels and menu as the pilot sees them (the README's MOD ... HLP, the menu of
// tests/module/pump_mfd_test.cpp); an instrument of a display that is not square, made by the
// DLL (its virtual table lies there).
void labelsAndMenu() {
    static const char* const kLabels[] = {"MOD", "PR+", "PR-", "TGT", "SRC", "DCK", "HLP"};
    static const struct {
        const char* line1;
        char key;
    } kMenu[] = {{"Pump Mode", 'M'},   {"Increase Rate", '+'}, {"Decrease Rate", '-'}, {"Target Tank", 'T'},
                 {"Source Tank", 'S'}, {"Docking Port", 'D'},  {"Help", '?'}};
    constexpr int kButtons = sizeof kLabels / sizeof kLabels[0];
    Plugin p;
    if (!loadPlugin(p)) return;
    Cockpit c = makeCockpit(false);
    startSession(p);
    if (MFD* mfd = openInstrument(c.ship, 400, 300)) {
        HMODULE owner = nullptr;
        GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            *reinterpret_cast<LPCSTR const*>(mfd), &owner);
        CHECK(owner == p.dll, "the instrument's virtual table is not the DLL's");
        const MFDBUTTONMENU* menu = nullptr;
        const int count = mfd->ButtonMenu(&menu);
        CHECK(count == kButtons && menu != nullptr, "%d menu entries", count);
        CHECK(mfd->ButtonMenu(nullptr) == kButtons, "the count alone is not %d", kButtons);
        for (int bt = 0; bt < kButtons; ++bt) {
            const char* label = mfd->ButtonLabel(bt);
            CHECK(label && strcmp(label, kLabels[bt]) == 0, "button %d label '%s', not '%s'", bt,
                  label ? label : "", kLabels[bt]);
            if (!menu || bt >= count) continue;
            const MFDBUTTONMENU& entry = menu[bt];
            CHECK(entry.line1 && strcmp(entry.line1, kMenu[bt].line1) == 0 && entry.line2 == nullptr &&
                      entry.selchar == kMenu[bt].key,
                  "menu entry %d: '%s' / '%s', key '%c'; not '%s', key '%c'", bt,
                  entry.line1 ? entry.line1 : "", entry.line2 ? entry.line2 : "(none)", entry.selchar,
                  kMenu[bt].line1, kMenu[bt].key);
        }
        CHECK(mfd->ButtonLabel(kButtons) == nullptr, "a label past the buttons");
        CHECK(!mfd->ConsumeKeyBuffered(OAPI_KEY_Q), "a key without a command was taken");
        closeInstrument(mfd);
    }
    unloadPlugin(p);
}

// Every page of the page files, each from a freshly loaded DLL, by keys and (vent) by buttons.
void everyPage(Display& display) {
    for (const PageFile& page : kPageFiles) {
        const char* name = page.name;
        Plugin p;
        if (!loadPlugin(p)) return;
        Cockpit c = makeCockpit(strcmp(name, "status_load") == 0);
        startSession(p);
        MFD* mfd = openInstrument(c.ship);
        if (mfd && strcmp(name, "status_crossfeed") == 0) {
            press(mfd, OAPI_KEY_S);
            press(mfd, OAPI_KEY_EQUALS, 2);
        } else if (mfd && strcmp(name, "status_load") == 0) {
            press(mfd, OAPI_KEY_M);
            press(mfd, OAPI_KEY_D);
            static char scratch[kPageSize];
            drawPage(display, mfd, scratch, sizeof scratch);  // the redraw that finds the docked vessel
            recordOf(mfd)->titles = 0;
            press(mfd, OAPI_KEY_S);
            press(mfd, OAPI_KEY_T, 2);
            press(mfd, OAPI_KEY_EQUALS, 3);
        } else if (mfd && strcmp(name, "status_unload_not_docked") == 0) {
            press(mfd, OAPI_KEY_M, 2);
        } else if (mfd && strcmp(name, "status_vent") == 0) {
            click(mfd, 0, 3);  // MOD
            click(mfd, 3);     // TGT
            click(mfd, 1);     // PR+
        } else if (mfd) {
            press(mfd, OAPI_KEY_SLASH);
        }
        if (mfd) {
            CHECK(recordOf(mfd)->invalidations > 0, "%s: no redraw asked for after its keys", name);
            checkPage(display, mfd, name);
            closeInstrument(mfd);
        }
        unloadPlugin(p);
    }
}

// The plug-in loaded and its session started with the undocked ship, an instrument open on it and
// a cross-feed from tank 2 into tank 1 at the medium rate; null, the plug-in unloaded, when either
// failed.
MFD* startCrossFeed(Plugin& p, Cockpit& c) {
    if (!loadPlugin(p)) return nullptr;
    c = makeCockpit(false);
    startSession(p);
    MFD* mfd = openInstrument(c.ship);
    if (!mfd) {
        unloadPlugin(p);
        return nullptr;
    }
    press(mfd, OAPI_KEY_S);
    press(mfd, OAPI_KEY_EQUALS, 2);
    return mfd;
}

// Cross-feed at the medium rate: nothing moves through opcTimestep once opcPreStep has come;
// every step moves the same mass from one tank to another, conserving the total, until the
// source is empty or the target full; then nothing moves.
void transferToItsClamp(Display& display) {
    Plugin p;
    Cockpit c;
    MFD* mfd = startCrossFeed(p, c);
    if (!mfd) return;
    Tank before[kMaxTanks];
    memcpy(before, c.ship->tanks, sizeof before);
    const double total = totalMass(c.ship);

    step(p, 1);
    Tank afterOne[kMaxTanks];
    memcpy(afterOne, c.ship->tanks, sizeof afterOne);
    int source = -1, target = -1;
    for (int i = 0; i < c.ship->tankCount; ++i) {
        if (afterOne[i].mass < before[i].mass) source = i;
        if (afterOne[i].mass > before[i].mass) target = i;
    }
    CHECK(source >= 0 && target >= 0 && source != target, "the first opcPreStep moved nothing");
    if (source < 0 || target < 0) {
        closeInstrument(mfd);
        return unloadPlugin(p);
    }
    const double perStep = before[source].mass - afterOne[source].mass;
    CHECK(perStep > 0 && fabs(total - totalMass(c.ship)) < 1e-9, "moved %g, total %g -> %g", perStep, total,
          totalMass(c.ship));

    // A save (the quicksave key, the flight recorder) writes the block and changes nothing: the
    // steps below go on moving the same mass each.
    static ScenarioWriter saved;
    memset(&saved, 0, sizeof saved);
    mfd->WriteStatus(&saved);
    CHECK(strcmp(saved.text,
                 "  PUMPMODE 0\n  PUMPRATE 2\n  DOCKPORT 0\n  TARGETTANK 0\n  SOURCETANK 1:Kestrel-7\n") == 0,
          "written mid-transfer:\n%s", saved.text);

    // A host of the transition period calls opcTimestep too: it must not pump again.
    simt += 1.0;
    p.timestep(simt, 1.0, 51982.0);
    CHECK(c.ship->tanks[source].mass == afterOne[source].mass &&
              c.ship->tanks[target].mass == afterOne[target].mass,
          "opcTimestep pumped after opcPreStep");

    int steps = 1;
    while (steps < 10000 && c.ship->tanks[source].mass > 0 &&
           c.ship->tanks[target].mass < c.ship->tanks[target].capacity) {
        const double sourceBefore = c.ship->tanks[source].mass;
        step(p, 1);
        ++steps;
        const double moved = sourceBefore - c.ship->tanks[source].mass;
        if (c.ship->tanks[source].mass > 0 && c.ship->tanks[target].mass < c.ship->tanks[target].capacity &&
            fabs(moved - perStep) > 1e-9) {
            CHECK(false, "step %d moved %g instead of %g", steps, moved, perStep);
            break;
        }
    }
    CHECK(c.ship->tanks[source].mass == 0 || c.ship->tanks[target].mass == c.ship->tanks[target].capacity,
          "no clamp after %d steps", steps);
    CHECK(fabs(total - totalMass(c.ship)) < 1e-6, "total %g -> %g", total, totalMass(c.ship));
    Tank clamped[kMaxTanks];
    memcpy(clamped, c.ship->tanks, sizeof clamped);
    step(p, 20);
    CHECK(memcmp(clamped, c.ship->tanks, sizeof clamped) == 0, "mass moved past the clamp");
    CHECK(liveStatusLists == 0, "%d propellant lists not freed by the steps", liveStatusLists);
    static char page[kPageSize];
    drawPage(display, mfd, page, sizeof page);
    CHECK(strstr(page, "Pump Mode: Cross-Feed") != nullptr && strstr(page, "Pump Rate: Off\n") != nullptr,
          "page after the clamp:\n%s", page);
    closeInstrument(mfd);
    unloadPlugin(p);
}

// Where an instrument's lines start in a scenario file: after the MODE line of its block.
int blockStart(const char* file, const char* display) {
    char header[64];
    snprintf(header, sizeof header, "BEGIN_MFD %s\n", display);
    const char* begin = strstr(file, header);
    const char* mode = begin ? strstr(begin, "MODE ") : nullptr;
    const char* end = mode ? strchr(mode, '\n') : nullptr;
    return end ? static_cast<int>(end + 1 - file) : -1;
}

// A load from the docked depot, written by two displays into a scenario file with the ship
// list after them and read back in the next session by fresh instruments as the simulator
// reads it; then the depot deleted mid-transfer through opcDeleteVessel.
void scenarioRoundTripAndDeletion(Display& display) {
    Plugin p;
    if (!loadPlugin(p)) return;
    Cockpit c = makeCockpit(true);
    startSession(p);
    MFD* left = openInstrument(c.ship);
    MFD* right = openInstrument(c.ship);
    if (!left || !right) return unloadPlugin(p);
    press(left, OAPI_KEY_M);
    press(left, OAPI_KEY_D);
    static char page[kPageSize];
    drawPage(display, left, page, sizeof page);
    press(left, OAPI_KEY_S);
    press(left, OAPI_KEY_T, 2);
    press(left, OAPI_KEY_EQUALS, 3);

    static ScenarioWriter written[2];
    memset(written, 0, sizeof written);
    left->WriteStatus(&written[0]);
    right->WriteStatus(&written[1]);
    // Load (1) at High (3) through the second port, the ship's third tank from the depot's second
    // (the items and their order of tests/module/status_block_test.cpp), written alike by both.
    static const char kBlock[] =
        "  PUMPMODE 1\n  PUMPRATE 3\n  DOCKPORT 1\n  TARGETTANK 2\n  SOURCETANK 1:Depot%Alpha\n";
    for (const ScenarioWriter& w : written)
        CHECK(strcmp(w.text, kBlock) == 0 && w.items == 5, "written:\n%s", w.text);
    // The session ends as the simulator ends it; the next one starts from the file.
    closeInstrument(left);
    closeInstrument(right);
    endSession(p);
    c = makeCockpit(true);
    startSession(p);

    static char file[kScenarioSize * 2];
    snprintf(file, sizeof file,
             "BEGIN_DESC\nA tanker at a depot ; loading\nEND_DESC\n\n"
             "BEGIN_ENVIRONMENT\n  System Sol\n  Date MJD 51982.0\nEND_ENVIRONMENT\n\n"
             "BEGIN_FOCUS\n  Ship Kestrel-7\nEND_FOCUS\n\n"
             "BEGIN_MFD Left\n  TYPE User\n  MODE %s\n%sEND_MFD\n\n"
             "BEGIN_MFD Right\n  TYPE User\n  MODE %s\n%sEND_MFD\n\n"
             "BEGIN_SHIPS\nKestrel-7:ShuttleA\n  STATUS Orbiting Earth\n  ; docked at its second port\n"
             "  PRPLEVEL 0:0.25 1:0.333 2:1.0\nEND\nDepot%%Alpha:FuelDepot\n  STATUS Orbiting "
             "Earth\nEND\nEND_SHIPS\n",
             kModeName, written[0].text, kModeName, written[1].text);

    // Fresh instruments, each handed the file's lines from behind its MODE line on.
    left = openInstrument(c.ship);
    right = openInstrument(c.ship);
    if (!left || !right) return unloadPlugin(p);
    ScenarioReader readers[2] = {{file, blockStart(file, "Left"), {}, 0},
                                 {file, blockStart(file, "Right"), {}, 0}};
    CHECK(readers[0].position > 0 && readers[1].position > 0);
    left->ReadStatus(&readers[0]);
    right->ReadStatus(&readers[1]);
    CHECK(readers[0].linesHandedOut > written[0].items, "the reader stopped at END_MFD");

    // What comes back is the configuration that was written.
    static ScenarioWriter again;
    memset(&again, 0, sizeof again);
    left->WriteStatus(&again);
    CHECK(strcmp(again.text, written[0].text) == 0, "read back:\n%s\nwritten:\n%s", again.text,
          written[0].text);
    closeInstrument(right);
    checkPage(display, left, "status_load");
    const double shipBefore = totalMass(c.ship), depotBefore = totalMass(c.depot);
    // The restored load pumps at High until the ship's third tank (4999.96 of 5000 kg) is full,
    // then stops by itself.
    step(p, 5);
    CHECK(c.ship->tanks[2].mass == 5000.0 && fabs(c.depot->tanks[1].mass - 149.96) < 1e-9,
          "the restored load left %.6f kg in the ship's tank 3, %.6f kg in the depot's tank 2",
          c.ship->tanks[2].mass, c.depot->tanks[1].mass);
    CHECK(fabs(totalMass(c.ship) + totalMass(c.depot) - shipBefore - depotBefore) < 1e-6);
    drawPage(display, left, page, sizeof page);
    CHECK(strstr(page, "Pump Rate: Off\n") != nullptr, "the pump runs on at the clamp:\n%s", page);

    // Pumping again, at Low into the ship's first tank (250 of 1000 kg).
    press(left, OAPI_KEY_T);
    press(left, OAPI_KEY_EQUALS);
    step(p, 2);
    CHECK(fabs(c.ship->tanks[0].mass - 252.0) < 1e-9 && fabs(c.depot->tanks[1].mass - 147.96) < 1e-9,
          "the load into tank 1 left %.6f kg there, %.6f kg in the depot's tank 2", c.ship->tanks[0].mass,
          c.depot->tanks[1].mass);

    // The simulator tells plug-ins, then deletes the vessel: the pump stops and the depot is
    // never asked about again, neither by steps nor by the display.
    p.deleteVessel(handleOf(c.depot));
    removeVessel(c.depot);
    Tank shipTanks[kMaxTanks];
    memcpy(shipTanks, c.ship->tanks, sizeof shipTanks);
    step(p, 10);
    drawPage(display, left, page, sizeof page);
    CHECK(memcmp(shipTanks, c.ship->tanks, sizeof shipTanks) == 0, "the pump ran on after the deletion");
    CHECK(c.depot->callsAfterDeletion == 0, "%d host calls about the deleted depot",
          c.depot->callsAfterDeletion);
    CHECK(strstr(page, "Depot%Alpha") == nullptr, "the page still names the deleted depot:\n%s", page);
    CHECK(liveStatusLists == 0, "%d propellant lists not freed", liveStatusLists);
    closeInstrument(left);
    unloadPlugin(p);
}

// Two sessions in one loaded DLL, as when a pilot goes back to the Launchpad and starts
// another: a transfer left running with no display open when the first ends must not reach the
// second, whose vessels take the places of the first one's.
void twoSessions(Display& display) {
    Plugin p;
    Cockpit c;
    MFD* mfd = startCrossFeed(p, c);
    if (!mfd) return;
    closeInstrument(mfd);
    const double before = c.ship->tanks[0].mass;
    step(p, 1);
    CHECK(c.ship->tanks[0].mass > before, "the transfer stopped with its display");
    endSession(p);

    c = makeCockpit(false);
    startSession(p);
    Tank tanks[kMaxTanks];
    memcpy(tanks, c.ship->tanks, sizeof tanks);
    step(p, 10);
    CHECK(memcmp(tanks, c.ship->tanks, sizeof tanks) == 0,
          "the first session's transfer pumped in the second");
    mfd = openInstrument(c.ship);
    if (mfd) {
        static char page[kPageSize];
        drawPage(display, mfd, page, sizeof page);
        CHECK(strstr(page, "Pump Rate: Off\n") && strstr(page, "Source Tank 1 (of 3)"),
              "the second session's page:\n%s", page);
        closeInstrument(mfd);
    }
    endSession(p);
    unloadPlugin(p);
}

}  // namespace

int main(int argc, char** argv) {
    const bool package = argc == 3 && strcmp(argv[1], "--package") == 0;
    if (argc != 3) {
        const char* self = argc > 0 ? argv[0] : "orbiter";
        printf(
            "usage: %s <Kestrane.dll> <folder of the page files>\n"
            "       %s --package <vessel classes file>   (in the folder the package was unpacked into)\n",
            self, self);
        return 2;
    }
    CHECK(processAtStart == GetCurrentProcessId() && processAtStart != 0, "static initialisers did not run");
    static Display display;
    char error[128];
    const bool opened = openDisplay(display, error, sizeof error);
    CHECK(opened, "%s", error);
    if (package) {
        if (opened) packageSession(display, argv[2]);
    } else {
        dllPath = argv[1];
        pagesFolder = argv[2];
        launchpadEntry();
        if (opened) {
            loadRegistersTheModeOnce();
            labelsAndMenu();
            everyPage(display);
            transferToItsClamp(display);
            scenarioRoundTripAndDeletion(display);
            twoSessions(display);
            cockpitSession(display);
        }
    }
    if (opened) closeDisplay(display);
    freeVessels();
    printf("%d passed, %d failed\n", checksPassed, checksFailed);
    return checksFailed == 0 && checksPassed > 0 ? 0 : 1;
}
