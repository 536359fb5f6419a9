// Scenario files, in the simulator's own format: its ships with their propellant levels and
// docking, the focus ship's displays with the mode each shows and the instrument's items, and
// everything else (environment, camera, other modules' blocks, a ship's own lines) kept as it
// stood and written back in its place. The format is described in docs/scenario-format.md.
//
// Here the text becomes plain records and records become text; nothing here knows the world.
// Applying records to a simulation and capturing them back is sim/scenario_apply's.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/formats/records.h"
#include "sim/formats/vessel_catalogue.h"

namespace sim {

inline constexpr unsigned kMaxDisplaySize = 0xFFFF;  // the size travels in 16 bits

// A display's width or height as written in a script or a scenario: decimal, 1 to 65535. On
// failure `error` is "<what> '<word>' is not a whole number from 1 to 65535", the one form every
// place that reads a size uses.
bool displaySize(std::string_view word, std::string_view what, unsigned& out, std::string& error);

// The emulator's own block, for what the simulator's format has no place for (a display's size,
// a display on another ship than the focus). The simulator passes over the block of a module it
// has not loaded.
inline constexpr std::string_view kEmulatorBlock = "BEGIN_KESTRANE_SIM";

// The simulator's display ids: "Left", "Right", then "3" to "12".
bool isDisplayId(std::string_view name);
// The emulator's names for external displays (windows of their own, not saved): "Ext1" to "Ext99".
bool isExternalDisplayName(std::string_view name);
// The simulator's cockpit views, as its F8 key steps through them.
inline constexpr std::string_view kCockpitViews[] = {"generic", "panel", "vc"};
// A name the file gives back as it is: one word, without ':' and ';'.
bool isOneWordName(std::string_view name);

struct ScenarioDockLink {
    unsigned port = 0;       // this ship's port
    std::string vessel;      // the ship docked there
    unsigned otherPort = 0;  // its port that holds this one
    int line = 0;
};

struct ScenarioVessel {
    std::string name;
    std::string className;
    std::vector<Tank> tanks;  // in index order: capacities from the class, masses from the levels
    unsigned ports = 0;
    std::vector<ScenarioDockLink> docks;
    int line = 0;
    // The ship's lines between its name and END, as they stood. Written back in their order,
    // with PRPLEVEL and DOCKINFO written anew from the simulation.
    std::vector<std::string> lines;
    // Lines of BEGIN_SHIPS before this ship that hold none (blank lines, comments).
    std::vector<std::string> before;
};

struct ScenarioDisplay {
    std::string name;    // a display id
    std::string vessel;  // the focus ship, unless the emulator's block names another
    unsigned width = kDefaultDisplaySize;
    unsigned height = kDefaultDisplaySize;
    std::string type;  // the TYPE line's value ("User", "Orbit", ...); empty: shows no mode
    std::string mode;  // for TYPE User: the MODE line's name
    // The items the display's instrument wrote, when the simulation was captured: a loaded
    // display's block is written back from `block`, its instrument reads `reading`.
    std::vector<std::string> items;
    // What the simulator's reader hands the instrument: the file's lines after MODE, on past
    // END_MFD up to the first line END.
    std::vector<std::string> reading;
    // The block as it stood, BEGIN_MFD to END_MFD: written back while the display still shows
    // what it showed in the file and the emulator runs no instrument on it.
    std::vector<std::string> block;
    int line = 0;
    int modeLine = 0;
};

// Where the modelled parts stand among the file's other lines.
enum class ScenarioPart { Text, Description, Focus, Display, Ships, Emulator };
struct ScenarioLayoutEntry {
    ScenarioPart part = ScenarioPart::Text;
    std::string text;  // Text: the line as it stood; Display: the display's name
};

struct ScenarioDescription {
    std::string source;                    // file name, for messages
    std::vector<std::string> description;  // free text of BEGIN_DESC, kept as it stands
    std::string focus;                     // the focus ship; empty: the first
    std::vector<ScenarioVessel> vessels;
    std::vector<ScenarioDisplay> displays;
    std::vector<std::string> shipsEnd;        // lines of BEGIN_SHIPS after its last ship
    std::vector<ScenarioLayoutEntry> layout;  // the file's order; empty: the simulator's
    // The size of the cockpit's displays in each view the emulator's block describes, by view
    // name ("vc"): the simulator takes them from the vessel's panels and its window.
    std::map<std::string, std::pair<unsigned, unsigned>> viewSizes;
    // "<source>:<line>: <what>" for each value the file holds that is read otherwise than
    // written (a level above 1 taken as full): the simulator takes them without a word.
    std::vector<std::string> warnings;
};

// Parses scenario text, taking each ship's tanks and ports from its class in `classes`. On an
// error returns nothing and sets `error` to "<source>:<line>: <what>".
std::optional<ScenarioDescription> parseScenario(
    std::string_view text, const std::string& source, std::string& error,
    const VesselCatalogue& classes = VesselCatalogue::standard());
// Reads and parses a file (refused when larger than kMaxFileSize).
std::optional<ScenarioDescription> readScenarioFile(
    const std::string& path, std::string& error,
    const VesselCatalogue& classes = VesselCatalogue::standard());

// The layout of `base` (the file a scenario was loaded from; empty: the simulator's order) for
// the displays `now` has: gone ones out, new ones after the last display (or before the ships).
std::vector<ScenarioLayoutEntry> layoutFor(const ScenarioDescription& base, const ScenarioDescription& now);

// The text of a scenario file.
std::string formatScenario(const ScenarioDescription& scenario);

// The level written for a tank, as the simulator writes it: a fraction of the capacity with six
// decimals. Loading sets the mass to level × capacity.
std::string formatLevel(double mass, double capacity);

// Writes the text to a temporary file beside `path` and renames it over `path`: a failed write
// leaves the old file as it was.
bool writeScenarioFile(const std::string& path, std::string_view text, std::string& error);

}  // namespace sim
