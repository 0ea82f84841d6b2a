#include "store/TextEncoding.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <bitset>

namespace qv::text {

namespace {

bool isPrivateUse(char32_t c) { return (c >= 0xE000 && c <= 0xF8FF) || c >= 0xF0000; }

// Which lead and trail pairs are characters.
const std::bitset<kGbkPairCount>& assignedPairs()
{
    static const std::bitset<kGbkPairCount> table = [] {
        const auto& units = gbkPairUnits();
        std::bitset<kGbkPairCount> t;
        for (size_t i = 0; i < kGbkPairCount; ++i) {
            const bool trailOk = (i % kGbkTrailCount) != size_t(0x7F - 0x40);
            t[i] = trailOk && units[i] != 0 && !isPrivateUse(units[i]);
        }
        return t;
    }();
    return table;
}

bool isPair(uint8_t lead, uint8_t trail)
{
    if (lead < 0x81 || lead > 0xFE || trail < 0x40 || trail > 0xFE)
        return false;
    return assignedPairs()[gbkPairIndex(lead, trail)];
}

bool isDigit(uint8_t c) { return c >= 0x30 && c <= 0x39; }

}  // namespace

const std::array<char16_t, kGbkPairCount>& gbkPairUnits()
{
    // Every pair decoded in one call, with a line feed after each so that one
    // the decoder swallows or splits shows; when the answer is not one piece
    // per pair, the table stays empty and every text goes through the decoder.
    static const std::array<char16_t, kGbkPairCount> table = [] {
        QByteArray pairs;
        pairs.reserve(qsizetype(kGbkPairCount) * 3);
        for (int lead = 0x81; lead <= 0xFE; ++lead)
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                pairs += char(lead);
                pairs += char(trail);
                pairs += '\n';
            }
        QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
        const QString decoded = decoder.decode(pairs);
        const QList<QStringView> pieces = QStringView(decoded).split(u'\n');
        std::array<char16_t, kGbkPairCount> t{};
        if (size_t(pieces.size()) != kGbkPairCount + 1)  // an empty piece follows the last line feed
            return t;
        for (size_t i = 0; i < kGbkPairCount; ++i) {
            const QStringView piece = pieces[qsizetype(i)];
            if (piece.size() == 1 && piece[0] != QChar::ReplacementCharacter && !piece[0].isSurrogate())
                t[i] = piece[0].unicode();
        }
        return t;
    }();
    return table;
}

size_t gbkCharAt(std::string_view bytes, size_t i)
{
    const auto c = uint8_t(bytes[i]);
    if (c <= 0x80)
        return 1;
    if (c == 0xFF || i + 1 >= bytes.size())
        return 0;
    return isPair(c, uint8_t(bytes[i + 1])) ? 2 : 0;
}

size_t firstBadGbk(std::string_view bytes)
{
    for (size_t i = 0; i < bytes.size();) {
        if (uint8_t(bytes[i]) <= 0x80) {
            ++i;
            continue;
        }
        const size_t n = gbkCharAt(bytes, i);
        if (n == 0)
            return i;
        i += n;
    }
    return npos;
}

size_t badGbkLength(std::string_view bytes, size_t i)
{
    const auto at = [&](size_t k) { return i + k < bytes.size() ? uint8_t(bytes[i + k]) : 0; };
    const uint8_t lead = at(0);
    if (lead < 0x81 || lead > 0xFE)
        return 1;
    if (isDigit(at(1)) && at(2) >= 0x81 && at(2) <= 0xFE && isDigit(at(3)))
        return 4;
    return at(1) >= 0x40 && at(1) <= 0xFE && at(1) != 0x7F ? 2 : 1;
}

size_t firstBadUtf8(std::string_view s)
{
    for (size_t i = 0; i < s.size();) {
        const auto c = uint8_t(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        const int len = (c >= 0xC2 && c <= 0xDF) ? 2 : (c >> 4) == 0xE ? 3 : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
        if (len == 0 || i + size_t(len) > s.size())
            return i;
        // The second byte's range depends on the first: no overlong forms,
        // no surrogates, nothing above U+10FFFF.
        const auto t = uint8_t(s[i + 1]);
        const uint8_t low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
        const uint8_t high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
        if (t < low || t > high)
            return i;
        for (int k = 2; k < len; ++k)
            if ((uint8_t(s[i + size_t(k)]) & 0xC0) != 0x80)
                return i;
        i += size_t(len);
    }
    return npos;
}

size_t badUtf8Length(std::string_view bytes, size_t i)
{
    size_t n = 1;
    while (n < 4 && i + n < bytes.size() && (uint8_t(bytes[i + n]) & 0xC0) == 0x80)
        ++n;
    return std::min(n, bytes.size() - std::min(i, bytes.size()));
}

QString gb18030Character(std::string_view bytes)
{
    QStringDecoder decoder("GB18030", QStringConverter::Flag::Stateless);
    const QString c = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    const QList<uint> ucs = c.toUcs4();
    if (decoder.hasError() || ucs.size() != 1 || ucs[0] == QChar::ReplacementCharacter || isPrivateUse(ucs[0]))
        return {};
    return c;
}

QString hexBytes(std::string_view bytes)
{
    QString out;
    for (const char b : bytes) {
        if (!out.isEmpty())
            out += u' ';
        out += QStringLiteral("%1").arg(uint8_t(b), 2, 16, QLatin1Char('0')).toUpper();
    }
    return out;
}

QString codePoint(QStringView text)
{
    char32_t c = text.isEmpty() ? 0 : text[0].unicode();
    if (text.size() >= 2 && text[0].isHighSurrogate() && text[1].isLowSurrogate())
        c = QChar::surrogateToUcs4(text[0], text[1]);
    return QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
}

qsizetype firstLoneSurrogate(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return i;
    }
    return -1;
}

GbkBytes toGbk(QStringView text)
{
    GbkBytes out;
    QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    const QByteArray bytes = encoder.encode(text);
    // Private use has a form in the code page's user-defined areas, which
    // no other program reads the same way: refused like a missing character.
    const auto privateAt = std::find_if(text.begin(), text.end(), [](QChar c) { return isPrivateUse(c.unicode()); });
    if (!encoder.hasError() && privateAt == text.end()) {
        out.bytes.assign(bytes.constData(), size_t(bytes.size()));
        return out;
    }
    // Find the line, then the character in it. A converter's error stays
    // once seen, so each piece gets a fresh one.
    auto fails = [](QStringView piece) {
        QStringEncoder one("GBK", QStringConverter::Flag::Stateless);
        const QByteArray converted = one.encode(piece);
        return one.hasError() ||
               std::any_of(piece.begin(), piece.end(), [](QChar c) { return isPrivateUse(c.unicode()); });
    };
    for (qsizetype from = 0; from < text.size();) {
        qsizetype to = from;
        while (to < text.size() && text[to] != u'\n' && text[to] != u'\r')
            ++to;
        to = std::min(to + 1, text.size());
        if (fails(text.mid(from, to - from))) {
            for (qsizetype i = from; i < to;) {
                const qsizetype n = text[i].isHighSurrogate() && i + 1 < to && text[i + 1].isLowSurrogate() ? 2 : 1;
                if (fails(text.mid(i, n))) {
                    out.badAt = i;
                    return out;
                }
                i += n;
            }
        }
        from = to;
    }
    out.badAt = 0;  // not reached: some line failed
    return out;
}

std::string utf8ToGbkLossy(std::string_view utf8)
{
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return uint8_t(c) < 0x80; }))
        return std::string(utf8);
    // One encoder per thread: finding the converter costs more than a line.
    thread_local QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    const QByteArray bytes = encoder.encode(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
    return std::string(bytes.constData(), size_t(bytes.size()));
}

bool looksLikeUtf16(std::string_view start, bool& bigEndian)
{
    int64_t zeroEven = 0, zeroOdd = 0;
    const size_t n = start.size() & ~size_t(1);
    for (size_t i = 0; i < n; i += 2) {
        zeroEven += start[i] == 0;
        zeroOdd += start[i + 1] == 0;
    }
    // A quarter of the units ASCII, and the other side's zero bytes (from
    // characters such as U+4E00) far fewer.
    const int64_t units = int64_t(n / 2);
    auto side = [&](int64_t zeros, int64_t other) { return zeros > 0 && zeros * 4 >= units && other * 4 <= zeros; };
    if (side(zeroOdd, zeroEven)) {
        bigEndian = false;
        return true;
    }
    if (side(zeroEven, zeroOdd)) {
        bigEndian = true;
        return true;
    }
    return false;
}

void EncodingSniffer::take(std::string_view piece)
{
    for (const char ch : piece) {
        const auto c = uint8_t(ch);
        // Most bytes are ASCII between characters: nothing to check.
        if (c >= 0x20 && c < 0x80 && m_need == 0 && m_lead < 0) {
            m_lineOpen = true;
            m_afterCR = false;
            ++m_offset;
            continue;
        }
        byte(c);
    }
}

void EncodingSniffer::utf8Error()
{
    ++m_utf8Errors;
    if (m_lineUtf8Error < 0)
        m_lineUtf8Error = m_need ? m_seqStart : m_offset;
    m_need = 0;
}

void EncodingSniffer::byte(uint8_t c)
{
    if (c == '\n' && m_afterCR) {
        m_afterCR = false;
        ++m_offset;
        return;
    }
    m_afterCR = c == '\r';
    if (c == '\n' || c == '\r') {
        endLine();
        ++m_line;
        ++m_offset;
        return;
    }
    m_lineOpen = true;

    // UTF-8: after a fault the byte starts afresh, so one bad sequence counts once.
    bool continued = false;
    if (m_need) {
        if (c >= m_low && c <= m_high) {
            continued = true;
            m_low = 0x80;
            m_high = 0xBF;
            if (--m_need == 0) {
                // Chinese in UTF-8 is three bytes from E4 to E9; two-byte
                // sequences (Latin, Greek, Cyrillic) are what GBK bytes make by chance.
                if (m_seqLength == 3 && m_seqLead >= 0xE4 && m_seqLead <= 0xE9)
                    ++m_cjk;
                else if (m_seqLength == 2)
                    ++m_twoByte;
            }
        } else {
            utf8Error();
        }
    }
    if (!continued && c >= 0x80) {
        m_nonAscii = true;
        m_seqStart = m_offset;
        m_seqLead = c;
        m_low = 0x80;
        m_high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            m_need = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            m_need = 2;
            m_low = c == 0xE0 ? 0xA0 : 0x80;
            m_high = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            m_need = 3;
            m_low = c == 0xF0 ? 0x90 : 0x80;
            m_high = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            utf8Error();
        }
        m_seqLength = m_need + 1;
    }

    // GBK: once a line has failed, the rest of it tells nothing more.
    if (m_lineGbkError < 0) {
        if (m_lead >= 0) {
            if (!isPair(uint8_t(m_lead), c))
                m_lineGbkError = m_leadAt;
            m_lead = -1;
        } else if (c == 0xFF) {
            m_lineGbkError = m_offset;
        } else if (c > 0x80) {
            m_lead = c;
            m_leadAt = m_offset;
        }
    }
    ++m_offset;
}

void EncodingSniffer::endLine()
{
    if (m_need)
        utf8Error();  // a sequence cut off by the line end
    if (m_lead >= 0 && m_lineGbkError < 0)
        m_lineGbkError = m_leadAt;
    if (m_lineOpen && m_nonAscii) {
        m_anyNonAscii = true;
        if (m_lineUtf8Error >= 0 && m_utf8Bad.line == 0)
            m_utf8Bad = {m_line, m_lineUtf8Error};
        if (m_lineGbkError >= 0 && m_gbkBad.line == 0)
            m_gbkBad = {m_line, m_lineGbkError};
        // A line is UTF-8 by its Chinese characters, even with a fault among
        // them (a character cut in two), as long as they far outnumber the
        // faults and the two-byte sequences: GBK text read as UTF-8 goes
        // wrong at nearly every character, and what it makes by chance is
        // mostly two-byte sequences. It is GBK when it is GBK and UTF-8 went
        // wrong more often than right.
        const bool utf8Like = m_cjk > 0 && m_cjk >= 2 * (m_utf8Errors + m_twoByte);
        const bool gbkLike = m_lineUtf8Error >= 0 && m_lineGbkError < 0 && m_cjk + m_twoByte < m_utf8Errors;
        if (utf8Like && m_firstUtf8Line == 0)
            m_firstUtf8Line = m_line;
        if (gbkLike && m_firstGbkLine == 0)
            m_firstGbkLine = m_line;
    }
    m_lineOpen = m_nonAscii = false;
    m_need = m_seqLength = 0;
    m_cjk = m_twoByte = m_utf8Errors = 0;
    m_lineUtf8Error = m_lineGbkError = -1;
    m_lead = -1;
}

void EncodingSniffer::finish()
{
    if (m_lineOpen)
        endLine();
    m_afterCR = false;
}

EncodingSniffer::Verdict EncodingSniffer::verdict() const
{
    if (m_utf8Bad.line == 0)
        return m_anyNonAscii ? Utf8 : Gbk;
    if (m_firstUtf8Line && m_firstGbkLine)
        return Mixed;
    if (m_firstUtf8Line)
        return Utf8WithBad;
    return m_gbkBad.line ? GbkWithBad : Gbk;
}

}  // namespace qv::text
