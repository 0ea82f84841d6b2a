#pragma once
// Progress of a long pass over steps (rows, bytes), told as a percentage.
#include "store/DatabaseFile.h"

#include <algorithm>
#include <cstdint>

namespace qv {

// Calls `progress` with 0..100 whenever the percentage grows, not per step.
class ProgressSteps {
public:
    ProgressSteps(const ProgressFn& progress, int64_t total) : m_fn(progress), m_total(total) {}
    void operator()(int64_t done)
    {
        if (done >= m_next && m_fn && m_total > 0)
            advance(done);
    }

private:
    void advance(int64_t done)
    {
        const int percent = int(std::min<int64_t>(100, done * 100 / m_total));
        m_fn(percent);
        // The first step count that shows the next percentage.
        m_next = percent >= 100 ? INT64_MAX : ((percent + 1) * m_total + 99) / 100;
    }

    const ProgressFn& m_fn;
    int64_t m_total;
    int64_t m_next = 0;
};

}  // namespace qv
