#include "sim/formats/vessel_catalogue.h"

#include <charconv>
#include <cmath>

#include "sim/formats/files.h"
#include "sim/formats/text.h"

namespace sim {

namespace {

// Limits the scenario reader relies on: totals over many tanks stay finite, and a port count
// stays a count a display can step through.
constexpr double kMaxTankMass = 1e15;  // kg
constexpr unsigned kMaxPorts = 1024;

// A number that is the whole word: no error, invalid_argument, or result_out_of_range when it
// is too large for T.
template <typename T>
std::errc number(std::string_view word, T& value) {
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error == std::errc{} && end != word.data() + word.size()) return std::errc::invalid_argument;
    return error;
}

}  // namespace

std::optional<VesselCatalogue> VesselCatalogue::read(const std::string& path, std::string& error) {
    const std::optional<std::string> text = readFile(path, error, " the vessel classes");
    if (!text) return std::nullopt;
    return parse(*text, path, error);
}

std::optional<VesselCatalogue> VesselCatalogue::parse(std::string_view text, const std::string& path,
                                                      std::string& error) {
    VesselCatalogue catalogue({}, path);
    int lineNumber = 0;
    for (const std::string_view raw : splitLines(text)) {
        ++lineNumber;
        const std::vector<std::string_view> words = splitWords(withoutComment(raw));
        if (words.empty()) continue;
        auto fail = [&](const std::string& what) {
            error = lineMessage(path, lineNumber, what);
            return std::nullopt;
        };
        VesselClass c;
        c.name = words[0];
        if (catalogue.find(c.name)) return fail("second line for the class " + inQuotes(c.name));
        const std::string form = "expected \"class ports [tank kg ...]\", such as \"DG-S 1 2500 10400 600\"";
        if (words.size() < 2) return fail("no port count for the class " + inQuotes(c.name) + ": " + form);
        const std::string ports = "port count " + inQuotes(words[1]) + " of " + inQuotes(c.name);
        const std::string portRange = "0 to " + std::to_string(kMaxPorts);
        const std::errc portsRead = number(words[1], c.ports);
        if (portsRead == std::errc::invalid_argument)
            return fail(ports + " is not a whole number from " + portRange + ": " + form);
        if (portsRead != std::errc{} || c.ports > kMaxPorts)
            return fail(ports + " is out of range " + portRange);
        for (size_t i = 2; i < words.size(); ++i) {
            double mass = 0.0;
            const std::string tank =
                "tank " + std::to_string(i - 1) + "'s mass " + inQuotes(words[i]) + " of " + inQuotes(c.name);
            const std::errc massRead = number(words[i], mass);
            if (massRead == std::errc::invalid_argument || (massRead == std::errc{} && !std::isfinite(mass)))
                return fail(tank + " is not a number of kg from 0 to 1e15");
            if (massRead != std::errc{} || mass < 0.0 || mass > kMaxTankMass)
                return fail(tank + " is out of range 0 to 1e15 kg");
            c.tanks.push_back(mass);
        }
        catalogue.classes_.push_back(std::move(c));
    }
    return catalogue;
}

std::string VesselCatalogue::defaultPath() {
#ifdef KESTRANE_INSTALLED_CLASSES
    if (std::string installed = installedFile(KESTRANE_INSTALLED_CLASSES); !installed.empty())
        return installed;
#endif
    return KESTRANE_SOURCE_CLASSES;
}

const VesselCatalogue& VesselCatalogue::standard() {
    static const VesselCatalogue catalogue = [] {
        const std::string path = defaultPath();
        std::string error;
        std::optional<VesselCatalogue> read = VesselCatalogue::read(path, error);
        if (read) return std::move(*read);
        VesselCatalogue empty({}, path);
        empty.loadError_ = error;
        return empty;
    }();
    return catalogue;
}

const VesselClass* VesselCatalogue::find(std::string_view name) const {
    for (const VesselClass& c : classes_) {
        if (equalsIgnoringCase(c.name, name)) return &c;
    }
    return nullptr;
}

void VesselCatalogue::add(VesselClass vesselClass) {
    for (VesselClass& c : classes_) {
        if (equalsIgnoringCase(c.name, vesselClass.name)) {
            c = std::move(vesselClass);
            return;
        }
    }
    classes_.push_back(std::move(vesselClass));
}

}  // namespace sim
