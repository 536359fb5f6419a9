// Running kestrane-sim as a user would, in a folder of its own, and reading what it prints.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/read_file.h"

namespace clitest {

namespace fs = std::filesystem;

inline const std::string kSim = KESTRANE_SIM;
inline const fs::path kScenarios = KESTRANE_SCENARIOS;

inline std::string scenario(const std::string& name) { return (kScenarios / name).string(); }

using test::readFile;

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

struct Result {
    int status = -1;
    std::string out, err;
};

// Runs a program in folder `cwd`, stdin from /dev/null, output collected in folder `io`.
inline Result execute(const std::vector<std::string>& command, const fs::path& cwd, const fs::path& io) {
    fs::create_directories(io);
    const fs::path outFile = io / "stdout", errFile = io / "stderr";
    std::vector<std::string> all = command;
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(126);
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    Result r;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid)
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = readFile(outFile);
    r.err = readFile(errFile);
    return r;
}

// kestrane-sim with `args`.
inline Result runIn(const fs::path& cwd, std::vector<std::string> args, const fs::path& io) {
    args.insert(args.begin(), kSim);
    return execute(args, cwd, io);
}

// One tank's line of the table the program prints at the end.
struct TankRow {
    double capacity = NAN, before = NAN, after = NAN, in = NAN, out = NAN, vented = NAN;
};

inline double numberOr(const std::string& word) { return word == "-" ? NAN : std::stod(word); }

// The tank table, by vessel name and tank number as shown (from 1).
inline std::map<std::pair<std::string, int>, TankRow> tankTable(const std::string& out) {
    std::map<std::pair<std::string, int>, TankRow> table;
    bool inTable = false;
    for (const std::string& line : lines(out)) {
        if (line.rfind("Vessel ", 0) == 0) {
            inTable = true;
            continue;
        }
        if (!inTable) continue;
        if (line.rfind("Total", 0) == 0) break;
        std::istringstream words(line);
        std::string vessel, capacity, before, after, in, outWord, vented;
        int tank = 0;
        words >> vessel >> tank >> capacity >> before >> after >> in >> outWord >> vented;
        table[{vessel, tank}] = {numberOr(capacity), numberOr(before),  numberOr(after),
                                 numberOr(in),       numberOr(outWord), numberOr(vented)};
    }
    return table;
}

inline TankRow row(const std::map<std::pair<std::string, int>, TankRow>& table, const std::string& vessel,
                   int tank) {
    const auto it = table.find({vessel, tank});
    return it == table.end() ? TankRow{} : it->second;
}
inline TankRow tankRow(const std::string& out, const std::string& vessel, int tank) {
    return row(tankTable(out), vessel, tank);
}

// The pages shown for a display, in order: the text inside the frame, one line per row,
// trailing blanks removed.
inline std::vector<std::string> pages(const std::string& out, const std::string& display) {
    std::vector<std::string> found;
    const std::vector<std::string> all = lines(out);
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].rfind(display + ": ", 0) != 0 || all[i].find(" pixels, at ") == std::string::npos)
            continue;
        std::string page;
        for (size_t j = i + 2; j < all.size(); ++j) {
            const std::string& row = all[j];
            const size_t open = row.find('|');
            if (open == std::string::npos) break;  // the bottom edge
            const size_t close = row.rfind('|');
            std::string inside = row.substr(open + 1, close - open - 1);
            inside.erase(inside.find_last_not_of(' ') + 1);
            page += inside + "\n";
        }
        found.push_back(page);
    }
    return found;
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Each test runs the program in an empty folder of its own.
class CliTest : public ::testing::Test {
protected:
    CliTest() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root = fs::temp_directory_path() / ("kestrane-cli-" + std::to_string(getpid()) + "-" +
                                            info->test_suite_name() + "-" + info->name());
        fs::remove_all(root);
        work = root / "work";
        fs::create_directories(work);
    }
    ~CliTest() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    Result run(const std::vector<std::string>& args) { return runIn(work, args, root / "io"); }

    // A script written into the test's folder.
    std::string script(const std::string& name, const std::string& text) {
        const fs::path path = root / name;
        std::ofstream(path) << text;
        return path.string();
    }

    // A tanker of a class of the test's own (three tanks, two ports) docked at its first port to
    // a depot, its left display in Fuel Management: the arguments that run it.
    std::vector<std::string> tanker() {
        std::ofstream(root / "tanker.cfg") << "Tanker 2 1000 500 200\nDepot 1 20000 5000\n";
        std::ofstream(root / "tanker.scn")
            << "BEGIN_MFD Left\n  TYPE User\n  MODE Fuel Management\nEND_MFD\n\nBEGIN_SHIPS\n"
               "Tanker:Tanker\n  PRPLEVEL 0:0.25 1:1\n  DOCKINFO 0:0,Depot\nEND\n"
               "Depot:Depot\n  PRPLEVEL 0:0.9 1:0.24\n  DOCKINFO 0:0,Tanker\nEND\nEND_SHIPS\n";
        return {"--classes", (root / "tanker.cfg").string(), "run", (root / "tanker.scn").string()};
    }

    // The files below the working folder, by path relative to it.
    std::vector<std::string> filesWritten() const {
        std::vector<std::string> out;
        for (const auto& entry : fs::recursive_directory_iterator(work)) {
            if (entry.is_regular_file()) out.push_back(fs::relative(entry.path(), work).string());
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    fs::path root, work;
};

}  // namespace clitest
