// Text import of any bytes: every accepted line is one place in a new
// directory, fields are cut on character boundaries, and what was imported
// exports and imports again as the same places.
#include "FuzzChecks.h"

#include "exchange/Export.h"
#include "exchange/Import.h"
#include "store/GbkText.h"

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

bool cutOnBoundary(std::string_view text, int capacity)
{
    return text.size() <= size_t(capacity) && qv::gbk::fitToBytes(text, text.size()) == text.size();
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
        // UTF-8 or UTF-16 holding a character GBK lacks: said, and nothing changed.
        QV_FUZZ_CHECK(!r.message.isEmpty() && !db.ModifiedFlag && db.buildImage() == saved);
        return 0;
    }
    QV_FUZZ_CHECK(db.ModifiedFlag && r.message.isEmpty());
    QV_FUZZ_CHECK(r.stop == qv::ImportResult::EndOfFile || r.stop == qv::ImportResult::ShortLine);
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
        QV_FUZZ_CHECK(cutOnBoundary(dir, qv::kNameCapacity) && cutOnBoundary(name, qv::kNameCapacity));
        QV_FUZZ_CHECK(cutOnBoundary(area, qv::kAreaCodeCapacity) && cutOnBoundary(post, qv::kPostcodeCapacity));
    }
    qvfuzz::checkListingAndSearch(db, places.empty() ? std::string() : std::get<1>(places.front()));

    // The text export of those places imports back as the same places.
    QByteArray text;
    QBuffer out(&text);
    out.open(QIODevice::WriteOnly);
    const qv::ExportResult written = qv::writeText(qv::ExportSource::currentList(rows), out);
    QV_FUZZ_CHECK(written.ok() || (rows.rows.empty() && written.status == qv::ExportResult::NothingToExport));
    QV_FUZZ_CHECK(written.rows == r.entries);
    qv::Database back;
    std::vector<uint8_t> empty(qv::kEmptyImageSize, 0);
    qv::DirectoryRecord{"", -1, 0}.encodeInto(empty.data());
    back.loadImage(std::move(empty));
    // Unless the GBK bytes happen to form valid UTF-8 as a whole, which is
    // then read as UTF-8.
    if (importBytes(back, text.constData(), size_t(text.size())).encoding == qv::ImportResult::Gbk)
        QV_FUZZ_CHECK(placesFrom(back, 0) == places);

    qv::Database reloaded;
    qvfuzz::rebuildAndReload(db, reloaded);
    return 0;
}
