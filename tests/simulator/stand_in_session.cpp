// One session of the simulator with Kestrane.dll, as the simulator runs it: the DLL loaded with
// LoadLibrary and its callbacks found by name; the mode opened on a display through its
// message procedure; keys, buttons and every page drawn through Update; a transfer pumped by
// opcPreStep to its clamp; the configuration written to a scenario and read back from a whole
// file by fresh instruments; a vessel deleted mid-transfer; the unload.
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
    CHECK(p.init && p.exit && p.preStep && p.timestep && p.deleteVessel,
          "a callback is not exported by name");
    if (!p.init || !p.exit || !p.preStep || !p.timestep || !p.deleteVessel) return false;
    char error[128];
    const bool intercepted = interceptGdi(p.dll, error, sizeof error);
    CHECK(intercepted, "%s", error);
    p.init(p.dll);
    return intercepted;
}

void unloadPlugin(Plugin& p) {
    p.exit(p.dll);
    FreeLibrary(p.dll);
}

// Opens the mode on a display of the vessel as the simulator does: OAPI_MSG_MFD_OPENEDEX
// first, OAPI_MSG_MFD_OPENED with the size in the parameter only when that gave nothing; then
// the cell size. Checks what the MFD base received.
MFD* openInstrument(StandInVessel* vessel) {
    const RegisteredMode* mode = findMode(kModeName);
    CHECK(mode != nullptr, "mode not registered");
    if (!mode) return nullptr;
    MFDMODESPECEX described = {const_cast<char*>(mode->name), mode->key, nullptr, mode->msgproc};
    MFDMODEOPENSPEC open = {kDisplaySize, kDisplaySize, &described};
    OAPI_MSGTYPE made = mode->msgproc(OAPI_MSG_MFD_OPENEDEX, static_cast<UINT>(mode->id),
                                      reinterpret_cast<WPARAM>(&open), reinterpret_cast<LPARAM>(vessel->api));
    if (!made) {
        made = mode->msgproc(OAPI_MSG_MFD_OPENED, static_cast<UINT>(mode->id),
                             MAKEWPARAM(kDisplaySize, kDisplaySize), reinterpret_cast<LPARAM>(vessel->api));
    }
    MFD* mfd = reinterpret_cast<MFD*>(made);
    CHECK(mfd != nullptr, "the message procedure made no instrument");
    if (!mfd) return nullptr;
    InstrumentRecord* record = recordOf(mfd);
    CHECK(record != nullptr, "the instrument did not construct the MFD base");
    if (!record) return nullptr;
    CHECK(record->w == kDisplaySize && record->h == kDisplaySize, "base got %lux%lu", record->w, record->h);
    CHECK(record->vessel == vessel->api && vesselOf(mfd) == vessel->api, "base got another vessel");
    CHECK(widthOf(mfd) == kDisplaySize && heightOf(mfd) == kDisplaySize);
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

bool readFile(const char* path, char* text, int size) {
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    const size_t n = fread(text, 1, static_cast<size_t>(size - 1), f);
    fclose(f);
    text[n] = '\0';
    return true;
}

// The page drawn through Update against the project's page file, cell by cell.
void checkPage(Display& display, MFD* mfd, const char* name) {
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
}

double totalMass(const StandInVessel* v) {
    double sum = 0;
    for (int i = 0; i < v->tankCount; ++i) sum += v->tanks[i].mass;
    return sum;
}

// ---- The session's parts.

void loadRegistersTheModeOnce() {
    Plugin p;
    if (!loadPlugin(p)) return;
    const RegisteredMode* mode = findMode(kModeName);
    CHECK(mode != nullptr, "no mode named %s", kModeName);
    CHECK(mode && mode->key == OAPI_KEY_F, "mode key 0x%02lx", mode ? mode->key : 0);
    CHECK(mode && mode->msgproc != nullptr);
    CHECK(modeRegistrations == 1, "the mode was registered %d times", modeRegistrations);
    unloadPlugin(p);
    CHECK(findMode(kModeName) == nullptr, "the mode outlived the unload");
    CHECK(modeUnregistrations == modeRegistrations, "%d registrations, %d withdrawn", modeRegistrations,
          modeUnregistrations);
    CHECK(GetModuleHandleA(dllPath) == nullptr, "the DLL stayed in the process");
}

void labelsAndMenu() {
    Plugin p;
    if (!loadPlugin(p)) return;
    Cockpit c = makeCockpit(false);
    if (MFD* mfd = openInstrument(c.ship)) {
        const MFDBUTTONMENU* menu = nullptr;
        const int count = mfd->ButtonMenu(&menu);
        CHECK(count == 7 && menu != nullptr, "%d menu entries", count);
        for (int bt = 0; menu && bt < count; ++bt) {
            const char* label = mfd->ButtonLabel(bt);
            CHECK(label && strlen(label) >= 1 && strlen(label) <= 3, "button %d label", bt);
            CHECK(menu[bt].line1 && *menu[bt].line1 && menu[bt].selchar, "menu entry %d", bt);
        }
        CHECK(mfd->ButtonLabel(count) == nullptr, "a label past the buttons");
        CHECK(!mfd->ConsumeKeyBuffered(OAPI_KEY_Q), "a key without a command was taken");
        closeInstrument(mfd);
    }
    unloadPlugin(p);
}

// Every page of the page files, each from a freshly loaded DLL, by keys and (vent) by buttons.
void everyPage(Display& display) {
    const char* const names[] = {"status_crossfeed", "status_load", "status_unload_not_docked", "status_vent",
                                 "help"};
    for (const char* name : names) {
        Plugin p;
        if (!loadPlugin(p)) return;
        Cockpit c = makeCockpit(strcmp(name, "status_load") == 0);
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

// Cross-feed at the medium rate: nothing moves through opcTimestep once opcPreStep has come;
// every step moves the same mass from one tank to another, conserving the total, until the
// source is empty or the target full; then nothing moves.
void transferToItsClamp(Display& display) {
    Plugin p;
    if (!loadPlugin(p)) return;
    Cockpit c = makeCockpit(false);
    MFD* mfd = openInstrument(c.ship);
    if (!mfd) return unloadPlugin(p);
    press(mfd, OAPI_KEY_S);
    press(mfd, OAPI_KEY_EQUALS, 2);
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
    static char page[kPageSize];
    drawPage(display, mfd, page, sizeof page);
    CHECK(strstr(page, "Pump Mode: Cross-Feed") != nullptr, "page after the clamp:\n%s", page);
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
// list after them and read back by fresh instruments as the simulator reads it; then the
// depot deleted mid-transfer through opcDeleteVessel.
void scenarioRoundTripAndDeletion(Display& display) {
    Plugin p;
    if (!loadPlugin(p)) return;
    Cockpit c = makeCockpit(true);
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
    CHECK(written[0].items >= 4 && strstr(written[0].text, "Depot%Alpha") != nullptr, "written:\n%s",
          written[0].text);
    closeInstrument(left);
    closeInstrument(right);

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

    // Saving ends the instrument's part in the transfer (one block per saved configuration):
    // as after loading the scenario again, a fresh instrument reads the block and pumps.
    closeInstrument(left);
    left = openInstrument(c.ship);
    if (!left) return unloadPlugin(p);
    ScenarioReader reread = {file, blockStart(file, "Left"), {}, 0};
    left->ReadStatus(&reread);
    checkPage(display, left, "status_load");
    const double shipBefore = totalMass(c.ship), depotBefore = totalMass(c.depot);
    step(p, 5);
    CHECK(totalMass(c.ship) > shipBefore && totalMass(c.depot) < depotBefore,
          "the restored load does not pump");
    CHECK(fabs(totalMass(c.ship) + totalMass(c.depot) - shipBefore - depotBefore) < 1e-6);

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
    closeInstrument(left);
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
        }
    }
    if (opened) closeDisplay(display);
    clearVessels();
    printf("%d passed, %d failed\n", checksPassed, checksFailed);
    return checksFailed == 0 && checksPassed > 0 ? 0 : 1;
}
