// Runs the benchmarks with Google Benchmark's usual flags, then prints the summary table.
// Exits 1 when a benchmark failed (a baseline no longer makes the module's calls, a bad host
// call, a stopped pump) or the module allocated; a time target not met is only shown.
#include <unistd.h>

#include <iostream>

#include "benchmarks.h"
#include "summary.h"

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bench::registerStepBenchmarks();
    bench::registerRedrawBenchmarks();
    bench::registerEmulatorBenchmarks();
    bench::SummaryReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_Color
                                                          : benchmark::ConsoleReporter::OO_None);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.printSummary(std::cout) ? 0 : 1;
}
