#include "BenchRatio.h"

#include <cstdio>

namespace {

class TRecordingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> Times; // nanoseconds per iteration

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                Times[run.benchmark_name()] =
                    run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int RunWithRatios(int argc, char** argv, const std::vector<TRatioTarget>& targets) {
    benchmark::Initialize(&argc, argv);
    TRecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    int missed = 0;
    for (const TRatioTarget& t : targets) {
        auto measured = reporter.Times.find(t.Measured), floor = reporter.Times.find(t.Floor);
        if (measured == reporter.Times.end() || floor == reporter.Times.end() || floor->second <= 0) continue;
        const double ratio = measured->second / floor->second;
        const bool met = ratio <= t.MaxRatio;
        missed += met ? 0 : 1;
        std::printf("%-28s %9.1f us  floor %9.1f us  ratio %.2f  (target <= %.2f) %s\n", t.Measured.c_str(),
                    measured->second / 1000.0, floor->second / 1000.0, ratio, t.MaxRatio,
                    met ? "met" : "MISSED");
    }
    return 0;
}
