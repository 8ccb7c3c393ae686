#pragma once

struct BenchOptions;

/// Measures every size of `options`, each in a child process of its own on files generated for
/// it, then prints the table and writes the figures as JSON: 0 when every check came out right.
int runBenchmark(const BenchOptions &options);
