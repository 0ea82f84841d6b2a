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
// Traditional code and its simplified code, sorted by the first.
extern const int kSimplifiedCount;
extern const uint16_t kSimplified[][2];

}  // namespace qv::pinyin_data
