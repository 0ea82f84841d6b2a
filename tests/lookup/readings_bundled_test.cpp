// Every place of the bundled database is found by the full pinyin that ICU's
// Han-Latin transform gives for its name.
#include "lookup/Readings.h"
#include "lookup/Search.h"
#include "store/Database.h"
#include "store/GbkText.h"

#include <gtest/gtest.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <cstdlib>
#include <memory>
#include <string>

using namespace qv;

namespace {

TEST(BundledPinyin, EveryPlaceFoundByItsIcuPinyin)
{
    const char* bin = std::getenv("QV_BINARY_DIR");
    ASSERT_TRUE(bin) << "QV_BINARY_DIR is not set";
    Database db;
    ASSERT_TRUE(db.load(QString::fromLocal8Bit(bin) + QStringLiteral("/kvrn.dat")).ok());
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> toLatin(
        icu::Transliterator::createInstance("Han-Latin; Latin-ASCII", UTRANS_FORWARD, status));
    ASSERT_TRUE(U_SUCCESS(status)) << u_errorName(status);

    int places = 0, spelled = 0;
    db.image.forEachEntry([&](int32_t, const uint8_t* rec) {
        if (rec[entry_field::kOwner + 3] & 0x80)
            return;
        const std::string name(readField(rec + entry_field::kNameLen, kNameCapacity));
        const QString text = gbk::toQString(name);
        icu::UnicodeString u(reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()));
        toLatin->transliterate(u);
        std::string latin;
        u.toUTF8String(latin);
        // The letters of the transform's output, blanks and punctuation left out.
        std::string query;
        for (char c : latin)
            if (std::isalpha(static_cast<unsigned char>(c)))
                query += char(std::tolower(static_cast<unsigned char>(c)));
        ++places;
        for (bool exact : {false, true}) {
            const PinyinQuery q(query, exact, db.learned);
            if (!q.spelling())
                continue;  // no syllable of two letters (none in the bundled names)
            spelled += exact;
            EXPECT_TRUE(q.matches(name)) << text.toStdString() << " " << query << (exact ? " exact" : "");
        }
    });
    EXPECT_GT(places, 3000);
    EXPECT_EQ(spelled, places);
}

}  // namespace
