#pragma once
// What both benchmark programs time with.
#include <algorithm>
#include <ctime>
#include <vector>

namespace qvbench {

// The middle value; -1 when nothing was measured.
inline double median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// CPU time of the calling thread, in milliseconds.
inline double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

}  // namespace qvbench
