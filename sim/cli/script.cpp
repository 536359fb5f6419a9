#include "sim/cli/script.h"

#include <charconv>
#include <cmath>

#include "sim/formats/files.h"
#include "sim/formats/text.h"

namespace cli {

namespace {
constexpr std::string_view kNoteAction = "note";
}  // namespace

ActionLine::ActionLine(const std::string& source, int line, const ActionType& type,
                       std::vector<std::string_view> arguments, std::string_view restOfLine,
                       std::string& error)
    : args(std::move(arguments)),
      rest(restOfLine),
      source_(source),
      line_(line),
      type_(type),
      error_(error) {}

bool ActionLine::fail(const std::string& what) {
    error_ = sim::lineMessage(source_, line_, what);
    return false;
}

bool ActionLine::count(size_t least, size_t most) {
    if (args.size() < least || args.size() > most)
        return fail(std::string(args.size() < least ? "missing arguments" : "too many arguments") +
                    ": expected '" + usage() + "'");
    return true;
}

std::string ActionLine::usage() const { return std::string(type_.name) + " " + type_.usage; }

bool ActionLine::unsignedValue(std::string_view word, const char* what, unsigned limit, unsigned& out) {
    const std::optional<long long> value = integer(word);
    if (!value || *value < 0 || *value > limit)
        return fail(std::string(what) + " '" + std::string(word) + "' is not a number from 0 to " +
                    std::to_string(limit));
    out = static_cast<unsigned>(*value);
    return true;
}

std::optional<double> ActionLine::number(std::string_view word) {
    double value = 0.0;
    const char* end = word.data() + word.size();
    const auto [stop, error] = std::from_chars(word.data(), end, value);
    if (error != std::errc{} || stop != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<long long> ActionLine::integer(std::string_view word) {
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

std::optional<Script> parseScript(std::string_view text, const std::string& source, std::string& error) {
    Script script;
    script.source = source;
    double previous = 0.0;
    int lineNumber = 0;
    for (const std::string_view whole : sim::splitLines(text)) {
        ++lineNumber;
        std::string_view line = sim::withoutComment(whole);
        const std::vector<std::string_view> words = sim::splitWords(line);
        if (words.empty()) continue;
        const auto fail = [&](const std::string& what) {
            error = sim::lineMessage(source, lineNumber, what);
            return std::nullopt;
        };

        Action a;
        a.line = lineNumber;
        std::string_view timeWord = words[0];
        const bool relative = timeWord.front() == '+';
        if (relative) timeWord.remove_prefix(1);
        const std::optional<double> time = ActionLine::number(timeWord);
        if (!time || *time < 0.0)
            return fail(sim::inQuotes(words[0]) +
                        " is not a time: a line begins with seconds of simulated time, such as 12.5 or +2");
        a.time = relative ? previous + *time : *time;
        if (!std::isfinite(a.time) || a.time > kMaxRunTime)
            return fail("time " + std::string(words[0]) +
                        " lies beyond the longest run, 1e9 s of simulated time");
        if (a.time < previous)
            return fail("time " + std::string(words[0]) + " lies before the previous line's time");
        if (words.size() < 2) return fail("no action after the time");
        const std::string_view name = words[1];
        std::string known;
        for (const ActionType& type : actionTypes()) {
            if (name == type.name) a.type = &type;
            known += (known.empty() ? "" : ", ") + std::string(type.name);
        }
        if (!a.type) return fail("unknown action '" + std::string(name) + "' (known: " + known + ")");
        // The rest of the line as written, for texts and file names. A note is text for the
        // reader: it runs to the line's end, ';' and all (`line` starts where `whole` does).
        if (name == kNoteAction) line = whole;
        const std::string_view rest =
            sim::trim(line.substr(static_cast<size_t>(name.data() + name.size() - line.data())));
        ActionLine in(source, lineNumber, *a.type, {words.begin() + 2, words.end()}, rest, error);
        if (!a.type->parse(in, a)) return std::nullopt;
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
