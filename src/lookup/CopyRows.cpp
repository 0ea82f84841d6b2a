#include "lookup/CopyRows.h"

#include "store/GbkText.h"

namespace qv {

QString rowsAsTable(const EntryRowSet& set, const std::vector<int>& rows)
{
    static const int columns[] = {kColumnDirectory, kColumnName, kColumnAreaCode, kColumnPostcode};
    QString out;
    for (int r : rows) {
        if (r < 0 || size_t(r) >= set.rows.size())
            continue;
        for (int c = 0; c < 4; ++c) {
            QString cell = gbk::toQString(set.cellText(set.rows[size_t(r)], columns[c]));
            cell.replace(QLatin1Char('\t'), QLatin1Char(' '))
                .replace(QLatin1Char('\n'), QLatin1Char(' '))
                .replace(QLatin1Char('\r'), QLatin1Char(' '));
            out += cell;
            out += QLatin1Char(c < 3 ? '\t' : '\n');
        }
    }
    return out;
}

}  // namespace qv
