#!/usr/bin/env python3
"""Measures the search by pinyin and by traditional characters on the bundled
database, through qarvenda-cli (fuzzy, all four fields, as the window
searches by default).

    readingstats.py [--check] BUILD_DIR UNIHAN_DIR PLACE_READINGS

BUILD_DIR holds qarvenda-cli and kvrn.dat. Prints:

  * unrelated rows while typing: for every place, each prefix of its usual
    pinyin from two letters on is searched; a row is unrelated when the typed
    letters occur neither in its name's usual initials nor, from the start of
    a syllable, in its usual full pinyin. The usual readings of a character
    are kMandarin's and those of kHanyuPinlu with at least 10 % of its
    counted occurrences; within a word of PLACE_READINGS, the word's reading.
    The usual pinyin typed is kMandarin's reading, or the word's.
  * the rows that fu gives;
  * recall: the share of places found by their usual initials and by their
    usual full pinyin;
  * recall by traditional spelling: each name converted by OpenCC (opencc
    -c s2t.json, s2tw.json, s2hk.json), searched, and the place among the rows.

With --check the exit status is 1 when a figure misses its floor (unrelated
under 3 %, fu under 100 rows, every recall at least 99.9 %).
"""
import bz2
import csv
import os
import re
import subprocess
import sys
import unicodedata

RELATED_SHARE = 0.10


def syllable(reading):
    text = unicodedata.normalize("NFD", reading.lower()).replace("u\u0308", "v")
    return "".join(c for c in text if "a" <= c <= "z")


def usual_readings(unihan):
    path = os.path.join(unihan, "Unihan_Readings.txt")
    f = open(path, encoding="utf-8") if os.path.exists(path) else bz2.open(path + ".bz2", "rt", encoding="utf-8")
    first, usual = {}, {}
    for line in f:
        if not line.startswith("U+"):
            continue
        code, field, value = line.rstrip("\n").split("\t", 2)
        ch = chr(int(code[2:], 16))
        if field == "kMandarin":
            rs = [syllable(r) for r in value.split()]
            first[ch] = rs[0]
            usual.setdefault(ch, set()).update(rs)
        elif field == "kHanyuPinlu":
            counts = [(syllable(m.group(1)), int(m.group(2))) for m in re.finditer(r"(\S+?)\((\d+)\)", value)]
            total = sum(n for _, n in counts)
            usual.setdefault(ch, set()).update(r for r, n in counts if n >= RELATED_SHARE * total)
    return first, usual


def place_words(path):
    with open(path, encoding="utf-8", newline="") as f:
        return {row["word"]: row["pinyin"].split() for row in csv.DictReader(f)}


def name_readings(name, first, usual, words):
    """Per character: (syllable typed, set of usual syllables)."""
    typed = [first.get(c, c.lower() if c.isascii() and c.isalpha() else "") for c in name]
    sets = [set(usual.get(c, set())) | ({typed[i]} if typed[i] else set()) for i, c in enumerate(name)]
    for word, syls in words.items():
        at = name.find(word)
        while at >= 0:
            for k, s in enumerate(syls):
                typed[at + k] = s
                sets[at + k] = {s}
            at = name.find(word, at + 1)
    return typed, sets


def related(query, name, sets):
    if query in name:
        return True
    n = len(sets)
    inits = [{s[0] for s in st} | ({"v"} if c.isascii() else set()) for c, st in zip(name, sets)]
    for i in range(n - len(query) + 1):
        if all(query[k] in inits[i + k] for k in range(len(query))):
            return True

    def spell(i, pos):
        if pos == len(query):
            return True
        if i == n:
            return False
        rest = query[pos:]
        return any(rest.startswith(s) and spell(i + 1, pos + len(s)) or (s.startswith(rest) and s)
                   for s in sets[i])

    return any(spell(i, 0) for i in range(n))


def search(cli, db, queries):
    """query -> list of (owner, name) rows, all queries in one run."""
    out = subprocess.run([cli, "--db", db, "--format", "tsv", "find", "-"], input="\n".join(queries) + "\n",
                         capture_output=True, text=True, check=False).stdout
    rows = {q: [] for q in queries}
    for line in out.splitlines():
        parts = line.split("\t")
        if len(parts) >= 3 and parts[0] in rows:
            rows[parts[0]].append((parts[1], parts[2]))
    return rows


def main():
    args = [a for a in sys.argv[1:] if a != "--check"]
    check = "--check" in sys.argv[1:]
    build, unihan, readings_csv = args
    cli, db = os.path.join(build, "qarvenda-cli"), os.path.join(build, "kvrn.dat")
    places = [tuple(line.split("\t")[:2]) for line in subprocess.run(
        [cli, "--db", db, "--format", "tsv", "export", "--all"], capture_output=True, text=True,
        check=True).stdout.splitlines()]
    first, usual = usual_readings(unihan)
    words = place_words(readings_csv)
    info = {name: name_readings(name, first, usual, words) for _, name in places}

    typed = {name: "".join(info[name][0]) for _, name in places}
    initials = {name: "".join(s[0] for s in info[name][0] if s) for _, name in places}
    prefixes = {p for t in typed.values() for p in (t[:k] for k in range(2, len(t) + 1))}
    rows = search(cli, db, sorted(prefixes | set(initials.values()) | {"fu"}))

    unrelated_of = {}
    total = unrelated = 0
    for _, name in places:
        t = typed[name]
        for k in range(2, len(t) + 1):
            q = t[:k]
            if q not in unrelated_of:
                unrelated_of[q] = sum(
                    not related(q, n, (info.get(n) or name_readings(n, first, usual, words))[1]) for _, n in rows[q])
            total += len(rows[q])
            unrelated += unrelated_of[q]
    share = unrelated / max(total, 1)
    fu = len(rows["fu"])
    by_initials = sum((owner, name) in rows[initials[name]] for owner, name in places) / len(places)
    by_pinyin = sum((owner, name) in rows[typed[name]] for owner, name in places) / len(places)
    print("unrelated rows while typing: %d of %d (%.2f %%)" % (unrelated, total, 100 * share))
    print("rows for fu: %d" % fu)
    print("recall by initials: %.2f %%, by full pinyin: %.2f %%" % (100 * by_initials, 100 * by_pinyin))
    ok = share < 0.03 and fu < 100 and by_initials >= 0.999 and by_pinyin >= 0.999

    names = [name for _, name in places]
    for config in ("s2t", "s2tw", "s2hk"):
        converted = subprocess.run(["opencc", "-c", config + ".json"], input="\n".join(names) + "\n",
                                   capture_output=True, text=True, check=True).stdout.splitlines()
        trad = dict(zip(names, converted))
        found = search(cli, db, sorted(set(converted)))
        missed = [trad[n] for n in names if n not in {m for _, m in found[trad[n]]}]
        hits = len(names) - len(missed)
        changed = sum(trad[n] != n for n in names)
        print("by traditional spelling (%s): %.2f %% of %d places (%d spelled otherwise)%s" %
              (config, 100 * hits / len(names), len(names), changed,
               "; missed: " + " ".join(missed[:20]) if missed else ""))
        ok = ok and hits / len(names) >= 0.999
    if check and not ok:
        print("a figure misses its floor")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
