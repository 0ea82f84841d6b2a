#include "store/GbkText.h"

#include "store/TextEncoding.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>

namespace qv::gbk {

namespace {

QString decode(std::string_view gbk)
{
    // One decoder per thread: making one costs more than decoding a field,
    // and list cells are decoded by the thousand. Stateless, so a call never
    // sees what an earlier one left: a trailing lead byte must show up as a
    // replacement character rather than be held back for a next call.
    thread_local QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
    // A field cut inside its last character ends with a lone lead byte,
    // which the decoder drops without a trace: show it as U+FFFD instead.
    size_t whole = 0;
    while (whole < gbk.size()) {
        const bool lead = isLeadByte(static_cast<unsigned char>(gbk[whole]));
        if (lead && whole + 1 == gbk.size())
            break;
        whole += lead ? 2 : 1;
    }
    QString text = decoder.decode(QByteArrayView(gbk.data(), qsizetype(whole)));
    if (whole < gbk.size())
        text += QChar(QChar::ReplacementCharacter);
    return text;
}

// UTF-8 of every two-byte GBK character, so that long texts (a million rows
// on their way to a terminal or a workbook) need not go through UTF-16: each
// entry holds the length in its low byte and up to three UTF-8 bytes above
// it; 0 where the pair is no character.
struct Utf8Table {
    std::array<uint32_t, text::kGbkPairCount> code{};
};

const Utf8Table& utf8Table()
{
    static const Utf8Table table = [] {
        Utf8Table t;
        const auto& units = text::gbkPairUnits();
        for (size_t i = 0; i < text::kGbkPairCount; ++i) {
            if (units[i] == 0)
                continue;
            const QByteArray utf8 = QString(QChar(units[i])).toUtf8();
            uint32_t packed = uint32_t(utf8.size());
            for (qsizetype k = 0; k < utf8.size(); ++k)
                packed |= uint32_t(uint8_t(utf8[k])) << (8 * (k + 1));
            t.code[i] = packed;
        }
        return t;
    }();
    return table;
}

}  // namespace

QString toQString(std::string_view gbk) { return decode(gbk); }

size_t decodeInto(std::string_view gbk, char16_t* out)
{
    const auto& units = text::gbkPairUnits();
    const auto* p = reinterpret_cast<const uint8_t*>(gbk.data());
    const size_t n = gbk.size();
    char16_t* o = out;
    for (size_t i = 0; i < n;) {
        if (p[i] < 0x80) {
            *o++ = char16_t(p[i++]);
            continue;
        }
        const char16_t code = (p[i] >= 0x81 && p[i] <= 0xFE && i + 1 < n && p[i + 1] >= 0x40 && p[i + 1] <= 0xFE)
                                  ? units[text::gbkPairIndex(p[i], p[i + 1])]
                                  : 0;
        if (code == 0) {
            // Not a whole character: the decoder says what it is, for the whole text.
            const QString text = decode(gbk);
            const size_t size = std::min(size_t(text.size()), n);
            std::copy_n(reinterpret_cast<const char16_t*>(text.constData()), size, out);
            return size;
        }
        *o++ = code;
        i += 2;
    }
    return size_t(o - out);
}

QByteArray toUtf8(std::string_view gbk)
{
    if (std::all_of(gbk.begin(), gbk.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return QByteArray(gbk.data(), qsizetype(gbk.size()));
    const Utf8Table& table = utf8Table();
    QByteArray out(qsizetype(gbk.size() + gbk.size() / 2), Qt::Uninitialized);
    char* o = out.data();
    const auto* p = reinterpret_cast<const uint8_t*>(gbk.data());
    const size_t n = gbk.size();
    for (size_t i = 0; i < n;) {
        if (p[i] < 0x80) {
            *o++ = char(p[i++]);
            continue;
        }
        const uint32_t packed = (p[i] >= 0x81 && p[i] <= 0xFE && i + 1 < n && p[i + 1] >= 0x40 && p[i + 1] <= 0xFE)
                                    ? table.code[text::gbkPairIndex(p[i], p[i + 1])]
                                    : 0;
        if (packed == 0) {
            // Not a whole character (a cut field, a damaged record, the euro
            // sign's single byte): the decoder says what it is, for the whole text.
            return decode(gbk).toUtf8();
        }
        for (uint32_t k = 1; k <= (packed & 0xFF); ++k)
            *o++ = char(packed >> (8 * k));
        i += 2;
    }
    out.truncate(o - out.data());
    return out;
}

std::optional<std::string> fromQString(const QString& text)
{
    text::GbkBytes bytes = text::toGbk(text);
    if (!bytes.ok())
        return std::nullopt;
    return std::move(bytes.bytes);
}

QString firstUnencodable(const QString& text)
{
    const qsizetype at = text::toGbk(text).badAt;
    if (at < 0)
        return {};
    return text.mid(at, text.at(at).isHighSurrogate() && at + 1 < text.size() ? 2 : 1);
}

int byteLength(const QString& text)
{
    auto bytes = fromQString(text);
    return bytes ? int(bytes->size()) : -1;
}

size_t fitToBytes(std::string_view gbk, size_t limit)
{
    size_t i = 0;
    while (i < gbk.size()) {
        const size_t n = charSize(gbk, i);
        if (i + n > limit)
            break;
        i += n;
    }
    return i;
}

std::optional<std::string> fromUtf8(std::string_view utf8)
{
    return fromQString(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
}

}  // namespace qv::gbk
