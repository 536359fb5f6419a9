#include "sim/cli/page_fields.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sstream>

#include "display/page_words.h"
#include "sim/formats/text.h"

namespace cli {

namespace {

struct Label {
    const char* prefix;  // at the start of a row
    const char* field;
};

constexpr Label kLabels[] = {
    {kPumpModeLabel, "mode"},
    {kPumpRateLabel, "rate"},
    {kTargetTankLabel, "target tank"},
    {kSourceTankLabel, "source tank"},
    {kDockingPortLabel, "docking port"},
    {kDockedToLabel, "docked to"},
};

// Warnings stand where a setting would be.
constexpr Label kWarnings[] = {
    {kNoTargetTank, "target tank"},  {kNoSourceTank, "source tank"},    {kSingleTankOnly, "source tank"},
    {kOverboardVent, "source tank"}, {kNoDockingPorts, "docking port"}, {kNotDocked, "docked to"},
};

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "2 (of 3)" reads "2 of 3"; a mode loses its direction: "Load (SRC => TGT)" reads "Load".
std::string valueOf(const std::string& field, std::string value) {
    if (field == "mode") {
        if (const size_t open = value.find(" ("); open != std::string::npos) value.erase(open);
    } else if (const size_t of = value.find(" (of "); of != std::string::npos && value.back() == ')') {
        value = value.substr(0, of) + " of " + value.substr(of + 5, value.size() - of - 6);
    }
    return value;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> pageFields(const std::string& pageText) {
    std::vector<std::pair<std::string, std::string>> fields;
    std::istringstream in(pageText);
    std::string row;
    bool first = true;
    while (std::getline(in, row)) {
        if (first) {
            // The help page carries the version on the title row.
            static const std::string kVersion = std::string(" ") + kVersionWord + " ";
            fields.emplace_back("page", row.find(kVersion) != std::string::npos ? "help" : "status");
            first = false;
            continue;
        }
        const std::string_view text = sim::trim(row);
        for (const Label& l : kLabels) {
            if (row.rfind(l.prefix, 0) != 0) continue;
            const std::string value(sim::trim(std::string_view(row).substr(std::strlen(l.prefix))));
            fields.emplace_back(l.field, valueOf(l.field, value));
        }
        for (const Label& w : kWarnings) {
            if (text == w.prefix) fields.emplace_back(w.field, lower(w.prefix));
        }
    }
    return fields;
}

const std::string* pageField(const std::vector<std::pair<std::string, std::string>>& fields,
                             std::string_view name) {
    const auto it =
        std::find_if(fields.begin(), fields.end(), [&](const auto& f) { return f.first == name; });
    return it == fields.end() ? nullptr : &it->second;
}

const std::string* oneTankAsBoth(const std::vector<std::pair<std::string, std::string>>& fields) {
    const std::string *mode = pageField(fields, "mode"), *target = pageField(fields, "target tank"),
                      *source = pageField(fields, "source tank");
    // The mode table is in the order of the pump's modes: Cross-Feed first.
    return mode && *mode == kModeNames[0] && target && source && *target == *source ? target : nullptr;
}

std::string describeChange(const std::string& before, const std::string& after, const std::string& arrow) {
    const auto was = pageFields(before), now = pageFields(after);
    const auto find = pageField;
    std::string changes;
    const auto add = [&](const std::string& name, const std::string* from, const std::string* to) {
        changes += (changes.empty() ? "" : ", ") + name + " " + (from ? *from : "(not shown)") + " " + arrow +
                   " " + (to ? *to : "(not shown)");
    };
    const std::string* pageWas = find(was, "page");
    const std::string* pageNow = find(now, "page");
    if (pageWas && pageNow && *pageWas != *pageNow) {
        // The help page shows none of the settings: the page is what changed.
        add("page", pageWas, pageNow);
    } else {
        for (const auto& [name, value] : now) {
            const std::string* old = find(was, name);
            if (!old || *old != value) add(name, old, &value);
        }
        for (const auto& [name, value] : was) {
            if (!find(now, name)) add(name, &value, nullptr);
        }
    }
    if (!changes.empty()) return "changed: " + changes;
    // Cross-Feed opens with tank 1 as both source and target: say why the rate stays Off.
    const std::string* rate = find(now, "rate");
    if (const std::string* tank = oneTankAsBoth(now); tank && rate && *rate == kRateNames[0])
        return "consumed, no change: the pump cannot run with one tank (" + *tank +
               ") as both source and target";
    return "consumed, no change";
}

}  // namespace cli
