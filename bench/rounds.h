#pragma once
// Two sides of a comparison measured in turn within one benchmark, so that
// whatever else the machine does hits both alike: each side's wall time,
// process CPU time (every thread), voluntary context switches and page faults
// per round, their medians and ratios. Under callgrind each side's work is dumped on its
// own, labelled "<benchmark> <side> <clip>", for bench/count-instructions.sh.
// Bytes read from files (and pipes) per round count what each side reads.

#include <benchmark/benchmark.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(label)
#define RUNNING_ON_VALGRIND 0
#endif

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace bench {

inline double processSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The voluntary context switches and the page faults (without a read from
// disk: fresh memory touched for the first time) of every thread of the
// process so far.
struct Usage
{
    long switches = 0;
    long faults = 0;
};

inline Usage processUsage()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return {usage.ru_nvcsw, usage.ru_minflt};
}

// Bytes the process has read through system calls so far (files, pipes).
inline long long bytesRead()
{
    long long bytes = 0;
    if (FILE* io = std::fopen("/proc/self/io", "r")) {
        if (std::fscanf(io, "rchar: %lld", &bytes) != 1)
            bytes = 0;
        std::fclose(io);
    }
    return bytes;
}

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// One side of a comparison: its wall and process CPU time per round.
class Side
{
public:
    Side(std::string benchmark, std::string name) : benchmark_(std::move(benchmark)), name_(std::move(name)) {}

    // Times `work`. Under callgrind its instructions, in every thread, are
    // dumped apart from everything else, labelled with the side and clip.
    template <typename Work> void measure(const char* clip, Work&& work)
    {
        const std::string dump = benchmark_ + " " + name_ + " " + clip;
        const Usage usage = processUsage();
        const long long read = bytesRead();
        CALLGRIND_ZERO_STATS;
        const double cpu = processSeconds();
        const auto wall = std::chrono::steady_clock::now();
        work();
        wall_.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count());
        cpu_.push_back(processSeconds() - cpu);
        CALLGRIND_DUMP_STATS_AT(dump.c_str());
        const Usage after = processUsage();
        switches_ += after.switches - usage.switches;
        faults_ += after.faults - usage.faults;
        read_ += bytesRead() - read;
    }

    double last() const { return wall_.empty() ? 0 : wall_.back(); }
    std::size_t rounds() const { return wall_.size(); }

    // Medians in milliseconds, against the other side's, and the ratios of
    // this side's to the other's.
    void report(benchmark::State& state, const Side& other) const
    {
        const double wall = median(wall_), cpu = median(cpu_);
        const double otherWall = median(other.wall_), otherCpu = median(other.cpu_);
        state.counters[name_ + "_ms"] = wall * 1e3;
        state.counters[other.name_ + "_ms"] = otherWall * 1e3;
        state.counters[name_ + "_cpu_ms"] = cpu * 1e3;
        state.counters[other.name_ + "_cpu_ms"] = otherCpu * 1e3;
        // Every thread of the process, per round: how often they wait for
        // one another.
        state.counters[name_ + "_switches"] = switchesPerRound();
        state.counters[other.name_ + "_switches"] = other.switchesPerRound();
        state.counters[name_ + "_faults"] = perRound(faults_);
        state.counters[other.name_ + "_faults"] = other.perRound(other.faults_);
        state.counters[name_ + "_read_kb"] = perRound(read_) / 1024;
        state.counters[other.name_ + "_read_kb"] = other.perRound(other.read_) / 1024;
        state.counters["ratio"] = otherWall > 0 ? wall / otherWall : 0;
        state.counters["cpu_ratio"] = otherCpu > 0 ? cpu / otherCpu : 0;
    }

private:
    double perRound(long long total) const
    {
        return wall_.empty() ? 0.0 : static_cast<double>(total) / static_cast<double>(wall_.size());
    }
    double switchesPerRound() const { return perRound(switches_); }

    std::string benchmark_;
    std::string name_;
    std::vector<double> wall_;
    std::vector<double> cpu_;
    long switches_ = 0;
    long faults_ = 0;
    long long read_ = 0;
};

// Runs both sides of a round, each first in turn.
template <typename First, typename Second>
void alternate(std::size_t round, const char* clip, Side& a, First&& first, Side& b, Second&& second)
{
    if (round % 2 == 0) {
        a.measure(clip, first);
        b.measure(clip, second);
    } else {
        b.measure(clip, second);
        a.measure(clip, first);
    }
}

// A count of work per round, for the report beside the ratios.
inline benchmark::Counter perRound(double total)
{
    return benchmark::Counter(total, benchmark::Counter::kAvgIterations);
}

} // namespace bench
