#pragma once

#include <benchmark/benchmark.h>
#include <map>
#include <string>
#include <vector>

// Runs the registered benchmarks and then prints, for each benchmark whose
// name is paired with a floor, its time as a multiple of that floor measured
// in the same run, against a target.
struct TRatioTarget {
    std::string Measured;
    std::string Floor;
    double MaxRatio;
};

int RunWithRatios(int argc, char** argv, const std::vector<TRatioTarget>& targets);
