#!/usr/bin/env python3
"""Writes the pinyin reading table of every GBK character, and the table of
the simplified forms of traditional and variant characters, as C++ source.

Readings, from the Unihan database, without tones, ü written v. A reading
counts only where people use it for that character:

  1. kMandarin's reading (the one a dictionary gives first; also ICU's);
  2. each reading of kHanyuPinlu (the 现代汉语频率词典 counts) that has at
     least 5 % of the character's counted occurrences;
  3. for a character kHanyuPinlu does not count: the readings of kTGHZ2013
     (通用规范汉字字典, 2013), else those of kXHC1983 (现代汉语词典), else
     those of kHanyuPinyin (汉语大字典);
  4. the hand-reviewed readings of data/place-readings.csv, each with its
     source: a single character's line gives it a reading that the counts
     of rule 2 miss although place names use it widely (佛 fó, 藏 zàng);
     a word's line gives the official reading of a place name (乐亭 lào,
     厦门 xià), which full pinyin takes only inside that word (lao finds
     乐亭, never 乐山). The initials letter of a word's reading counts for
     its character everywhere, as the range letter does.

So 市 is shì and never fú (a lookalike of 巿 that the 1983 dictionary lists),
区 never ōu, 石 never dàn, 大 never dài: readings of surnames, old measures and
rare words that would make every "…市" name turn up for fu.

Every reading that rules 1 to 3 drop was reviewed by hand for the characters
of the bundled place names; rule 4 gives back what those names use (see
data/README.md).

Traditional and variant characters come from OpenCC's dictionaries (Debian's
opencc and libopencc1.1, Apache-2.0), dumped to text with opencc_dict:
TSCharacters (traditional to simplified, every candidate: 乾 is 干 or 乾),
the Taiwan, Hong Kong and Japanese variant tables reversed (峯, 啓, 衞 first
to their traditional form, then to simplified), and STCharacters reversed
(裏 and 裡 to 里); kSimplifiedVariant of Unihan where OpenCC has nothing, and
the few variants of data/variants.txt that neither lists. A code keeps all of
its candidates in order, the preferred first.

    pinyintable.py UNIHAN_DIR PLACE_READINGS VARIANTS OPENCC_DICT OPENCC_DIR OUTPUT.cpp

UNIHAN_DIR holds Unihan_Readings.txt and Unihan_Variants.txt, each plain,
.bz2 or inside Unihan.zip (Debian's unicode-data ships the .bz2 files).
OPENCC_DICT is the opencc_dict program, OPENCC_DIR the folder of its .ocd2
dictionaries (/usr/share/opencc).
"""
import bz2
import csv
import os
import re
import subprocess
import sys
import tempfile
import unicodedata
import zipfile

FIELDS = ("kMandarin", "kHanyuPinlu", "kTGHZ2013", "kXHC1983", "kHanyuPinyin")
# A kHanyuPinlu reading counts from this share of the character's occurrences
# on: 重 chóng (15 %), 行 háng (7 %) stay; 大 dài (1.5 %), 会 kuài go.
PINLU_SHARE = 0.05
OPENCC_TS = "TSCharacters"
OPENCC_VARIANTS = ("TWVariantsRev", "HKVariantsRev", "JPVariantsRev", "JPShinjitaiCharacters")
OPENCC_ST = "STCharacters"


def open_unihan(folder, name):
    path = os.path.join(folder, name)
    if os.path.exists(path):
        return open(path, encoding="utf-8")
    if os.path.exists(path + ".bz2"):
        return bz2.open(path + ".bz2", "rt", encoding="utf-8")
    archive = os.path.join(folder, "Unihan.zip")
    if os.path.exists(archive):
        return zipfile.ZipFile(archive).open(name).read().decode("utf-8").splitlines()
    sys.exit("pinyintable: %s not found in %s (install unicode-data)" % (name, folder))


def fields(folder, name, wanted):
    for line in open_unihan(folder, name):
        if line.startswith("U+"):
            code, field, value = line.rstrip("\n").split("\t", 2)
            if field in wanted:
                yield int(code[2:], 16), field, value


def syllable(reading):
    text = unicodedata.normalize("NFD", reading.lower()).replace("u\u0308", "v")
    return "".join(c for c in text if "a" <= c <= "z")


TONE_MARKS = {"\u0304": 1, "\u0301": 2, "\u030C": 3, "\u0300": 4}


def tone(reading):
    """1 to 4 from a reading's tone mark, 5 for the neutral tone."""
    for c in unicodedata.normalize("NFD", reading):
        if c in TONE_MARKS:
            return TONE_MARKS[c]
    return 5


def tones_of(byfield):
    """The tone of each syllable of one character, from the first field that has it."""
    out = {}
    for field in ("kMandarin", "kHanyuPinlu", "kTGHZ2013", "kXHC1983", "kHanyuPinyin"):
        for token in byfield.get(field, "").split():
            token = re.sub(r"\(\d+\)$", "", token.split(":")[-1])
            for r in token.split(","):
                out.setdefault(syllable(r), tone(r))
    return out


def entries(value):
    """(syllable, count or None) of a Unihan reading field."""
    for token in value.split():
        token = token.split(":")[-1]
        m = re.match(r"(.*?)\((\d+)\)$", token)
        if m:
            yield syllable(m.group(1)), int(m.group(2))
        else:
            for r in token.split(","):
                yield syllable(r), None


def used_readings(byfield):
    """The readings people use for one character (rules 1 to 3)."""
    out = []

    def add(rs):
        for r in rs:
            if r and r not in out:
                out.append(r)

    add(r for r, _ in entries(byfield.get("kMandarin", "")))
    pinlu = list(entries(byfield.get("kHanyuPinlu", "")))
    if pinlu:
        total = sum(n for _, n in pinlu)
        add(r for r, n in pinlu if n >= PINLU_SHARE * total)
    else:
        for field in ("kTGHZ2013", "kXHC1983"):
            if field in byfield:
                add(r for r, _ in entries(byfield[field]))
                break
    if not out:
        add(r for r, _ in entries(byfield.get("kHanyuPinyin", "")))
    return out


def place_words(path):
    """(word, syllables) of the place-name words."""
    words = []
    with open(path, encoding="utf-8", newline="") as f:
        for row in csv.DictReader(f):
            word, syllables = row["word"], row["pinyin"].split()
            if len(word) != len(syllables) or not (row["source"] or "").strip() or None in row:
                sys.exit("pinyintable: %s: %s needs one syllable per character and a source (no comma in it)" % (path, word))
            try:
                if len(word.encode("gbk")) != 2 * len(word):
                    raise UnicodeEncodeError("gbk", word, 0, 1, "")
            except UnicodeEncodeError:
                sys.exit("pinyintable: %s: %s is not GBK Chinese characters" % (path, word))
            words.append((word, syllables))
    return words


def opencc_table(tool, folder, name):
    """key -> [values] of one OpenCC dictionary, single characters only."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, name + ".txt")
        subprocess.run([tool, "-i", os.path.join(folder, name + ".ocd2"), "-o", out, "-f", "ocd2", "-t", "text"],
                       check=True)
        table = {}
        with open(out, encoding="utf-8") as f:
            for line in f:
                key, _, values = line.rstrip("\n").partition("\t")
                if len(key) == 1:
                    table[ord(key)] = [ord(v) for v in values.split() if len(v) == 1]
        return table


def simplified_forms(folder, variants_path, tool, opencc_dir):
    """Traditional or variant character -> its simplified candidates, preferred first."""
    ts = opencc_table(tool, opencc_dir, OPENCC_TS)
    forms = {cp: list(vs) for cp, vs in ts.items()}

    def add(cp, targets):
        out = forms.setdefault(cp, [])
        for t in targets:
            if t not in out:
                out.append(t)

    for name in OPENCC_VARIANTS:
        for cp, vs in opencc_table(tool, opencc_dir, name).items():
            if cp not in forms:
                for v in vs:
                    add(cp, ts.get(v, [v]))
    for cp, vs in opencc_table(tool, opencc_dir, OPENCC_ST).items():
        for v in vs:
            if v != cp and v not in forms:
                add(v, [cp])
    for cp, _, value in fields(folder, "Unihan_Variants.txt", ("kSimplifiedVariant",)):
        targets = [int(t[2:].split("<")[0], 16) for t in value.split()]
        if cp not in targets and cp not in forms:
            add(cp, targets[:1])
    with open(variants_path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#")[0].split()
            if line:
                add(ord(line[0]), [ord(line[1])])
    return forms


def gbk(cp):
    try:
        b = chr(cp).encode("gbk")
    except UnicodeEncodeError:
        return None
    return b[0] << 8 | b[1] if len(b) == 2 else None


def main():
    folder, places, variants, tool, opencc_dir, output = sys.argv[1:7]
    byfield = {}
    for cp, field, value in fields(folder, "Unihan_Readings.txt", FIELDS):
        byfield.setdefault(cp, {})[field] = value
    readings = {cp: used_readings(f) for cp, f in byfield.items()}
    tones = {cp: tones_of(f) for cp, f in byfield.items()}
    words = []
    for word, syllables in place_words(places):
        if len(word) == 1:
            readings.setdefault(ord(word), [])
            readings[ord(word)] += [s for s in syllables if s not in readings[ord(word)]]
        else:
            words.append((word, syllables))
    # The initials letter of a word's reading, for each of its characters.
    letters = {}
    for word, syllables in words:
        for ch, s in zip(word, syllables):
            letters.setdefault(gbk(ord(ch)), set()).add(s[0])
    forms = simplified_forms(folder, variants, tool, opencc_dir)

    syllables = []
    ids = {}
    starts = [0] * (0x7F00 + 1)
    pool = []
    pool_tones = []  # 1 to 5, 0 where no field gives the tone (a place word's reading)
    pairs = []
    for code in range(0x8100, 0xFF00):
        starts[code - 0x8100] = len(pool)
        try:
            ch = bytes([code >> 8, code & 0xFF]).decode("gbk")
        except UnicodeDecodeError:
            continue
        if len(ch) != 1:
            continue
        for s in readings.get(ord(ch), []):
            if s not in ids:
                ids[s] = len(syllables)
                syllables.append(s)
            pool.append(ids[s])
            pool_tones.append(tones.get(ord(ch), {}).get(s, 0))
        # Candidates in GBK, the character itself among them where OpenCC
        # keeps it (徵 stays 徵 in some words); only codes with another form.
        targets = []
        for t in forms.get(ord(ch), []):
            g = gbk(t)
            if g is not None and g not in targets:
                targets.append(g)
        if any(t != code for t in targets):
            pairs += [(code, t) for t in targets]
    starts[0x7F00] = len(pool)

    def syllable_id(s):
        if s not in ids:
            ids[s] = len(syllables)
            syllables.append(s)
        return ids[s]

    word_text, word_starts, word_syllables = [], [0], []
    for word, syls in words:
        word_text.append(word.encode("gbk"))
        word_starts.append(word_starts[-1] + len(word_text[-1]))
        word_syllables += [syllable_id(s) for s in syls]
    extra_letters = sorted((code, "".join(sorted(ls))) for code, ls in letters.items())
    assert len(pool) < 65536 and len(syllables) < 65536

    def rows(values, per_line=24):
        values = list(values)
        return ",\n".join("    " + ", ".join(values[i:i + per_line]) for i in range(0, len(values), per_line))

    text_offsets = [0]
    for s in syllables:
        text_offsets.append(text_offsets[-1] + len(s))
    with open(output, "w", encoding="ascii") as f:
        f.write("// Generated by tools/pinyintable.py from the Unihan database and OpenCC; do not edit.\n")
        f.write('#include "lookup/PinyinData.h"\n\nnamespace qv::pinyin_data {\n\n')
        f.write("const int kSyllableCount = %d;\n" % len(syllables))
        f.write('const char kSyllableText[] = "%s";\n' % "".join(syllables))
        f.write("const uint16_t kSyllableStart[] = {\n%s};\n" % rows(str(o) for o in text_offsets))
        f.write("const uint16_t kReadingStart[] = {\n%s};\n" % rows(str(o) for o in starts))
        f.write("const uint16_t kReadings[] = {\n%s};\n" % rows(str(r) for r in pool or [0]))
        f.write("const uint8_t kReadingTones[] = {\n%s};\n" % rows((str(t) for t in pool_tones or [0]), 40))
        f.write("const int kWordCount = %d;\n" % len(words))
        f.write("const char kWordText[] = \"%s\";\n" % "".join("\\x%02X" % b for w in word_text for b in w))
        f.write("const uint16_t kWordStart[] = {\n%s};\n" % rows(str(o) for o in word_starts))
        f.write("const uint16_t kWordSyllables[] = {\n%s};\n" % rows(str(i) for i in word_syllables or [0]))
        f.write("const int kWordLetterCount = %d;\n" % len(extra_letters))
        f.write("const uint16_t kWordLetterCode[] = {\n%s};\n" %
                rows("0x%04X" % c for c, _ in extra_letters or [(0, "")]))
        f.write("const char* const kWordLetters[] = {\n%s};\n" %
                rows('"%s"' % ls for _, ls in extra_letters or [(0, "")]))
        f.write("const int kSimplifiedCount = %d;\n" % len(pairs))
        f.write("const uint16_t kSimplified[][2] = {\n%s};\n" %
                rows(("{0x%04X, 0x%04X}" % p for p in pairs or [(0, 0)]), 8))
        f.write("\n}  // namespace qv::pinyin_data\n")


if __name__ == "__main__":
    main()
