// A console reporter that keeps each benchmark's time per iteration, for benchmarks that print a
// ratio of two of them after the runs: the median of its repetitions where it repeats.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace kestrune {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const std::string& name = run.run_name.function_name;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate ? !median : medians_.count(name) > 0) continue;
            if (median) medians_.insert(name);
            seconds_[name] = run.GetAdjustedRealTime();
            cpuSeconds_[name] = run.GetAdjustedCPUTime();
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
    std::set<std::string> medians_; // names whose median of repetitions is kept
};

} // namespace kestrune
