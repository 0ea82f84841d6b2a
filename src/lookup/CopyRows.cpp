#include "lookup/CopyRows.h"

#include "store/GbkText.h"

#include <algorithm>

namespace qv {

QString rowsAsTable(const EntryRowSet& set, const std::vector<int>& rows, const ProgressFn& progress)
{
    static const int columns[] = {kColumnDirectory, kColumnName, kColumnAreaCode, kColumnPostcode};
    // A GBK byte never becomes more than one UTF-16 unit: the bytes of the
    // cells and one separator after each bound the text. One pass measures,
    // one writes, with no string made per cell (a million rows copy at once).
    size_t bound = 0;
    for (int r : rows)
        if (r >= 0 && size_t(r) < set.rows.size())
            for (int column : columns)
                bound += set.cellText(set.rows[size_t(r)], column).size() + 1;
    QString out(qsizetype(bound), Qt::Uninitialized);
    char16_t* o = reinterpret_cast<char16_t*>(out.data());
    char16_t* const begin = o;
    for (size_t i = 0; i < rows.size(); ++i) {
        const int r = rows[i];
        if (progress && i % 16384 == 0)
            progress(int(i * 100 / rows.size()));
        if (r < 0 || size_t(r) >= set.rows.size())
            continue;
        for (int c = 0; c < 4; ++c) {
            char16_t* const cell = o;
            o += gbk::decodeInto(set.cellText(set.rows[size_t(r)], columns[c]), o);
            std::replace_if(cell, o, [](char16_t u) { return u == u'\t' || u == u'\n' || u == u'\r'; }, u' ');
            *o++ = c < 3 ? u'\t' : u'\n';
        }
    }
    out.truncate(qsizetype(o - begin));
    return out;
}

}  // namespace qv
