// Starts Google Benchmark with its repetitions interleaved, for benchmarks that compare two sides in one run.
#pragma once

#include <benchmark/benchmark.h>

#include <vector>

// Interleaved unless the command line says otherwise (a later flag wins), so that a change in
// the machine's load falls on both sides of a comparison alike. False for an argument
// Google Benchmark does not know, which it has then reported.
inline bool initializeInterleavedBenchmarks(int argc, char** argv)
{
    std::vector<char*> arguments(argv, argv + argc);
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    return !benchmark::ReportUnrecognizedArguments(count, arguments.data());
}
