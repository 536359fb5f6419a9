#include "sim/cli/command_line.h"

#include <cmath>
#include <iostream>
#include <vector>

#include "sim/formats/text.h"
#include "sim/formats/vessel_catalogue.h"

namespace cli {

namespace {

// A number within (low, high], for options whose default messages would print huge limits.
CLI::Validator within(double low, double high, const std::string& what) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            double value = 0.0;
            const bool number = CLI::detail::lexical_cast(text, value);
            if (number && value > low && value <= high) return {};
            return text + " is not " + what;
        },
        "");
}

constexpr const char* kRefreshHelp =
    "Seconds of simulated time between a display's redraws, as the simulator's InstrumentUpdateInterval";

}  // namespace

CommandLine::CommandLine(const std::string& version) {
    app.fallthrough();
    app.set_version_flag("--version", "kestrane-sim " + version);
    app.require_subcommand(0, 1);
    addProgramOptions(app);
    defineRun();
    definePlay();
}

// Written before the command or after it: each command lists them in its own help.
void CommandLine::addProgramOptions(CLI::App& to) {
    to.add_option("--module", module,
                  "The module library to load (default: the one installed with the program; the program in "
                  "the build folder takes the one the build made)");
    to.add_option("--out", outDir, "Folder for pictures and saved scenarios")->capture_default_str();
    to.add_option("--classes", classesPath,
                  "A file of vessel classes (tanks and docking ports) besides the shipped " +
                      sim::VesselCatalogue::defaultPath());
    to.add_option("--color", colour,
                  "Colours in the terminal: auto (when it has them and NO_COLOR is not set), always or never")
        ->check(CLI::IsMember({"auto", "always", "never"}))
        ->capture_default_str();
}

void CommandLine::defineRun() {
    run = app.add_subcommand("run", "Run a scenario over simulated time, with a script of timed actions");
    run->add_option("scenario", scenarioPath, "Scenario file (docs/scenario-format.md)")->required();
    run->add_option("--script", scriptPath, "Script of timed actions (docs/script-format.md)");
    run->add_option("--time", time, "Simulated seconds to run (default: to the script's last action, or 60)")
        ->check(within(-1e-300, kMaxRunTime, "a number of seconds from 0 to 1e9"));
    run->add_option("--step", runOptions.step, "Length of a frame in seconds of real time")
        ->check(within(0.0, 3600.0, "a frame length above 0 and up to 3600 s"))
        ->capture_default_str();
    run->add_option("--accel", runOptions.accel, "Time acceleration: simulated seconds per frame second")
        ->check(within(0.0, 1e6, "a time acceleration above 0 and up to 1000000"))
        ->capture_default_str();
    run->add_option("--refresh", runOptions.refresh, kRefreshHelp)
        ->check(within(0.0, 3600.0, "a refresh interval above 0 and up to 3600 s"))
        ->capture_default_str();
    run->add_flag("--no-pictures", noPictures, "Write no PNG pictures");
    addProgramOptions(*run);
}

void CommandLine::definePlay() {
    play = app.add_subcommand("play", "Play a scenario in real time in the terminal");
    play->footer(playKeysHelp(100));
    play->add_option("scenario", playScenario, "Scenario file (docs/scenario-format.md)")->required();
    play->add_option("--refresh", playOptions.refresh, kRefreshHelp)
        ->check(within(0.0, 3600.0, "a refresh interval above 0 and up to 3600 s"))
        ->capture_default_str();
    play->add_option("--accel", playOptions.accel, "Time acceleration to start with")
        ->check(within(std::nextafter(0.1, 0.0), 10000.0, "a time acceleration from 0.1 to 10000"))
        ->capture_default_str();
    addProgramOptions(*play);
}

ColourChoice CommandLine::colourChoice() const {
    return colour == "always"  ? ColourChoice::Always
           : colour == "never" ? ColourChoice::Never
                               : ColourChoice::Auto;
}

std::optional<int> CommandLine::parse(int argc, char** argv) {
    const auto failWith = [](const std::string& message) {
        std::cout.flush();
        std::cerr << "kestrane-sim: " << sim::printable(message) << "\n";
        return kExitUsage;
    };
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help
        // A word where the command goes is more likely a command mistyped than stray arguments.
        if (const std::vector<std::string> rest = app.remaining();
            dynamic_cast<const CLI::ExtrasError*>(&e) && app.get_subcommands().empty() && !rest.empty() &&
            !rest.front().starts_with("-"))
            return failWith("unknown command '" + rest.front() +
                            "': the commands are run and play, and without one the demo runs (see "
                            "kestrane-sim --help)");
        // The help of the command given lists its options; the program's lists the commands.
        const std::vector<CLI::App*> given = app.get_subcommands();
        return failWith(std::string(e.what()) + " (see kestrane-sim " +
                        (given.empty() ? std::string() : given.front()->get_name() + " ") + "--help)");
    }
    return std::nullopt;
}

}  // namespace cli
