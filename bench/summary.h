// The console output of Google Benchmark, and after the run a short table: medians of the
// repetitions, the ratios of module to baseline, the allocation and call counters, and each
// target as met or not.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <ostream>
#include <string>

namespace bench {

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    explicit SummaryReporter(OutputOptions options) : ConsoleReporter(options) {}

    void ReportRuns(const std::vector<Run>& runs) override;

    // Prints the table, with each target as met or not met. False when a benchmark stopped with
    // an error or the module allocated: those do not depend on the machine. Times do, and a
    // time target not met is only shown.
    bool printSummary(std::ostream& out) const;

    struct Result {
        double ns = 0.0;  // CPU time per operation: the median over the repetitions
        int repetitions = 1;
        std::map<std::string, double> counters;
        std::string error;
        bool median = false;  // from the median aggregate, not a single run
        double cv = -1.0;     // coefficient of variation of the CPU times, when repeated
    };

private:
    const Result* find(const std::string& name) const;
    std::map<std::string, Result> results_;
};

}  // namespace bench
