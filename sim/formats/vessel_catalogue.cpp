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

template <typename T>
bool number(std::string_view word, T& value) {
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    return error == std::errc{} && end == word.data() + word.size();
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
        if (words.size() < 2 || !number(words[1], c.ports))
            return fail("expected \"class ports [tank kg ...]\" for " + inQuotes(c.name));
        if (c.ports > kMaxPorts) return fail("more than " + std::to_string(kMaxPorts) + " ports");
        for (size_t i = 2; i < words.size(); ++i) {
            double mass = 0.0;
            if (!number(words[i], mass) || !std::isfinite(mass) || mass < 0.0)
                return fail("malformed tank mass " + inQuotes(words[i]));
            if (mass > kMaxTankMass) return fail("a tank above 1e15 kg");
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
