#include "ReadBack.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace qvtest {

std::optional<std::string> readSheet(const QString& path)
{
    static const char* script = R"(
import sys
try:
    import openpyxl
except ImportError:
    sys.exit(77)
from openpyxl.utils.escape import unescape
wb = openpyxl.load_workbook(open(sys.argv[1], 'rb'))
ws = wb.worksheets[0]
fmt = lambda c: '' if c.value is None or c.number_format == '@' else '#format:' + c.number_format
cell = lambda c: ('' if c.value is None else unescape(c.value) if c.data_type == 's' else '#%s:%s' % (c.data_type, c.value)) + fmt(c)
rows = ['|'.join(cell(c) for c in r) for r in ws.iter_rows()]
spans = [(d.min, d.max, d.number_format) for d in ws.column_dimensions.values() if d.min]
columns = [next((f for lo, hi, f in spans if lo <= k <= hi), 'General') for k in range(1, 5)]
head = str(len(wb.worksheets)) + ('' if columns == ['@'] * 4 else ' columns:' + ','.join(columns))
sys.stdout.buffer.write('\n'.join([head] + rows).encode())
)";
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromUtf8(script), path});
    if (!py.waitForFinished(60000) || py.exitStatus() != QProcess::NormalExit || py.exitCode() == 77)
        return std::nullopt;
    EXPECT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
    return py.readAllStandardOutput().toStdString();
}

}  // namespace qvtest
