#include "store/GbkText.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace qv::gbk {

namespace {

QString decode(QStringDecoder& decoder, std::string_view gbk)
{
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

}  // namespace

QString toQString(std::string_view gbk)
{
    // Stateless: a trailing lead byte must show up as a replacement character
    // rather than being held back for a next call that never comes.
    QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
    return decode(decoder, gbk);
}

QByteArray toUtf8(std::string_view gbk)
{
    if (std::all_of(gbk.begin(), gbk.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return QByteArray(gbk.data(), qsizetype(gbk.size()));
    thread_local QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
    return decode(decoder, gbk).toUtf8();
}

std::optional<std::string> fromQString(const QString& text)
{
    QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return std::string(bytes.constData(), size_t(bytes.size()));
}

QString firstUnencodable(const QString& text)
{
    for (qsizetype i = 0; i < text.size();) {
        qsizetype n = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        QString one = text.mid(i, n);
        if (!fromQString(one))
            return one;
        i += n;
    }
    return {};
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
