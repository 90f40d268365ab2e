// The cost of walking a stack: a call chain 64 frames deep (built with the benchmarks' usual
// optimisation, so its frames are described only by the DWARF tables) is walked 100,000 times
// from its deepest frame, once by our unwinder from a captured register state and once by the
// system's _Unwind_Backtrace. Prints the time per frame of each and "ratio: X" (ours over the
// system's); the goal is at most 1, since ours reads a table prepared before the crash.
#include "crash/image/CRWBinaryImageTable.h"
#include "crash/image/CRWElfImage.h"
#include "crash/unwind/CRWUnwind.h"
#include "platform/dyld/Dyld.h"

#include "bench/BenchSupport.h"

#include <cstdio>
#include <functional>
#include <memory>

#include <ucontext.h>
#include <unwind.h>

namespace {

constexpr int kDepth = 64;
constexpr int kWalks = 100'000;

std::map<std::string, double> framesPerWalk;

__attribute__((noinline)) int descend(int depth, const std::function<void()>& body) {
    if (depth == 0) {
        body();
        return 0;
    }
    const int result = descend(depth - 1, body);
    __asm__ volatile("" ::: "memory");
    return result + 1;
}

struct Host {
    CRWBinaryImageTable table{};
    CRWUnwindEnvironment environment{};
    Host() {
        for (const plat::dyld::Image& image : plat::dyld::images()) {
            CRWElfImageDetails details;
            if (!CRWElfImageReadDetails(image.header, image.slide, &details)) continue;
            CRWBinaryImageSlot slot;
            CRWElfImageFillSlot(&details, &slot);
            CRWBinaryImageTableStore(&table, &slot);
        }
        environment = CRWUnwindEnvironmentWithTable(&table, CRWMemoryReaderSafe());
    }
};

void BM_CRWUnwind(benchmark::State& state) {
    static Host* host = new Host;
    descend(kDepth, [&] {
        ucontext_t context;
        getcontext(&context);
        CRWRegisters registers;
        CRWRegistersFromUContext(&context, &registers);
        int frames = 0;
        for (auto _ : state) {
            CRWUnwindContext cursor;
            CRWUnwindInit(&cursor, &registers, &host->environment);
            frames = 0;
            while (CRWUnwindNextFrame(&cursor))
                ++frames;
            benchmark::DoNotOptimize(frames);
        }
        framesPerWalk["BM_CRWUnwind"] = frames;
        if (frames < kDepth) state.SkipWithError("walk ended early");
    });
}

void BM_UnwindBacktrace(benchmark::State& state) {
    descend(kDepth, [&] {
        int frames = 0;
        for (auto _ : state) {
            frames = 0;
            _Unwind_Backtrace(
                [](_Unwind_Context* unwind, void* count) {
                    if (_Unwind_GetIP(unwind) != 0) ++*static_cast<int*>(count);
                    return _URC_NO_REASON;
                },
                &frames);
            benchmark::DoNotOptimize(frames);
        }
        framesPerWalk["BM_UnwindBacktrace"] = frames;
    });
}

BENCHMARK(BM_CRWUnwind)->Iterations(kWalks)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UnwindBacktrace)->Iterations(kWalks)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.times;
    for (const char* name : {"BM_CRWUnwind", "BM_UnwindBacktrace"}) {
        if (!t.count(name) || framesPerWalk[name] <= 0) continue;
        std::printf("%s: %.0f frames per walk, %.1f ns per frame\n", name, framesPerWalk[name],
                    t[name] * 1000.0 / framesPerWalk[name]);
    }
    if (t.count("BM_CRWUnwind") && t.count("BM_UnwindBacktrace") && t["BM_UnwindBacktrace"] > 0) {
        const double ours = t["BM_CRWUnwind"] / framesPerWalk["BM_CRWUnwind"];
        const double system = t["BM_UnwindBacktrace"] / framesPerWalk["BM_UnwindBacktrace"];
        std::printf("ratio: %.2f (per frame, ours / _Unwind_Backtrace)\n", ours / system);
    }
    benchmark::Shutdown();
    return 0;
}
