// `kestrane-sim run` and the demo: a scenario over simulated time with a script of timed
// actions, the displays shown in the terminal, the tank table and the conservation check, and
// the pictures and saved scenarios written at the end.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/cli/emulator.h"
#include "sim/cli/ledger.h"
#include "sim/cli/script.h"
#include "sim/cli/terminal.h"
#include "sim/png_image.h"

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
    double refresh = 1.0;        // s of real time between redraws of every display
    bool pictures = true;
    std::filesystem::path outDir = "kestrane-out";
    std::string stem;           // beginning of the picture names
    std::string title;          // first line of the output
    std::string scenarioLabel;  // how the scenario is named in the output
    TextStyle style;
};

// Files are kept until the run has finished, so that a run that fails writes nothing.
struct PendingFile {
    std::filesystem::path path;
    std::string text;                 // a scenario, or
    std::optional<sim::Image> image;  // a picture
};

// Whether the folder for pictures and saves can be used: it is a folder that can be written
// into, or one that can be made. Nothing is created.
bool checkOutFolder(const std::filesystem::path& folder, std::string& error);

// Writes every file into its folder (created as needed), all or none: false with `error` on the
// first that fails, having written none of them (unless a final rename fails part way).
bool writeFiles(const std::vector<PendingFile>& files, std::string& error);

class Runner {
public:
    Runner(std::string modulePath, sim::ScenarioDescription scenario, Script script, RunOptions options,
           std::ostream& out);
    // The whole run; returns the exit status. Errors go to `error` as one line.
    int run(std::string& error);

private:
    struct Saved {
        std::string text;
        double time = 0.0;
        std::map<std::string, std::string> screens;  // display name: its page as text
    };

    bool checkScript(std::string& error);
    double framesNeeded(double end) const;
    bool execute(const Action& action, std::string& error);
    bool sourceFor(const Action& action, sim::ScenarioDescription& scenario, std::string& error);
    sim::Display* displayFor(const Action& action, std::string& error);
    void show(sim::Display& display, const std::string& tag);
    // What a key or button did: not consumed, consumed without a change, or the settings it
    // changed on the page, which is redrawn at once when the instrument asks.
    std::string outcome(sim::Display& display, const std::function<bool()>& press);
    std::string at() const;  // the current time, for the log
    std::filesystem::path outPath(const std::string& name) const;

    Emulator emulator_;
    sim::ScenarioDescription scenario_;
    Script script_;
    RunOptions options_;
    std::ostream& final_;
    // The log is kept until the run has finished: a run that fails prints only its error.
    std::ostringstream out_;
    TankLedger ledger_;
    double now_ = 0.0;
    double accel_ = 1.0;
    std::vector<PendingFile> files_;
    std::map<std::string, Saved> saved_;                         // by file name as the script gives it
    std::map<std::string, sim::ScenarioDescription> loadFiles_;  // read while checking the script
    std::map<std::string, double> shownAt_;
};

// The mode-select key pressed on a display, as the log tells it: the selection page with the
// keys of the modes, or the mode it went back to.
std::string selectOutcome(sim::Display& display);

// The seconds a script's actions need, as the default length of a run.
double defaultRunTime(const Script& script);

}  // namespace cli
