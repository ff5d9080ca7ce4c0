#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

#include "levels/LevelArithmetic.h"
#include "assessment/NoiseAssessment.h"

using namespace kl516;

// The heap the assessment takes at its peak: every allocation of the program goes through these,
// counted only while `counting` is set.
namespace {
std::atomic<bool> counting{false};
std::atomic<long long> heapNow{0}, heapPeak{0};

void* allocate(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (!p) throw std::bad_alloc();
    if (counting.load(std::memory_order_relaxed)) {
        const long long now = heapNow += (long long)malloc_usable_size(p);
        long long peak = heapPeak.load(std::memory_order_relaxed);
        while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
        }
    }
    return p;
}
void release(void* p) noexcept {
    if (!p) return;
    if (counting.load(std::memory_order_relaxed)) heapNow -= (long long)malloc_usable_size(p);
    std::free(p);
}
}  // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void operator delete(void* p) noexcept {
    release(p);
}
void operator delete[](void* p) noexcept {
    release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    release(p);
}

namespace {

// n samples at 1 s from Monday 2024-01-15 00:00 local time: a level wandering between about 45
// and 85 dB with loud spells, and one sample in a thousand without a level.
AssessmentSeries series(int n) {
    AssessmentSeries s;
    s.times.resize(std::size_t(n));
    s.levels.resize(std::size_t(n));
    const double start = 19737.0 * 86400;
    unsigned x = 12345;
    for (int i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        s.times[std::size_t(i)] = start + i;
        const float base = 55.0f + 10.0f * float((i / 600) % 3) + float((x >> 16) % 100) / 10.0f;
        s.levels[std::size_t(i)] =
            i % 1000 == 999 ? kNullLevel : (i % 3600 < 90 ? base + 20 : base);
    }
    return s;
}

// All three tables with the default interval, a threshold of 70 dB and events of at least 10 s.
// heap_peak_x: the most heap the assessment held at once, in units of the series' own size.
void assessBench(benchmark::State& state, int n) {
    const AssessmentSeries s = series(n);
    AssessmentOptions o;
    o.threshold = 70;
    o.minDurationSeconds = 10;
    for (auto _ : state) {
        AssessmentOutcome out = assessNoise(s, o);
        benchmark::DoNotOptimize(out);
        if (!out.assessment) state.SkipWithError("refused");
    }
    heapNow = 0;
    heapPeak = 0;
    counting = true;
    {
        AssessmentOutcome out = assessNoise(s, o);
        benchmark::DoNotOptimize(out);
    }
    counting = false;
    const double own = double(s.times.size() * sizeof(double) + s.levels.size() * sizeof(float));
    state.counters["heap_peak_x"] = double(heapPeak.load()) / own;
}

void BM_AssessDay(benchmark::State& state) {
    assessBench(state, 86400);
}
void BM_AssessWeek(benchmark::State& state) {
    assessBench(state, 7 * 86400);
}

}  // namespace

BENCHMARK(BM_AssessDay)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssessWeek)->Unit(benchmark::kMillisecond);
