// A console reporter that keeps each benchmark's time per iteration, for benchmarks that print a
// ratio of two of them after the runs.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace kestrune {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            seconds_[run.run_name.function_name] = run.GetAdjustedRealTime();
            cpuSeconds_[run.run_name.function_name] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // Time per iteration of the benchmark registered under that function name; 0 if it did not run.
    double timeOf(const std::string& function) const { return find(seconds_, function); }
    // The same in CPU time, which a shared machine disturbs less than the wall clock.
    double cpuTimeOf(const std::string& function) const { return find(cpuSeconds_, function); }

private:
    static double find(const std::map<std::string, double>& times, const std::string& function) {
        auto found = times.find(function);
        return found == times.end() ? 0 : found->second;
    }

    std::map<std::string, double> seconds_;
    std::map<std::string, double> cpuSeconds_;
};

} // namespace kestrune
