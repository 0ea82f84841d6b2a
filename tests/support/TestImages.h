#pragma once
// Builds database images and files byte by byte from the record layouts, the
// way another program writing this format would, without using the program's
// own writer.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qvtest {

struct ImageBuilder {
    std::vector<uint8_t> bytes;

    ImageBuilder& dir(const std::string& gbkName, int32_t level, int32_t id);
    ImageBuilder& end(int32_t nextId);
    ImageBuilder& learnedCount(int32_t n);
    ImageBuilder& learned(uint8_t lead, uint8_t trail, char letter);
    ImageBuilder& entry(const std::string& gbkName, int32_t owner, const std::string& post, const std::string& area);
    ImageBuilder& raw(const std::vector<uint8_t>& more);
};

// The file: int32 length, then a zlib stream of the image.
QByteArray makeFile(const std::vector<uint8_t>& image, std::optional<int32_t> announcedLength = std::nullopt);
bool writeFile(const QString& path, const QByteArray& content);
QByteArray readFile(const QString& path);

// GBK bytes of a UTF-8 literal (test sources are UTF-8).
std::string gbk(const char* utf8);

}  // namespace qvtest
