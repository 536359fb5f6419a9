// Scripts of timed actions for `kestrane-sim run`: one action a line, each at a time in seconds
// of simulated time. The format is described in docs/script-format.md.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// The longest run, in seconds of simulated time: for --time and for the times of a script.
inline constexpr double kMaxRunTime = 1e9;

struct Action;
class ActionLine;
class Runner;

// One action a script can hold. The table of them in actions.cpp is the one place an action is
// described; docs/script-format.md lists the same names and usages, which a test compares.
struct ActionType {
    const char* name;
    const char* usage;  // its arguments, as messages and the docs write them
    bool (*parse)(ActionLine& line, Action& action);
    // Before the run: whether what the action names is there at its point of the script.
    bool (*check)(Runner& runner, const Action& action);
    bool (*run)(Runner& runner, const Action& action);
};

// Every action, in the order messages list them.
std::span<const ActionType> actionTypes();

struct Action {
    int line = 0;
    double time = 0.0;  // s of simulated time
    const ActionType* type = nullptr;
    std::string display;  // empty: the default display (select, key, button) or every display (show)
    std::string vessel;   // open (a new display's vessel), dock, undock, remove
    unsigned port = 0;
    std::string otherVessel;  // dock
    unsigned otherPort = 0;
    unsigned width = 0, height = 0;  // open: a new display's size, 0 for the default; resize
    bool on = false;                 // pin
    uint32_t key = 0;
    std::string keyText;      // as written
    int button = -1;          // by index, or
    std::string buttonLabel;  // by the label the display shows beside it
    int event = 1;
    double accel = 1.0;
    std::string text;  // note; save and load: the file; view: its name

    std::string_view name() const { return type ? type->name : ""; }
};

// A line of a script as an action's parse reads it: the words after the action's name, and the
// rest of the line as written (for texts and file names). Its messages name the script's line.
class ActionLine {
public:
    ActionLine(const std::string& source, int line, const ActionType& type,
               std::vector<std::string_view> arguments, std::string_view restOfLine, std::string& error);

    const std::vector<std::string_view> args;
    const std::string_view rest;

    // Sets the error to "<source>:<line>: <what>"; false, to return.
    bool fail(const std::string& what);
    // At least `least` and at most `most` arguments, or an error that gives the usage.
    bool count(size_t least, size_t most);
    // The action as it is written: "undock VESSEL PORT".
    std::string usage() const;
    // A decimal or hex number from 0 to `limit`; `what` names it in the error.
    bool unsignedValue(std::string_view word, const char* what, unsigned limit, unsigned& out);

    static std::optional<double> number(std::string_view word);
    // Decimal, or hex with 0x.
    static std::optional<long long> integer(std::string_view word);

private:
    const std::string& source_;
    int line_;
    const ActionType& type_;
    std::string& error_;
};

struct Script {
    std::string source;  // file name, for messages
    std::vector<Action> actions;
    double lastTime() const { return actions.empty() ? 0.0 : actions.back().time; }
};

// Parses a script. On an error returns nothing and sets `error` to "<source>:<line>: <what>".
std::optional<Script> parseScript(std::string_view text, const std::string& source, std::string& error);
std::optional<Script> readScriptFile(const std::string& path, std::string& error);

// "<source>:<line>: " for messages about one action.
std::string where(const Script& script, const Action& action);

}  // namespace cli
