#include "summary.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "counting.h"
#include "scenes.h"

namespace bench {

namespace {

std::string format(const char* fmt, double value) {
    char text[64];
    std::snprintf(text, sizeof text, fmt, value);
    return text;
}

std::string duration(double ns) {
    if (ns < 1e3) return format("%.1f ns", ns);
    if (ns < 1e6) return format("%.2f us", ns / 1e3);
    if (ns < 1e9) return format("%.1f ms", ns / 1e6);
    return format("%.2f s", ns / 1e9);
}

std::string number(double value) {
    if (value == static_cast<double>(static_cast<long long>(value))) return format("%.0f", value);
    return format("%.3f", value);
}

std::string pad(const std::string& s, size_t width) {
    return s.size() >= width ? s + " " : s + std::string(width - s.size(), ' ');
}
std::string right(const std::string& s, size_t width) {
    return s.size() >= width ? " " + s : std::string(width - s.size(), ' ') + s;
}

const char* kModes[] = {"crossfeed", "load", "unload", "vent"};
const int kVesselCounts[] = {1, 10, 100, 1000};

}  // namespace

void SummaryReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        Result& r = results_[run.run_name.str()];
        if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "cv") r.cv = run.cpu_accumulated_time;
        if (run.run_type == Run::RT_Aggregate && !median) continue;
        if (r.median && !median) continue;  // a median already stands for this benchmark
        if (run.error_occurred) {
            r.error = run.error_message;
            continue;
        }
        r.ns = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
        r.repetitions = median ? static_cast<int>(run.repetitions) : 1;
        r.median = median;
        r.counters.clear();
        for (const auto& [name, counter] : run.counters) r.counters[name] = counter.value;
    }
}

const SummaryReporter::Result* SummaryReporter::find(const std::string& name) const {
    const auto it = results_.find(name);
    return it == results_.end() ? nullptr : &it->second;
}

bool SummaryReporter::printSummary(std::ostream& out) const {
    std::vector<std::string> failures;
    int repetitions = 0;
    int noisy = 0;
    double worstCv = 0;
    std::string worstCvName;
    for (const auto& [name, r] : results_) {
        if (!r.error.empty()) failures.push_back(name + ": " + r.error);
        repetitions = std::max(repetitions, r.repetitions);
        if (r.cv > 0.05) ++noisy;
        if (r.cv > worstCv) {
            worstCv = r.cv;
            worstCvName = name;
        }
    }

    auto time = [&](const std::string& name) -> std::string {
        const Result* r = find(name);
        return !r || !r->error.empty() ? "-" : duration(r->ns);
    };
    auto ratio = [&](const std::string& a, const std::string& b) -> double {
        const Result* x = find(a);
        const Result* y = find(b);
        if (!x || !y || !x->error.empty() || !y->error.empty() || y->ns <= 0) return -1.0;
        return x->ns / y->ns;
    };
    auto ratioText = [](double r) { return r < 0 ? std::string("-") : format("%.2f", r); };
    auto counter = [&](const std::string& name, const char* counterName) -> std::string {
        const Result* r = find(name);
        if (!r || !r->error.empty()) return "-";
        const auto it = r->counters.find(counterName);
        return it == r->counters.end() ? "-" : number(it->second);
    };
    auto counterValue = [&](const std::string& name, const char* counterName) -> double {
        const Result* r = find(name);
        if (!r) return -1;
        const auto it = r->counters.find(counterName);
        return it == r->counters.end() ? -1 : it->second;
    };
    // The module's own allocations over every benchmark that runs its code per operation.
    double moduleAllocs = 0;
    int allocsMeasured = 0;
    for (const auto& [name, r] : results_) {
        const bool module = name.rfind("step/off", 0) == 0 || name.rfind("step/module/", 0) == 0 ||
                            (name.rfind("redraw/", 0) == 0 && name.find("/module/") != std::string::npos);
        const auto it = r.counters.find(kModuleAllocs);
        if (!module || !r.error.empty() || it == r.counters.end()) continue;
        moduleAllocs += it->second;
        ++allocsMeasured;
    }

    out << "\nKestrane benchmarks: CPU time per operation, median of " << repetitions
        << (repetitions == 1 ? " run" : " repetitions") << "\n";
    out << "allocs: operator new by the module's own code; host allocs: by the emulator's GDI (brushes);\n"
           "lists: propellant lists the host allocates (malloc) for status queries; calls: host calls.\n";

    // Time step.
    out << "\nTime step (opcTimestep)\n"
        << pad("  pump", 14) << right("module", 10) << right("baseline", 10) << right("ratio", 7)
        << right("+checks", 10) << right("ratio", 7) << right("allocs", 8) << right("lists", 7)
        << right("calls", 7) << "\n";
    out << pad("  off", 14) << right(time("step/off"), 10) << right("-", 10) << right("-", 7)
        << right("-", 10) << right("-", 7) << right(counter("step/off", kModuleAllocs), 8)
        << right(counter("step/off", kStatusLists), 7) << right(counter("step/off", kHostCalls), 7) << "\n";
    double worstStep = 0, worstStepChecked = 0;
    std::string worstStepMode;
    for (const char* mode : kModes) {
        const std::string m = std::string("step/module/") + mode;
        const double r = ratio(m, std::string("step/baseline/") + mode);
        const double rc = ratio(m, std::string("step/checked/") + mode);
        if (r > worstStep) {
            worstStep = r;
            worstStepMode = mode;
        }
        worstStepChecked = std::max(worstStepChecked, rc);
        out << pad(std::string("  ") + mode, 14) << right(time(m), 10)
            << right(time(std::string("step/baseline/") + mode), 10) << right(ratioText(r), 7)
            << right(time(std::string("step/checked/") + mode), 10) << right(ratioText(rc), 7)
            << right(counter(m, kModuleAllocs), 8) << right(counter(m, kStatusLists), 7)
            << right(counter(m, kHostCalls), 7) << "\n";
    }
    out << "  baseline: the host calls a running step needs; +checks: and the checks that the vessels\n"
           "  still exist and the source is still docked, which the module makes first.\n";

    // Redraw.
    double worstGdi = 0, worstHost = 0, worstChecked = 0, worstRecording = 0;
    for (const char* surface : {"recording", "raster"}) {
        const std::string base = std::string("redraw/") + surface + "/";
        out << "\nRedraw, " << surface << " surface (Repaint)\n"
            << pad("  page", 12) << right("module", 10) << right("gdi", 10) << right("ratio", 7)
            << right("+host", 10) << right("ratio", 7) << right("+checks", 10) << right("ratio", 7)
            << right("allocs", 8) << right("host allocs", 12) << right("lists", 7) << right("calls", 7)
            << "\n";
        for (const Page page : kPages) {
            const std::string p = pageName(page);
            const std::string m = base + "module/" + p;
            const double rg = ratio(m, base + "gdi/" + p);
            const double rh = ratio(m, base + "host/" + p);
            const double rc = ratio(m, base + "checked/" + p);
            if (std::string(surface) == "recording") {
                worstRecording =
                    std::max(worstRecording, find(m) && find(m)->error.empty() ? find(m)->ns : 0.0);
            } else {
                worstGdi = std::max(worstGdi, rg);
                worstHost = std::max(worstHost, rh);
                worstChecked = std::max(worstChecked, rc);
            }
            out << pad("  " + p, 12) << right(time(m), 10) << right(time(base + "gdi/" + p), 10)
                << right(ratioText(rg), 7) << right(time(base + "host/" + p), 10) << right(ratioText(rh), 7)
                << right(time(base + "checked/" + p), 10) << right(ratioText(rc), 7)
                << right(counter(m, kModuleAllocs), 8) << right(counter(m, kHostAllocs), 12)
                << right(counter(m, kStatusLists), 7) << right(counter(m, kHostCalls), 7) << "\n";
        }
    }
    out << "  gdi: the page's GDI calls replayed with the texts already formatted; +host: and the host\n"
           "  calls the page needs (names, counts, dock queries, masses); +checks: and the checks for\n"
           "  removed vessels: every call the page makes.\n";

    // Emulator.
    const Result* hour = find("emulator/hour/steps");
    const Result* hourRedraws = find("emulator/hour/steps+redraws");
    out << "\nEmulator\n";
    if (hour && hour->error.empty()) {
        out << "  a simulated hour, 60 steps a simulated second, pump running: " << duration(hour->ns) << " ("
            << format("%.2f", 216000.0 / (hour->ns / 1e9) / 1e6) << " million steps/s)\n";
    }
    if (hourRedraws && hourRedraws->error.empty()) {
        out << "  the same with a redraw (raster surface) each simulated second: "
            << duration(hourRedraws->ns) << "\n";
    }
    out << pad("  vessels", 12);
    for (int n : kVesselCounts) out << right(std::to_string(n), 10);
    out << right("1000/100", 10) << "\n";
    bool linear = true;
    std::string growth;
    for (const char* work : {"load", "create", "step", "redraw"}) {
        const std::string base = std::string("emulator/vessels/") + work + "/n:";
        out << pad(std::string("  ") + work, 12);
        for (int n : kVesselCounts) out << right(time(base + std::to_string(n)), 10);
        const double g = ratio(base + "1000", base + "100");
        out << right(ratioText(g), 10) << "\n";
        if (g < 0) continue;
        // Ten times the vessels may cost at most twenty times as much, for what the cache and the
        // memory allocator add per vessel at 1,000 vessels; a quadratic cost shows as a hundred.
        for (int i = 1; i < 4; ++i) {
            const double step =
                ratio(base + std::to_string(kVesselCounts[i]), base + std::to_string(kVesselCounts[i - 1]));
            if (step > 20.0) linear = false;
        }
        growth += std::string(growth.empty() ? "" : ", ") + work + " x" + ratioText(g);
    }
    out << "  load: parsing the scenario text, then create: making the vessels, dock links and display\n"
           "  from it; step: one Simulation::step with the pump running; redraw: the display's Repaint\n"
           "  on the raster surface.\n";

    // Targets. One with nothing measured for it (a filtered run) is shown as not run.
    out << "\nTargets\n";
    enum class Met { Yes, No, NotRun };
    auto target = [&](Met met, const std::string& text) {
        out << "  "
            << (met == Met::Yes  ? "[met]     "
                : met == Met::No ? "[NOT MET] "
                                 : "[not run] ")
            << text << "\n";
    };
    auto judge = [](bool measured, bool met) { return !measured ? Met::NotRun : met ? Met::Yes : Met::No; };
    const Result* off = find("step/off");
    const bool offMeasured = off && off->error.empty();
    target(judge(offMeasured, offMeasured && off->ns <= 5.0 && counterValue("step/off", kHostCalls) == 0),
           "pump off: " + time("step/off") + " per step (a few ns), host calls " +
               counter("step/off", kHostCalls));
    target(judge(worstStep > 0, worstStep <= 1.3),
           "pump running within 1.3 x the host-call baseline: worst " + ratioText(worstStep) + " (" +
               worstStepMode + "); against the baseline with the checks: worst " +
               ratioText(worstStepChecked));
    // The texts are formatted by the C library: on the recording surface that is most of a
    // redraw, on a surface that draws it is lost in the drawing, and the simulator redraws a
    // display about once a second.
    target(judge(worstRecording > 0, worstRecording <= 20e3),
           "redraw, formatting and host calls alone (recording surface), under 20 us: worst " +
               duration(worstRecording));
    target(judge(worstGdi > 0, worstGdi <= 1.3),
           "redraw within 1.3 x the GDI-call baseline (raster surface): worst " + ratioText(worstGdi));
    target(judge(worstHost > 0, worstHost <= 1.3),
           "redraw within 1.3 x the GDI and host-call baseline (raster surface): worst " +
               ratioText(worstHost) + ", with the checks " + ratioText(worstChecked));
    target(judge(allocsMeasured > 0, moduleAllocs == 0),
           "no allocation by the module per step and per redraw: " + number(moduleAllocs) + " in " +
               std::to_string(allocsMeasured) + " benchmarks of the module");
    target(judge(hour && hour->error.empty(), hour && hour->ns < 1e9),
           "a simulated hour with the pump running well under a second: " + time("emulator/hour/steps"));
    target(judge(!growth.empty(), linear),
           "emulator cost at most linear in the number of vessels (100 to 1000: " + growth + ")");

    double load[1] = {0};
    out << "\nNoise: ";
    if (repetitions > 1) {
        out << noisy << " of " << results_.size() << " benchmarks vary by more than 5 % between repetitions"
            << (worstCv > 0 ? " (most: " + worstCvName + ", " + format("%.0f %%", worstCv * 100) + ")" : "")
            << "; ";
    }
    if (getloadavg(load, 1) == 1) out << "load average " << format("%.2f", load[0]) << " at the end";
    out << ". On a busy machine, run again when it is quiet.\n";

    if (!failures.empty()) {
        out << "\nFailed benchmarks\n";
        for (const std::string& f : failures) out << "  " << f << "\n";
    }
    return failures.empty() && moduleAllocs == 0;
}

}  // namespace bench
