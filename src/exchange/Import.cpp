#include "exchange/Import.h"

#include "exchange/ProgressSteps.h"
#include "store/GbkText.h"
#include "store/TextEncoding.h"

#include <QBuffer>
#include <QFileInfo>
#include <QIODevice>
#include <QStringDecoder>

#include <climits>
#include <cstring>
#include <vector>

namespace qv {

namespace {

constexpr qint64 kChunk = 1 << 20;
// Bytes kept of a directory field or a place name. Lines may be of any
// length; beyond this a field only counts and (the directory field) hashes.
constexpr size_t kKeep = 64 * 1024;
// A first line longer than this is no caption row.
constexpr size_t kCaptionRowLimit = 256;

bool isControl(uint8_t c) { return c < 0x20 || c == 0x7F; }

// One field of the line being read: its first `cap` bytes and its length; a
// directory field also hashes the bytes beyond them, so that two huge fields
// compare without being held whole. Control characters become blanks as
// they come in.
struct Field {
    explicit Field(size_t capacity, bool hashed = false) : cap(capacity), hashTail(hashed) {}

    size_t cap;
    bool hashTail;
    std::string kept;
    int64_t length = 0;
    uint64_t tail = kFnvBasis;
    bool changed = false;  // a control character was blanked

    static constexpr uint64_t kFnvBasis = 0xCBF29CE484222325ull;

    void clear()
    {
        kept.clear();
        length = 0;
        tail = kFnvBasis;
        changed = false;
    }
    void append(const char* p, size_t n)
    {
        length += int64_t(n);
        const size_t take = std::min(n, cap - std::min(cap, kept.size()));
        const size_t from = kept.size();
        kept.append(p, take);
        for (size_t i = from; i < kept.size(); ++i)
            if (isControl(uint8_t(kept[i]))) {
                kept[i] = ' ';
                changed = true;
            }
        for (size_t i = take; i < n; ++i) {
            uint8_t c = uint8_t(p[i]);
            if (isControl(c)) {
                c = ' ';
                changed = true;
            }
            if (hashTail)
                tail = (tail ^ c) * 0x100000001B3ull;
        }
    }
    bool sameAs(const Field& other) const
    {
        return length == other.length && tail == other.tail && kept == other.kept;
    }
    std::string cutTo(int limit) const { return kept.substr(0, gbk::fitToBytes(kept, size_t(limit))); }
};

std::string gbkOf(const char* utf8) { return gbk::fromUtf8(utf8).value_or(std::string()); }

// The first line of a CSV file saved from the exported workbook: its four
// captions, each with or without double quotes.
bool isCaptionRow(std::string_view line)
{
    static const std::string captions[] = {gbkOf("地区名称"), gbkOf("所属"), gbkOf("邮政编码"), gbkOf("电话区号")};
    for (int i = 0; i < 4; ++i) {
        const size_t comma = line.find(',');
        if ((comma == std::string_view::npos) != (i == 3))
            return false;
        std::string_view cell = line.substr(0, comma);
        if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"')
            cell = cell.substr(1, cell.size() - 2);
        if (cell != captions[i])
            return false;
        line.remove_prefix(i < 3 ? comma + 1 : line.size());
    }
    return true;
}

class Importer {
public:
    Importer(const Database& db, ImportBatch& batch, const AskInitialFn& ask, const std::atomic<bool>* cancel)
        : m_batch(batch), m_ask(ask), m_cancel(cancel)
    {
        m_batch.learned = db.learned;
        m_known.note(m_batch.learned);
        m_directoryRoom = int64_t(INT32_MAX) - db.tree.NextDirectoryId();
        m_recordRoom = int64_t(INT32_MAX) - db.image.size();
    }

    // No more lines are taken in; after a short line the rest is still
    // counted (counting() stays true until the end).
    bool finished() const { return m_done && !m_counting; }
    bool counting() const { return m_counting; }
    ImportResult& result() { return m_result; }

    // Bytes of the current line, its line end taken off.
    void feed(const char* p, size_t n)
    {
        m_lineBytes += int64_t(n);
        m_lineOpen = true;
        if (m_counting) {
            // Further end-of-file marks (a file padded with them) are no text.
            const bool text = std::any_of(p, p + n, [](char c) { return c != 0x1A; });
            if (m_inMarkLine)
                m_result.markRest = m_result.markRest || text;
            else
                m_result.textNotRead = m_result.textNotRead || text;
            return;
        }
        if (m_done)
            return;
        if (m_holding) {
            m_first.append(p, n);
            if (m_first.size() <= kCaptionRowLimit)
                return;
            m_holding = false;
            const std::string first = std::move(m_first);
            feedData(first.data(), first.size());
            return;
        }
        feedData(p, n);
    }

    void endLine()
    {
        ++m_line;
        const int64_t lineBytes = m_lineBytes;
        m_lineBytes = 0;
        m_lineOpen = false;
        if (m_counting) {
            if (m_inMarkLine)
                m_inMarkLine = false;  // the rest of the line that held the mark
            else
                ++m_result.linesNotRead;
            return;
        }
        if (m_done)
            return;
        if (m_holding) {
            m_holding = false;
            if (isCaptionRow(m_first)) {
                m_workbook = true;
                m_result.workbookLayout = true;
                m_recordLine = m_line + 1;
                return;
            }
            const std::string first = std::move(m_first);
            feedData(first.data(), first.size());
        }
        if (m_workbook)
            endWorkbookLine(lineBytes);
        else
            endTextLine(lineBytes);
    }

    // A 0x1A byte: the text before it is the last line; what follows is
    // only counted, for the summary.
    void mark()
    {
        const bool before = m_lineOpen;
        if (before)
            endLine();
        if (m_counting && m_result.stopLine == m_line) {
            // The text before the mark was the line that stopped the import.
            m_result.endMark = true;
            m_inMarkLine = true;
            return;
        }
        if (m_done)
            return;
        endOfText();
        if (m_done)
            return;
        m_result.endMark = true;
        m_result.stopLine = before ? m_line : m_line + 1;
        m_inMarkLine = true;
        m_done = m_counting = true;
    }

    // The end of the file (or of the text, at a mark).
    void endOfText()
    {
        if (m_lineOpen)
            endLine();
        if (m_done || !m_workbook || m_quote != Quoted)
            return;
        // A quote opened and never closed: the lines after it went into one cell.
        stop(ImportResult::UnclosedQuote, QString());
        m_result.stopLine = m_recordLine;
        m_result.linesNotRead = m_line - m_recordLine;
        m_result.textNotRead = m_result.linesNotRead > 0;
        m_counting = true;
    }

    void stop(ImportResult::Stop why, const QString& message)
    {
        m_done = true;
        m_result.stop = why;
        m_result.message = message;
    }

private:
    void feedData(const char* p, size_t n)
    {
        if (m_workbook)
            feedWorkbook(p, n);
        else
            feedText(p, n);
    }

    // The text export's layout: owner, name and area code end at a comma, the
    // postcode is the rest of the line. The export puts one of the first
    // three in double quotes when it holds a comma or begins with a quote;
    // a quote that does not close right before a comma was plain text after
    // all, and the field is read again as it stands.
    void feedText(const char* p, size_t n)
    {
        while (n && !m_done) {
            if (m_textQuote != NoQuote) {
                const size_t used = quotedText(p, n);
                p += used;
                n -= used;
                continue;
            }
            if (m_commas == 3) {
                m_post.append(p, n);  // the rest of the line, commas and all
                return;
            }
            if (*p == '"' && textField().length == 0) {
                m_textQuote = InQuotes;
                m_quotedRaw.assign(1, '"');
                ++p;
                --n;
                continue;
            }
            const char* comma = static_cast<const char*>(std::memchr(p, ',', n));
            const size_t len = comma ? size_t(comma - p) : n;
            textField().append(p, len);
            if (!comma)
                return;
            p += len + 1;
            n -= len + 1;
            textFieldEnded();
        }
    }

    void textFieldEnded()
    {
        if (++m_commas == 1)
            directoryField();
    }

    // Bytes inside a quoted field; returns how many it took. Until the field
    // closes its bytes are also kept as they came, to read them plainly
    // should the quote turn out to be text.
    size_t quotedText(const char* p, size_t n)
    {
        for (size_t i = 0; i < n; ++i) {
            const char c = p[i];
            if (m_textQuote == QuoteInQuotes) {
                if (c == ',') {
                    m_textQuote = NoQuote;
                    m_quotedRaw.clear();
                    textFieldEnded();
                    return i + 1;
                }
                if (c != '"') {
                    quoteWasText();
                    return i;
                }
                textField().append(&c, 1);  // a doubled quote
                m_textQuote = InQuotes;
            } else if (c == '"') {
                m_textQuote = QuoteInQuotes;
            } else {
                textField().append(&c, 1);
            }
            m_quotedRaw.push_back(c);
            if (m_quotedRaw.size() > kKeep) {
                // No exported field is this long: plain text.
                quoteWasText();
                return i + 1;
            }
        }
        return n;
    }

    // The field read from its opening quote as plain text, as if never quoted.
    void quoteWasText()
    {
        m_textQuote = NoQuote;
        textField().clear();
        const std::string raw = std::move(m_quotedRaw);
        m_quotedRaw.clear();
        const char* comma = static_cast<const char*>(std::memchr(raw.data(), ',', raw.size()));
        if (!comma) {
            textField().append(raw.data(), raw.size());
            return;
        }
        // Its first comma ends it; the rest is the line's next fields.
        textField().append(raw.data(), size_t(comma - raw.data()));
        textFieldEnded();
        const size_t rest = size_t(comma - raw.data()) + 1;
        feedText(raw.data() + rest, raw.size() - rest);
    }

    void endTextLine(int64_t lineBytes)
    {
        if (m_textQuote != NoQuote && !m_done)
            quoteWasText();  // the line ended inside the quotes
        m_textQuote = NoQuote;
        if (m_done)
            return;
        if (m_commas < 3) {
            shortLine(lineBytes);
            return;
        }
        addEntry();
        m_commas = 0;
    }

    // The workbook saved as CSV by a spreadsheet program: name, directory,
    // postcode, area code; a cell in double quotes may hold commas, line
    // ends and doubled quotes. Cells after the fourth are ignored.
    void feedWorkbook(const char* p, size_t n)
    {
        for (size_t i = 0; i < n; ++i) {
            const char c = p[i];
            switch (m_quote) {
            case CellStart:
                if (c == '"') {
                    m_quote = Quoted;
                    break;
                }
                m_quote = Plain;
                [[fallthrough]];
            case Plain:
                if (c == ',')
                    nextCell();
                else
                    cellByte(c);
                break;
            case Quoted:
                if (c == '"')
                    m_quote = QuoteSeen;
                else
                    cellByte(c);
                break;
            case QuoteSeen:
                if (c == '"') {
                    cellByte('"');
                    m_quote = Quoted;
                } else if (c == ',') {
                    nextCell();
                } else {
                    cellByte(c);
                    m_quote = Plain;
                }
                break;
            }
        }
    }

    void endWorkbookLine(int64_t lineBytes)
    {
        if (m_quote == Quoted) {
            cellByte('\n');  // a line end inside a cell; it becomes a blank
            return;
        }
        if (m_cell < 3) {
            m_dir.clear();
            shortLine(lineBytes);
            return;
        }
        directoryField();
        if (!m_done)
            addEntry();
        m_cell = 0;
        m_quote = CellStart;
        m_recordLine = m_line + 1;
    }

    Field* workbookCell()
    {
        switch (m_cell) {
        case 0:
            return &m_name;
        case 1:
            return &m_dir;
        case 2:
            return &m_post;
        case 3:
            return &m_area;
        default:
            return nullptr;
        }
    }
    void cellByte(char c)
    {
        if (Field* f = workbookCell())
            f->append(&c, 1);
    }
    void nextCell()
    {
        ++m_cell;
        m_quote = CellStart;
    }

    void shortLine(int64_t lineBytes)
    {
        stop(ImportResult::ShortLine, QString());
        m_result.stopLine = m_line;
        m_result.blankStop = lineBytes == 0;
        m_counting = true;
    }

    Field& textField() { return m_commas == 0 ? m_dir : m_commas == 1 ? m_name : m_area; }

    // A directory field unlike the last one that made a directory starts a
    // new one. At the start there is none yet, so the first line always
    // makes one, whatever its field holds.
    void directoryField()
    {
        m_dirChanged = m_dir.changed;
        if (!m_batch.directories.empty() && m_dir.sameAs(m_prevDir)) {
            m_dir.clear();
            return;
        }
        if (int64_t(m_batch.directories.size()) >= m_directoryRoom) {
            stop(ImportResult::NoDirectoryId, QStringLiteral("目录编号已经用完，无法再建立新目录"));
            return;
        }
        m_batch.directories.push_back(m_dir.cutTo(kNameCapacity));
        ++m_result.directories;
        std::swap(m_prevDir, m_dir);
        m_dir.clear();
    }

    bool cancelled() const { return m_cancel && m_cancel->load(std::memory_order_relaxed); }

    void addEntry()
    {
        if (cancelled()) {
            stop(ImportResult::Cancelled, QString());
            return;
        }
        if (m_known.anyUnknown(m_name.kept)) {
            LearnInitials(m_batch.learned, m_name.kept, m_ask);
            m_known.note(m_batch.learned);
            if (cancelled()) {
                stop(ImportResult::Cancelled, QString());
                return;
            }
        }
        if (int64_t(m_batch.records.size()) + kEntryRecordSize > m_recordRoom) {
            stop(ImportResult::ImageFull, QStringLiteral("数据库已达到容量上限，无法再导入更多地区"));
            return;
        }
        EntryRecord record;
        record.name = m_name.cutTo(kNameCapacity);
        record.areaCode = m_area.cutTo(kAreaCodeCapacity);
        record.postcode = m_post.cutTo(kPostcodeCapacity);
        record.owner = int32_t(m_batch.directories.size());
        const size_t at = m_batch.records.size();
        m_batch.records.resize(at + kEntryRecordSize, 0);
        record.encodeInto(m_batch.records.data() + at);
        ++m_result.entries;
        m_result.controlFields += int(m_dirChanged) + int(m_name.changed) + int(m_area.changed) + int(m_post.changed);
        m_dir.clear();
        m_name.clear();
        m_area.clear();
        m_post.clear();
    }

    ImportBatch& m_batch;
    const AskInitialFn& m_ask;
    const std::atomic<bool>* m_cancel;
    KnownInitials m_known;
    int64_t m_directoryRoom = 0;
    int64_t m_recordRoom = 0;

    Field m_dir{kKeep, true};
    Field m_prevDir{kKeep, true};
    Field m_name{kKeep};
    // One byte more than stored: enough to tell where the cut falls.
    Field m_area{kAreaCodeCapacity + 1};
    Field m_post{kPostcodeCapacity + 1};
    bool m_dirChanged = false;
    int m_commas = 0;
    enum TextQuote { NoQuote, InQuotes, QuoteInQuotes } m_textQuote = NoQuote;
    std::string m_quotedRaw;  // a quoted field's bytes as they came

    // The first line waits until it is known whether it is the caption row.
    bool m_holding = true;
    std::string m_first;
    bool m_workbook = false;
    enum Quote { CellStart, Plain, Quoted, QuoteSeen } m_quote = CellStart;
    int m_cell = 0;

    int64_t m_recordLine = 1;  // where the workbook row being read began
    int64_t m_line = 0;
    int64_t m_lineBytes = 0;
    bool m_lineOpen = false;
    bool m_inMarkLine = false;  // counting the rest of the line that held the 0x1A mark
    bool m_done = false;
    bool m_counting = false;
    ImportResult m_result;
};

// Feeds `in` to the importer line by line: CR LF, LF and a lone CR each end
// a line; a 0x1A byte ends the text, and what follows it is only counted.
void readLines(Importer& importer, QIODevice& in, const ProgressFn& progress)
{
    ProgressSteps steps(progress, in.isSequential() ? 0 : in.size() - in.pos());
    std::vector<char> buffer(static_cast<size_t>(kChunk));
    int64_t consumed = 0;
    bool afterCR = false;  // the last chunk ended with a CR: an LF next belongs to it
    while (!importer.finished()) {
        const qint64 n = in.read(buffer.data(), kChunk);
        if (n < 0) {
            if (importer.counting())
                return;  // the lines after a stop are only counted
            const QString why = in.errorString();
            importer.stop(ImportResult::ReadFailed, why.isEmpty() ? QStringLiteral("读取文件时出错")
                                                                  : QStringLiteral("读取文件时出错：%1").arg(why));
            return;  // a line cut off by the error is not taken
        }
        if (n == 0)
            break;
        const char* p = buffer.data();
        const char* end = p + n;
        if (afterCR && *p == '\n')
            ++p;
        afterCR = false;
        while (p < end && !importer.finished()) {
            // No GBK trail byte is 0x1A, CR or LF.
            const bool marks = !importer.counting();
            const char* q = p;
            while (q < end && *q != '\n' && *q != '\r' && !(marks && *q == 0x1A))
                ++q;
            if (q > p)
                importer.feed(p, size_t(q - p));
            if (q == end)
                break;
            if (*q == 0x1A) {
                importer.mark();
                p = q + 1;
                continue;
            }
            importer.endLine();
            if (*q == '\r') {
                if (q + 1 < end && q[1] == '\n')
                    ++q;
                else if (q + 1 == end)
                    afterCR = true;
            }
            p = q + 1;
        }
        consumed += n;
        steps(consumed);
    }
    if (!importer.finished())
        importer.endOfText();
}

// What the whole file says about itself before anything is read as lines.
struct Scan {
    ImportResult::Encoding encoding = ImportResult::Gbk;
    int bom = 0;  // bytes of the byte-order mark
    bool bigEndian = false;
    int64_t lines = 0;   // line ends (at most one line more follows)
    int64_t length = 0;  // bytes up to the end-of-file mark
    QString refusal;     // why the text cannot be taken; nothing changes
    bool cancelled = false;
};

constexpr const char* kUnchanged = "，无法导入；数据库没有改变";

// The bytes at `offset` (from the start of the text) that a message shows.
std::string badBytes(QIODevice& in, qint64 textStart, int64_t offset, bool utf8)
{
    const qint64 back = in.pos();
    in.seek(textStart + offset);
    const QByteArray got = in.read(4);
    in.seek(back);
    const std::string_view b(got.constData(), size_t(got.size()));
    if (b.empty())
        return {};
    return std::string(b.substr(0, utf8 ? text::badUtf8Length(b, 0) : text::badGbkLength(b, 0)));
}

QString refusal(const text::EncodingSniffer& sniff, bool utf8Mark, QIODevice& in, qint64 textStart)
{
    const QString unchanged = QString::fromUtf8(kUnchanged);
    if (utf8Mark || sniff.verdict() == text::EncodingSniffer::Utf8WithBad) {
        const auto bad = sniff.utf8Bad();
        const QString bytes = text::hexBytes(badBytes(in, textStart, bad.offset, true));
        return (utf8Mark ? QStringLiteral("文件以UTF-8标记开头，但第%1行不是有效的UTF-8文本（字节 %2）")
                         : QStringLiteral("文件是UTF-8编码，但第%1行不是有效的UTF-8文本（字节 %2）"))
                   .arg(bad.line)
                   .arg(bytes) +
               unchanged;
    }
    switch (sniff.verdict()) {
    case text::EncodingSniffer::Mixed: {
        // One line of each, in the order they come.
        const QString utf8 = QStringLiteral("第%1行是UTF-8").arg(sniff.firstUtf8Line());
        const QString gbk = QStringLiteral("第%1行是GBK").arg(sniff.firstGbkLine());
        const bool gbkFirst = sniff.firstGbkLine() < sniff.firstUtf8Line();
        return QStringLiteral("文件混用了两种编码：%1，%2。请把文件统一存为一种编码后再导入；数据库没有改变")
            .arg(gbkFirst ? gbk : utf8, gbkFirst ? utf8 : gbk);
    }
    case text::EncodingSniffer::GbkWithBad: {
        const auto bad = sniff.gbkBad();
        const std::string bytes = badBytes(in, textStart, bad.offset, false);
        const QString c = text::gb18030Character(bytes);
        const QString what = c.isEmpty() ? QString()
                                         : QStringLiteral("（GB18030编码的“%1”，%2）").arg(c, text::codePoint(c));
        return QStringLiteral("第%1行的字节“%2”%3不是GBK字符").arg(bad.line).arg(text::hexBytes(bytes), what) +
               unchanged;
    }
    default:
        return {};
    }
}

Scan scan(QIODevice& in, const std::atomic<bool>* cancel)
{
    Scan s;
    const qint64 start = in.pos();
    std::vector<char> buffer(static_cast<size_t>(kChunk));
    text::EncodingSniffer sniff;
    bool first = true;
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            s.cancelled = true;
            return s;
        }
        const qint64 n = in.read(buffer.data(), kChunk);
        if (n <= 0)
            break;  // a read error is met again when the lines are read
        const char* p = buffer.data();
        size_t len = size_t(n);
        if (first) {
            first = false;
            const auto* u = reinterpret_cast<const uint8_t*>(p);
            if (len >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) {
                s.encoding = ImportResult::Utf8;
                s.bom = 3;
                p += 3;
                len -= 3;
            } else if (len >= 2 && ((u[0] == 0xFF && u[1] == 0xFE) || (u[0] == 0xFE && u[1] == 0xFF))) {
                s.encoding = ImportResult::Utf16;
                s.bom = 2;
                s.bigEndian = u[0] == 0xFE;
                return s;  // lines are counted once decoded
            } else if (text::looksLikeUtf16(std::string_view(p, len), s.bigEndian)) {
                s.encoding = ImportResult::Utf16;
                return s;
            }
        }
        bool end = false;
        if (const void* mark = std::memchr(p, 0x1A, len)) {
            len = size_t(static_cast<const char*>(mark) - p);
            end = true;
        }
        sniff.take(std::string_view(p, len));
        s.length += int64_t(len);
        if (end)
            break;
    }
    sniff.finish();
    s.lines = sniff.lineEnds();
    if (s.bom == 0 && (sniff.verdict() == text::EncodingSniffer::Utf8 ||
                       sniff.verdict() == text::EncodingSniffer::Utf8WithBad))
        s.encoding = ImportResult::Utf8;
    if (s.bom == 0 || sniff.utf8Bad().line)
        s.refusal = refusal(sniff, s.bom != 0, in, start + s.bom);
    return s;
}

// Converts decoded text to GBK, line ends kept as they are. A character GBK
// has no form for stops the conversion with a message naming its line.
class GbkWriter {
public:
    explicit GbkWriter(QByteArray& out) : m_out(out) {}

    // `piece` ends at a line end or at the end of the file.
    bool add(const QString& piece, ImportResult& r)
    {
        const text::GbkBytes gbk = text::toGbk(piece);
        if (!gbk.ok()) {
            const qsizetype at = gbk.badAt;
            const QString bad = piece.mid(at, piece.at(at).isHighSurrogate() ? 2 : 1);
            r.stop = ImportResult::Unconvertible;
            r.message = QStringLiteral("第%1行的“%2”（%3）在GBK编码中没有对应的字")
                            .arg(m_line + lineEnds(QStringView(piece).left(at)) + 1)
                            .arg(bad, text::codePoint(bad)) +
                        QString::fromUtf8(kUnchanged);
            return false;
        }
        m_out.append(gbk.bytes.data(), qsizetype(gbk.bytes.size()));
        m_line += lineEnds(piece);
        return true;
    }
    int64_t line() const { return m_line; }

    static int64_t lineEnds(QStringView text)
    {
        int64_t n = 0;
        for (qsizetype i = 0; i < text.size(); ++i)
            if (text.at(i) == u'\r' || (text.at(i) == u'\n' && (i == 0 || text.at(i - 1) != u'\r')))
                ++n;
        return n;
    }

private:
    QByteArray& m_out;
    int64_t m_line = 0;
};

// The position after the line end at or after `from` (CR LF, LF or a lone
// CR), or `size` when no line end follows.
qsizetype nextLineEnd(const char* p, qsizetype from, qsizetype size)
{
    for (qsizetype i = from; i < size; ++i) {
        if (p[i] == '\n')
            return i + 1;
        if (p[i] == '\r')
            return i + 1 < size && p[i + 1] == '\n' ? i + 2 : i + 1;
    }
    return size;
}

bool refuse(ImportResult& r, const QString& why)
{
    r.stop = ImportResult::Unconvertible;
    r.message = why + QString::fromUtf8(kUnchanged);
    return false;
}

// Reads the rest of `in` as UTF-8 or UTF-16 into GBK text; `lines` gets the
// number of line ends.
bool convertToGbk(QIODevice& in, const Scan& s, QByteArray& out, int64_t& lines, ImportResult& r)
{
    const qint64 expected = s.encoding == ImportResult::Utf16 ? in.size() - in.pos() : s.length;
    QByteArray raw = in.readAll();
    if (raw.size() < expected) {
        r.stop = ImportResult::ReadFailed;
        r.message = QStringLiteral("读取文件时出错：%1").arg(in.errorString());
        return false;
    }
    GbkWriter writer(out);
    if (s.encoding == ImportResult::Utf16) {
        const QString name = s.bom ? QStringLiteral("UTF-16") : QStringLiteral("UTF-16（没有字节顺序标记，由其中的零字节判断）");
        if (raw.size() % 2)
            return refuse(r, QStringLiteral("文件按%1读取，但末尾多出一个字节：文件不完整，可能在保存或复制时被截断")
                                 .arg(name));
        QStringDecoder decoder(s.bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE,
                               QStringConverter::Flag::Stateless);
        QString decoded = decoder.decode(raw);
        raw = QByteArray();
        const qsizetype mark = decoded.indexOf(QChar(0x1A));
        if (mark >= 0)
            decoded.truncate(mark);
        const qsizetype lone = text::firstLoneSurrogate(decoded);
        if (lone >= 0 || decoder.hasError()) {
            const qsizetype at = lone >= 0 ? lone : 0;
            return refuse(r, QStringLiteral("文件按%1读取，但第%2行有不成对的代理项%3，不是有效的UTF-16文本")
                                 .arg(name)
                                 .arg(GbkWriter::lineEnds(QStringView(decoded).left(at)) + 1)
                                 .arg(text::codePoint(QStringView(decoded).mid(at, 1))));
        }
        out.reserve(decoded.size() * 2);
        for (qsizetype from = 0; from < decoded.size();) {
            qsizetype to = std::min(decoded.size(), from + kChunk);
            while (to < decoded.size() && decoded.at(to - 1) != u'\n')
                ++to;
            if (!writer.add(decoded.mid(from, to - from), r))
                return false;
            from = to;
        }
        lines = writer.line();
        return true;
    }
    raw.truncate(expected);
    out.reserve(raw.size());
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const char* data = raw.constData();
    for (qsizetype from = 0; from < raw.size();) {
        const qsizetype to = nextLineEnd(data, std::min(raw.size(), from + kChunk) - 1, raw.size());
        const QString decoded = decoder.decode(QByteArrayView(data + from, to - from));
        if (decoder.hasError())  // the scan found every line well-formed
            return refuse(r, QStringLiteral("文件不是有效的UTF-8文本"));
        if (!writer.add(decoded, r))
            return false;
        from = to;
    }
    lines = writer.line();
    return true;
}

}  // namespace

QString importSummary(const ImportResult& r)
{
    QString text = QStringLiteral("共导入%1个地区，新建%2个目录。").arg(r.entries).arg(r.directories);
    if (r.stoppedEarly()) {
        QString why = r.stop == ImportResult::UnclosedQuote ? QStringLiteral("的引号没有闭合")
                      : r.stop != ImportResult::ShortLine  ? QStringLiteral("有文件结束标记（0x1A）")
                      : r.blankStop                        ? QStringLiteral("是空行")
                                                           : QStringLiteral("不足四个字段");
        if (r.stop == ImportResult::ShortLine && r.endMark)
            why = QStringLiteral("在文件结束标记（0x1A）之前") + why;
        text += QStringLiteral("\n第%1行%2，导入在这一行停止，%3其后的%4行没有读取。")
                    .arg(r.stopLine)
                    .arg(why, r.markRest ? QStringLiteral("这一行在标记之后的部分和") : QString())
                    .arg(r.linesNotRead);
    }
    if (r.controlFields > 0)
        text += QStringLiteral("\n有%1个字段含有控制字符，已换成空格。").arg(r.controlFields);
    if (r.encoding != ImportResult::Gbk)
        text += QStringLiteral("\n文件按%1编码读取，已转换为GBK。")
                    .arg(r.encoding == ImportResult::Utf8 ? QStringLiteral("UTF-8") : QStringLiteral("UTF-16"));
    if (r.workbookLayout)
        text += QStringLiteral("\n第一行是EXCEL表格的标题行，已跳过，各列按表格的顺序读取。");
    return text;
}

ImportResult readImport(const Database& db, QIODevice& in, const AskInitialFn& ask, ImportBatch& batch,
                        const ProgressFn& progress, const std::atomic<bool>* cancel)
{
    // A pipe or socket is read once, into memory: the file is read twice.
    QBuffer held;
    QIODevice* source = &in;
    if (in.isSequential()) {
        held.setData(in.readAll());
        held.open(QIODevice::ReadOnly);
        source = &held;
    }
    const qint64 start = source->pos();
    // A read error here is met again below, after the lines before it.
    const Scan s = scan(*source, cancel);
    ImportResult failed;
    if (s.cancelled) {
        failed.stop = ImportResult::Cancelled;
        return failed;
    }
    if (!s.refusal.isEmpty()) {
        failed.stop = ImportResult::Unconvertible;
        failed.encoding = s.encoding;
        failed.message = s.refusal;
        return failed;
    }
    source->seek(start + s.bom);

    QByteArray converted;
    QBuffer convertedIn(&converted);
    int64_t lines = s.lines;
    if (s.encoding != ImportResult::Gbk) {
        failed.encoding = s.encoding;
        if (!convertToGbk(*source, s, converted, lines, failed))
            return failed;
        convertedIn.open(QIODevice::ReadOnly);
        source = &convertedIn;
    }

    batch = ImportBatch();
    // One record per line at most: the room is taken once, not grown by doubling.
    batch.records.reserve(
        size_t(std::min<int64_t>(lines + 1, (int64_t(INT32_MAX) - db.image.size()) / kEntryRecordSize)) *
        kEntryRecordSize);
    Importer importer(db, batch, ask, cancel);
    readLines(importer, *source, progress);
    ImportResult r = importer.result();
    r.encoding = s.encoding;
    if (r.stop == ImportResult::Cancelled)
        batch = ImportBatch();
    return r;
}

void applyImport(Database& db, DirectoryNode* selected, ImportBatch& batch, const ImportResult& result)
{
    if (result.changedNothing())
        return;
    DirectoryNode* parent = selected && selected->parent ? selected->parent : db.tree.root();
    std::vector<int32_t> ids;
    ids.reserve(batch.directories.size());
    for (std::string& caption : batch.directories) {
        const DirectoryNode* node = db.tree.insertNew(parent, -1, std::move(caption));
        ids.push_back(node ? node->id : 0);  // readImport kept within the id space
    }
    uint8_t* records = batch.records.data();
    for (size_t at = 0; at < batch.records.size(); at += kEntryRecordSize) {
        const int32_t index = entryOwner(records + at);
        writeLe32(records + at + entry_field::kOwner, ids[size_t(index - 1)]);
    }
    db.image.appendEntries(records, batch.records.size());
    if (batch.learned.size() > db.learned.size())
        db.learned.insert(db.learned.end(), batch.learned.begin() + std::ptrdiff_t(db.learned.size()),
                          batch.learned.end());
    batch = ImportBatch();
    db.ModifiedFlag = true;
}

ImportResult importText(Database& db, QIODevice& in, DirectoryNode* selected, const AskInitialFn& ask,
                        const ProgressFn& progress, const std::atomic<bool>* cancel)
{
    ImportBatch batch;
    const ImportResult r = readImport(db, in, ask, batch, progress, cancel);
    applyImport(db, selected, batch, r);
    return r;
}

ImportResult openImportFile(const QString& path, QFile& file)
{
    ImportResult result;
    result.stop = ImportResult::CannotOpen;
    const QFileInfo info(path);
    const QString shown = info.absoluteFilePath();
    if (!info.exists()) {
        result.message = QStringLiteral("找不到文件“%1”").arg(shown);
        return result;
    }
    // Only a regular file: a pipe could block forever and a device never end.
    if (!info.isFile()) {
        result.message = QStringLiteral("“%1”不是普通文件，无法导入").arg(shown);
        return result;
    }
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.message = QStringLiteral("无法打开文件“%1”：%2").arg(shown, file.errorString());
        return result;
    }
    return ImportResult();
}

ImportResult importTextFile(Database& db, const QString& path, DirectoryNode* selected, const AskInitialFn& ask,
                            const ProgressFn& progress, const std::atomic<bool>* cancel)
{
    QFile file;
    const ImportResult opened = openImportFile(path, file);
    if (opened.failed())
        return opened;
    return importText(db, file, selected, ask, progress, cancel);
}

}  // namespace qv
