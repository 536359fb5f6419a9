// kestrane-sim: the module run as a pilot would run it, on a machine without the simulator.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "demo_files.h"
#include "sim/cli/command_line.h"
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

std::string stemOf(const std::string& path) {
    const std::string stem = std::filesystem::path(path).stem().string();
    return stem.empty() ? "scenario" : stem;
}

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

int playCommand(cli::CommandLine& line, const std::string& modulePath, const sim::VesselCatalogue& classes) {
    std::string error;
    std::optional<sim::ScenarioDescription> scenario =
        sim::readScenarioFile(line.playScenario, error, classes);
    if (!scenario) return failWith(error);
    cli::PlayOptions& options = line.playOptions;
    options.classes = classes;
    options.outDir = line.outDir;
    options.stem = stemOf(line.playScenario);
    options.scenarioLabel = line.playScenario;
    options.colour = line.colourChoice();
    const int status = cli::play(modulePath, *scenario, options, error);
    return error.empty() ? status : failWith(error, status);
}

// `run`, or without a command the demo.
int runCommand(cli::CommandLine& line, const std::string& modulePath, const sim::VesselCatalogue& classes,
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
    // A file-size limit would kill the program mid-write; ignored, the write fails with "File too
    // large" and is reported like a full disk, with the rest of the run's output.
    std::signal(SIGXFSZ, SIG_IGN);
    cli::CommandLine line(KESTRANE_VERSION);
    if (const std::optional<int> status = line.parse(argc, argv)) return *status;

    std::string error;
    const std::optional<std::string> modulePath = findModule(line.module, error);
    if (!modulePath) return failWith(error);
    const cli::ColourChoice choice = line.colourChoice();
    // A folder that cannot take the files is known now; the run would only find it at the end.
    if (!cli::checkOutFolder(line.outDir, error)) return failWith(error);
    const std::optional<sim::VesselCatalogue> classes = vesselClasses(line.classesPath, error);
    if (!classes) return failWith(error);

    if (*line.play) return playCommand(line, *modulePath, *classes);
    return runCommand(line, *modulePath, *classes, choice);
}
