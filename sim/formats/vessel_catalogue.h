// The vessel classes of the emulator: the tanks and docking ports a class gives each of its
// vessels. A scenario file names a ship's class only; the simulator finds the rest in the
// class's code or configuration file, the emulator in a catalogue file (sim/data/
// vessel-classes.cfg, installed beside the program, or one of the user's).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct VesselClass {
    std::string name;
    std::vector<double> tanks;  // maximum masses in kg, in creation order
    unsigned ports = 0;
};

class VesselCatalogue {
public:
    VesselCatalogue() = default;
    explicit VesselCatalogue(std::vector<VesselClass> classes, std::string path = {})
        : classes_(std::move(classes)), path_(std::move(path)) {}

    // Reads a catalogue file. On an error nothing, with `error` "<path>:<line>: what".
    static std::optional<VesselCatalogue> read(const std::string& path, std::string& error);
    static std::optional<VesselCatalogue> parse(std::string_view text, const std::string& path,
                                                std::string& error);

    // The shipped catalogue, read once from defaultPath(). When it cannot be read, an empty
    // catalogue whose loadError() says why.
    static const VesselCatalogue& standard();
    // The shipped file: beside an installed program, else in the source tree it was built from.
    static std::string defaultPath();

    // The class of that name, letter case aside; null when there is none.
    const VesselClass* find(std::string_view name) const;
    // Adds a class, or replaces the one of the same name.
    void add(VesselClass vesselClass);

    const std::vector<VesselClass>& classes() const { return classes_; }
    // The file a user adds a missing class to.
    const std::string& path() const { return path_; }
    const std::string& loadError() const { return loadError_; }

private:
    std::vector<VesselClass> classes_;
    std::string path_;
    std::string loadError_;
};

}  // namespace sim
