// Registration of the benchmark families, called by main in this order.
#pragma once

namespace bench {
void registerStepBenchmarks();
void registerRedrawBenchmarks();
void registerEmulatorBenchmarks();
}  // namespace bench
