#pragma once
// The one place where GBK bytes meet Qt strings, together with TextEncoding,
// which says what GBK text is and converts Unicode to it. Everything stored
// or compared inside the program is GBK bytes; the widgets see QString.
#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace qv::gbk {

// Decodes GBK bytes for display. Bytes that are not valid GBK (a lone lead
// byte at the end of a cut field, say) show as U+FFFD instead of vanishing.
QString toQString(std::string_view gbk);

// UTF-8 of GBK bytes, decoded as toQString does, for files that other
// programs read. Quick for many short texts: ASCII is copied as it is and the
// decoder is made once per thread.
QByteArray toUtf8(std::string_view gbk);

// Decodes as toQString does into `out`, which has room for gbk.size() UTF-16
// units (no GBK text needs more); returns the number written. Quick for many
// short texts (a million rows on their way to the clipboard): ASCII is
// widened and two-byte characters come from a table made once.
size_t decodeInto(std::string_view gbk, char16_t* out);

// Encodes for storage; nullopt when some character has no GBK form (private
// use included: see TextEncoding, which does the conversion).
std::optional<std::string> fromQString(const QString& text);

// The first character of `text` that has no GBK form, or an empty string.
QString firstUnencodable(const QString& text);

// Number of GBK bytes `text` needs, or -1 when it cannot be encoded.
int byteLength(const QString& text);

// Length of the longest prefix of `gbk` that is at most `limit` bytes and does
// not end inside a two-byte character.
size_t fitToBytes(std::string_view gbk, size_t limit);

// Converts UTF-8 (source data files, command lines) to GBK; nullopt when a
// character has no GBK form.
std::optional<std::string> fromUtf8(std::string_view utf8);

// True for a lead byte of a two-byte GBK character.
inline bool isLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

// Bytes of the character at `i`: a lead byte with a byte after it makes a
// two-byte character; anything else (a lone lead byte at the end too) is one.
inline size_t charSize(std::string_view text, size_t i)
{
    return isLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

}  // namespace qv::gbk
