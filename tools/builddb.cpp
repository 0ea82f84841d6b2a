// qv-builddb: builds the bundled database "kvrn.dat" from the data files.
//
//   qv-builddb [--readings] <datadir> <out kvrn.dat>
//
// Reads <datadir>/places.csv, abroad.csv and initials-overrides.txt and writes
// the database through the program's own writer, so the bundled file is
// exactly what the program itself would save. The same input always gives the
// same bytes: nothing depends on the clock, the locale or hash order.
//
// Tree: one root per province-level division in code order, holding its
// prefecture-level cities as entries and one subdirectory per city that has
// county-level places. Municipalities and SARs hold their own name (with the
// city's codes) and their districts directly; county-level places under a
// province directly are entries of the province. Then a root "国外" with one
// subdirectory per continent. Directory ids run from 1 in tree order.
//
// --readings lists every learned initial with ICU's reading, for checking
// them by hand.
#include "entries/EntryEditing.h"
#include "lookup/Pinyin.h"
#include "store/Database.h"
#include "store/GbkText.h"

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <QString>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct BuildError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Official names longer than the 25-byte name field, with their official
// short forms. A name is never cut: a long name missing here stops the build.
const std::map<std::string, std::string> kShortNames = {
    {"双江拉祜族佤族布朗族傣族自治县", "双江县"},
    {"积石山保安族东乡族撒拉族自治县", "积石山县"},
    {"镇沅彝族哈尼族拉祜族自治县", "镇沅县"},
};

// Labels that stand in the city column for county-level places governed by
// the province itself; they are not places.
const std::set<std::string> kDirectLabels = {"省直辖县级行政区划", "自治区直辖县级行政区划"};

const char* const kAbroadRoot = "国外";

// Long names that met their short form, so that a stale table entry is noticed.
std::set<std::string> g_shortened;

// ---- reading the data files ----

std::vector<std::string> readLines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw BuildError("cannot read " + path);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    if (!lines.empty() && lines[0].compare(0, 3, "\xEF\xBB\xBF") == 0)
        lines[0].erase(0, 3);
    return lines;
}

// The data files hold no quoted fields; a quote would mean the format changed
// under us, so it is refused rather than misread.
std::vector<std::string> splitCsv(const std::string& line, size_t fields, const std::string& where)
{
    if (line.find('"') != std::string::npos)
        throw BuildError(where + ": quoted fields are not expected: " + line);
    std::vector<std::string> out;
    std::string::size_type start = 0;
    for (;;) {
        auto comma = line.find(',', start);
        out.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (out.size() != fields)
        throw BuildError(where + ": expected " + std::to_string(fields) + " fields: " + line);
    return out;
}

// GBK form of a text for a field of `capacity` bytes. Names get their short
// form first; nothing is ever cut.
std::string toField(const std::string& utf8, int capacity, const std::string& where, bool isName)
{
    std::string text = utf8;
    if (isName) {
        auto it = kShortNames.find(utf8);
        if (it != kShortNames.end()) {
            text = it->second;
            g_shortened.insert(utf8);
        }
    }
    std::optional<std::string> gbk = qv::gbk::fromUtf8(text);
    if (!gbk) {
        const QString bad = qv::gbk::firstUnencodable(QString::fromUtf8(text.data(), qsizetype(text.size())));
        throw BuildError(where + ": \"" + text + "\" has no GBK form (character \"" + bad.toStdString() + "\")");
    }
    if (gbk->size() > size_t(capacity))
        throw BuildError(where + ": \"" + text + "\" is " + std::to_string(gbk->size()) + " GBK bytes, the field holds " +
                         std::to_string(capacity) + (isName ? "; add its official short form to kShortNames" : ""));
    return *gbk;
}

struct Place {
    std::string name, area, post;  // GBK
};

// One entry of a root directory; a prefecture-level city also gets a
// subdirectory for its counties.
struct Item {
    Place place;
    bool isCity = false;
    std::vector<Place> counties;
};

struct Province {
    std::string name;
    std::vector<Item> items;
};

struct Region {
    std::string name;
    std::vector<Place> places;
};

std::vector<Province> readPlaces(const std::string& path)
{
    const std::vector<std::string> lines = readLines(path);
    if (lines.empty() || lines[0] != "province,city,district,area_code,postcode")
        throw BuildError(path + ": unexpected header");
    std::vector<Province> provinces;
    std::string provinceUtf8;
    bool municipality = false;
    for (size_t n = 1; n < lines.size(); ++n) {
        if (lines[n].empty())
            continue;
        const std::string where = path + ":" + std::to_string(n + 1);
        const auto f = splitCsv(lines[n], 5, where);
        const std::string &prov = f[0], &city = f[1], &district = f[2];
        auto place = [&](const std::string& name) {
            return Place{toField(name, qv::kNameCapacity, where, true), toField(f[3], qv::kAreaCodeCapacity, where, false),
                         toField(f[4], qv::kPostcodeCapacity, where, false)};
        };
        if (city.empty()) {
            if (!district.empty())
                throw BuildError(where + ": a district without a city");
            // A province has no codes of its own; a municipality's codes come
            // with its repeated city row.
            provinces.push_back({toField(prov, qv::kNameCapacity, where, true), {}});
            provinceUtf8 = prov;
            municipality = false;
            continue;
        }
        if (provinces.empty() || prov != provinceUtf8)
            throw BuildError(where + ": row outside its province's block");
        Province& p = provinces.back();
        if (district.empty()) {
            if (kDirectLabels.count(city))
                continue;
            if (city == prov) {
                // The repeated city row of a municipality or SAR: its root
                // lists the city itself first, then the districts.
                municipality = true;
                p.items.push_back({place(city), false, {}});
            } else {
                p.items.push_back({place(city), true, {}});
            }
            continue;
        }
        if (kDirectLabels.count(city) || (municipality && city == prov)) {
            p.items.push_back({place(district), false, {}});
            continue;
        }
        const std::string cityGbk = toField(city, qv::kNameCapacity, where, true);
        if (p.items.empty() || !p.items.back().isCity || p.items.back().place.name != cityGbk)
            throw BuildError(where + ": county row not under its city's row");
        p.items.back().counties.push_back(place(district));
    }
    return provinces;
}

std::vector<Region> readAbroad(const std::string& path)
{
    const std::vector<std::string> lines = readLines(path);
    if (lines.empty() || lines[0] != "region,name,area_code,time_difference")
        throw BuildError(path + ": unexpected header");
    std::vector<Region> regions;
    for (size_t n = 1; n < lines.size(); ++n) {
        if (lines[n].empty())
            continue;
        const std::string where = path + ":" + std::to_string(n + 1);
        const auto f = splitCsv(lines[n], 4, where);
        const std::string region = toField(f[0], qv::kNameCapacity, where, true);
        Region* r = nullptr;
        for (Region& each : regions)
            if (each.name == region)
                r = &each;
        if (!r)
            r = &regions.emplace_back(Region{region, {}});
        // The postcode field of a place abroad holds its time difference.
        r->places.push_back({toField(f[1], qv::kNameCapacity, where, true),
                             toField(f[2], qv::kAreaCodeCapacity, where, false),
                             toField(f[3], qv::kPostcodeCapacity, where, false)});
    }
    return regions;
}

// ---- pinyin initials ----

std::string gbkCharToUtf8(uint16_t code)
{
    const char bytes[2] = {char(code >> 8), char(code & 0xFF)};
    return qv::gbk::toQString(std::string_view(bytes, 2)).toStdString();
}

uint16_t utf8CharToGbk(const std::string& utf8, const std::string& where)
{
    std::optional<std::string> gbk = qv::gbk::fromUtf8(utf8);
    if (!gbk || gbk->size() != 2 || !qv::gbk::isLeadByte(uint8_t((*gbk)[0])))
        throw BuildError(where + ": \"" + utf8 + "\" is not one two-byte GBK character");
    return uint16_t(uint8_t((*gbk)[0]) << 8 | uint8_t((*gbk)[1]));
}

struct Override {
    char letter;
    std::string line;  // for messages
};

std::map<uint16_t, Override> readOverrides(const std::string& path)
{
    std::map<uint16_t, Override> out;
    const std::vector<std::string> lines = readLines(path);
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string where = path + ":" + std::to_string(n + 1);
        std::string text = lines[n].substr(0, lines[n].find('#'));
        std::istringstream words(text);
        std::string ch, letter, extra;
        if (!(words >> ch))
            continue;
        if (!(words >> letter) || (words >> extra) || letter.size() != 1 || letter[0] < 'A' || letter[0] > 'Z')
            throw BuildError(where + ": expected a character and one letter A-Z: " + lines[n]);
        const uint16_t code = utf8CharToGbk(ch, where);
        if (!out.emplace(code, Override{letter[0], where}).second)
            throw BuildError(where + ": \"" + ch + "\" is listed twice");
    }
    return out;
}

class PinyinReader {
public:
    PinyinReader()
    {
        UErrorCode status = U_ZERO_ERROR;
        m_han.reset(icu::Transliterator::createInstance("Han-Latin", UTRANS_FORWARD, status));
        if (U_SUCCESS(status))
            m_ascii.reset(icu::Transliterator::createInstance("Latin-ASCII", UTRANS_FORWARD, status));
        if (U_FAILURE(status) || !m_han || !m_ascii)
            throw BuildError(std::string("ICU transliterators unavailable: ") + u_errorName(status));
    }

    // ICU's reading of one character, with tone marks; empty when ICU has
    // none (the character comes back unchanged).
    std::string reading(const std::string& utf8) const
    {
        icu::UnicodeString s = icu::UnicodeString::fromUTF8(utf8);
        const icu::UnicodeString original = s;
        m_han->transliterate(s);
        if (s == original)
            return {};
        std::string out;
        s.trim().toUTF8String(out);
        return out;
    }

    // Upper-case initial of a reading, or 0.
    char initial(const std::string& reading) const
    {
        icu::UnicodeString s = icu::UnicodeString::fromUTF8(reading);
        m_ascii->transliterate(s);
        if (s.isEmpty())
            return 0;
        const UChar c = s.charAt(0);
        if (c >= 'a' && c <= 'z')
            return char(c - 'a' + 'A');
        if (c >= 'A' && c <= 'Z')
            return char(c);
        return 0;
    }

private:
    std::unique_ptr<icu::Transliterator> m_han;
    std::unique_ptr<icu::Transliterator> m_ascii;
};

// Calls f(code) for every two-byte character of a GBK name.
template <class F> void forEachTwoByte(const std::string& name, F&& f)
{
    for (size_t i = 0; i < name.size();) {
        const auto b = uint8_t(name[i]);
        if (qv::gbk::isLeadByte(b) && i + 1 < name.size()) {
            f(uint16_t(b << 8 | uint8_t(name[i + 1])));
            i += 2;
        } else {
            ++i;
        }
    }
}

// Learns every character of the bundled names that the fixed ranges do not
// identify, so that a search by initials finds every bundled place. Records
// go in code order.
void learnBundledInitials(qv::Database& db, const std::vector<std::string>& names,
                          const std::map<uint16_t, Override>& overrides, bool listReadings)
{
    std::map<uint16_t, std::string> unknown;  // code -> first name using it
    std::set<uint16_t> used;
    for (const std::string& name : names)
        forEachTwoByte(name, [&](uint16_t code) {
            used.insert(code);
            if (!qv::rangeInitial(code))
                unknown.emplace(code, name);
        });

    for (const auto& [code, ov] : overrides) {
        const std::string ch = gbkCharToUtf8(code);
        if (!used.count(code))
            throw BuildError(ov.line + ": \"" + ch + "\" occurs in no bundled name");
        if (qv::rangeInitial(code))
            throw BuildError(ov.line + ": \"" + ch + "\" lies in the fixed ranges (letter " +
                             std::string(1, qv::rangeInitial(code)) + "), which always win");
    }

    const PinyinReader pinyin;
    for (const auto& [code, example] : unknown) {
        const std::string ch = gbkCharToUtf8(code);
        const std::string reading = pinyin.reading(ch);
        auto ov = overrides.find(code);
        const char letter = ov != overrides.end() ? ov->second.letter : pinyin.initial(reading);
        if (!letter)
            throw BuildError("no initial for \"" + ch + "\" (in " + qv::gbk::toQString(example).toStdString() +
                             "): ICU has no reading; add it to initials-overrides.txt");
        db.learned.push_back(qv::LearnedInitial::make(uint8_t(code >> 8), uint8_t(code & 0xFF), letter));
        if (listReadings) {
            std::printf("%s %04X %-8s %c%s  %s\n", ch.c_str(), code, reading.empty() ? "-" : reading.c_str(), letter,
                        ov != overrides.end() ? " (override)" : "", qv::gbk::toQString(example).toStdString().c_str());
        }
    }
}

// ---- assembling the database ----

qv::DirectoryNode* addDirectory(qv::Database& db, qv::DirectoryNode* parent, const std::string& caption)
{
    qv::DirectoryNode* node = db.tree.insertNew(parent, -1, caption);
    if (!node)
        throw BuildError("out of directory ids");
    return node;
}

void addEntry(qv::Database& db, const qv::DirectoryNode* dir, const Place& p, std::vector<std::string>& names)
{
    if (qv::appendEntry(db, dir->id, qv::EntryText{p.name, p.area, p.post}) < 0)
        throw BuildError("the image cannot grow any further");
    names.push_back(p.name);
}

int build(const std::string& dataDir, const std::string& outPath, bool listReadings)
{
    const std::vector<Province> provinces = readPlaces(dataDir + "/places.csv");
    const std::vector<Region> regions = readAbroad(dataDir + "/abroad.csv");
    const std::map<uint16_t, Override> overrides = readOverrides(dataDir + "/initials-overrides.txt");
    for (const auto& [longName, shortName] : kShortNames)
        if (!g_shortened.count(longName))
            throw BuildError("kShortNames lists \"" + longName + "\" (" + shortName + "), which is in no data file");

    qv::Database db;
    std::vector<std::string> names;  // every stored name, for the initials
    for (const Province& p : provinces) {
        qv::DirectoryNode* root = addDirectory(db, db.tree.root(), p.name);
        names.push_back(p.name);
        for (const Item& item : p.items) {
            addEntry(db, root, item.place, names);
            if (!item.isCity || item.counties.empty())
                continue;
            qv::DirectoryNode* sub = addDirectory(db, root, item.place.name);
            for (const Place& county : item.counties)
                addEntry(db, sub, county, names);
        }
    }
    qv::DirectoryNode* abroad = addDirectory(db, db.tree.root(), toField(kAbroadRoot, qv::kNameCapacity, "abroad root", true));
    names.push_back(abroad->caption);
    for (const Region& r : regions) {
        qv::DirectoryNode* sub = addDirectory(db, abroad, r.name);
        names.push_back(r.name);
        for (const Place& place : r.places)
            addEntry(db, sub, place, names);
    }

    // Ids were handed out while the tree grew depth-first, so they run from 1
    // in tree order; checked, since the format's readers rely on nothing else.
    int32_t expected = 0;
    db.tree.forEach([&](const qv::DirectoryNode* node, int) {
        if (node->id != ++expected)
            throw BuildError("directory ids are not consecutive in tree order");
    });
    if (db.tree.NextDirectoryId() != expected)
        throw BuildError("NextDirectoryId is not the last id");

    learnBundledInitials(db, names, overrides, listReadings);
    for (const std::string& name : names)
        if (qv::NameInitials(name, db.learned).find(qv::kNoInitial) != std::string::npos)
            throw BuildError("\"" + qv::gbk::toQString(name).toStdString() + "\" still has an unknown initial");

    db.setPath(QString::fromLocal8Bit(outPath.c_str()));
    const qv::SaveReport report = db.save();
    if (!report.ok)
        throw BuildError(report.message.toStdString());
    std::printf("qv-builddb: %s: %d directories, %lld entries, %zu learned initials, %lld image bytes\n", outPath.c_str(),
                db.tree.count(), static_cast<long long>(db.image.entryCount()), db.learned.size(),
                static_cast<long long>(db.image.size()));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    bool listReadings = false;
    if (!args.empty() && args[0] == "--readings") {
        listReadings = true;
        args.erase(args.begin());
    }
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: qv-builddb [--readings] <datadir> <out kvrn.dat>\n");
        return 2;
    }
    try {
        return build(args[0], args[1], listReadings);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qv-builddb: %s\n", e.what());
        return 1;
    }
}
