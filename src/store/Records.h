#pragma once
// Byte layouts of the database image and file. All integers are little-endian;
// text fields are a length byte followed by GBK bytes.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace qv {

// A directory's id: positive; entries name their directory by it and hold it
// negated once deleted.
using DirectoryId = int32_t;
// Byte offset of an entry record inside the image.
using EntryPosition = int32_t;

constexpr int kDirectoryRecordSize = 36;
constexpr int kLearnedInitialSize = 5;
constexpr int kEntryRecordSize = 48;

constexpr int kNameCapacity = 25;
constexpr int kPostcodeCapacity = 8;
constexpr int kAreaCodeCapacity = 5;

// Field offsets of an entry record.
namespace entry_field {
constexpr int kNameLen = 0, kName = 1, kOwner = 28, kPostLen = 32, kPost = 33, kAreaLen = 41, kArea = 42;
}
// Field offsets of a directory record.
namespace dir_field {
constexpr int kNameLen = 0, kName = 1, kLevel = 28, kId = 32;
}

inline int32_t readLe32(const uint8_t* p)
{
    uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return static_cast<int32_t>(v);
}

inline void writeLe32(uint8_t* p, int32_t value)
{
    uint32_t v = static_cast<uint32_t>(value);
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// A length-prefixed text field. A length byte above the field's capacity
// (only in a damaged or hand-made file) is read as the capacity.
inline std::string_view readField(const uint8_t* p, int capacity)
{
    int n = p[0] > capacity ? capacity : p[0];
    return std::string_view(reinterpret_cast<const char*>(p + 1), size_t(n));
}

// Writes text cut to the field's capacity in bytes; the bytes after it keep
// whatever they held.
inline void writeField(uint8_t* p, int capacity, std::string_view text)
{
    size_t n = text.size() > size_t(capacity) ? size_t(capacity) : text.size();
    p[0] = uint8_t(n);
    if (n)
        std::memcpy(p + 1, text.data(), n);
}

// One directory of the directory section; level -1 marks the end, whose id
// field holds NextDirectoryId.
struct DirectoryRecord {
    std::string name;
    int32_t level = 0;
    DirectoryId id = 0;

    static DirectoryRecord decode(const uint8_t* p)
    {
        DirectoryRecord r;
        r.name = std::string(readField(p + dir_field::kNameLen, kNameCapacity));
        r.level = readLe32(p + dir_field::kLevel);
        r.id = readLe32(p + dir_field::kId);
        return r;
    }
    void encodeInto(uint8_t* p) const
    {
        writeField(p + dir_field::kNameLen, kNameCapacity, name);
        writeLe32(p + dir_field::kLevel, level);
        writeLe32(p + dir_field::kId, id);
    }
    bool isEndMarker() const { return level < 0; }
};

// One place, decoded.
struct EntryRecord {
    std::string name;
    int32_t owner = 0;
    std::string postcode;
    std::string areaCode;

    static EntryRecord decode(const uint8_t* p)
    {
        EntryRecord r;
        r.name = std::string(readField(p + entry_field::kNameLen, kNameCapacity));
        r.owner = readLe32(p + entry_field::kOwner);
        r.postcode = std::string(readField(p + entry_field::kPostLen, kPostcodeCapacity));
        r.areaCode = std::string(readField(p + entry_field::kAreaLen, kAreaCodeCapacity));
        return r;
    }

    // Writes the fields over `p`; bytes the record does not describe
    // (reserved bytes, tails of text fields) are left as they are.
    void encodeInto(uint8_t* p) const
    {
        writeField(p + entry_field::kNameLen, kNameCapacity, name);
        writeLe32(p + entry_field::kOwner, owner);
        writeField(p + entry_field::kPostLen, kPostcodeCapacity, postcode);
        writeField(p + entry_field::kAreaLen, kAreaCodeCapacity, areaCode);
    }
};

inline int32_t entryOwner(const uint8_t* record) { return readLe32(record + entry_field::kOwner); }

// One learned pinyin initial, kept as its five stored bytes: character length
// (2), the two-byte GBK character, initial length (1), the upper-case letter.
// Records read from a file are kept exactly as read so that a save writes them
// back unchanged, even odd ones.
struct LearnedInitial {
    uint8_t raw[kLearnedInitialSize] = {2, 0, 0, 1, 0};

    static LearnedInitial make(uint8_t lead, uint8_t trail, char letter)
    {
        LearnedInitial r;
        r.raw[1] = lead;
        r.raw[2] = trail;
        r.raw[4] = static_cast<uint8_t>(letter);
        return r;
    }
    // True when this record names the two-byte character lead/trail.
    bool matches(uint8_t lead, uint8_t trail) const { return raw[0] == 2 && raw[1] == lead && raw[2] == trail; }
    // The stored initial: empty when its length byte is 0.
    std::string_view initial() const
    {
        return std::string_view(reinterpret_cast<const char*>(raw + 4), raw[3] >= 1 ? 1 : 0);
    }
};

}  // namespace qv
