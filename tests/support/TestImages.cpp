#include "TestImages.h"

#include <QFile>
#include <QStringEncoder>

#include <zlib.h>

#include <cstring>

namespace qvtest {

namespace {
void le32(std::vector<uint8_t>& b, size_t at, int32_t v)
{
    uint32_t u = uint32_t(v);
    for (int i = 0; i < 4; ++i)
        b[at + size_t(i)] = uint8_t(u >> (8 * i));
}
void text(std::vector<uint8_t>& b, size_t at, const std::string& s, size_t cap)
{
    size_t n = std::min(s.size(), cap);
    b[at] = uint8_t(n);
    std::memcpy(b.data() + at + 1, s.data(), n);
}
}  // namespace

ImageBuilder& ImageBuilder::dir(const std::string& gbkName, int32_t level, int32_t id)
{
    size_t at = bytes.size();
    bytes.resize(at + 36, 0xCC);  // reserved bytes and tails hold junk on purpose
    text(bytes, at, gbkName, 25);
    le32(bytes, at + 28, level);
    le32(bytes, at + 32, id);
    return *this;
}

ImageBuilder& ImageBuilder::end(int32_t nextId) { return dir("", -1, nextId); }

ImageBuilder& ImageBuilder::learnedCount(int32_t n)
{
    size_t at = bytes.size();
    bytes.resize(at + 4);
    le32(bytes, at, n);
    return *this;
}

ImageBuilder& ImageBuilder::learned(uint8_t lead, uint8_t trail, char letter)
{
    bytes.insert(bytes.end(), {2, lead, trail, 1, uint8_t(letter)});
    return *this;
}

ImageBuilder& ImageBuilder::entry(const std::string& gbkName, int32_t owner, const std::string& post,
                                  const std::string& area)
{
    size_t at = bytes.size();
    bytes.resize(at + 48, 0xEE);
    text(bytes, at, gbkName, 25);
    le32(bytes, at + 28, owner);
    text(bytes, at + 32, post, 8);
    text(bytes, at + 41, area, 5);
    return *this;
}

ImageBuilder& ImageBuilder::raw(const std::vector<uint8_t>& more)
{
    bytes.insert(bytes.end(), more.begin(), more.end());
    return *this;
}

QByteArray makeFile(const std::vector<uint8_t>& image, std::optional<int32_t> announcedLength)
{
    uLongf cap = compressBound(uLong(image.size()));
    std::vector<uint8_t> z(cap);
    compress2(z.data(), &cap, image.data(), uLong(image.size()), 9);
    QByteArray out(4, '\0');
    int32_t len = announcedLength ? *announcedLength : int32_t(image.size());
    for (int i = 0; i < 4; ++i)
        out[i] = char(uint32_t(len) >> (8 * i));
    out.append(reinterpret_cast<const char*>(z.data()), qsizetype(cap));
    return out;
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::string gbk(const char* utf8)
{
    QStringEncoder enc("GBK");
    QByteArray b = enc.encode(QString::fromUtf8(utf8));
    return std::string(b.constData(), size_t(b.size()));
}

}  // namespace qvtest
