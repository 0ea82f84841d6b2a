#pragma once
// The reading table of every two-byte GBK code, generated at build time from
// the Unihan database by tools/pinyintable.py.
#include <cstdint>

namespace qv::pinyin_data {

// Syllables without tones, ü written v: syllable i is kSyllableText from
// kSyllableStart[i] to kSyllableStart[i + 1].
extern const int kSyllableCount;
extern const char kSyllableText[];
extern const uint16_t kSyllableStart[];
// The syllables of code c (0x8100 to 0xFEFF): kReadings from
// kReadingStart[c - 0x8100] to kReadingStart[c - 0x8100 + 1].
extern const uint16_t kReadingStart[];
extern const uint16_t kReadings[];
// The tone of each of those readings, for showing them: 1 to 4, 5 for the
// neutral tone, 0 where the sources give none.
extern const uint8_t kReadingTones[];
// Place-name words with their own reading: word i is kWordText from
// kWordStart[i] to kWordStart[i + 1] (GBK, two bytes a character), and the
// syllable of its character j is kWordSyllables[kWordStart[i] / 2 + j].
extern const int kWordCount;
extern const char kWordText[];
extern const uint16_t kWordStart[];
extern const uint16_t kWordSyllables[];
// The initials letters ('a' to 'z') that those readings give a code, which
// count for it everywhere; sorted by code.
extern const int kWordLetterCount;
extern const uint16_t kWordLetterCode[];
extern const char* const kWordLetters[];
// Traditional or variant code and a simplified code it may stand for, sorted
// by the first; a code's preferred form comes first.
extern const int kSimplifiedCount;
extern const uint16_t kSimplified[][2];

}  // namespace qv::pinyin_data
