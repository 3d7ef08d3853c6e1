// Median and spread of repeated timings, and a clock to take them with.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace bench {

// Milliseconds since an arbitrary start, from the performance counter.
double NowMs();

struct Spread {
    size_t count = 0;
    double median = 0;
    double p25 = 0;
    double p75 = 0;
    double min = 0;
    double max = 0;
};
Spread Summarise(std::vector<double> samples);

// "median 1.234 ms (p25 .. p75, min .. max, n=15)", with a unit that suits.
std::string Describe(const Spread& spread);
std::string FormatMs(double ms);

// One result line: the run-benchmarks summary collects the lines that begin
// with "* ".
void Report(const std::string& label, const std::string& figures);

} // namespace bench
