// What every benchmark here reports: the median of its runs, timed on one steady clock.
#pragma once
#include <algorithm>
#include <chrono>
#include <vector>

using Clock = std::chrono::steady_clock;

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
