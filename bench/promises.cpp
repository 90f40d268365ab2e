// The cost of promise chaining over plain queue posting: 100,000 chained `then` steps resolved on a
// serial queue, against posting the same 100,000 closures with plain async on that queue. Both
// include building the work and wait until the last step has run. Prints "ratio: X" (promise time
// over plain time, from the same run); the target is at most 3.
#include "promises/TPRPromise.h"

#include "platform/dispatch/DispatchSemaphore.h"

#include "BenchSupport.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>

namespace {

constexpr int kSteps = 100'000;

// The step both variants run: read the number, add one.
int64_t step(const plat::Object& value) {
    return value.number().int64Value() + 1;
}

void BM_PlainAsync(benchmark::State& state) {
    auto queue = plat::DispatchQueue::serial("bench.plain");
    for (auto _ : state) {
        plat::DispatchSemaphore done;
        auto value = std::make_shared<plat::Object>(int64_t{0});
        for (int i = 0; i < kSteps; ++i)
            queue.async([value] { *value = plat::Object(step(*value)); });
        queue.async([done] { done.signal(); });
        done.wait();
        if (step(*value) != kSteps + 1) state.SkipWithError("plain steps lost");
    }
    state.SetItemsProcessed(state.iterations() * kSteps);
}

void BM_ThenChain(benchmark::State& state) {
    auto queue = plat::DispatchQueue::serial("bench.promises");
    for (auto _ : state) {
        plat::DispatchSemaphore done;
        auto root = TPRPromise::pendingPromise();
        TPRPromise::Ptr last = root;
        for (int i = 0; i < kSteps; ++i)
            last = last->then(queue, [](const plat::Object& v) { return step(v); });
        last->observeOnQueue(
            queue, [done](const plat::Object&) { done.signal(); },
            [done](const plat::Error&) { done.signal(); });
        root->fulfill(plat::Object(int64_t{0}));
        done.wait();
        if (last->value().number().int64Value() != kSteps) state.SkipWithError("promise steps lost");
    }
    state.SetItemsProcessed(state.iterations() * kSteps);
}

// Several repetitions, compared by their medians: the plain baseline swings with the load of the
// machine, and one slow repetition should not decide the ratio.
BENCHMARK(BM_PlainAsync)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)->Repetitions(7);
BENCHMARK(BM_ThenChain)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)->Repetitions(7);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto plain = reporter.times.find("BM_PlainAsync");
    const auto chained = reporter.times.find("BM_ThenChain");
    if (plain == reporter.times.end() || chained == reporter.times.end() || plain->second <= 0) {
        std::printf("ratio: unavailable (run both benchmarks)\n");
        return 1;
    }
    std::printf("median plain async: %.2f ms, median then chain: %.2f ms\n", plain->second, chained->second);
    std::printf("ratio: %.2f\n", chained->second / plain->second);
    return 0;
}
