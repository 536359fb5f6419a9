// The command line of kestrane-sim: its commands and options, and where each lands.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "sim/cli/play.h"
#include "sim/cli/runner.h"

namespace cli {

struct CommandLine {
    explicit CommandLine(const std::string& version);
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    CLI::App app{
        "kestrane-sim: runs the Kestrane module in the host emulator, as the simulator would load it.\n"
        "Without a command it runs the built-in demo."};
    // The program's options, which run and play take as well.
    std::string module, outDir = "kestrane-out", colour = "auto", classesPath;

    CLI::App* run = nullptr;
    RunOptions runOptions;
    std::string scenarioPath, scriptPath;
    double time = -1.0;
    bool noPictures = false;

    CLI::App* play = nullptr;
    PlayOptions playOptions;
    std::string playScenario;

    ColourChoice colourChoice() const;

    // The status to end with when the command line ends the program (help, or a mistake); the
    // mistake is printed on stderr.
    std::optional<int> parse(int argc, char** argv);

private:
    void addProgramOptions(CLI::App& to);
    void defineRun();
    void definePlay();
};

}  // namespace cli
