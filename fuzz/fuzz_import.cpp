// Text import of any bytes: a refusal changes nothing; every accepted line
// is one place in a new directory, every stored text is GBK cut on character
// boundaries, and what was imported exports and imports again as the same
// places, as GBK and as UTF-8.
#include "FuzzChecks.h"

#include "exchange/Export.h"
#include "exchange/Import.h"
#include "store/GbkText.h"
#include "store/TextEncoding.h"

#include <QBuffer>

namespace {

// Answers some questions with a letter and leaves others unanswered.
std::optional<char> answer(uint8_t lead, uint8_t trail)
{
    if ((lead + trail) % 5 == 0)
        return std::nullopt;
    return char('a' + (lead ^ trail) % 26);
}

qv::ImportResult importBytes(qv::Database& db, const char* data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(data, qsizetype(size));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    return qv::importText(db, in, nullptr, answer);
}

using Place = std::tuple<std::string, std::string, std::string, std::string>;

// Directory caption and texts of every place in the directories from root
// child `first` on, directory by directory.
std::vector<Place> placesFrom(const qv::Database& db, size_t first, qv::EntryRowSet* rows = nullptr)
{
    std::vector<Place> out;
    const auto& roots = db.tree.root()->children;
    for (size_t i = first; i < roots.size(); ++i) {
        const qv::EntryRowSet set = qv::listDirectory(db.image, roots[i]->id, roots[i]->caption);
        for (const qv::EntryRow& r : set.rows) {
            out.emplace_back(roots[i]->caption, r.nameText(), r.areaText(), r.postText());
            if (rows)
                rows->rows.push(r.position, rows->addDirectoryName(roots[i]->caption), r.nameText(), r.areaText(),
                                r.postText());
        }
    }
    return out;
}

// Within its field and GBK text throughout, so never cut inside a character.
bool storedText(std::string_view text, int capacity)
{
    return text.size() <= size_t(capacity) && qv::text::firstBadGbk(text) == qv::text::npos &&
           qv::gbk::fitToBytes(text, text.size()) == text.size();
}

// The places an import of `bytes` into an empty database gives, and its result.
std::pair<qv::ImportResult, std::vector<Place>> importAlone(const QByteArray& bytes)
{
    qv::Database back;
    std::vector<uint8_t> empty(qv::kEmptyImageSize, 0);
    qv::DirectoryRecord{"", -1, 0}.encodeInto(empty.data());
    back.loadImage(std::move(empty));
    const qv::ImportResult r = importBytes(back, bytes.constData(), size_t(bytes.size()));
    return {r, placesFrom(back, 0)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    qv::Database db;
    {
        // Two directories and one place before the import.
        std::vector<uint8_t> image(36 * 3 + 4 + 48, 0);
        qv::DirectoryRecord{"\xB1\xB1\xBE\xA9", 0, 1}.encodeInto(image.data());
        qv::DirectoryRecord{"\xBA\xA3\xB5\xED", 1, 2}.encodeInto(image.data() + 36);
        qv::DirectoryRecord{"", -1, 2}.encodeInto(image.data() + 72);
        qv::EntryRecord{"\xC6\xD6\xB6\xAB", 2, "200120", "021"}.encodeInto(image.data() + 112);
        db.loadImage(std::move(image));
    }
    const std::vector<uint8_t> before = db.image.bytes();
    const std::vector<uint8_t> saved = db.buildImage();
    const qv::ImportResult r = importBytes(db, reinterpret_cast<const char*>(data), size);
    if (r.stop == qv::ImportResult::Unconvertible) {
        // No text in its encoding, or a character GBK lacks: said, and nothing changed.
        QV_FUZZ_CHECK(!r.message.isEmpty() && !db.ModifiedFlag && db.buildImage() == saved);
        QV_FUZZ_CHECK(db.image.bytes() == before);
        return 0;
    }
    QV_FUZZ_CHECK(db.ModifiedFlag && r.message.isEmpty());
    QV_FUZZ_CHECK(r.stop == qv::ImportResult::EndOfFile || r.stop == qv::ImportResult::ShortLine ||
                  r.stop == qv::ImportResult::UnclosedQuote);
    // Earlier records stay byte for byte; one record per accepted line follows.
    QV_FUZZ_CHECK(std::equal(before.begin(), before.end(), db.image.bytes().begin()));
    QV_FUZZ_CHECK(db.image.entryCount() == 1 + r.entries);
    QV_FUZZ_CHECK(db.tree.count() == 2 + r.directories);
    QV_FUZZ_CHECK(db.tree.root()->children.size() == size_t(1 + r.directories));
    for (const qv::LearnedInitial& li : db.learned)
        QV_FUZZ_CHECK(li.raw[0] == 2 && li.raw[3] == 1 && li.raw[4] >= 'A' && li.raw[4] <= 'Z');

    qv::EntryRowSet rows;
    const std::vector<Place> places = placesFrom(db, 1, &rows);
    QV_FUZZ_CHECK(int64_t(places.size()) == r.entries);
    for (const auto& [dir, name, area, post] : places) {
        QV_FUZZ_CHECK(storedText(dir, qv::kNameCapacity) && storedText(name, qv::kNameCapacity));
        QV_FUZZ_CHECK(storedText(area, qv::kAreaCodeCapacity) && storedText(post, qv::kPostcodeCapacity));
    }
    qvfuzz::checkListingAndSearch(db, places.empty() ? std::string() : std::get<1>(places.front()));

    // The text export of those places imports back as the same places.
    QByteArray text;
    QBuffer out(&text);
    out.open(QIODevice::WriteOnly);
    const qv::ExportResult written = qv::writeText(qv::ExportSource::currentList(rows), out);
    QV_FUZZ_CHECK(written.ok() || (rows.rows.empty() && written.status == qv::ExportResult::NothingToExport));
    QV_FUZZ_CHECK(written.rows == r.entries);
    // Read back as GBK it is the same places; text without a byte-order mark
    // may also be taken for UTF-8 (when its bytes happen to be that too) or
    // be refused as mixed, but never taken as other places in GBK.
    const auto [asGbk, gbkPlaces] = importAlone(text);
    if (asGbk.encoding == qv::ImportResult::Gbk && asGbk.stop != qv::ImportResult::Unconvertible)
        QV_FUZZ_CHECK(gbkPlaces == places);
    // In UTF-8 with its mark there is no doubt: every GBK character converts
    // there and back.
    const auto [asUtf8, utf8Places] =
        importAlone("\xEF\xBB\xBF" + qv::gbk::toUtf8(std::string_view(text.constData(), size_t(text.size()))));
    QV_FUZZ_CHECK(asUtf8.stop != qv::ImportResult::Unconvertible && utf8Places == places);

    qv::Database reloaded;
    qvfuzz::rebuildAndReload(db, reloaded);
    return 0;
}
