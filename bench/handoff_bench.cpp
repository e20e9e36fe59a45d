// Cost of one handoff between the main thread and the tick thread: the main
// thread asks for a run of ticks whose condition already holds and waits
// for the answer. A vector job pays this about once per record.
#include <benchmark/benchmark.h>

#include "app/tick_thread.h"
#include "bench_machine.h"

namespace {

void BM_TickThreadHandoff(benchmark::State& state)
{
    bench_start_machine();
    svo_tick_thread_start();
    for (auto _ : state) {
        svo_tick_handoff_probe();
    }
    svo_tick_thread_stop();
}
BENCHMARK(BM_TickThreadHandoff)->Unit(benchmark::kMicrosecond);

} // namespace
