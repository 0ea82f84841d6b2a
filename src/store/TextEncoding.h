#pragma once
// Which encoding bytes from elsewhere are in, whether they are text in it and
// where they stop being so. GbkText converts GBK to and from Qt strings; this
// unit decides what counts as GBK at all, so that the import, the command
// line and the exports agree on it.
//
// A GBK character here is an ASCII byte, 0x80 (the euro sign of code page
// 936) or a lead byte 0x81..0xFE with a trail byte that together stand for
// an assigned character. Pairs the code page leaves unassigned or gives to
// private use (the user-defined areas, 0xFE80, GB18030's own additions such
// as 0xFE9F for 䶮) are no characters: their meaning depends on who wrote
// them.
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qv::text {

inline constexpr size_t npos = std::string_view::npos;

// Two-byte GBK pairs, lead-major from 0x81 0x40.
inline constexpr size_t kGbkTrailCount = 0xFE - 0x40 + 1;
inline constexpr size_t kGbkPairCount = (0xFE - 0x81 + 1) * kGbkTrailCount;
inline size_t gbkPairIndex(uint8_t lead, uint8_t trail)
{
    return size_t(lead - 0x81) * kGbkTrailCount + size_t(trail - 0x40);
}
// The UTF-16 unit the code page's decoder gives each pair, decoded once; 0
// where it gives no single character (private use included: the callers
// decide about that).
const std::array<char16_t, kGbkPairCount>& gbkPairUnits();

// Length (1 or 2) of the GBK character at `i`, or 0 when the bytes there
// are none: 0xFF, a lead byte at the end or before a byte that cannot
// follow it, or a pair without an assigned character.
size_t gbkCharAt(std::string_view bytes, size_t i);

// Offset of the first byte that starts no GBK character, or npos.
size_t firstBadGbk(std::string_view bytes);

// Bytes of the bad sequence at `i` worth showing: four when they form a
// GB18030 four-byte character, two for a lead and trail byte, else one.
size_t badGbkLength(std::string_view bytes, size_t i);

// Offset of the first byte of well-formed UTF-8 that goes wrong (an overlong
// form, a surrogate, anything above U+10FFFF, a cut-off sequence), or npos.
size_t firstBadUtf8(std::string_view bytes);

// Bytes of the bad UTF-8 sequence at `i` worth showing: the byte there and
// the continuation bytes right after it, at most four.
size_t badUtf8Length(std::string_view bytes, size_t i);

// The character `bytes` stand for in GB18030 (which extends GBK), or an
// empty string when they stand for none or for private use.
QString gb18030Character(std::string_view bytes);

// "95 32 88 38": bytes for a message.
QString hexBytes(std::string_view bytes);

// "U+2003E": the code point of the first character of `text`; a lone
// surrogate shows as itself (U+D800).
QString codePoint(QStringView text);

// Unicode to GBK: the bytes, or where the first character GBK has no form
// for starts (an index into `text`; private-use characters and lone
// surrogates included).
struct GbkBytes {
    std::string bytes;
    qsizetype badAt = -1;
    bool ok() const { return badAt < 0; }
};
GbkBytes toGbk(QStringView text);

// Index of the first lone surrogate of UTF-16 text, or -1.
qsizetype firstLoneSurrogate(QStringView text);

// UTF-8 for a terminal that reads GBK: a character GBK lacks becomes "?".
// Only for text shown to a person; stored text goes through toGbk.
std::string utf8ToGbkLossy(std::string_view utf8);

enum class Encoding { Gbk, Utf8, Utf16LE, Utf16BE };

// UTF-16 without a byte-order mark, told by its zero bytes: text of our kind
// is a good part ASCII (digits, commas, line ends), whose units hold a zero
// byte on one side, while GBK text holds no zero byte at all. Looks at the
// first bytes of a file; `bigEndian` is set when the answer is yes.
bool looksLikeUtf16(std::string_view start, bool& bigEndian);

// What the lines of a file without a byte-order mark say about its
// encoding. Fed the bytes in order, in pieces of any size; line ends are LF,
// CR LF or a lone CR. Each line is checked as UTF-8 and as GBK at once, in
// one pass.
class EncodingSniffer {
public:
    void take(std::string_view piece);
    // After the last piece.
    void finish();

    // Where a line went wrong: its number (from 1; 0 when none did) and the
    // file offset of the first byte at fault.
    struct Spot {
        int64_t line = 0;
        int64_t offset = 0;
    };

    enum Verdict {
        Gbk,          // GBK (plain ASCII included)
        Utf8,         // UTF-8 with characters beyond ASCII
        Utf8WithBad,  // UTF-8 lines, and a line that is no UTF-8 (utf8Bad)
        GbkWithBad,   // GBK lines, and a line that is no GBK (gbkBad)
        Mixed         // UTF-8 lines (firstUtf8) and GBK lines (firstGbk)
    };
    Verdict verdict() const;

    // Line ends seen (at most one line more follows).
    int64_t lineEnds() const { return m_line - 1; }
    Spot utf8Bad() const { return m_utf8Bad; }
    Spot gbkBad() const { return m_gbkBad; }
    int64_t firstUtf8Line() const { return m_firstUtf8Line; }
    int64_t firstGbkLine() const { return m_firstGbkLine; }

private:
    void byte(uint8_t c);
    void utf8Error();
    void endLine();

    int64_t m_offset = 0;
    int64_t m_line = 1;
    bool m_afterCR = false;
    bool m_lineOpen = false;

    // The line being read.
    bool m_nonAscii = false;
    int m_need = 0;  // continuation bytes still due
    int m_seqLength = 0;
    int64_t m_seqStart = 0;
    uint8_t m_low = 0x80, m_high = 0xBF;
    uint8_t m_seqLead = 0;
    int64_t m_cjk = 0;         // well-formed three-byte characters led by E4..E9
    int64_t m_twoByte = 0;     // well-formed two-byte characters
    int64_t m_utf8Errors = 0;  // places where UTF-8 went wrong
    int64_t m_lineUtf8Error = -1;
    int m_lead = -1;  // GBK lead byte waiting for its trail
    int64_t m_leadAt = 0;
    int64_t m_lineGbkError = -1;

    // The file so far.
    bool m_anyNonAscii = false;
    Spot m_utf8Bad, m_gbkBad;
    int64_t m_firstUtf8Line = 0;  // a line that is UTF-8 by its wide characters
    int64_t m_firstGbkLine = 0;   // a line that is GBK and plainly not UTF-8
};

}  // namespace qv::text
