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
        for (const Run& run : runs)
            seconds_[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    // Time per iteration of the benchmark registered under that function name; 0 if it did not run.
    double timeOf(const std::string& function) const {
        auto found = seconds_.find(function);
        return found == seconds_.end() ? 0 : found->second;
    }

private:
    std::map<std::string, double> seconds_;
};

} // namespace kestrune
