// Arbitrary bytes as names and queries: character splitting, display
// decoding, initials, the text comparison and every search test agree with
// a plain reading of GBK (a lead byte 0x81..0xFE and the byte after it form
// one character, anything else is one byte).
#include "FuzzChecks.h"
#include "SearchReference.h"

#include "lookup/Pinyin.h"
#include "store/GbkText.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

std::vector<size_t> boundaries(std::string_view s)
{
    std::vector<size_t> out;
    for (size_t i = 0; i < s.size();) {
        out.push_back(i);
        i += qv::gbk::isLeadByte(uint8_t(s[i])) && i + 1 < s.size() ? 2 : 1;
    }
    out.push_back(s.size());
    return out;
}

bool containsAtBoundary(std::string_view name, std::string_view query)
{
    for (size_t b : boundaries(name))
        if (name.substr(b).substr(0, query.size()) == query && name.size() - b >= query.size())
            return true;
    return false;
}

int sign(int v) { return (v > 0) - (v < 0); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const int fields = in.ConsumeIntegralInRange(1, 15);  // which of the four fields are searched
    std::vector<qv::LearnedInitial> learned(in.ConsumeIntegralInRange<size_t>(0, 6));
    for (qv::LearnedInitial& li : learned)
        for (uint8_t& b : li.raw)
            b = in.ConsumeIntegral<uint8_t>();
    const std::string name = in.ConsumeRandomLengthString(qv::kNameCapacity + 4);
    const std::string query = in.ConsumeRemainingBytesAsString();

    // Splitting and cutting.
    const std::vector<size_t> cuts = boundaries(name);
    for (size_t limit = 0; limit <= name.size() + 1; ++limit) {
        const size_t n = qv::gbk::fitToBytes(name, limit);
        QV_FUZZ_CHECK(n <= limit && n <= name.size());
        const auto at = std::find(cuts.begin(), cuts.end(), n);
        QV_FUZZ_CHECK(at != cuts.end());
        QV_FUZZ_CHECK(at + 1 == cuts.end() || *(at + 1) > limit);
    }

    // Display: the quick UTF-8 path shows what the screen shows; text that
    // decodes cleanly encodes to text that decodes the same.
    const QString shown = qv::gbk::toQString(name);
    QV_FUZZ_CHECK(qv::gbk::toUtf8(name) == shown.toUtf8());
    if (!shown.contains(QChar(QChar::ReplacementCharacter)))
        if (const auto again = qv::gbk::fromQString(shown))
            QV_FUZZ_CHECK(qv::gbk::toQString(*again) == shown);

    // Initials: the search's table and the plain routine agree.
    const qv::InitialsTable table(learned);
    const std::string initials = qv::NameInitials(name, learned);
    QV_FUZZ_CHECK(table.initials(name) == initials);
    QV_FUZZ_CHECK(initials.size() <= name.size());

    // The list's comparison is a total order.
    const int c = qv::compareEntryText(name, query);
    QV_FUZZ_CHECK(sign(c) == -sign(qv::compareEntryText(query, name)));
    QV_FUZZ_CHECK((c == 0) == (qvref::upper(name) == qvref::upper(query)));

    // Search: one place with the name (its fields cut from it) between two
    // neighbours; each is found exactly when the plain reading of the
    // search (tests/support/SearchReference.h) says it matches.
    const bool atBoundary = qv::nameContainsAtBoundary(name, query);
    QV_FUZZ_CHECK(atBoundary == containsAtBoundary(name, query));
    qv::Database db;
    {
        std::vector<uint8_t> image(36 * 2 + 4, 0);
        qv::DirectoryRecord{name, 0, 1}.encodeInto(image.data());
        qv::DirectoryRecord{"", -1, 1}.encodeInto(image.data() + 36);
        db.loadImage(std::move(image));
        db.learned = learned;
    }
    const std::vector<qv::EntryRecord> records = {
        {"\xB1\xB1\xBE\xA9", 1, "100000", "010"},
        {name, 1, name.substr(0, qv::kPostcodeCapacity), name.substr(0, qv::kAreaCodeCapacity)},
        {"", 1, "", ""},
    };
    for (const qv::EntryRecord& r : records)
        db.image.appendEntry(r);
    for (bool fuzzy : {true, false}) {
        {
            qv::QueryOptions o;
            o.fuzzy = fuzzy;
            o.exact = !fuzzy;
            o.byName = fields & 1;
            o.byInitials = fields & 2;
            o.byPostcode = fields & 4;
            o.byAreaCode = fields & 8;
            std::vector<int32_t> expected;
            db.image.forEachEntry([&](int32_t pos, const uint8_t* bytes) {
                if (qvref::matches(db, qv::EntryRecord::decode(bytes), query, o))
                    expected.push_back(pos);
            });
            const qv::EntryRowSet found = qv::searchEntries(db, query, o);
            std::vector<int32_t> got;
            for (const qv::EntryRow& row : found.rows)
                got.push_back(row.position);
            QV_FUZZ_CHECK(got == expected);
            qvfuzz::checkRowTexts(db, found);
        }
    }
    return 0;
}
