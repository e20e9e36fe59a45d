// A started machine for the benchmarks, with the start-up's console lines
// kept off the benchmark report.
#pragma once

void bench_start_machine();
