// `kestrane-sim run` and the demo: a scenario over simulated time with a script of timed
// actions, the displays shown in the terminal, the tank table and the conservation check, and
// the pictures and saved scenarios written at the end.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sim/cli/emulator.h"
#include "sim/cli/ledger.h"
#include "sim/cli/script.h"
#include "sim/cli/terminal.h"
#include "sim/formats/png_image.h"

namespace cli {

// Exit statuses of the program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitError = 1;        // bad input, or the run could not go on
inline constexpr int kExitUsage = 2;        // the command line itself
inline constexpr int kExitCheckFailed = 3;  // propellant not conserved, or the module broke a host rule

struct RunOptions {
    std::optional<double> time;  // s of simulated time; default: the script's last action, or 60 s
    double step = 0.02;          // s of real time per frame
    double accel = 1.0;          // simulated seconds per real second
    double refresh = 0.5;        // s of simulated time between a display's redraws (the simulator's default)
    bool pictures = true;
    std::filesystem::path outDir = "kestrane-out";
    std::string stem;           // beginning of the picture names
    std::string title;          // first line of the output
    std::string scenarioLabel;  // how the scenario is named in the output
    TextStyle style;
    sim::VesselCatalogue classes = sim::VesselCatalogue::standard();  // for the scenarios a script loads
};

// Files are kept until the run has finished, so that a run that stops at a failed action
// writes nothing.
struct PendingFile {
    std::filesystem::path path;
    std::string text;                 // a scenario, or
    std::optional<sim::Image> image;  // a picture
    std::string origin;               // for a save, "<script>:<line>: save FILE: ", before its errors
};

// Whether the folder for pictures and saves can be used: it is a folder that can be written
// into, or one that can be made. Nothing is created.
bool checkOutFolder(const std::filesystem::path& folder, std::string& error);

// Whether a file can go to `path` as far as can be known before writing: it is not a folder, and
// its folder is there or can be made. Nothing is created.
bool checkFilePath(const std::filesystem::path& path, std::string& error);

// Writes every file into its folder (created as needed), each replacing an old one only once it
// is whole. A file that cannot be written (a full disk) leaves no trace and the others are
// written all the same. Returns, for each file in order, why it was not written ("<path>:
// <why>"); empty where it was.
std::vector<std::string> writeFiles(const std::vector<PendingFile>& files);

class Runner {
public:
    Runner(std::string modulePath, sim::ScenarioDescription scenario, Script script, RunOptions options,
           std::ostream& out);
    // The whole run; returns the exit status. Errors go to `error` as one line.
    int run(std::string& error);

private:
    // What each action of a script checks and does is written in actions.cpp, with the
    // runner's state at hand.
    friend struct ScriptActions;

    struct Saved {
        std::string text;
        double time = 0.0;
        std::map<std::string, std::string> screens;  // display name: its page as text
    };
    // The names a script may use at some point of the run.
    struct Names {
        struct Display {
            std::string name, vessel;
            bool external = false, pinned = false;
        };
        std::vector<std::string> vessels;
        std::map<std::string, unsigned> ports;
        std::vector<Display> displays;
        std::string focus;
        std::map<std::string, std::pair<unsigned, unsigned>> viewSizes;  // of the scenario running
        // Displays the script saw go, with when and why: "closed at 3.00 s (line 4)".
        std::map<std::string, std::string> gone;

        // Drops the displays `which` picks, each remembered as gone for `why`.
        void forget(const std::function<bool(const Display&)>& which, const std::string& why);

        static Names of(const sim::ScenarioDescription& s);
        bool hasVessel(const std::string& name) const;
        Display* display(const std::string& name);
        bool hasDisplay(const std::string& name) const;
        std::vector<std::string> displayNames() const;
    };

    bool checkScript(std::string& error);
    double framesNeeded(double end) const;
    // Sets the error of the run to "<script>:<line>: <what>"; false, to return.
    bool fail(const Action& action, const std::string& what);
    sim::Display* displayFor(const Action& action);
    // The display as the pilot sees it now: its last drawing, or, for what the module does not
    // draw, the display drawn now.
    void show(sim::Display& display, const std::string& tag);
    // What a key or button did: not consumed, consumed without a change, or the settings it
    // changed on the page, which is redrawn at once when the instrument asks.
    std::string outcome(sim::Display& display, const std::function<bool()>& press);
    std::ostream& out();  // the output, printed as the run goes (the progress bar cleared first)
    std::ostream& log();  // a line of the log, begun with the current time
    // What the pages showed of the pump and of the blocks read that the log has not said yet.
    void logPageNotes();
    // The vessels `remove` asked for, taken out at the end of the frame, as the simulator does.
    void removePending();
    std::filesystem::path outPath(const std::string& name) const;

    Emulator emulator_;
    sim::ScenarioDescription scenario_;
    sim::ScenarioDescription base_;  // what a save is laid out as: the scenario running now
    Script script_;
    RunOptions options_;
    std::ostream& out_;
    ProgressBar progress_{"kestrane-sim"};
    bool fresh_ = true;  // nothing printed since the run's header
    TankLedger ledger_;
    double now_ = 0.0;
    double accel_ = 1.0;
    bool idleCheckDue_ = true;  // at the start and after a load, once the displays are drawn
    std::vector<PendingFile> files_;
    std::vector<std::string> notDrawn_;                          // pictures not made, and why
    std::map<std::string, Saved> saved_;                         // by file name as the script gives it
    std::map<std::string, sim::ScenarioDescription> loadFiles_;  // read while checking the script
    std::map<std::string, double> shownAt_;
    std::string error_;  // why an action failed
    std::vector<const Action*> removals_;
    // While the script is checked: the names at the line being checked, and at each save.
    Names names_;
    std::map<std::string, Names> savedNames_;
    std::map<std::filesystem::path, int> savedAt_;  // the line of each save
};

// What run and play share.

// The mode-select key pressed on a display, as the log tells it: the selection page with the
// keys of the modes, or the mode it went back to.
std::string selectOutcome(sim::Display& display);

// A save at `time`: the simulation as a scenario laid out as `base`, its description ending in
// "Saved by <by> at 12.50 s of simulated time." Each instrument writes its block, which, as in
// the simulator, clears the module's transfer state.
std::string savedScenario(sim::Simulation& simulation, const sim::ScenarioDescription& base,
                          const std::string& by, double time);

// The end of a run or a play, once the module is unloaded: the tank table from 0 s to `end`,
// the conservation check, what the module did against the host's rules, the files written and
// those not written, with why. Returns the exit status of the checks.
int closingReport(std::ostream& out, const TankLedger& ledger, double end, const ModuleFaults& faults,
                  const std::vector<std::string>& files, const std::vector<std::string>& notWritten = {});

// The error line of a run or play in which the module broke the host's rules.
inline constexpr const char* kFaultsError = "the module broke the host's rules (see above)";

// A time of the run as the log writes it: 12.5 -> "12.50 s".
std::string seconds(double t);

// The seconds a script's actions need, as the default length of a run.
double defaultRunTime(const Script& script);

}  // namespace cli
