#include "lookup/Pinyin.h"

#include "store/DatabaseImage.h"
#include "store/GbkText.h"

#include <algorithm>
#include <iterator>

namespace qv {

namespace {

struct Range {
    uint16_t first;
    uint16_t last;
    char letter;
};

// The pinyin order of GB2312 level 1; no syllables begin with I, U or V.
constexpr Range kRanges[] = {
    {0xB0A1, 0xB0C4, 'A'}, {0xB0C5, 0xB2C0, 'B'}, {0xB2C1, 0xB4ED, 'C'}, {0xB4EE, 0xB6E9, 'D'}, {0xB6EA, 0xB7A1, 'E'},
    {0xB7A2, 0xB8C0, 'F'}, {0xB8C1, 0xB9FD, 'G'}, {0xB9FE, 0xBBF6, 'H'}, {0xBBF7, 0xBFA5, 'J'}, {0xBFA6, 0xC0AB, 'K'},
    {0xC0AC, 0xC2E7, 'L'}, {0xC2E8, 0xC4C2, 'M'}, {0xC4C3, 0xC5B5, 'N'}, {0xC5B6, 0xC5BD, 'O'}, {0xC5BE, 0xC6D9, 'P'},
    {0xC6DA, 0xC8BA, 'Q'}, {0xC8BB, 0xC8F5, 'R'}, {0xC8F6, 0xCBF9, 'S'}, {0xCBFA, 0xCDD9, 'T'}, {0xCDDA, 0xCEF3, 'W'},
    {0xCEF4, 0xD1B8, 'X'}, {0xD1B9, 0xD4D0, 'Y'}, {0xD4D1, 0xD7F9, 'Z'},
};

}  // namespace

char rangeInitial(uint16_t code)
{
    if (code < kRanges[0].first || code > std::prev(std::end(kRanges))->last)
        return 0;
    auto it = std::upper_bound(std::begin(kRanges), std::end(kRanges), code,
                               [](uint16_t c, const Range& r) { return c < r.first; });
    return std::prev(it)->letter;
}

std::string CharInitial(uint8_t lead, uint8_t trail, const std::vector<LearnedInitial>& learned)
{
    if (char letter = rangeInitial(uint16_t(lead << 8 | trail)))
        return std::string(1, letter);
    for (const LearnedInitial& li : learned)
        if (li.matches(lead, trail))
            return std::string(li.initial());
    return std::string(1, kNoInitial);
}

std::string NameInitials(std::string_view name, const std::vector<LearnedInitial>& learned)
{
    std::string out;
    for (size_t i = 0; i < name.size();) {
        const auto b = static_cast<uint8_t>(name[i]);
        if (gbk::isLeadByte(b) && i + 1 < name.size()) {
            out += CharInitial(b, static_cast<uint8_t>(name[i + 1]), learned);
            i += 2;
        } else {
            out += 'V';
            ++i;
        }
    }
    return out;
}

InitialsTable::InitialsTable(const std::vector<LearnedInitial>& learned) : m_code(65536, uint16_t(kNoInitial))
{
    for (const Range& r : kRanges)
        for (uint32_t c = r.first; c <= r.last; ++c)
            m_code[c] = uint8_t(r.letter);
    // The first learned record for a character wins; later ones are never used.
    std::vector<bool> seen(65536, false);
    for (const LearnedInitial& li : learned) {
        if (li.raw[0] != 2)
            continue;
        const uint16_t c = uint16_t(li.raw[1] << 8 | li.raw[2]);
        if (seen[c] || rangeInitial(c))
            continue;
        seen[c] = true;
        std::string_view initial = li.initial();
        m_code[c] = initial.empty() ? kEmpty : uint8_t(initial[0]);
    }
    m_produced[uint8_t('V')] = true;  // every one-byte character
    for (uint16_t v : m_code)
        if (v != kEmpty)
            m_produced[uint8_t(v)] = true;
    for (int b = 0; b < 256 && m_none < 0; ++b)
        if (!m_produced[size_t(b)])
            m_none = b;
    if (m_none >= 0) {
        m_pair.resize(size_t(0xFE - 0x81 + 1) * 256);
        for (size_t i = 0; i < m_pair.size(); ++i) {
            const uint16_t v = m_code[0x8100 + i];
            m_pair[i] = v == kEmpty ? uint8_t(m_none) : uint8_t(v);
        }
    }
}

std::array<bool, 256> InitialsTable::leadsOf(uint8_t letter) const
{
    std::array<bool, 256> leads{};
    for (uint32_t code = 0x8100; code <= 0xFEFF; ++code)
        if (m_code[code] == letter)
            leads[code >> 8] = true;
    return leads;
}

char* InitialsTable::append(std::string_view name, char* out) const
{
    // One walk over the characters, with the letter of a two-byte character
    // from whichever table serves (the small one stays in the first-level cache).
    const auto walk = [&](auto letterOf, auto none) {
        const auto* p = reinterpret_cast<const uint8_t*>(name.data());
        const auto* end = p + name.size();
        while (p < end) {
            if (gbk::isLeadByte(*p) && p + 1 < end) {
                const auto v = letterOf(p[0], p[1]);
                *out = char(v);
                out += v != none;
                p += 2;
            } else {
                *out++ = 'V';
                ++p;
            }
        }
        return out;
    };
    if (m_none >= 0)
        return walk([this](uint8_t lead, uint8_t trail) { return m_pair[size_t(lead - 0x81) << 8 | trail]; },
                    uint8_t(m_none));
    return walk([this](uint8_t lead, uint8_t trail) { return m_code[uint16_t(lead << 8 | trail)]; }, kEmpty);
}

KnownInitials::KnownInitials() : m_known(65536, 0), m_seen(65536, 0)
{
    for (uint32_t c = 0; c < 65536; ++c)
        m_known[c] = rangeInitial(uint16_t(c)) != 0;
}

void KnownInitials::note(const std::vector<LearnedInitial>& learned)
{
    for (; m_noted < learned.size(); ++m_noted) {
        const LearnedInitial& li = learned[m_noted];
        if (li.raw[0] != 2)
            continue;
        const uint16_t c = uint16_t(li.raw[1] << 8 | li.raw[2]);
        if (m_seen[c])
            continue;
        m_seen[c] = 1;
        if (!rangeInitial(c))
            m_known[c] = li.initial() != std::string_view("\0", 1);
    }
}

bool KnownInitials::anyUnknown(std::string_view name) const
{
    const auto* p = reinterpret_cast<const uint8_t*>(name.data());
    const auto* end = p + name.size();
    while (p < end) {
        if (gbk::isLeadByte(*p) && p + 1 < end) {
            if (!m_known[uint16_t(p[0] << 8 | p[1])])
                return true;
            p += 2;
        } else {
            ++p;
        }
    }
    return false;
}

std::string InitialsTable::initials(std::string_view name) const
{
    std::string out(name.size(), '\0');
    out.resize(size_t(append(name, out.data()) - out.data()));
    return out;
}

int LearnInitials(std::vector<LearnedInitial>& learned, std::string_view name, const AskInitialFn& ask)
{
    int count = 0;
    for (size_t i = 0; i < name.size();) {
        const auto b = static_cast<uint8_t>(name[i]);
        if (!(gbk::isLeadByte(b) && i + 1 < name.size())) {
            ++i;
            continue;
        }
        const auto t = static_cast<uint8_t>(name[i + 1]);
        i += 2;
        if (CharInitial(b, t, learned) != std::string(1, kNoInitial))
            continue;
        if (!ask)
            continue;
        if (std::optional<char> letter = ask(b, t)) {
            char up = (*letter >= 'a' && *letter <= 'z') ? char(*letter - 'a' + 'A') : *letter;
            // Anything but a letter would be stored yet never identify the
            // character (a 0x00 reads as "unknown"), so it counts as no answer.
            if (!isAcceptableInitial(std::string_view(&up, 1)))
                continue;
            learned.push_back(LearnedInitial::make(b, t, up));
            ++count;
        }
    }
    return count;
}

std::vector<LearnedRow> learnedRows(const std::vector<LearnedInitial>& learned)
{
    std::vector<LearnedRow> rows;
    std::vector<bool> seen(65536, false);
    for (const LearnedInitial& li : learned) {
        LearnedRow row;
        row.character.assign(reinterpret_cast<const char*>(li.raw + 1), std::min<size_t>(li.raw[0], 2));
        const std::string_view letter = li.initial();
        row.letter = letter.empty() ? 0 : letter[0];
        if (li.raw[0] == 2) {
            const uint16_t code = uint16_t(li.raw[1] << 8 | li.raw[2]);
            row.inUse = !seen[code];
            seen[code] = true;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<LearnedUse> learnedUses(const std::vector<LearnedInitial>& learned, const DatabaseImage& image,
                                    size_t examples)
{
    std::vector<LearnedUse> uses(learned.size());
    // Each character once, whatever number of records name it.
    constexpr int32_t kNone = -1;
    std::vector<int32_t> slotOf(65536, kNone);
    std::vector<LearnedUse> perChar;
    for (const LearnedInitial& li : learned)
        if (li.raw[0] == 2) {
            int32_t& slot = slotOf[size_t(li.raw[1] << 8 | li.raw[2])];
            if (slot == kNone) {
                slot = int32_t(perChar.size());
                perChar.emplace_back();
            }
        }
    if (!perChar.empty()) {
        // The last place that counted each character: a name holding it twice counts once.
        std::vector<int64_t> countedAt(perChar.size(), -1);
        image.forEachEntry([&](int32_t position, const uint8_t* rec) {
            if (entryOwner(rec) <= 0)
                return;
            const std::string_view name = readField(rec + entry_field::kNameLen, kNameCapacity);
            for (size_t i = 0, n = 0; i < name.size(); i += n) {
                n = gbk::charSize(name, i);
                if (n != 2)
                    continue;
                const int32_t slot = slotOf[size_t(uint8_t(name[i]) << 8 | uint8_t(name[i + 1]))];
                if (slot == kNone || countedAt[size_t(slot)] == position)
                    continue;
                countedAt[size_t(slot)] = position;
                LearnedUse& use = perChar[size_t(slot)];
                ++use.places;
                if (use.examples.size() < examples)
                    use.examples.emplace_back(name);
            }
        });
    }
    for (size_t k = 0; k < learned.size(); ++k)
        if (learned[k].raw[0] == 2)
            uses[k] = perChar[size_t(slotOf[size_t(learned[k].raw[1] << 8 | learned[k].raw[2])])];
    return uses;
}

bool changeLearnedLetter(std::vector<LearnedInitial>& learned, size_t index, char letter)
{
    const char up = (letter >= 'a' && letter <= 'z') ? char(letter - 'a' + 'A') : letter;
    if (index >= learned.size() || !isAcceptableInitial(std::string_view(&up, 1)))
        return false;
    learned[index].raw[3] = 1;
    learned[index].raw[4] = static_cast<uint8_t>(up);
    return true;
}

bool removeLearned(std::vector<LearnedInitial>& learned, size_t index)
{
    if (index >= learned.size())
        return false;
    learned.erase(learned.begin() + std::ptrdiff_t(index));
    return true;
}

bool isAcceptableInitial(std::string_view answer)
{
    // Compared as a byte string with "A" and "Z", as the dialog does: exactly one letter.
    return answer.size() == 1 && answer[0] >= 'A' && answer[0] <= 'Z';
}

}  // namespace qv
