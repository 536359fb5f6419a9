// The SDK's functions and members the module imports, over the stand-in's vessels, modes,
// instruments and scenario text, as the simulator behaves where the module can tell.
#include <ctype.h>
#include <stdarg.h>
#include <string.h>

#include "tests/simulator/stand_in.h"

namespace {

StandInVessel vessels[kMaxVessels];
int vesselCount = 0;

// The lists GetStatusEx handed out and the module has not freed.
constexpr int kMaxStatusLists = 16;
void* statusLists[kMaxStatusLists];
typedef void(__cdecl* FreeFn)(void*);
FreeFn realFree = nullptr;

void noteStatusList(void* list) {
    for (void*& slot : statusLists) {
        if (slot) continue;
        slot = list;
        ++liveStatusLists;
        return;
    }
}

void __cdecl recordFree(void* memory) {
    for (void*& slot : statusLists) {
        if (memory && slot == memory) {
            slot = nullptr;
            --liveStatusLists;
        }
    }
    realFree(memory);
}

StandInVessel* vesselOfHandle(OBJHANDLE handle) {
    for (int i = 0; i < vesselCount; ++i) {
        if (handle == &vessels[i]) return &vessels[i];
    }
    return nullptr;
}

// A call about a vessel the simulator no longer has: counted, answered harmlessly.
bool usable(StandInVessel* vessel) {
    if (!vessel) return false;
    if (!vessel->alive) {
        ++vessel->callsAfterDeletion;
        return false;
    }
    return true;
}

void copyText(char* to, size_t size, const char* from) { snprintf(to, size, "%s", from); }

}  // namespace

int liveStatusLists = 0;

bool watchStatusLists(HMODULE module, char* error, int errorSize) {
    HMODULE crt = GetModuleHandleA("ucrtbase.dll");
    realFree = crt ? reinterpret_cast<FreeFn>(reinterpret_cast<void*>(GetProcAddress(crt, "free"))) : nullptr;
    const ImportHook hook = {"free", reinterpret_cast<void*>(&recordFree)};
    if (!realFree || routeImports(module, "ucrtbase.dll", &hook, 1) != 1) {
        snprintf(error, static_cast<size_t>(errorSize), "the module does not import free from ucrtbase.dll");
        return false;
    }
    return true;
}

// ---- Vessels.

void clearVessels() {
    VESSEL* interfaces[kMaxVessels];
    for (int i = 0; i < kMaxVessels; ++i) interfaces[i] = vessels[i].api;
    memset(vessels, 0, sizeof vessels);
    for (int i = 0; i < kMaxVessels; ++i) vessels[i].api = interfaces[i];
    vesselCount = 0;
}

void freeVessels() {
    clearVessels();
    for (StandInVessel& v : vessels) {
        delete v.api;
        v.api = nullptr;
    }
}

StandInVessel* addVessel(const char* name, const char* className, int tankCount, const Tank* tanks,
                         int portCount) {
    if (vesselCount == kMaxVessels || tankCount > kMaxTanks || portCount > kMaxPorts) return nullptr;
    StandInVessel* v = &vessels[vesselCount++];
    VESSEL* api = v->api;
    memset(v, 0, sizeof *v);
    copyText(v->name, sizeof v->name, name);
    copyText(v->className, sizeof v->className, className);
    v->tankCount = tankCount;
    for (int i = 0; i < tankCount; ++i) v->tanks[i] = tanks[i];
    v->portCount = portCount;
    v->alive = true;
    v->api = api ? api : new VESSEL(v);  // its handle is this place, the same as before
    return v;
}

void dock(StandInVessel* a, int portA, StandInVessel* b, int portB) {
    a->ports[portA].docked = b;
    b->ports[portB].docked = a;
}

void removeVessel(StandInVessel* vessel) {
    for (int i = 0; i < vesselCount; ++i) {
        for (int p = 0; p < vessels[i].portCount; ++p) {
            if (vessels[i].ports[p].docked == vessel) vessels[i].ports[p].docked = nullptr;
        }
    }
    for (int p = 0; p < vessel->portCount; ++p) vessel->ports[p].docked = nullptr;
    vessel->alive = false;
}

OBJHANDLE handleOf(StandInVessel* vessel) { return vessel; }

VESSEL::VESSEL(OBJHANDLE hVessel, int fmodel)
    : vessel(reinterpret_cast<Vessel*>(hVessel)), flightmodel(static_cast<short>(fmodel)), version(0) {}

namespace {
StandInVessel* self(const VESSEL* api, Vessel* vessel) {
    (void)api;
    return reinterpret_cast<StandInVessel*>(vessel);
}
}  // namespace

// The SDK's declaration has the const return type; the definition has to repeat it.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wignored-qualifiers"
const OBJHANDLE VESSEL::GetHandle() const {
    StandInVessel* v = self(this, vessel);
    usable(v);
    return v;
}
#pragma clang diagnostic pop
char* VESSEL::GetName() const {
    StandInVessel* v = self(this, vessel);
    usable(v);
    return v->name;
}
char* VESSEL::GetClassName() const {
    StandInVessel* v = self(this, vessel);
    usable(v);
    return v->className;
}
UINT VESSEL::DockCount() const {
    StandInVessel* v = self(this, vessel);
    return usable(v) ? static_cast<UINT>(v->portCount) : 0;
}
DOCKHANDLE VESSEL::GetDockHandle(UINT n) const {
    StandInVessel* v = self(this, vessel);
    return usable(v) && n < static_cast<UINT>(v->portCount) ? &v->ports[n] : nullptr;
}
OBJHANDLE VESSEL::GetDockStatus(DOCKHANDLE hDock) const {
    StandInVessel* v = self(this, vessel);
    if (!usable(v) || !hDock) return nullptr;
    return static_cast<Port*>(hDock)->docked;
}
void VESSEL::GetStatusEx(void* status) const {
    StandInVessel* v = self(this, vessel);
    if (!usable(v)) return;
    VESSELSTATUS2* s = static_cast<VESSELSTATUS2*>(status);
    // The simulator writes the whole record of the version asked for, and, with VS_FUELLIST and
    // no list given, allocates one that the caller deletes.
    const DWORD flag = s->flag;
    VESSELSTATUS2::FUELSPEC* given = s->fuel;
    memset(s, 0, sizeof *s);
    s->version = 2;
    s->flag = flag;
    s->rbody = nullptr;
    s->status = 0;
    if (flag & VS_FUELLIST) {
        s->nfuel = static_cast<DWORD>(v->tankCount);
        s->fuel = given ? given : new VESSELSTATUS2::FUELSPEC[v->tankCount];
        if (!given) noteStatusList(s->fuel);
        for (int i = 0; i < v->tankCount; ++i) {
            s->fuel[i].idx = static_cast<DWORD>(i);
            s->fuel[i].level = v->tanks[i].capacity > 0 ? v->tanks[i].mass / v->tanks[i].capacity : 0.0;
        }
    }
}

namespace {
// The vessel a propellant handle belongs to.
StandInVessel* ownerOfTank(PROPELLANT_HANDLE ph) {
    for (int i = 0; i < vesselCount; ++i) {
        for (int t = 0; t < vessels[i].tankCount; ++t) {
            if (ph == &vessels[i].tanks[t]) return &vessels[i];
        }
    }
    return nullptr;
}
}  // namespace

double VESSEL::GetPropellantMass(PROPELLANT_HANDLE ph) const {
    StandInVessel* v = self(this, vessel);
    if (!usable(v) || ownerOfTank(ph) != v) return 0.0;
    return static_cast<Tank*>(ph)->mass;
}
double VESSEL::GetPropellantMaxMass(PROPELLANT_HANDLE ph) const {
    StandInVessel* v = self(this, vessel);
    if (!usable(v) || ownerOfTank(ph) != v) return 0.0;
    return static_cast<Tank*>(ph)->capacity;
}
void VESSEL::SetPropellantMass(PROPELLANT_HANDLE ph, double mass) const {
    StandInVessel* v = self(this, vessel);
    if (!usable(v) || ownerOfTank(ph) != v) return;
    Tank* tank = static_cast<Tank*>(ph);
    // The simulator keeps a tank between empty and full.
    tank->mass = mass < 0 ? 0 : mass > tank->capacity ? tank->capacity : mass;
}

PROPELLANT_HANDLE VESSEL::GetPropellantHandleByIndex(DWORD idx) const {
    StandInVessel* v = self(this, vessel);
    if (!usable(v) || idx >= static_cast<DWORD>(v->tankCount)) return nullptr;
    return &v->tanks[idx];
}

PROPELLANT_HANDLE oapiGetPropellantHandle(OBJHANDLE hVessel, DWORD idx) {
    StandInVessel* v = vesselOfHandle(hVessel);
    if (!usable(v) || idx >= static_cast<DWORD>(v->tankCount)) return nullptr;
    return &v->tanks[idx];
}

OBJHANDLE oapiGetVesselByName(char* name) {
    for (int i = 0; i < vesselCount; ++i) {
        if (vessels[i].alive && _stricmp(vessels[i].name, name) == 0) return &vessels[i];
    }
    return nullptr;
}

DWORD oapiGetVesselCount() {
    DWORD count = 0;
    for (int i = 0; i < vesselCount; ++i) count += vessels[i].alive;
    return count;
}

OBJHANDLE oapiGetVesselByIndex(int index) {
    for (int i = 0; i < vesselCount; ++i) {
        if (vessels[i].alive && index-- == 0) return &vessels[i];
    }
    return nullptr;
}

bool oapiIsVessel(OBJHANDLE hVessel) {
    StandInVessel* v = vesselOfHandle(hVessel);
    return v && v->alive;
}

VESSEL* oapiGetVesselInterface(OBJHANDLE hVessel) {
    StandInVessel* v = vesselOfHandle(hVessel);
    return usable(v) ? v->api : nullptr;
}

// ---- Modes.

RegisteredMode modes[kMaxModes];
int modeRegistrations = 0, modeUnregistrations = 0;
Callback tableAtRegistration[kCallbackTableSize];
bool tableAtRegistrationSeen = false;
namespace {
int nextModeId = 100;

// The table the registering DLL's __opcGetInterface hands out now: the DLL is the one that holds
// the mode's message procedure.
void noteCallbackTable(const void* msgproc) {
    tableAtRegistrationSeen = false;
    memset(tableAtRegistration, 0, sizeof tableAtRegistration);
    HMODULE dll = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCSTR>(msgproc), &dll)) {
        return;
    }
    typedef Callback* (*GetInterfaceFn)();
    const GetInterfaceFn getInterface =
        reinterpret_cast<GetInterfaceFn>(reinterpret_cast<void*>(GetProcAddress(dll, "__opcGetInterface")));
    Callback* table = getInterface ? getInterface() : nullptr;
    if (!table) return;
    memcpy(tableAtRegistration, table, sizeof tableAtRegistration);
    tableAtRegistrationSeen = true;
}
}  // namespace

int oapiRegisterMFDMode(MFDMODESPEC& mode) {
    ++modeRegistrations;
    noteCallbackTable(reinterpret_cast<const void*>(mode.msgproc));
    for (RegisteredMode& m : modes) {
        if (m.live) continue;
        m.live = true;
        m.id = nextModeId++;
        copyText(m.name, sizeof m.name, mode.name ? mode.name : "");
        m.key = mode.key;
        m.msgproc = mode.msgproc;
        return m.id;
    }
    return 0;
}

bool oapiUnregisterMFDMode(int mode) {
    ++modeUnregistrations;
    for (RegisteredMode& m : modes) {
        if (m.live && m.id == mode) {
            m.live = false;
            return true;
        }
    }
    return false;
}

const RegisteredMode* findMode(const char* name) {
    for (const RegisteredMode& m : modes) {
        if (m.live && strcmp(m.name, name) == 0) return &m;
    }
    return nullptr;
}

int liveModes() {
    int live = 0;
    for (const RegisteredMode& m : modes) live += m.live ? 1 : 0;
    return live;
}

// ---- The MFD base. The simulator's constructor stores the size and vessel only; the cell
// size comes after construction.

InstrumentRecord instruments[kMaxInstruments];

InstrumentRecord* recordOf(const MFD* mfd) {
    for (InstrumentRecord& r : instruments) {
        if (r.mfd == mfd) return &r;
    }
    return nullptr;
}

MFD::MFD(DWORD w, DWORD h, VESSEL* vessel) : W(w), H(h), cw(0), ch(0), pV(vessel), instr(nullptr) {
    for (InstrumentRecord& r : instruments) {
        if (r.mfd) continue;
        r = InstrumentRecord{this, w, h, vessel, 0, 0};
        instr = reinterpret_cast<Instrument_User*>(&r);
        break;
    }
}

MFD::~MFD() {
    if (InstrumentRecord* r = recordOf(this)) memset(r, 0, sizeof *r);
}

void MFD::InvalidateDisplay() {
    if (InstrumentRecord* r = recordOf(this)) ++r->invalidations;
}

void MFD::Title(HDC hDC, const char* title) const {
    if (InstrumentRecord* r = recordOf(this)) ++r->titles;
    recordTitle(hDC, title);
}

bool MFD2::Update(oapi::Sketchpad*) { return false; }

namespace {
// Reaches the MFD base's protected fields as the simulator does from inside.
struct MfdFields : MFD {
    static void setCell(MFD* mfd, DWORD cellWidth, DWORD cellHeight) {
        mfd->*(&MfdFields::cw) = cellWidth;
        mfd->*(&MfdFields::ch) = cellHeight;
    }
    static DWORD width(const MFD* mfd) { return mfd->*(&MfdFields::W); }
    static DWORD height(const MFD* mfd) { return mfd->*(&MfdFields::H); }
    static VESSEL* vessel(const MFD* mfd) { return mfd->*(&MfdFields::pV); }
};
}  // namespace

void setCellSize(MFD* mfd, DWORD cellWidth, DWORD cellHeight) {
    MfdFields::setCell(mfd, cellWidth, cellHeight);
}
DWORD widthOf(const MFD* mfd) { return MfdFields::width(mfd); }
DWORD heightOf(const MFD* mfd) { return MfdFields::height(mfd); }
VESSEL* vesselOf(const MFD* mfd) { return MfdFields::vessel(mfd); }

// ---- Scenario text.

void oapiWriteScenario_string(FILEHANDLE scn, char* item, char* string) {
    ScenarioWriter* w = static_cast<ScenarioWriter*>(scn);
    const int room = kScenarioSize - w->length;
    const int n = snprintf(w->text + w->length, static_cast<size_t>(room), "  %s %s\n", item, string);
    if (n > 0 && n < room) {
        w->length += n;
        ++w->items;
    }
}

void oapiWriteScenario_int(FILEHANDLE scn, char* item, int i) {
    char value[16];
    snprintf(value, sizeof value, "%d", i);
    oapiWriteScenario_string(scn, item, value);
}

// The simulator's reader: the next line with comments (from ';') and the blanks around it
// removed, empty lines skipped, until a line that is END in any case, or the end of the file.
bool oapiReadScenario_nextline(FILEHANDLE scn, char*& line) {
    ScenarioReader* r = static_cast<ScenarioReader*>(scn);
    for (;;) {
        const char* start = r->text + r->position;
        if (!*start) return false;
        const char* end = strchr(start, '\n');
        const int length = end ? static_cast<int>(end - start) : static_cast<int>(strlen(start));
        r->position += length + (end ? 1 : 0);
        int n = length < static_cast<int>(sizeof r->line) - 1 ? length : static_cast<int>(sizeof r->line) - 1;
        memcpy(r->line, start, static_cast<size_t>(n));
        r->line[n] = '\0';
        if (char* comment = strchr(r->line, ';')) *comment = '\0';
        n = static_cast<int>(strlen(r->line));
        while (n > 0 && isspace(static_cast<unsigned char>(r->line[n - 1]))) r->line[--n] = '\0';
        char* first = r->line;
        while (*first && isspace(static_cast<unsigned char>(*first))) ++first;
        if (!*first) continue;
        if (_stricmp(first, "END") == 0) return false;
        memmove(r->line, first, strlen(first) + 1);
        line = r->line;
        ++r->linesHandedOut;
        return true;
    }
}

// What the vftables of the SDK's classes name and the stand-in does not implement comes here
// (see cmake/import_libraries.cmake): a call ends the session.
extern "C" void standInUnimplemented() {
    printf("FAILED: a member of the SDK the stand-in does not implement was called\n");
    fflush(stdout);
    abort();
}
