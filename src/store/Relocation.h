#pragma once
// How entry positions change when the image is rebuilt: a save shifts every
// record by the change of the entry section's start; compaction removes
// records and closes the gaps. Rows of the entry list carry positions and are
// carried along with this.
#include "store/DatabaseImage.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace qv {

class Relocation {
public:
    Relocation() = default;
    static Relocation shift(int64_t delta)
    {
        Relocation r;
        r.m_delta = delta;
        return r;
    }
    // `removed`: the old positions of the records taken out, ascending;
    // positions of records before `start` are not entries.
    static Relocation compaction(std::vector<int32_t> removed)
    {
        Relocation r;
        r.m_removed = std::move(removed);
        return r;
    }

    // The image the new positions refer to (set by whoever moved the records).
    const ImageRef& target() const { return m_target; }
    void setTarget(ImageRef target) { m_target = std::move(target); }

    bool isIdentity() const { return m_delta == 0 && m_removed.empty(); }
    // False for a save's shift: every record is still there.
    bool removesRecords() const { return !m_removed.empty(); }

    // The new position of the record that was at `oldPos`, or -1 when it is gone.
    int32_t map(int32_t oldPos) const
    {
        if (m_removed.empty())
            return int32_t(oldPos + m_delta);
        auto it = std::lower_bound(m_removed.begin(), m_removed.end(), oldPos);
        if (it != m_removed.end() && *it == oldPos)
            return -1;
        return int32_t(oldPos - int64_t(it - m_removed.begin()) * kEntryRecordSize);
    }

private:
    int64_t m_delta = 0;
    std::vector<int32_t> m_removed;
    ImageRef m_target;
};

}  // namespace qv
