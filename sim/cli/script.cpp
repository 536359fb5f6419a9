#include "sim/cli/script.h"

#include <charconv>
#include <cmath>

#include "sim/cli/keys.h"
#include "sim/files.h"
#include "sim/text.h"

namespace cli {

namespace {

constexpr struct {
    ActionKind kind;
    const char* name;
} kActionNames[] = {
    {ActionKind::Note, "note"},     {ActionKind::Open, "open"},     {ActionKind::Close, "close"},
    {ActionKind::Key, "key"},       {ActionKind::Button, "button"}, {ActionKind::Dock, "dock"},
    {ActionKind::Undock, "undock"}, {ActionKind::Remove, "remove"}, {ActionKind::Save, "save"},
    {ActionKind::Load, "load"},     {ActionKind::Accel, "accel"},   {ActionKind::Show, "show"},
    {ActionKind::Select, "select"},
};

constexpr const char* kKnownActions =
    "note, open, close, select, key, button, dock, undock, remove, save, load, accel, show";

std::optional<double> number(std::string_view word) {
    double value = 0.0;
    const char* end = word.data() + word.size();
    const auto [stop, error] = std::from_chars(word.data(), end, value);
    if (error != std::errc{} || stop != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

// Decimal, or hex with 0x.
std::optional<long long> integer(std::string_view word) {
    int base = 10;
    bool negative = false;
    if (!word.empty() && word[0] == '-') {
        negative = true;
        word.remove_prefix(1);
    }
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        word.remove_prefix(2);
    }
    // from_chars would take a sign of its own: "--5" is no number.
    if (!word.empty() && word[0] == '-') return std::nullopt;
    long long value = 0;
    const char* end = word.data() + word.size();
    const auto [stop, error] = std::from_chars(word.data(), end, value, base);
    if (word.empty() || error != std::errc{} || stop != end) return std::nullopt;
    return negative ? -value : value;
}

class LineParser {
public:
    LineParser(const std::string& source, int line, std::string& error)
        : source_(source), line_(line), error_(error) {}

    bool fail(const std::string& what) {
        error_ = sim::lineMessage(source_, line_, what);
        return false;
    }

    bool unsignedValue(std::string_view word, const char* what, unsigned limit, unsigned& out) {
        const std::optional<long long> value = integer(word);
        if (!value || *value < 0 || *value > limit)
            return fail(std::string(what) + " '" + std::string(word) + "' is not a number from 0 to " +
                        std::to_string(limit));
        out = static_cast<unsigned>(*value);
        return true;
    }

    // Arguments after the action name: at least `least`, at most `most`.
    bool count(const std::vector<std::string_view>& args, size_t least, size_t most, const char* usage) {
        if (args.size() < least || args.size() > most)
            return fail(std::string(args.size() < least ? "missing arguments" : "too many arguments") +
                        ": expected '" + usage + "'");
        return true;
    }

private:
    const std::string& source_;
    int line_;
    std::string& error_;
};

}  // namespace

const char* actionName(ActionKind kind) {
    for (const auto& entry : kActionNames) {
        if (entry.kind == kind) return entry.name;
    }
    return "?";
}

std::optional<Script> parseScript(std::string_view text, const std::string& source, std::string& error) {
    Script script;
    script.source = source;
    double previous = 0.0;
    int lineNumber = 0;
    for (std::string_view line : sim::splitLines(text)) {
        ++lineNumber;
        if (const size_t comment = line.find(';'); comment != std::string_view::npos)
            line = line.substr(0, comment);
        const std::vector<std::string_view> words = sim::splitWords(line);
        if (words.empty()) continue;
        LineParser p(source, lineNumber, error);

        Action a;
        a.line = lineNumber;
        std::string_view timeWord = words[0];
        const bool relative = timeWord.front() == '+';
        if (relative) timeWord.remove_prefix(1);
        const std::optional<double> time = number(timeWord);
        if (!time || *time < 0.0) {
            p.fail("'" + std::string(words[0]) +
                   "' is not a time: a line begins with seconds of simulated time, such as 12.5 or +2");
            return std::nullopt;
        }
        a.time = relative ? previous + *time : *time;
        if (!std::isfinite(a.time) || a.time > kMaxRunTime) {
            p.fail("time " + std::string(words[0]) + " lies beyond the longest run, 1e9 s of simulated time");
            return std::nullopt;
        }
        if (a.time < previous) {
            p.fail("time " + std::string(words[0]) + " lies before the previous line's time");
            return std::nullopt;
        }
        if (words.size() < 2) {
            p.fail("no action after the time");
            return std::nullopt;
        }
        const std::string_view name = words[1];
        bool known = false;
        for (const auto& entry : kActionNames) {
            if (name == entry.name) {
                a.kind = entry.kind;
                known = true;
            }
        }
        if (!known) {
            p.fail("unknown action '" + std::string(name) + "' (known: " + kKnownActions + ")");
            return std::nullopt;
        }
        const std::vector<std::string_view> args(words.begin() + 2, words.end());
        // The rest of the line as written, for texts and file names.
        const std::string_view rest =
            sim::trim(line.substr(static_cast<size_t>(name.data() + name.size() - line.data())));

        bool ok = true;
        switch (a.kind) {
            case ActionKind::Note:
                a.text = rest;
                break;
            case ActionKind::Open:
                ok = p.count(args, 1, 4, "open DISPLAY [VESSEL [WIDTH HEIGHT]]");
                if (ok && args.size() == 3) ok = p.fail("a new display's size needs both WIDTH and HEIGHT");
                if (ok) {
                    a.display = args[0];
                    if (args.size() >= 2) a.vessel = args[1];
                    if (args.size() == 4) {
                        ok = p.unsignedValue(args[2], "width", 0xFFFF, a.width) &&
                             p.unsignedValue(args[3], "height", 0xFFFF, a.height);
                        if (ok && (a.width == 0 || a.height == 0))
                            ok = p.fail("a display is at least 1 x 1 pixels");
                    }
                }
                break;
            case ActionKind::Select:
                ok = p.count(args, 0, 1, "select [DISPLAY]");
                if (ok && !args.empty()) a.display = args[0];
                break;
            case ActionKind::Close:
                ok = p.count(args, 1, 1, "close DISPLAY");
                if (ok) a.display = args[0];
                break;
            case ActionKind::Key: {
                ok = p.count(args, 1, 2, "key KEY [DISPLAY]");
                if (!ok) break;
                const std::optional<uint32_t> code = keyCode(args[0]);
                if (!code) {
                    ok = p.fail("unknown key name '" + std::string(args[0]) +
                                "' (the instrument's keys are " + kCommandKeyNames +
                                "; other keys by name, such as F or Q, or by code, such as 0x21)");
                    break;
                }
                a.key = *code;
                a.keyText = args[0];
                if (args.size() == 2) a.display = args[1];
                break;
            }
            case ActionKind::Button: {
                ok = p.count(args, 1, 3, "button BUTTON [EVENT] [DISPLAY]");
                if (!ok) break;
                if (const std::optional<long long> index = integer(args[0])) {
                    if (*index < -1000000 || *index > 1000000) {
                        ok = p.fail("button index '" + std::string(args[0]) + "' is out of range");
                        break;
                    }
                    a.button = static_cast<int>(*index);
                } else if (args[0][0] == '-' || (args[0][0] >= '0' && args[0][0] <= '9')) {
                    // Labels begin with a letter; this was meant as an index.
                    ok = p.fail("button index '" + std::string(args[0]) + "' is not a number");
                    break;
                } else {
                    a.buttonLabel = args[0];
                }
                size_t next = 1;
                if (args.size() > next) {
                    if (const std::optional<long long> event = integer(args[next])) {
                        if (*event < 0 || *event > 0x7FFFFFFF) {
                            ok = p.fail("event '" + std::string(args[next]) + "' is not a set of event bits");
                            break;
                        }
                        a.event = static_cast<int>(*event);
                        ++next;
                    }
                }
                if (args.size() > next) a.display = args[next++];
                if (args.size() > next)
                    ok = p.fail("too many arguments: expected 'button BUTTON [EVENT] [DISPLAY]'");
                break;
            }
            case ActionKind::Dock:
                ok = p.count(args, 4, 4, "dock VESSEL PORT OTHER-VESSEL OTHER-PORT");
                if (ok) {
                    a.vessel = args[0];
                    a.otherVessel = args[2];
                    ok = p.unsignedValue(args[1], "port", 1023, a.port) &&
                         p.unsignedValue(args[3], "port", 1023, a.otherPort);
                }
                break;
            case ActionKind::Undock:
                ok = p.count(args, 2, 2, "undock VESSEL PORT");
                if (ok) {
                    a.vessel = args[0];
                    ok = p.unsignedValue(args[1], "port", 1023, a.port);
                }
                break;
            case ActionKind::Remove:
                ok = p.count(args, 1, 1, "remove VESSEL");
                if (ok) a.vessel = args[0];
                break;
            case ActionKind::Save:
            case ActionKind::Load:
                if (rest.empty())
                    ok = p.fail(std::string("missing file: expected '") + actionName(a.kind) + " FILE'");
                a.text = rest;
                break;
            case ActionKind::Accel: {
                ok = p.count(args, 1, 1, "accel FACTOR");
                if (!ok) break;
                const std::optional<double> factor = number(args[0]);
                if (!factor || *factor <= 0.0 || *factor > 1e6) {
                    ok = p.fail("time acceleration '" + std::string(args[0]) +
                                "' is not a number above 0 and up to 1000000");
                    break;
                }
                a.accel = *factor;
                break;
            }
            case ActionKind::Show:
                ok = p.count(args, 0, 1, "show [DISPLAY]");
                if (ok && !args.empty()) a.display = args[0];
                break;
        }
        if (!ok) return std::nullopt;
        previous = a.time;
        script.actions.push_back(std::move(a));
    }
    return script;
}

std::optional<Script> readScriptFile(const std::string& path, std::string& error) {
    const std::optional<std::string> text = sim::readFile(path, error, " the script");
    if (!text) return std::nullopt;
    return parseScript(*text, path, error);
}

std::string where(const Script& script, const Action& action) {
    return sim::lineMessage(script.source, action.line, "");
}

}  // namespace cli
