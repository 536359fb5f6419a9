// Scripts of timed actions for `kestrane-sim run`: one action a line, each at a time in seconds
// of simulated time. The format is described in docs/script-format.md.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// The longest run, in seconds of simulated time: for --time and for the times of a script.
inline constexpr double kMaxRunTime = 1e9;

enum class ActionKind {
    Note,
    Open,
    Close,
    Select,
    Key,
    Button,
    Dock,
    Undock,
    Remove,
    Save,
    Load,
    Accel,
    Show
};

const char* actionName(ActionKind kind);

struct Action {
    int line = 0;
    double time = 0.0;  // s of simulated time
    ActionKind kind = ActionKind::Note;
    std::string display;  // empty: the default display (select, key, button) or every display (show)
    std::string vessel;   // open (a new display's vessel), dock, undock, remove
    unsigned port = 0;
    std::string otherVessel;  // dock
    unsigned otherPort = 0;
    unsigned width = 0, height = 0;  // open: a new display's size, 0 for the default
    uint32_t key = 0;
    std::string keyText;      // as written
    int button = -1;          // by index, or
    std::string buttonLabel;  // by the label the display shows beside it
    int event = 1;
    double accel = 1.0;
    std::string text;  // note; save and load: the file
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
