// Simulated servo ticks per second of host time: one long straight vector,
// a chain of short vectors through the real queue (planning included), and
// the position loop alone for comparison.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstdint>

#include <memory>

#include "bench_machine.h"

namespace {

// The benchmarks run on one machine, started once; each body reaches it by
// its firmware names.
struct TickBench : BenchMachine {
    std::int64_t ticks_since(std::int32_t start) const
    {
        return static_cast<std::uint32_t>(svo_tick_count) - static_cast<std::uint32_t>(start);
    }
    void long_straight_vector(benchmark::State& state);
    void short_vector_chain(benchmark::State& state);
    void short_vector_chain_ticks_only(benchmark::State& state);
    void feedback_loop_only(benchmark::State& state);
};

// The started machine of the benchmarks.
TickBench& bench()
{
    static const std::unique_ptr<TickBench> machine = std::make_unique<TickBench>();
    machine->start();
    return *machine;
}

void TickBench::long_straight_vector(benchmark::State& state)
{
    std::int64_t ticks = 0;
    std::int32_t direction = 1;
    for (auto _ : state) {
        const std::int32_t start = svo_tick_count;
        srvo_on_pd();
        srvo_on_ve(direction * 60960, 0);  // 20 inches
        svo_wait_idle();
        direction = -direction;
        ticks += ticks_since(start);
    }
    state.counters["ticks/s"] =
        benchmark::Counter(static_cast<double>(ticks), benchmark::Counter::kIsRate);
}
void BM_LongStraightVector(benchmark::State& state)
{
    bench().long_straight_vector(state);
}
BENCHMARK(BM_LongStraightVector)->Unit(benchmark::kMillisecond);

// A circle of 2 inches diameter in 360 segments of about 53 plot-bed units.
void TickBench::short_vector_chain(benchmark::State& state)
{
    constexpr int segments = 360;
    std::int32_t dx[segments];
    std::int32_t dy[segments];
    std::int32_t px = 3048;
    std::int32_t py = 0;
    for (int i = 0; i < segments; ++i) {
        const double a = 2.0 * 3.14159265358979 * (i + 1) / segments;
        const auto x = static_cast<std::int32_t>(std::lround(3048.0 * std::cos(a)));
        const auto y = static_cast<std::int32_t>(std::lround(3048.0 * std::sin(a)));
        dx[i] = x - px;
        dy[i] = y - py;
        px = x;
        py = y;
    }
    std::int64_t ticks = 0;
    for (auto _ : state) {
        const std::int32_t start = svo_tick_count;
        srvo_on_pd();
        for (int i = 0; i < segments; ++i) {
            srvo_on_ve(dx[i], dy[i]);
        }
        svo_wait_idle();
        ticks += ticks_since(start);
    }
    state.counters["ticks/s"] =
        benchmark::Counter(static_cast<double>(ticks), benchmark::Counter::kIsRate);
}
void BM_ShortVectorChain(benchmark::State& state)
{
    bench().short_vector_chain(state);
}
BENCHMARK(BM_ShortVectorChain)->Unit(benchmark::kMillisecond);

// The same kind of chain with the planning taken out: 19 short vectors of a
// gentle curve are planned once; each iteration puts the ring back as
// planned and times only the servo interrupt running through it.
void TickBench::short_vector_chain_ticks_only(benchmark::State& state)
{
    svo_wait_idle();
    pipeflag = 0;
    VdbData* first = freeptr;
    srvo_on_pd();
    for (int i = 0; i < VDB_POOL_SIZE - 1; ++i) {
        const double a = 0.02 * i;
        srvo_on_ve(static_cast<std::int32_t>(std::lround(150.0 * std::cos(a))),
                   static_cast<std::int32_t>(std::lround(150.0 * std::sin(a))));
    }
    VdbData planned[VDB_POOL_SIZE];
    std::copy(std::begin(vdb_pool), std::end(vdb_pool), planned);
    const std::int16_t state_before = svo_state;

    std::int64_t ticks = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(std::begin(planned), std::end(planned), vdb_pool);
        svo_state = state_before;
        SVO_SetVectPtr(first);
        state.ResumeTiming();
        const std::int32_t start = svo_tick_count;
        svo_wait_idle();
        ticks += ticks_since(start);
    }
    pipeflag = 1;
    state.counters["ticks/s"] =
        benchmark::Counter(static_cast<double>(ticks), benchmark::Counter::kIsRate);
}
void BM_ShortVectorChainTicksOnly(benchmark::State& state)
{
    bench().short_vector_chain_ticks_only(state);
}
BENCHMARK(BM_ShortVectorChainTicksOnly)->Unit(benchmark::kMicrosecond);

void TickBench::feedback_loop_only(benchmark::State& state)
{
    for (auto _ : state) {
        svo_feedback_loop();
        benchmark::ClobberMemory();
    }
    state.counters["ticks/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
}
void BM_FeedbackLoopOnly(benchmark::State& state)
{
    bench().feedback_loop_only(state);
}
BENCHMARK(BM_FeedbackLoopOnly);

} // namespace
