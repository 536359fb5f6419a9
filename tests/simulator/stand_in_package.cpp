// The package as a pilot installs it: unzipped into the simulator's folder, where the stand-in
// is started. It does what the simulator does with what it finds there: lists Modules/Plugin,
// reads the Launchpad's texts of the DLL, loads it, and plays each scenario of
// Scenarios/Kestrane as its description tells a pilot to: ships and their tanks, levels and
// docking from the file, the displays' blocks handed to the instruments with the simulator's
// reading, the keys, a minute of opcPreStep, a save into Scenarios/Quicksave, and the saved file
// loaded again.
#include <math.h>
#include <stdarg.h>
#include <string.h>

#include "tests/simulator/stand_in.h"

namespace {

constexpr int kFileSize = 16384;
constexpr int kMaxClasses = 32, kMaxClassTanks = 16, kMaxDisplays = 12, kMaxScenarios = 8;
constexpr int kLine = 256;

// ---- The vessel classes: what the simulator's vessel modules would give of each.
struct VesselClass {
    char name[32];
    int ports, tankCount;
    double tanks[kMaxClassTanks];
};
VesselClass classes[kMaxClasses];
int classCount = 0;

// The line at offset at, without its line end, into line; returns the next line's offset.
int lineAt(const char* text, int at, char* line) {
    int n = 0;
    while (text[at] && text[at] != '\n') {
        if (n < kLine - 1) line[n++] = text[at];
        ++at;
    }
    if (n > 0 && line[n - 1] == '\r') --n;
    line[n] = '\0';
    return text[at] ? at + 1 : at;
}

// The line as the simulator reads a keyword line: comment cut, blanks around it removed.
char* cleaned(char* line) {
    if (char* comment = strchr(line, ';')) *comment = '\0';
    char* first = line;
    while (*first == ' ' || *first == '\t') ++first;
    size_t n = strlen(first);
    while (n > 0 && (first[n - 1] == ' ' || first[n - 1] == '\t')) first[--n] = '\0';
    return first;
}

bool startsWith(const char* line, const char* keyword) {
    return _strnicmp(line, keyword, strlen(keyword)) == 0;
}

// What a pilot tries in each scenario and what the saved file then holds: the list every host is
// held to (tests/data/pilot-figures.txt).
struct Try {
    char file[MAX_PATH];
    DWORD keys[8];          // a redraw after each, ended by 0
    char block[kLine * 2];  // the Left display's, as written
    struct {
        char name[32], entry[kLine];  // the lines between the ship's name and its END
    } ships[kMaxVessels];
    int shipCount;
    double ventedInTheNextMinute;  // by the focus ship, after loading the saved file
};
Try tries[kMaxScenarios];
int tryCount = 0;

DWORD keyNamed(const char* name) {
    static const struct {
        const char* name;
        DWORD key;
    } keys[] = {{"M", OAPI_KEY_M},      {"T", OAPI_KEY_T},     {"S", OAPI_KEY_S},    {"D", OAPI_KEY_D},
                {"+", OAPI_KEY_EQUALS}, {"-", OAPI_KEY_MINUS}, {"?", OAPI_KEY_SLASH}};
    for (const auto& k : keys) {
        if (strcmp(k.name, name) == 0) return k.key;
    }
    return 0;
}

bool readTries(const char* path) {
    static char text[kFileSize];
    if (!readFile(path, text, sizeof text)) return false;
    tryCount = 0;
    char raw[kLine];
    for (int at = 0; text[at];) {
        at = lineAt(text, at, raw);
        if (char* hash = strchr(raw, '#')) *hash = '\0';
        char word[16] = "", name[32] = "";
        int used = 0, more = 0;
        if (sscanf(raw, "%15s %n", word, &used) != 1) continue;
        char* rest = cleaned(raw + used);
        if (strcmp(word, "scenario") == 0) {
            if (tryCount == kMaxScenarios) return false;
            Try& t = tries[tryCount++];
            memset(&t, 0, sizeof t);
            snprintf(t.file, sizeof t.file, "%s", rest);
            snprintf(t.block, sizeof t.block, "BEGIN_MFD Left\n  TYPE User\n  MODE %s\n", kModeName);
            continue;
        }
        if (tryCount == 0) return false;
        Try& t = tries[tryCount - 1];
        if (strcmp(word, "keys") == 0) {
            for (int k = 0; k < 7 && sscanf(rest, "%31s%n", name, &more) == 1; ++k, rest += more)
                if (!(t.keys[k] = keyNamed(name))) return false;
        } else if (strcmp(word, "block") == 0) {
            snprintf(t.block + strlen(t.block), sizeof t.block - strlen(t.block), "  %s\n", rest);
        } else if (strcmp(word, "ship") == 0 && t.shipCount < kMaxVessels &&
                   sscanf(rest, "%31s%n", name, &more) == 1) {
            auto& ship = t.ships[t.shipCount++];
            snprintf(ship.name, sizeof ship.name, "%s", name);
            if (*cleaned(rest + more))
                snprintf(ship.entry, sizeof ship.entry, "  PRPLEVEL %s\n", cleaned(rest + more));
        } else if (strcmp(word, "dock") == 0 && sscanf(rest, "%31s%n", name, &more) == 1) {
            for (int i = 0; i < t.shipCount; ++i) {
                if (strcmp(t.ships[i].name, name) == 0)
                    snprintf(t.ships[i].entry + strlen(t.ships[i].entry), kLine - strlen(t.ships[i].entry),
                             "  DOCKINFO %s\n", cleaned(rest + more));
            }
        } else if (strcmp(word, "vented") == 0) {
            t.ventedInTheNextMinute = atof(rest);
        }
    }
    for (int i = 0; i < tryCount; ++i)
        strncat(tries[i].block, "END_MFD\n", sizeof tries[i].block - strlen(tries[i].block) - 1);
    return tryCount > 0;
}

// Whether the saved file has the ship's entry with exactly these lines between its name and END.
bool hasShipEntry(const char* saved, const char* name, const char* entry) {
    char header[40];
    snprintf(header, sizeof header, "\n%s:", name);
    const char* at = strstr(saved, header);
    if (!at || !(at = strchr(at + 1, '\n'))) return false;
    const size_t n = strlen(entry);
    return strncmp(at + 1, entry, n) == 0 && strncmp(at + 1 + n, "END\n", 4) == 0;
}

bool readClasses(const char* path) {
    static char text[kFileSize];
    if (!readFile(path, text, sizeof text)) return false;
    classCount = 0;
    char raw[kLine];
    for (int at = 0; text[at];) {
        at = lineAt(text, at, raw);
        const char* line = cleaned(raw);
        if (!*line || classCount == kMaxClasses) continue;
        VesselClass& c = classes[classCount];
        int used = 0;
        if (sscanf(line, "%31s %d%n", c.name, &c.ports, &used) != 2) return false;
        c.tankCount = 0;
        int more = 0;
        while (c.tankCount < kMaxClassTanks &&
               sscanf(line + used, "%lf%n", &c.tanks[c.tankCount], &more) == 1) {
            ++c.tankCount;
            used += more;
        }
        ++classCount;
    }
    return classCount > 0;
}

const VesselClass* findClass(const char* name) {
    for (int i = 0; i < classCount; ++i) {
        if (_stricmp(classes[i].name, name) == 0) return &classes[i];
    }
    return nullptr;
}

// ---- A scenario file, as much of it as the module has a part in.
struct ShipEntry {
    char name[32], className[32];
    double levels[kMaxTanks];
    struct {
        int port, otherPort;
        char other[32];
    } docks[kMaxPorts];
    int dockCount;
};
struct DisplayEntry {
    char id[16];
    bool fuelManagement;  // TYPE User, MODE Fuel Management
    int begin, end;       // the block, BEGIN_MFD to past END_MFD
    int itemsAt;          // the line after MODE: where the instrument's reading starts
};
struct ScenarioFile {
    const char* text;
    int descriptionBegin, descriptionEnd;  // BEGIN_DESC to past END_DESC
    int descriptionLines;
    char focus[32];
    ShipEntry ships[kMaxVessels];
    int shipCount;
    DisplayEntry displays[kMaxDisplays];
    int displayCount;
};

bool readShip(ShipEntry& ship, const char* line) {
    if (strncmp(line, "PRPLEVEL", 8) == 0) {
        for (const char* at = line + 8; *at;) {
            int tank = 0, used = 0;
            double level = 0;
            if (sscanf(at, " %d:%lf%n", &tank, &level, &used) != 2) return false;
            if (tank >= 0 && tank < kMaxTanks) ship.levels[tank] = level;
            at += used;
        }
    } else if (strncmp(line, "DOCKINFO", 8) == 0) {
        for (const char* at = line + 8; *at && ship.dockCount < kMaxPorts;) {
            auto& d = ship.docks[ship.dockCount];
            int used = 0;
            if (sscanf(at, " %d:%d,%31s%n", &d.port, &d.otherPort, d.other, &used) != 3) return false;
            ++ship.dockCount;
            at += used;
        }
    }
    return true;
}

bool parseScenario(const char* text, ScenarioFile& s) {
    memset(&s, 0, sizeof s);
    s.text = text;
    char raw[kLine];
    for (int at = 0; text[at];) {
        const int start = at;
        at = lineAt(text, at, raw);
        if (startsWith(raw, "BEGIN_DESC")) {
            s.descriptionBegin = start;
            while (text[at] && !startsWith(raw, "END_DESC")) {
                at = lineAt(text, at, raw);
                s.descriptionLines += *cleaned(raw) != '\0' && !startsWith(raw, "END_DESC");
            }
            s.descriptionEnd = at;
        } else if (startsWith(raw, "BEGIN_FOCUS")) {
            while (text[at] && !startsWith(raw, "END_FOCUS")) {
                at = lineAt(text, at, raw);
                const char* line = cleaned(raw);
                if (startsWith(line, "Ship ")) sscanf(line + 5, "%31s", s.focus);
            }
        } else if (startsWith(raw, "BEGIN_MFD")) {
            if (s.displayCount == kMaxDisplays) return false;
            DisplayEntry& d = s.displays[s.displayCount++];
            d.begin = start;
            sscanf(raw + 9, "%15s", d.id);
            at = lineAt(text, at, raw);
            if (_stricmp(cleaned(raw), "TYPE User") == 0) {
                at = lineAt(text, at, raw);
                d.fuelManagement = _stricmp(cleaned(raw), "MODE Fuel Management") == 0;
                d.itemsAt = at;
            }
            while (text[at] && !startsWith(raw, "END_MFD")) at = lineAt(text, at, raw);
            d.end = at;
        } else if (startsWith(raw, "BEGIN_SHIPS")) {
            for (;;) {
                if (!text[at]) return false;
                at = lineAt(text, at, raw);
                char* header = cleaned(raw);
                if (strcmp(header, "END_SHIPS") == 0) break;
                if (!*header) continue;
                if (s.shipCount == kMaxVessels) return false;
                ShipEntry& ship = s.ships[s.shipCount++];
                char* colon = strchr(header, ':');
                if (colon) *colon = '\0';
                snprintf(ship.name, sizeof ship.name, "%s", header);
                snprintf(ship.className, sizeof ship.className, "%s", colon ? colon + 1 : header);
                for (;;) {
                    if (!text[at]) return false;
                    at = lineAt(text, at, raw);
                    const char* line = cleaned(raw);
                    if (strcmp(line, "END") == 0) break;
                    if (!readShip(ship, line)) return false;
                }
            }
        }
    }
    return true;
}

StandInVessel* vesselNamed(StandInVessel* const* vessels, const ScenarioFile& s, const char* name) {
    for (int i = 0; i < s.shipCount; ++i) {
        if (vessels[i] && strcmp(s.ships[i].name, name) == 0) return vessels[i];
    }
    return nullptr;
}

// The scenario's ships as the simulator makes them; the focus ship, or null.
StandInVessel* makeShips(const ScenarioFile& s, StandInVessel** vessels) {
    clearVessels();
    for (int i = 0; i < s.shipCount; ++i) {
        const ShipEntry& ship = s.ships[i];
        const VesselClass* c = findClass(ship.className);
        CHECK(c != nullptr, "no vessel class %s", ship.className);
        vessels[i] = nullptr;
        if (!c) continue;
        Tank tanks[kMaxTanks];
        for (int t = 0; t < c->tankCount && t < kMaxTanks; ++t)
            tanks[t] = {c->tanks[t], c->tanks[t] * ship.levels[t]};
        vessels[i] = addVessel(ship.name, c->name, c->tankCount, tanks, c->ports);
        CHECK(vessels[i] != nullptr, "%s: more tanks or ports than the stand-in has", ship.name);
    }
    for (int i = 0; i < s.shipCount; ++i) {
        for (int d = 0; vessels[i] && d < s.ships[i].dockCount; ++d) {
            StandInVessel* other = vesselNamed(vessels, s, s.ships[i].docks[d].other);
            const int port = s.ships[i].docks[d].port, otherPort = s.ships[i].docks[d].otherPort;
            CHECK(other && port < vessels[i]->portCount && otherPort < other->portCount, "%s: dock info",
                  s.ships[i].name);
            if (other && port < vessels[i]->portCount && otherPort < other->portCount)
                dock(vessels[i], port, other, otherPort);
        }
    }
    return vesselNamed(vessels, s, s.focus);
}

// Fuel Management on each display whose block names it, the block's lines handed over as the
// simulator reads them.
int openDisplays(const ScenarioFile& s, StandInVessel* focus, MFD** opened) {
    int count = 0;
    for (int i = 0; i < s.displayCount; ++i) {
        opened[i] = nullptr;
        if (!s.displays[i].fuelManagement || !focus) continue;
        opened[i] = openInstrument(focus);
        if (!opened[i]) continue;
        ScenarioReader reader = {s.text, s.displays[i].itemsAt, {}, 0};
        opened[i]->ReadStatus(&reader);
        ++count;
    }
    return count;
}

int portOf(const StandInVessel* vessel, const StandInVessel* docked) {
    for (int p = 0; p < vessel->portCount; ++p) {
        if (vessel->ports[p].docked == docked) return p;
    }
    return -1;
}

// A file being written into a fixed buffer; what does not fit is left out (and the comparisons
// with what was expected then fail).
struct Out {
    char* text;
    int size, length;
    void put(const char* piece, int n) {
        if (n > 0 && length + n < size) {
            memcpy(text + length, piece, static_cast<size_t>(n));
            length += n;
        }
        text[length] = '\0';
    }
    __attribute__((format(printf, 2, 3))) void print(const char* format, ...) {
        char line[kLine];
        va_list args;
        va_start(args, format);
        const int n = vsnprintf(line, sizeof line, format, args);
        va_end(args);
        put(line, n < static_cast<int>(sizeof line) ? n : 0);
    }
};

// What the simulator writes: the description and focus, each display (Fuel Management's
// through WriteStatus, the others as they were), each ship's levels and docking.
void writeScenario(const ScenarioFile& s, MFD* const* displays, StandInVessel* const* vessels, char* text,
                   int size) {
    Out out = {text, size, 0};
    out.put(s.text + s.descriptionBegin, s.descriptionEnd - s.descriptionBegin);
    out.print("BEGIN_FOCUS\n  Ship %s\nEND_FOCUS\n", s.focus);
    for (int i = 0; i < s.displayCount; ++i) {
        const DisplayEntry& d = s.displays[i];
        if (!displays[i]) {
            out.put(s.text + d.begin, d.end - d.begin);
            continue;
        }
        static ScenarioWriter items;
        memset(&items, 0, sizeof items);
        displays[i]->WriteStatus(&items);
        out.print("BEGIN_MFD %s\n  TYPE User\n  MODE %s\n", d.id, kModeName);
        out.put(items.text, items.length);
        out.print("END_MFD\n");
    }
    out.print("BEGIN_SHIPS\n");
    for (int i = 0; i < s.shipCount; ++i) {
        const StandInVessel* v = vessels[i];
        if (!v) continue;
        out.print("%s:%s\n", v->name, v->className);
        bool any = false;
        for (int t = 0; t < v->tankCount; ++t) {
            if (v->tanks[t].mass <= 0) continue;  // the simulator lists the tanks that hold something
            out.print("%s %d:%.6f", any ? "" : "  PRPLEVEL", t, v->tanks[t].mass / v->tanks[t].capacity);
            any = true;
        }
        if (any) out.print("\n");
        any = false;
        for (int p = 0; p < v->portCount; ++p) {
            const StandInVessel* other = v->ports[p].docked;
            if (!other) continue;
            out.print("%s %d:%d,%s", any ? "" : "  DOCKINFO", p, portOf(other, v), other->name);
            any = true;
        }
        if (any) out.print("\n");
        out.print("END\n");
    }
    out.print("END_SHIPS\n");
}

double totalOf(const StandInVessel* v) {
    double sum = 0;
    for (int t = 0; v && t < v->tankCount; ++t) sum += v->tanks[t].mass;
    return sum;
}

void closeDisplays(MFD** displays, int count) {
    for (int i = 0; i < count; ++i) {
        if (displays[i]) closeInstrument(displays[i]);
        displays[i] = nullptr;
    }
}

// One scenario: loaded, the keys its description names, a minute, saved, loaded again.
void playScenario(Display& display, const Try& t) {
    static char text[kFileSize], saved[kFileSize], reread[kFileSize], page[4096];
    static ScenarioFile scenario, again;
    char path[MAX_PATH];
    snprintf(path, sizeof path, "Scenarios\\Kestrane\\%s", t.file);
    const bool read = readFile(path, text, sizeof text);
    CHECK(read, "cannot read %s", path);
    const bool parsed = read && parseScenario(text, scenario);
    CHECK(parsed, "%s: not a scenario the simulator would read", t.file);
    if (!parsed) return;
    CHECK(scenario.descriptionLines > 0, "%s: no description for the Launchpad", t.file);

    Plugin p;
    if (!loadPlugin(p)) return;
    StandInVessel* vessels[kMaxVessels] = {};
    MFD* displays[kMaxDisplays] = {};
    StandInVessel* focus = makeShips(scenario, vessels);
    CHECK(focus != nullptr, "%s: the focus ship '%s' is not among the ships", t.file, scenario.focus);
    startSession(p);
    const int opened = openDisplays(scenario, focus, displays);
    CHECK(opened == 1 && scenario.displayCount > 0 && strcmp(scenario.displays[0].id, "Left") == 0 &&
              displays[0],
          "%s: %d displays of Fuel Management, not the Left one alone", t.file, opened);
    if (!displays[0]) {
        closeDisplays(displays, scenario.displayCount);
        return unloadPlugin(p);
    }
    drawPage(display, displays[0], page, sizeof page);
    for (int k = 0; t.keys[k]; ++k) {
        press(displays[0], t.keys[k]);
        drawPage(display, displays[0], page, sizeof page);
        if (t.keys[k + 1]) step(p, 25, 0.02);  // half a second to the next key, as a pilot presses them
    }
    step(p, 3000, 0.02);

    writeScenario(scenario, displays, vessels, saved, sizeof saved);
    CreateDirectoryA("Scenarios\\Quicksave", nullptr);
    char savedPath[MAX_PATH];
    snprintf(savedPath, sizeof savedPath, "Scenarios\\Quicksave\\%.*s 0001.scn",
             static_cast<int>(strlen(t.file) - 4), t.file);
    FILE* f = fopen(savedPath, "wb");
    CHECK(f != nullptr, "cannot write %s", savedPath);
    if (f) {
        fputs(saved, f);
        fclose(f);
    }
    CHECK(strstr(saved, t.block) != nullptr, "%s: the saved file has no\n%s--- saved\n%s", t.file, t.block,
          saved);
    for (int i = 0; i < t.shipCount; ++i)
        CHECK(hasShipEntry(saved, t.ships[i].name, t.ships[i].entry),
              "%s: the saved file has no\n%s:\n%sEND\n--- saved\n%s", t.file, t.ships[i].name,
              t.ships[i].entry, saved);
    closeDisplays(displays, scenario.displayCount);
    endSession(p);

    // The next session from the saved file: saved at once, it is the same file; run a minute,
    // the pump goes on as it was.
    const bool readAgain = readFile(savedPath, reread, sizeof reread) && strcmp(reread, saved) == 0 &&
                           parseScenario(reread, again);
    CHECK(readAgain, "%s: the saved file does not read back", savedPath);
    if (readAgain) {
        focus = makeShips(again, vessels);
        startSession(p);
        const bool reopened = openDisplays(again, focus, displays) == 1 && displays[0];
        CHECK(reopened, "%s: Fuel Management not reopened", savedPath);
        if (reopened) {
            static char resaved[kFileSize];
            writeScenario(again, displays, vessels, resaved, sizeof resaved);
            CHECK(strcmp(resaved, saved) == 0, "%s: loaded and saved again it differs:\n%s", savedPath,
                  resaved);
            const double before = totalOf(focus);
            step(p, 3000, 0.02);
            const double vented = before - totalOf(focus);
            CHECK(fabs(vented - t.ventedInTheNextMinute) < 1e-6,
                  "%s: %g kg vented in the minute after loading", savedPath, vented);
        }
        closeDisplays(displays, again.displayCount);
        endSession(p);
    }
    unloadPlugin(p);
}

}  // namespace

void packageSession(Display& display, const char* classesFile) {
    // The Launchpad's Modules list: every DLL of Modules/Plugin.
    WIN32_FIND_DATAA found;
    HANDLE listing = FindFirstFileA("Modules\\Plugin\\*.dll", &found);
    int plugins = 0;
    bool kestrane = false;
    for (bool more = listing != INVALID_HANDLE_VALUE; more; more = FindNextFileA(listing, &found)) {
        ++plugins;
        kestrane = kestrane || _stricmp(found.cFileName, "Kestrane.dll") == 0;
    }
    if (listing != INVALID_HANDLE_VALUE) FindClose(listing);
    CHECK(plugins == 1 && kestrane, "Modules\\Plugin holds %d DLLs%s", plugins,
          kestrane ? "" : ", none Kestrane.dll");
    if (!kestrane) return;
    dllPath = "Modules\\Plugin\\Kestrane.dll";
    launchpadEntry();

    CHECK(readClasses(classesFile), "cannot read the vessel classes from %s", classesFile);
    static char description[kFileSize];
    CHECK(readFile("Scenarios\\Kestrane\\Description.txt", description, sizeof description) && *description,
          "no Scenarios\\Kestrane\\Description.txt for the Launchpad");

    // The Launchpad's scenario list: each file there is one a pilot may start.
    char names[kMaxScenarios][MAX_PATH];
    int scenarios = 0;
    listing = FindFirstFileA("Scenarios\\Kestrane\\*.scn", &found);
    for (bool more = listing != INVALID_HANDLE_VALUE; more && scenarios < kMaxScenarios;
         more = FindNextFileA(listing, &found))
        snprintf(names[scenarios++], MAX_PATH, "%s", found.cFileName);
    if (listing != INVALID_HANDLE_VALUE) FindClose(listing);
    CHECK(readTries(KESTRANE_PILOT_FIGURES), "cannot read what to try from %s", KESTRANE_PILOT_FIGURES);
    CHECK(scenarios == tryCount, "%d scenarios in Scenarios\\Kestrane, %d to try", scenarios, tryCount);
    for (int i = 0; i < scenarios; ++i) {
        const Try* t = nullptr;
        for (int k = 0; k < tryCount; ++k) {
            if (strcmp(tries[k].file, names[i]) == 0) t = &tries[k];
        }
        CHECK(t != nullptr, "nothing to try in %s", names[i]);
        if (t) playScenario(display, *t);
    }
    printf("package: %d scenarios played\n", scenarios);
}
