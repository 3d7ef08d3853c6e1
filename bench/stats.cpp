#include "bench/stats.h"

#include <stdio.h>

#include <algorithm>

namespace bench {

double NowMs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

namespace {

    // Linear interpolation between the closest ranks.
    double Quantile(const std::vector<double>& sorted, double q)
    {
        const double position = q * static_cast<double>(sorted.size() - 1);
        const size_t below = static_cast<size_t>(position);
        const size_t above = std::min(below + 1, sorted.size() - 1);
        const double fraction = position - static_cast<double>(below);
        return sorted[below] + (sorted[above] - sorted[below]) * fraction;
    }

} // namespace

Spread Summarise(std::vector<double> samples)
{
    Spread spread;
    if (samples.empty())
        return spread;
    std::sort(samples.begin(), samples.end());
    spread.count = samples.size();
    spread.median = Quantile(samples, 0.5);
    spread.p25 = Quantile(samples, 0.25);
    spread.p75 = Quantile(samples, 0.75);
    spread.min = samples.front();
    spread.max = samples.back();
    return spread;
}

std::string FormatMs(double ms)
{
    char text[32];
    if (ms >= 10000)
        snprintf(text, sizeof text, "%.1f s", ms / 1000);
    else if (ms >= 100)
        snprintf(text, sizeof text, "%.0f ms", ms);
    else if (ms >= 1)
        snprintf(text, sizeof text, "%.2f ms", ms);
    else
        snprintf(text, sizeof text, "%.1f us", ms * 1000);
    return text;
}

std::string Describe(const Spread& spread)
{
    return "median " + FormatMs(spread.median) + " (p25 " + FormatMs(spread.p25) + ", p75 " + FormatMs(spread.p75)
        + ", min " + FormatMs(spread.min) + ", max " + FormatMs(spread.max) + ", n=" + std::to_string(spread.count)
        + ")";
}

void Report(const std::string& label, const std::string& figures)
{
    printf("* %s: %s\n", label.c_str(), figures.c_str());
    fflush(stdout);
}

} // namespace bench
