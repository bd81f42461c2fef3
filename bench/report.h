// The main of every benchmark program: runs the benchmarks (medians of the
// repetitions asked for on the command line), then prints each ratio of two
// of them, or of one to an absolute budget, against its target. Ratios are
// taken within one run, since the machine's speed drifts between runs.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench {

// `numerator` / `denominator` (medians in seconds), or numerator / `scale`
// against `target` in seconds when there is no denominator. A target of 0
// prints the figure for information only.
struct ratio {
    std::string label, numerator, denominator;
    double target;
    double scale = 1.0;
};

class collector : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;  // by registered name: median, else the one run

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            const double s =
                r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
            const std::string& name = r.run_name.function_name;
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                seconds[name] = s, medians_[name] = true;
            else if (r.run_type == Run::RT_Iteration && !medians_[name] && !r.error_occurred)
                seconds[name] = s;
        }
    }

private:
    std::map<std::string, bool> medians_;
};

inline void print(const collector& c, const std::vector<ratio>& ratios)
{
    std::printf("\n%-58s %10s %8s\n", "ratio", "value", "target");
    for (const ratio& r : ratios) {
        const auto n = c.seconds.find(r.numerator);
        const auto d = r.denominator.empty() ? c.seconds.end() : c.seconds.find(r.denominator);
        if (n == c.seconds.end() || (!r.denominator.empty() && d == c.seconds.end())) continue;
        const double v = r.denominator.empty() ? n->second / r.scale : n->second / d->second;
        const char* unit = r.denominator.empty() ? "s" : "x";
        if (r.target > 0)
            std::printf("%-58s %9.4g%s %7.4g%s  %s\n", r.label.c_str(), v, unit, r.target, unit,
                        v <= r.target ? "met" : "NOT met");
        else
            std::printf("%-58s %9.4g%s\n", r.label.c_str(), v, unit);
    }
}

// Initialises from the command line, runs, prints the ratios.
inline int run(int argc, char** argv, const std::vector<ratio>& ratios)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    collector c;
    benchmark::RunSpecifiedBenchmarks(&c);
    benchmark::Shutdown();
    print(c, ratios);
    return 0;
}

}  // namespace bench
