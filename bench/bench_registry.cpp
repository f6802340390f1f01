// Latency of the engine's registry reads and writes on a hive in a temporary file.
// Each benchmark times every operation itself and reports the median and the 99th percentile
// (in microseconds) as counters, beside Google Benchmark's mean time per iteration.
#include "media/base/RegistryValues.h"

#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace tamsor;

namespace {

// A registry in a fresh temporary directory, removed when the benchmark ends.
class TempHive {
public:
    TempHive() {
        char tmpl[] = "/tmp/quorvex-bench-registry-XXXXXX";
        if (mkdtemp(tmpl)) {
            dir_ = tmpl;
            registry_ = std::make_unique<plat::Registry>(dir_ + "/registry.sqlite3");
        }
    }
    ~TempHive() {
        registry_.reset();
        if (!dir_.empty()) {
            std::filesystem::remove_all(dir_);
        }
    }
    plat::Registry* get() { return registry_ && registry_->IsOpen() ? registry_.get() : nullptr; }

private:
    std::string dir_;
    std::unique_ptr<plat::Registry> registry_;
};

// Collects per-operation times and reports their median and 99th percentile.
class Latencies {
public:
    explicit Latencies(size_t expected) { samples_.reserve(expected); }
    template <typename F> void Time(F&& op) {
        auto start = std::chrono::steady_clock::now();
        op();
        auto end = std::chrono::steady_clock::now();
        samples_.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    void Report(benchmark::State& state) {
        if (samples_.empty()) {
            return;
        }
        std::sort(samples_.begin(), samples_.end());
        auto at = [&](double q) {
            return samples_[std::min(
                samples_.size() - 1,
                static_cast<size_t>(q * static_cast<double>(samples_.size())))];
        };
        state.counters["median_us"] = at(0.5);
        state.counters["p99_us"] = at(0.99);
    }

private:
    std::vector<double> samples_;
};

// Times `op(registry)` once per iteration on a fresh hive. `setup(registry)` runs once before
// the loop and `next()` before each timed call; neither is timed.
template <typename Setup, typename Next, typename Op>
void TimeRegistry(benchmark::State& state, Setup&& setup, Next&& next, Op&& op) {
    TempHive hive;
    plat::Registry* reg = hive.get();
    if (!reg) {
        state.SkipWithError("cannot open a temporary registry");
        return;
    }
    setup(*reg);
    Latencies lat(static_cast<size_t>(state.max_iterations));
    for (auto _ : state) {
        next();
        lat.Time([&] { op(*reg); });
    }
    lat.Report(state);
}

void NoSetup(plat::Registry&) {}
void NoNext() {}

void BM_ReadDwordExisting(benchmark::State& state) {
    TimeRegistry(
        state,
        [](plat::Registry& reg) {
            GetRegistryDword(reg, kRegTracingKey, kRegTracePCMMixer, kDefaultComponentTraceLevel);
        },
        NoNext,
        [](plat::Registry& reg) {
            benchmark::DoNotOptimize(GetRegistryDword(reg, kRegTracingKey, kRegTracePCMMixer,
                                                      kDefaultComponentTraceLevel));
        });
}

void BM_ReadBoolExisting(benchmark::State& state) {
    TimeRegistry(
        state,
        [](plat::Registry& reg) {
            GetRegistryBool(reg, kRegSettingsKey, kRegLimitVolume, kDefaultLimitVolume);
        },
        NoNext,
        [](plat::Registry& reg) {
            benchmark::DoNotOptimize(
                GetRegistryBool(reg, kRegSettingsKey, kRegLimitVolume, kDefaultLimitVolume));
        });
}

// A read that finds the value missing and stores the default: a fresh name each time.
void BM_ReadCreatingDefault(benchmark::State& state) {
    uint64_t n = 0;
    std::string name;
    TimeRegistry(
        state, NoSetup, [&] { name = "Fresh" + std::to_string(n++); },
        [&](plat::Registry& reg) {
            benchmark::DoNotOptimize(
                GetRegistryDword(reg, kRegTracingKey, name, kDefaultComponentTraceLevel));
        });
}

void BM_WriteDword(benchmark::State& state) {
    uint32_t port = 0;
    TimeRegistry(state, NoSetup, NoNext, [&](plat::Registry& reg) {
        benchmark::DoNotOptimize(
            SetRegistryDword(reg, kRegSettingsKey, kRegDestinationPort, port++));
    });
}

void BM_WriteString(benchmark::State& state) {
    uint64_t n = 0;
    std::string address;
    TimeRegistry(
        state, NoSetup, [&] { address = "127.0.0." + std::to_string(n++ % 250); },
        [&](plat::Registry& reg) {
            benchmark::DoNotOptimize(
                SetRegistryString(reg, kRegSettingsKey, kRegDestinationAddress, address));
        });
}

// Fixed iteration counts keep the sample vectors bounded and the p99 comparable.
BENCHMARK(BM_ReadDwordExisting)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadBoolExisting)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadCreatingDefault)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteDword)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteString)->Iterations(20000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
