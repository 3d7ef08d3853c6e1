// Skin build: loading the strip, the painting copy, the scan copy and the
// frame regions, for the bundled skin and for a worst-case strip, with the
// product's row regions joined in pairs, with one ExtCreateRegion per frame and
// with a merge per run.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "bench/reference_regions.h"
#include "bench/skin_pipeline.h"
#include "bench/stats.h"
#include "bench/worst_case_strip.h"
#include "notifier/run_scan.h"
#include "win32/module_path.h"

namespace {

using bench::RegionMethod;

std::string BinDir()
{
    std::string dir = win32::ModulePath();
    dir.resize(dir.find_last_of('\\')); // build\bin\bench
    dir.resize(dir.find_last_of('\\')); // build\bin
    return dir;
}

std::string TempFile(const char* name)
{
    char temp[MAX_PATH] = {};
    ::GetTempPathA(sizeof temp, temp);
    return std::string(temp) + name;
}

// Runs per frame, to say what the regions are made of.
void DescribeStrip(const std::string& label, const std::string& path, int frameWidth)
{
    reference::ScanCopy copy;
    if (!reference::LoadScanCopy(path, &copy))
        return;
    const int frames = std::min(30, copy.width / frameWidth);
    std::vector<double> runs;
    for (int frame = 0; frame < frames; ++frame) {
        std::vector<PixelRun> found;
        ScanFrameRuns(copy.bits.data(), copy.stride, copy.height, frame, frameWidth, copy.key, &found);
        runs.push_back(static_cast<double>(found.size()));
    }
    const bench::Spread spread = bench::Summarise(runs);
    printf("%s: %d frames of %d x %d; runs per frame median %.0f (min %.0f, max %.0f)\n", label.c_str(), frames,
        frameWidth, copy.height, spread.median, spread.min, spread.max);
}

double MedianRectangles(const bench::Skin& skin)
{
    std::vector<double> rects;
    for (const win32::UniqueRgn& region : skin.frameRgn) {
        const DWORD size = ::GetRegionData(region.get(), 0, nullptr);
        rects.push_back(static_cast<double>((size - sizeof(RGNDATAHEADER)) / sizeof(RECT)));
    }
    return bench::Summarise(rects).median;
}

struct Figures {
    std::vector<double> total;
    std::vector<double> load;
    std::vector<double> copy;
    std::vector<double> scan;
    std::vector<double> regions;
    std::vector<double> frames; // each frame's region, over all builds
};

// How many of `skin`'s regions equal the product's in `product`: a timing of
// regions that differ would compare nothing.
int FramesEqual(const bench::Skin& skin, const bench::Skin& product)
{
    int equal = 0;
    for (size_t i = 0; i < skin.frameRgn.size() && i < product.frameRgn.size(); ++i)
        equal += ::EqualRgn(skin.frameRgn[i].get(), product.frameRgn[i].get()) ? 1 : 0;
    return equal;
}

// Builds the whole skin `repeats` times; `last` keeps the last build.
bool TimeFullBuilds(
    const std::string& path, int frameWidth, RegionMethod method, int repeats, Figures* figures, bench::Skin* last)
{
    for (int i = 0; i < repeats; ++i) {
        *last = bench::Skin();
        bench::SkinBuildTimes times;
        if (!bench::BuildSkin(path, frameWidth, method, -1, last, &times))
            return false;
        figures->total.push_back(times.totalMs);
        figures->load.push_back(times.loadMs);
        figures->copy.push_back(times.copyMs);
        figures->scan.push_back(times.scanMs);
        figures->regions.push_back(std::accumulate(times.frameMs.begin(), times.frameMs.end(), 0.0));
        figures->frames.insert(figures->frames.end(), times.frameMs.begin(), times.frameMs.end());
    }
    return true;
}

// `equal` < 0: these are the product's own regions.
void PrintFullBuilds(const std::string& label, RegionMethod method, const Figures& figures, int equal, int frames)
{
    printf("%s, %s", label.c_str(), bench::MethodName(method));
    if (equal >= 0)
        printf(" (%d of %d regions equal to the product's)", equal, frames);
    printf(":\n");
    printf("  medians: load %s | painting copy %s | scan copy %s | all regions %s | one region %s\n",
        bench::FormatMs(bench::Summarise(figures.load).median).c_str(),
        bench::FormatMs(bench::Summarise(figures.copy).median).c_str(),
        bench::FormatMs(bench::Summarise(figures.scan).median).c_str(),
        bench::FormatMs(bench::Summarise(figures.regions).median).c_str(),
        bench::FormatMs(bench::Summarise(figures.frames).median).c_str());
    bench::Report(
        label + ", " + bench::MethodName(method), "whole build " + bench::Describe(bench::Summarise(figures.total)));
}

// The merge per run grows quadratically with the runs of a frame: time as
// many whole frames as `budgetMs` allows (at least 3) and extrapolate.
void TimeCappedMerge(
    const std::string& label, const std::string& path, int frameWidth, double budgetMs, const bench::Skin& product)
{
    bench::Skin probe;
    bench::SkinBuildTimes first;
    if (!bench::BuildSkin(path, frameWidth, RegionMethod::MergePerRun, 1, &probe, &first) || first.frameMs.empty())
        return;
    const int frameCount = probe.frameCount;
    const double perFrame = first.frameMs[0];
    const int limit = std::clamp(static_cast<int>(budgetMs / std::max(perFrame, 1.0)), 3, frameCount);

    bench::Skin skin;
    bench::SkinBuildTimes times;
    if (!bench::BuildSkin(path, frameWidth, RegionMethod::MergePerRun, limit, &skin, &times))
        return;

    const int equal = FramesEqual(skin, product);
    const bench::Spread frames = bench::Summarise(times.frameMs);
    const double timed = std::accumulate(times.frameMs.begin(), times.frameMs.end(), 0.0);
    const double estimate = times.loadMs + times.copyMs + times.scanMs + timed + frames.median * (frameCount - limit);
    printf("%s, %s: %d of %d frames timed (%d equal to the product's regions); per frame %s\n", label.c_str(),
        bench::MethodName(RegionMethod::MergePerRun), limit, frameCount, equal, bench::Describe(frames).c_str());
    const std::string how = limit < frameCount
        ? "extrapolated from " + std::to_string(limit) + " of " + std::to_string(frameCount) + " frames"
        : "all frames timed, one build";
    bench::Report(label + ", " + bench::MethodName(RegionMethod::MergePerRun),
        "whole build " + bench::FormatMs(estimate) + " (" + how + "); per frame " + bench::Describe(frames));
}

} // namespace

int main(int argc, char** argv)
{
    double budgetSeconds = 60;
    for (int i = 1; i + 1 < argc; ++i)
        if (strcmp(argv[i], "--merge-budget-s") == 0)
            budgetSeconds = atof(argv[i + 1]);

    const std::string bundled = BinDir() + "\\larkbell.bmp";
    const std::string worst = TempFile("larkbell-bench-worst.bmp");
    if (!bench::WriteWorstCaseStrip(worst)) {
        fprintf(stderr, "cannot write %s\n", worst.c_str());
        return 1;
    }
    printf("== Skin build (LoadImageA, painting copy, scan copy, frame regions)\n");
    DescribeStrip("bundled skin", bundled, 120);
    DescribeStrip("worst-case strip", worst, bench::kWorstFrameSize);

    struct Case {
        const char* label;
        std::string path;
        int frameWidth;
        int slowRepeats; // fewer where the one-ExtCreateRegion build is slow
        bool capMerge; // time only some frames of the merge per run
    };
    const Case cases[] = { { "bundled skin", bundled, 120, 15, false },
        { "worst-case strip", worst, bench::kWorstFrameSize, 3, true } };
    for (const Case& c : cases) {
        Figures figures;
        bench::Skin product;
        if (!TimeFullBuilds(c.path, c.frameWidth, RegionMethod::Product, 15, &figures, &product)) {
            fprintf(stderr, "cannot build %s\n", c.path.c_str());
            return 1;
        }
        const int frames = static_cast<int>(product.frameRgn.size());
        PrintFullBuilds(c.label, RegionMethod::Product, figures, -1, frames);
        printf("  rectangles per region: median %.0f\n", MedianRectangles(product));

        figures = Figures();
        bench::Skin single;
        TimeFullBuilds(c.path, c.frameWidth, RegionMethod::OneExtCreateRegion, c.slowRepeats, &figures, &single);
        PrintFullBuilds(c.label, RegionMethod::OneExtCreateRegion, figures, FramesEqual(single, product), frames);

        if (!c.capMerge) {
            figures = Figures();
            bench::Skin merged;
            TimeFullBuilds(c.path, c.frameWidth, RegionMethod::MergePerRun, 15, &figures, &merged);
            PrintFullBuilds(c.label, RegionMethod::MergePerRun, figures, FramesEqual(merged, product), frames);
        } else {
            TimeCappedMerge(c.label, c.path, c.frameWidth, budgetSeconds * 1000, product);
        }
    }

    ::DeleteFileA(worst.c_str());
    return 0;
}
