// kestrane-sim: the module run as a pilot would run it, on a machine without the simulator.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "demo_files.h"
#include "sim/cli/play.h"
#include "sim/cli/runner.h"
#include "sim/cli/script.h"
#include "sim/cli/terminal.h"
#include "sim/formats/text.h"

namespace {

int failWith(const std::string& message, int status = cli::kExitError) {
    std::cout.flush();
    std::cerr << "kestrane-sim: " << sim::printable(message) << "\n";
    return status;
}

// The module given; else the one installed with the program, under its prefix; else one beside
// the program, where it has been copied; else, for the program in the build folder only, the
// one the build made: an installed program never falls back on a build tree.
std::optional<std::string> findModule(const std::string& given, std::string& error) {
    if (!given.empty()) return given;
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::filesystem::path installed =
            (self.parent_path() / KESTRANE_INSTALLED_MODULE).lexically_normal();
        const std::filesystem::path beside = self.parent_path() / KESTRANE_MODULE_FILE_NAME;
        const bool inBuild = std::filesystem::equivalent(self.parent_path(), KESTRANE_BUILD_PROGRAM_DIR, ec);
        std::vector<std::filesystem::path> candidates{installed, beside};
        if (inBuild) candidates.emplace_back(KESTRANE_DEFAULT_MODULE);
        for (const std::filesystem::path& p : candidates) {
            if (std::filesystem::is_regular_file(p, ec)) return p.string();
        }
        error = "module not found: none of '" + installed.string() + "', '" + beside.string() +
                (inBuild ? "' and '" + std::string(KESTRANE_DEFAULT_MODULE) + "' exists (build it"
                         : "' exists (install it again") +
                ", or name one with --module)";
        return std::nullopt;
    }
    if (std::filesystem::is_regular_file(KESTRANE_DEFAULT_MODULE, ec))
        return std::string(KESTRANE_DEFAULT_MODULE);
    error = "module not found: '" + std::string(KESTRANE_DEFAULT_MODULE) +
            "' (build it, or name one with --module)";
    return std::nullopt;
}

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

std::string stemOf(const std::string& path) {
    const std::string stem = std::filesystem::path(path).stem().string();
    return stem.empty() ? "scenario" : stem;
}

// The command line: its options, and where each lands.
struct CommandLine {
    CLI::App app{
        "kestrane-sim: runs the Kestrane module in the host emulator, as the simulator would load it.\n"
        "Without a command it runs the built-in demo."};
    std::string module, outDir = "kestrane-out", colour = "auto", classesPath;

    CLI::App* run = nullptr;
    cli::RunOptions runOptions;
    std::string scenarioPath, scriptPath;
    double time = -1.0;
    bool noPictures = false;

    CLI::App* play = nullptr;
    cli::PlayOptions playOptions;
    std::string playScenario;

    CommandLine() {
        app.fallthrough();
        app.set_version_flag("--version", std::string("kestrane-sim ") + KESTRANE_VERSION);
        app.require_subcommand(0, 1);
        app.add_option(
            "--module", module,
            "The module library to load (default: the one installed with the program; the program in "
            "the build folder takes the one the build made)");
        app.add_option("--out", outDir, "Folder for pictures and saved scenarios")->capture_default_str();
        app.add_option("--classes", classesPath,
                       "A file of vessel classes (tanks and docking ports) besides the shipped " +
                           sim::VesselCatalogue::defaultPath());
        app.add_option("--color", colour, "Colours in the terminal: auto, always or never")
            ->check(CLI::IsMember({"auto", "always", "never"}))
            ->capture_default_str();
        defineRun();
        definePlay();
    }
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    static constexpr const char* kRefreshHelp =
        "Seconds of simulated time between a display's redraws, as the simulator's InstrumentUpdateInterval";

    void defineRun() {
        run = app.add_subcommand("run", "Run a scenario over simulated time, with a script of timed actions");
        run->add_option("scenario", scenarioPath, "Scenario file (docs/scenario-format.md)")->required();
        run->add_option("--script", scriptPath, "Script of timed actions (docs/script-format.md)");
        run->add_option("--time", time,
                        "Simulated seconds to run (default: to the script's last action, or 60)")
            ->check(within(-1e-300, cli::kMaxRunTime, "a number of seconds from 0 to 1e9"));
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
    }

    void definePlay() {
        play = app.add_subcommand("play", "Play a scenario in real time in the terminal");
        play->footer(
            "Keys: M, = or +, -, T, S, D, / or ? go to the display as the simulator delivers them;\n"
            "F1 mode selection (then F for Fuel Management), O display on/off, F3 focus on the next vessel,\n"
            "Tab next display, < and > time acceleration, P pause (keys and buttons wait), W save and go on\n"
            "from the saved file (in the --out folder), Q quit. On quitting the tank table and the\n"
            "conservation check are printed.");
        play->add_option("scenario", playScenario, "Scenario file (docs/scenario-format.md)")->required();
        play->add_option("--refresh", playOptions.refresh, kRefreshHelp)
            ->check(within(0.0, 3600.0, "a refresh interval above 0 and up to 3600 s"))
            ->capture_default_str();
        play->add_option("--accel", playOptions.accel, "Time acceleration to start with")
            ->check(within(0.09, 10000.0, "a time acceleration from 0.1 to 10000"))
            ->capture_default_str();
    }

    // The status to end with when the command line ends the program (help, or a mistake).
    std::optional<int> parse(int argc, char** argv) {
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
                                    "kestrane-sim --help)",
                                cli::kExitUsage);
            return failWith(std::string(e.what()) + " (see kestrane-sim --help)", cli::kExitUsage);
        }
        return std::nullopt;
    }
};

// The user's classes add to the shipped ones, and are where a missing one goes.
std::optional<sim::VesselCatalogue> vesselClasses(const std::string& path, std::string& error) {
    sim::VesselCatalogue classes = sim::VesselCatalogue::standard();
    if (path.empty()) return classes;
    std::optional<sim::VesselCatalogue> own = sim::VesselCatalogue::read(path, error);
    if (!own) return std::nullopt;
    classes = sim::VesselCatalogue(sim::VesselCatalogue::standard().classes(), path);
    for (const sim::VesselClass& c : own->classes()) classes.add(c);
    return classes;
}

int playCommand(CommandLine& line, const std::string& modulePath, const sim::VesselCatalogue& classes) {
    std::string error;
    std::optional<sim::ScenarioDescription> scenario =
        sim::readScenarioFile(line.playScenario, error, classes);
    if (!scenario) return failWith(error);
    cli::PlayOptions& options = line.playOptions;
    options.classes = classes;
    options.outDir = line.outDir;
    options.stem = stemOf(line.playScenario);
    options.scenarioLabel = line.playScenario;
    const int status = cli::play(modulePath, *scenario, options, error);
    return error.empty() ? status : failWith(error, status);
}

// `run`, or without a command the demo.
int runCommand(CommandLine& line, const std::string& modulePath, const sim::VesselCatalogue& classes,
               cli::ColourChoice choice) {
    std::string error;
    cli::RunOptions& options = line.runOptions;
    options.classes = classes;
    std::optional<sim::ScenarioDescription> scenario;
    std::optional<cli::Script> script;
    if (*line.run) {
        scenario = sim::readScenarioFile(line.scenarioPath, error, classes);
        if (!scenario) return failWith(error);
        script = line.scriptPath.empty() ? std::optional<cli::Script>(cli::Script{})
                                         : cli::readScriptFile(line.scriptPath, error);
        if (!script) return failWith(error);
        options.stem = stemOf(line.scenarioPath);
        options.scenarioLabel = line.scenarioPath;
        options.title = "kestrane-sim run " + line.scenarioPath;
        options.pictures = !line.noPictures;
        if (line.time >= 0.0) options.time = line.time;
    } else {
        scenario = sim::parseScenario(cli::kDemoScenario, "demo.scn (built in)", error, classes);
        if (!scenario) return failWith(error);
        script = cli::parseScript(cli::kDemoScript, "demo.script (built in)", error);
        if (!script) return failWith(error);
        options.stem = "demo";
        options.title = "Kestrane demo: the Fuel Management display, driven by a script of key presses";
        options.scenarioLabel = "demo.scn, built in (the same as scenarios/demo.scn)";
    }
    options.outDir = line.outDir;
    options.style = cli::textStyleFor(stdout, choice);
    cli::Runner runner(modulePath, std::move(*scenario), std::move(*script), options, std::cout);
    const int status = runner.run(error);
    if (!error.empty()) return failWith(error, status);
    if (status == cli::kExitCheckFailed)
        return failWith("propellant was not conserved (see the check above)", status);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine line;
    if (const std::optional<int> status = line.parse(argc, argv)) return *status;

    std::string error;
    const std::optional<std::string> modulePath = findModule(line.module, error);
    if (!modulePath) return failWith(error);
    const cli::ColourChoice choice = line.colour == "always"  ? cli::ColourChoice::Always
                                     : line.colour == "never" ? cli::ColourChoice::Never
                                                              : cli::ColourChoice::Auto;
    // A folder that cannot take the files is known now; the run would only find it at the end.
    if (!cli::checkOutFolder(line.outDir, error)) return failWith(error);
    const std::optional<sim::VesselCatalogue> classes = vesselClasses(line.classesPath, error);
    if (!classes) return failWith(error);

    if (*line.play) return playCommand(line, *modulePath, *classes);
    return runCommand(line, *modulePath, *classes, choice);
}
