// Places as the user edits them: the add and edit dialogs, the pinyin
// question, deleting and moving rows, rows that follow their records through
// saves and compaction, compaction and recovery, and a full round trip
// checked against the bytes of the file.
#include "app/Tmainform.h"
#include "lookup/ui/SearchBar.h"
#include "entries/ui/EntryCommands.h"
#include "lookup/ui/EntryListView.h"
#include "tree/ui/DirectoryTreeView.h"
#include "entries/ui/EntryDialog.h"
#include "lookup/Pinyin.h"
#include "lookup/ui/EntryListModel.h"
#include "lookup/ui/EntryListView.h"
#include "lookup/ui/Tfrminputpy.h"
#include "store/GbkText.h"
#include "tree/ui/DirectoryTreeModel.h"
#include "tree/ui/DirectoryTreeView.h"
#include "TestImages.h"
#include "UiHelpers.h"

#include <QToolButton>
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <zlib.h>

#include <cstring>

using namespace qv;
using qvtest::clickNode;
using qvtest::findNode;
using qvtest::ImageBuilder;
using qvtest::ModalScript;
using qvtest::TempDatabase;
using qvtest::typeText;

namespace {

using Raw = std::vector<uint8_t>;

std::string g(const char* utf8) { return qvtest::gbk(utf8); }

// 广东省 (1) with 深圳市 (2) and 广州市 (3); 北京市 (4); 上海市 (5).
// The builder fills reserved bytes and text tails with junk (0xEE) that
// edits must leave alone.
std::vector<uint8_t> sampleImage()
{
    ImageBuilder b;
    b.dir(g("广东省"), 0, 1).dir(g("深圳市"), 1, 2).dir(g("广州市"), 1, 3);
    b.dir(g("北京市"), 0, 4).dir(g("上海市"), 0, 5).end(5).learnedCount(0);
    b.entry(g("福田区"), 2, "518048", "0755");
    b.entry(g("南山区"), 2, "518052", "0752");
    b.entry(g("宝安区"), 2, "518101", "0760");
    b.entry(g("天河区"), 3, "510630", "020");
    b.entry(g("越秀区"), 3, "510030", "021");
    b.entry(g("东城区"), 4, "100010", "010");
    b.entry(g("西城区"), 4, "100032", "011");
    return b.bytes;
}

// ---- the database file, read the way another program would: zlib and the record layouts

int32_t le32(const uint8_t* p) { return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24); }
std::string text(const uint8_t* p, int capacity) { return std::string(reinterpret_cast<const char*>(p + 1), std::min<int>(p[0], capacity)); }

struct FileDir {
    std::string name;
    int32_t level, id;
};
struct FileEntry {
    std::string name;
    int32_t owner;
    std::string post, area;
    bool operator==(const FileEntry& o) const { return name == o.name && owner == o.owner && post == o.post && area == o.area; }
};
struct DecodedFile {
    bool ok = false;
    Raw image;
    std::vector<FileDir> dirs;
    int32_t nextId = 0;
    std::vector<Raw> learned;
    int32_t entryStart = 0;
    std::vector<FileEntry> entries;
    std::vector<Raw> entryBytes;
};

DecodedFile decodeFile(const QString& path)
{
    DecodedFile d;
    const QByteArray file = qvtest::readFile(path);
    if (file.size() < 4)
        return d;
    const auto* bytes = reinterpret_cast<const uint8_t*>(file.constData());
    d.image.resize(size_t(le32(bytes)));
    uLongf produced = uLongf(d.image.size());
    if (uncompress(d.image.data(), &produced, bytes + 4, uLong(file.size() - 4)) != Z_OK ||
        produced != d.image.size())
        return d;
    size_t at = 0;
    for (;;) {
        if (at + 36 > d.image.size())
            return d;
        const uint8_t* r = d.image.data() + at;
        at += 36;
        if (le32(r + 28) < 0) {
            d.nextId = le32(r + 32);
            break;
        }
        d.dirs.push_back({text(r, 25), le32(r + 28), le32(r + 32)});
    }
    const int32_t learned = le32(d.image.data() + at);
    at += 4;
    for (int i = 0; i < learned; ++i, at += 5)
        d.learned.push_back(Raw(d.image.begin() + long(at), d.image.begin() + long(at) + 5));
    d.entryStart = int32_t(at);
    if ((d.image.size() - at) % 48)
        return d;
    for (; at < d.image.size(); at += 48) {
        const uint8_t* r = d.image.data() + at;
        d.entries.push_back({text(r, 25), le32(r + 28), text(r + 32, 8), text(r + 41, 5)});
        d.entryBytes.push_back(Raw(r, r + 48));
    }
    d.ok = true;
    return d;
}

// ---- the window

QPoint rowPoint(Tmainform& w, int row) { return w.listView()->visualRect(w.listModel()->index(row, 1)).center(); }

// A double-click as the mouse delivers it: press, release, double-click, release.
void doubleClick(QWidget* w, QPoint p)
{
    QTest::mousePress(w, Qt::LeftButton, {}, p);
    QTest::mouseRelease(w, Qt::LeftButton, {}, p);
    QTest::mouseDClick(w, Qt::LeftButton, {}, p);
    QTest::mouseRelease(w, Qt::LeftButton, {}, p);
}

// Ends the tree's in-place edit with Enter, if one is open.
void finishEditing(Tmainform& w)
{
    if (QLineEdit* e = qvtest::treeEditor(w))
        QTest::keyClick(e, Qt::Key_Return);
    QCoreApplication::processEvents();
}

// Selects rows as the user does: a click on the first, Ctrl+click on the others.
void selectRows(Tmainform& w, std::initializer_list<int> rows)
{
    bool first = true;
    for (int r : rows) {
        QTest::mouseClick(w.listView()->viewport(), Qt::LeftButton, first ? Qt::NoModifier : Qt::ControlModifier,
                          rowPoint(w, r));
        first = false;
    }
}

int rowNamed(Tmainform& w, const char* utf8)
{
    const std::string name = g(utf8);
    for (int r = 0; r < w.listModel()->count(); ++r)
        if (w.listModel()->row(r).nameText() == name)
            return r;
    return -1;
}

QStringList names(Tmainform& w) { return qvtest::listedColumn(w, 1); }

Raw recordAt(Tmainform& w, int32_t pos)
{
    const uint8_t* p = w.database().image.entryAt(pos);
    return Raw(p, p + 48);
}

Raw entrySection(Tmainform& w)
{
    const Raw& b = w.database().image.bytes();
    return Raw(b.begin() + w.database().image.entrySectionStart(), b.end());
}

// Position of the first record with this name, or -1.
int32_t positionOf(Tmainform& w, const char* utf8)
{
    const std::string name = g(utf8);
    int32_t found = -1;
    w.database().image.forEachEntry([&](int32_t pos, const uint8_t* rec) {
        if (found < 0 && readField(rec, kNameCapacity) == name)
            found = pos;
    });
    return found;
}

// A record as a writer leaves it: the given fields over the old bytes.
Raw rewritten(Raw r, const std::string& name, int32_t owner, const std::string& post, const std::string& area)
{
    r[0] = uint8_t(name.size());
    std::memcpy(r.data() + 1, name.data(), name.size());
    for (int i = 0; i < 4; ++i)
        r[size_t(28 + i)] = uint8_t(uint32_t(owner) >> (8 * i));
    r[32] = uint8_t(post.size());
    std::memcpy(r.data() + 33, post.data(), post.size());
    r[41] = uint8_t(area.size());
    std::memcpy(r.data() + 42, area.data(), area.size());
    return r;
}

EntryDialog* dialog(QWidget* modal) { return qobject_cast<EntryDialog*>(modal); }

// Types the three texts into an entry dialog as the user does, field by field.
void fill(QWidget* modal, const QString& name, const QString& post, const QString& area)
{
    EntryDialog* d = dialog(modal);
    if (!d)
        return;
    for (auto [field, value] : {std::pair{d->Edtmc, name}, std::pair{d->Edtyb, post}, std::pair{d->Edtqh, area}}) {
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Delete);
        typeText(field, value);
    }
}

struct Fields {
    QString name, post, area;
    bool visible = false;
    bool operator==(const Fields& o) const { return name == o.name && post == o.post && area == o.area && visible == o.visible; }
};
Fields fieldsOf(QWidget* modal)
{
    EntryDialog* d = dialog(modal);
    return d ? Fields{d->Edtmc->text(), d->Edtyb->text(), d->Edtqh->text(), d->isVisible()} : Fields{};
}
char* toString(const Fields& f)
{
    return QTest::toString(QStringLiteral("%1|%2|%3|%4").arg(f.name, f.post, f.area).arg(f.visible));
}

}  // namespace

class EntryEditingTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDatabase> m_db;

    std::unique_ptr<Tmainform> open(const std::vector<uint8_t>& image = sampleImage())
    {
        return qvtest::openOnImage(m_db, image);
    }

private slots:
    void commandsNeedADirectoryOrARow()
    {
        auto w = open();
        QVERIFY(w);
        const Raw before = entrySection(*w);
        ModalScript script;
        script.click(QStringLiteral("取消"));
        // No directory selected: no dialog from any of the three menu items.
        QVERIFY(!w->treeView()->currentNode());
        for (const char* item : {"N1", "NewInf", "mnuAddInf"})
            qvtest::action(*w, QString::fromLatin1(item))->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(script.pending(), 1);

        // A listed directory, no row selected. Any window that came up now
        // would take the pending answer.
        clickNode(*w, findNode(*w, "深圳市"));
        QCOMPARE(w->listModel()->rowCount(), 3);
        QVERIFY(w->listView()->selectedRowsInOrder().empty());
        qvtest::action(*w, QStringLiteral("mmeditinf"))->trigger();
        qvtest::action(*w, QStringLiteral("EditInf"))->trigger();
        qvtest::action(*w, QStringLiteral("mmdelinf"))->trigger();
        qvtest::action(*w, QStringLiteral("DelInf"))->trigger();
        QTest::keyClick(w->listView(), Qt::Key_Delete);
        const int belowRows = w->listView()->visualRect(w->listModel()->index(2, 1)).bottom() + 20;
        QVERIFY(belowRows < w->listView()->viewport()->height());
        doubleClick(w->listView()->viewport(), QPoint(20, belowRows));
        QCoreApplication::processEvents();
        QCOMPARE(script.pending(), 1);
        QCOMPARE(w->listModel()->rowCount(), 3);
        QCOMPARE(entrySection(*w), before);
        QVERIFY(!w->database().ModifiedFlag);
    }

    void theAddDialogTakesPlaceAfterPlace()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        const int64_t end = w->database().image.size();
        const QStringList newNames{"罗湖区", "盐田区", "龙华区"};
        std::vector<Fields> afterOk;
        std::vector<int> rowsAfterOk;
        ModalScript script;
        for (int i = 0; i < 3; ++i) {
            script.then([&, i](QWidget* m) {
                fill(m, newNames[i], QStringLiteral("51800%1").arg(i), QStringLiteral("075%1").arg(i));
                qvtest::clickButton(m, QStringLiteral("确定"));
                afterOk.push_back(fieldsOf(m));
                rowsAfterOk.push_back(w->listModel()->rowCount());
            });
        }
        script.then([](QWidget* m) {
            fill(m, QStringLiteral("未完"), QStringLiteral("1"), QString());
            qvtest::clickButton(m, QStringLiteral("取消"));
        });
        qvtest::action(*w, "N1")->trigger();
        QVERIFY(script.finished());
        QVERIFY(!w->entryCommands()->addDialog()->isVisible());
        // The fields are emptied each time and the dialog stays for the next place.
        QCOMPARE(afterOk, std::vector<Fields>(3, Fields{QString(), QString(), QString(), true}));
        QCOMPARE(rowsAfterOk, std::vector<int>({4, 5, 6}));
        // Three records appended one after another.
        QCOMPARE(w->database().image.size(), end + 3 * 48);
        for (int i = 0; i < 3; ++i) {
            const int32_t pos = int32_t(end + 48 * i);
            const EntryRecord r = w->database().image.readEntry(pos);
            QCOMPARE(gbk::toQString(r.name), newNames[i]);
            QCOMPARE(r.owner, 2);
            QCOMPARE(QString::fromLatin1(r.postcode.c_str()), QStringLiteral("51800%1").arg(i));
            QCOMPARE(QString::fromLatin1(r.areaCode.c_str()), QStringLiteral("075%1").arg(i));
            const int row = rowNamed(*w, qPrintable(newNames[i]));
            QVERIFY(row >= 0);
            QCOMPARE(w->listModel()->row(row).position, pos);
            QCOMPARE(w->listModel()->index(row, 0).data().toString(), QStringLiteral("深圳市"));
        }
        QVERIFY(w->database().ModifiedFlag);
        QCOMPARE(w->countText(), QStringLiteral("共6个"));  // the count follows the rows it stands beside

        // What was typed and abandoned is there the next time.
        Fields again;
        script.then([&](QWidget* m) {
            again = fieldsOf(m);
            qvtest::clickButton(m, QStringLiteral("取消"));
        });
        qvtest::action(*w, QStringLiteral("NewInf"))->trigger();
        QVERIFY(script.finished());
        QCOMPARE(again, (Fields{QStringLiteral("未完"), QStringLiteral("1"), QString(), true}));
        QCOMPARE(w->listModel()->rowCount(), 6);
    }

    void confirmingThreeEmptyFieldsStoresNothingAndSaysWhy()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "北京市"));
        const int64_t size = w->database().image.size();
        const int rows = w->listModel()->rowCount();
        for (const char* dialog : {"N1", "mmeditinf"}) {
            if (QByteArray(dialog) == "mmeditinf") {
                // A place whose three fields are empty, edited and confirmed unchanged.
                w->entryCommands()->AppendInf(findNode(*w, "北京市"), EntryText{});
                w->database().ModifiedFlag = false;
                w->listView()->selectRow(rowNamed(*w, ""));
            }
            const Raw before = entrySection(*w);
            ModalScript script;
            script.then([](QWidget* m) {
                fill(m, QString(), QString(), QString());
                qvtest::clickButton(m, QStringLiteral("确定"));
            });
            script.click(QStringLiteral("确定"));
            script.click(QStringLiteral("取消"));
            qvtest::action(*w, dialog)->trigger();
            QVERIFY(script.finished());
            QVERIFY(script.texts.value(0).contains(QStringLiteral("都是空的")));
            QCOMPARE(script.titles.value(0), QStringLiteral("Qarvenda"));
            QCOMPARE(entrySection(*w), before);
            QVERIFY(!w->database().ModifiedFlag);
        }
        QCOMPARE(w->database().image.size(), size + 48);  // only the place added directly
        QCOMPARE(w->listModel()->rowCount(), rows + 1);
    }

    void anUnknownCharacterIsAskedAboutBeforeTheRowAppears()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "上海市"));
        const int64_t sizeBefore = w->database().image.size();
        struct Seen {
            QString title, asked, shownAfterTyping;
            int rows = -1;
            int64_t imageSize = -1;
            bool openAfterEmptyOk = false;
        } seen;
        ModalScript script;
        script.then([](QWidget* m) {
            fill(m, QStringLiteral("亍村"), QStringLiteral("200000"), QStringLiteral("021"));
            qvtest::clickButton(m, QStringLiteral("确定"));
        });
        script.then([&](QWidget* m) {
            auto* py = qobject_cast<Tfrminputpy*>(m);
            if (!py) {
                m->close();
                return;
            }
            seen.title = py->windowTitle();
            seen.asked = py->Label2->text();
            seen.rows = w->listModel()->rowCount();
            seen.imageSize = w->database().image.size();
            // An empty answer is not taken (the field starts with the known reading's C).
            py->Edit1->clear();
            qvtest::clickButton(py, QStringLiteral("确定"));
            seen.openAfterEmptyOk = py->isVisible();
            typeText(py->Edit1, QStringLiteral("x"));
            seen.shownAfterTyping = py->Edit1->displayText();
            qvtest::clickButton(py, QStringLiteral("确定"));
        });
        script.click(QStringLiteral("取消"));
        qvtest::action(*w, "N1")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(seen.title, QStringLiteral("输入陌生字的拼音首字母"));
        QCOMPARE(seen.asked, QStringLiteral("亍"));
        QCOMPARE(seen.rows, 0);
        QCOMPARE(seen.imageSize, sizeBefore);
        QVERIFY(seen.openAfterEmptyOk);
        QCOMPARE(seen.shownAfterTyping, QStringLiteral("X"));
        QCOMPARE(names(*w), QStringList({"亍村"}));
        QCOMPARE(w->database().learned.size(), size_t(1));
        QCOMPARE(NameInitials(g("亍村"), w->database().learned), std::string("XC"));

        // The answer reaches the file with the next save.
        qvtest::action(*w, "mmsave")->trigger();
        const DecodedFile f = decodeFile(m_db->path());
        QVERIFY(f.ok);
        QCOMPARE(f.learned, std::vector<Raw>({Raw{2, 0xD8, 0xA1, 1, 'X'}}));
    }

    void aQuestionClosedWithoutOkIsAskedAgain()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "上海市"));
        QStringList asked;
        ModalScript script;
        auto note = [&](QWidget* m) {
            auto* py = qobject_cast<Tfrminputpy*>(m);
            asked << (py ? py->Label2->text() : m->windowTitle());
            return py;
        };
        auto reject = [&](QWidget* m) {
            note(m);
            QTest::keyClick(m, Qt::Key_Escape);
            if (m->isVisible())
                m->close();
        };
        auto answer = [&](QWidget* m) {
            if (Tfrminputpy* py = note(m))
                typeText(py->Edit1, QStringLiteral("c"));
            qvtest::clickButton(m, QStringLiteral("确定"));
        };
        auto add = [](const QString& name) {
            return [name](QWidget* m) {
                fill(m, name, QString(), QString());
                qvtest::clickButton(m, QStringLiteral("确定"));
            };
        };
        // Not answered the first time: the same character later in the name is asked again.
        script.then(add(QStringLiteral("亍亍"))).then(reject).then(answer);
        // Known now; the other unknown character is asked, and left unanswered.
        script.then(add(QStringLiteral("亍濮"))).then(reject);
        script.click(QStringLiteral("取消"));
        qvtest::action(*w, "N1")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(asked, QStringList({"亍", "亍", "濮"}));
        QCOMPARE(names(*w).size(), 2);
        QVERIFY(names(*w).contains(QStringLiteral("亍亍")));
        QVERIFY(names(*w).contains(QStringLiteral("亍濮")));
        QCOMPARE(w->database().learned.size(), size_t(1));
        QCOMPARE(CharInitial(0xD8, 0xA1, w->database().learned), std::string("C"));
        QCOMPARE(CharInitial(0xE5, 0xA7, w->database().learned), std::string(1, '\0'));
    }

    void fieldsRefuseWhatGbkCannotHoldOrWhatDoesNotFit()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "北京市"));
        struct Seen {
            QString nameAfterEmoji, refusalAfterEmoji, postAfterEmoji;
            QString nameAfter13, nameAfterLetter, nameAfterOneMore, refusalOverLength;
            QString postFull, areaFull;
        } seen;
        ModalScript script;
        script.then([&](QWidget* m) {
            EntryDialog* d = dialog(m);
            if (!d) {
                m->close();
                return;
            }
            typeText(d->Edtmc, QStringLiteral("朝阳\U0001F600"));
            seen.nameAfterEmoji = d->Edtmc->text();
            seen.refusalAfterEmoji = d->lastRefusal();
            typeText(d->Edtyb, QStringLiteral("1\U0001F6002"));
            seen.postAfterEmoji = d->Edtyb->text();
            typeText(d->Edtqh, QStringLiteral("010"));
            qvtest::clickButton(d, QStringLiteral("确定"));

            // 13 Chinese characters are 26 bytes: the 13th does not go in.
            typeText(d->Edtmc, QStringLiteral("一二三四五六七八九十百千万"));
            seen.nameAfter13 = d->Edtmc->text();
            typeText(d->Edtmc, QStringLiteral("a"));
            seen.nameAfterLetter = d->Edtmc->text();
            typeText(d->Edtmc, QStringLiteral("b"));
            seen.nameAfterOneMore = d->Edtmc->text();
            seen.refusalOverLength = d->lastRefusal();
            typeText(d->Edtyb, QStringLiteral("深圳南山1"));
            seen.postFull = d->Edtyb->text();
            typeText(d->Edtqh, QStringLiteral("区号12"));
            seen.areaFull = d->Edtqh->text();
            qvtest::clickButton(d, QStringLiteral("确定"));
            qvtest::clickButton(d, QStringLiteral("取消"));
        });
        qvtest::action(*w, "N1")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(seen.nameAfterEmoji, QStringLiteral("朝阳"));
        QVERIFY(seen.refusalAfterEmoji.contains(QStringLiteral("GBK")));
        QCOMPARE(seen.postAfterEmoji, QStringLiteral("12"));
        QCOMPARE(seen.nameAfter13, QStringLiteral("一二三四五六七八九十百千"));
        QCOMPARE(seen.nameAfterLetter, QStringLiteral("一二三四五六七八九十百千a"));
        QCOMPARE(seen.nameAfterOneMore, seen.nameAfterLetter);
        QVERIFY(seen.refusalOverLength.contains(QStringLiteral("25")));
        QCOMPARE(seen.postFull, QStringLiteral("深圳南山"));
        QCOMPARE(seen.areaFull, QStringLiteral("区号1"));

        const int32_t first = positionOf(*w, "朝阳");
        QVERIFY(first > 0);
        QCOMPARE(w->database().image.readEntry(first).postcode, std::string("12"));
        const EntryRecord full = w->database().image.readEntry(first + 48);
        QCOMPARE(full.name, g("一二三四五六七八九十百千a"));
        QCOMPARE(full.postcode, g("深圳南山"));
        QCOMPARE(full.areaCode, g("区号1"));
        // No text ever turned into '?'.
        w->database().image.forEachEntry([&](int32_t, const uint8_t* rec) {
            for (auto [at, cap] : {std::pair{0, 25}, std::pair{32, 8}, std::pair{41, 5}})
                QVERIFY(readField(rec + at, cap).find('?') == std::string_view::npos);
        });
    }

    void editingChangesOnlyTheTopmostSelectedRow()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        QCOMPARE(names(*w), QStringList({"南山区", "福田区", "宝安区"}));
        selectRows(*w, {2, 1});
        const int32_t futian = w->listModel()->row(1).position;
        const int32_t baoan = w->listModel()->row(2).position;
        const Raw futianBefore = recordAt(*w, futian);
        const Raw baoanBefore = recordAt(*w, baoan);
        Fields shown;
        QString title;
        ModalScript script;
        script.then([&](QWidget* m) {
            title = m->windowTitle();
            shown = fieldsOf(m);
            fill(m, QStringLiteral("福田新区"), QStringLiteral("518048"), QStringLiteral("0756"));
            qvtest::clickButton(m, QStringLiteral("确定"));
        });
        qvtest::action(*w, QStringLiteral("mmeditinf"))->trigger();
        QVERIFY(script.finished());
        QCOMPARE(title, QStringLiteral("修改信息"));
        QCOMPARE(shown, (Fields{QStringLiteral("福田区"), QStringLiteral("518048"), QStringLiteral("0755"), true}));
        // The row changed in place, not re-sorted; only its record changed, field by field.
        QCOMPARE(names(*w), QStringList({"南山区", "福田新区", "宝安区"}));
        QCOMPARE(w->listModel()->index(1, 2).data().toString(), QStringLiteral("0756"));
        QCOMPARE(w->listModel()->index(1, 0).data().toString(), QStringLiteral("深圳市"));
        QCOMPARE(recordAt(*w, futian), rewritten(futianBefore, g("福田新区"), 2, "518048", "0756"));
        QCOMPARE(recordAt(*w, baoan), baoanBefore);
        QVERIFY(w->database().ModifiedFlag);
        QVERIFY(w->findChildren<TFrmEditInf*>().isEmpty());
    }

    void anUnknownCharacterInAnEditIsAskedBeforeTheRecordIsWritten()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        const int32_t nanshan = w->listModel()->row(0).position;
        QString cellWhileAsked;
        std::string recordWhileAsked;
        ModalScript script;
        script.then([](QWidget* m) {
            fill(m, QStringLiteral("亍山"), QStringLiteral("518052"), QStringLiteral("0752"));
            qvtest::clickButton(m, QStringLiteral("确定"));
        });
        script.then([&](QWidget* m) {
            cellWhileAsked = w->listModel()->index(0, 1).data().toString();
            recordWhileAsked = w->database().image.readEntry(nanshan).name;
            if (auto* py = qobject_cast<Tfrminputpy*>(m))
                typeText(py->Edit1, QStringLiteral("c"));
            qvtest::clickButton(m, QStringLiteral("确定"));
        });
        // A double-click on the row edits it.
        doubleClick(w->listView()->viewport(), rowPoint(*w, 0));
        QVERIFY(script.finished());
        QCOMPARE(cellWhileAsked, QStringLiteral("亍山"));
        QCOMPARE(recordWhileAsked, g("南山区"));
        QCOMPARE(w->database().image.readEntry(nanshan).name, g("亍山"));
        QCOMPARE(w->database().learned.size(), size_t(1));
    }

    void confirmingAnEditWithoutChangeStillMarksTheDatabase()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "北京市"));
        qvtest::action(*w, "mmsave")->trigger();
        QVERIFY(!w->database().ModifiedFlag);
        selectRows(*w, {0});
        const Raw before = entrySection(*w);
        ModalScript script;
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmeditinf")->trigger();
        QVERIFY(script.finished());
        QVERIFY(w->database().ModifiedFlag);
        QCOMPARE(entrySection(*w), before);
        // 取消 changes nothing at all.
        qvtest::action(*w, "mmsave")->trigger();
        script.then([](QWidget* m) {
            fill(m, QStringLiteral("改了"), QString(), QString());
            qvtest::clickButton(m, QStringLiteral("取消"));
        });
        qvtest::action(*w, "mmeditinf")->trigger();
        QVERIFY(script.finished());
        QVERIFY(!w->database().ModifiedFlag);
        QCOMPARE(entrySection(*w), before);
    }

    void confirmingAnUnchangedEditKeepsBytesThatDoNotDecode()
    {
        // Texts a writer that knows nothing of characters can leave: a pair
        // that is no GBK character, and a name cut to 25 bytes inside its
        // 13th character. Neither shows exactly as stored.
        ImageBuilder b;
        b.bytes = sampleImage();
        b.entry(g("北") + "\x81\x20" + g("京"), 5, "200000", "021");
        b.entry(g("一二三四五六七八九十百千万").substr(0, 25), 5, "200001", "021");
        auto w = open(b.bytes);
        QVERIFY(w);
        clickNode(*w, findNode(*w, "上海市"));
        QCOMPARE(w->listModel()->rowCount(), 2);
        QCOMPARE(names(*w).value(0), QStringLiteral("北\uFFFD 京"));
        // The character cut in half at the end shows as a replacement character.
        QCOMPARE(names(*w).value(1), QStringLiteral("一二三四五六七八九十百千\uFFFD"));
        for (int row : {0, 1}) {
            selectRows(*w, {row});
            const int32_t pos = w->listModel()->row(row).position;
            const Raw before = recordAt(*w, pos);
            const std::string shown(w->listModel()->row(row).nameText());
            ModalScript script;
            script.click(QStringLiteral("确定"));
            // The pair read as one unknown character is asked about; left unanswered.
            if (row == 0)
                script.then([](QWidget* m) { QTest::keyClick(m, Qt::Key_Escape); });
            qvtest::action(*w, "mmeditinf")->trigger();
            QVERIFY(script.finished());
            QCOMPARE(recordAt(*w, pos), before);
            QCOMPARE(std::string(w->listModel()->row(row).nameText()), shown);
        }
        QVERIFY(w->database().ModifiedFlag);
    }

    void anEditOfAFieldThatDoesNotDecodeIsRefusedNotEmptied()
    {
        // A name cut inside its 13th character; the user deletes the first
        // character and confirms, then mends the field and confirms again.
        ImageBuilder b;
        b.bytes = sampleImage();
        b.entry(g("一二三四五六七八九十百千万").substr(0, 25), 5, "200001", "021");
        auto w = open(b.bytes);
        QVERIFY(w);
        clickNode(*w, findNode(*w, "上海市"));
        selectRows(*w, {0});
        const int32_t pos = w->listModel()->row(0).position;
        const Raw before = recordAt(*w, pos);
        ModalScript script;
        script.then([](QWidget* m) {
            auto* name = m->findChild<QLineEdit*>(QStringLiteral("Edtmc"));
            name->setFocus();
            name->home(false);
            QTest::keyClick(name, Qt::Key_Delete);
            QCOMPARE(name->text(), QStringLiteral("二三四五六七八九十百千\uFFFD"));
            qvtest::clickButton(m, QStringLiteral("确定"));
        });
        script.click(QStringLiteral("确定"));  // the refusal
        script.then([](QWidget* m) {
            QVERIFY(m->isVisible());  // still open, nothing stored
            auto* name = m->findChild<QLineEdit*>(QStringLiteral("Edtmc"));
            name->end(false);
            QTest::keyClick(name, Qt::Key_Backspace);
            qvtest::clickButton(m, QStringLiteral("确定"));
        });
        qvtest::action(*w, "mmeditinf")->trigger();
        QVERIFY(script.finished());
        QVERIFY(script.texts.value(0).contains(QStringLiteral("无法保存")));
        const EntryRecord r = w->database().image.readEntry(pos);
        QCOMPARE(r.name, g("二三四五六七八九十百千"));
        QCOMPARE(r.postcode, std::string("200001"));
        QVERIFY(recordAt(*w, pos) != before);
    }

    void deletingAsksOnceForAllSelectedRows()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        selectRows(*w, {0, 2});
        const int32_t nanshan = w->listModel()->row(0).position;
        const int32_t baoan = w->listModel()->row(2).position;
        const Raw before = entrySection(*w);

        ModalScript script;
        script.click(QStringLiteral("放弃"));
        qvtest::action(*w, QStringLiteral("DelInf"))->trigger();
        QVERIFY(script.finished());
        QCOMPARE(w->listModel()->rowCount(), 3);
        QCOMPARE(entrySection(*w), before);
        QVERIFY(!w->database().ModifiedFlag);

        const Raw nanshanBefore = recordAt(*w, nanshan);
        const Raw baoanBefore = recordAt(*w, baoan);
        script.click(QStringLiteral("确定"));
        // Delete works whatever modifier keys are held.
        QTest::keyClick(w->listView(), Qt::Key_Delete, Qt::ShiftModifier);
        QVERIFY(script.finished());
        // The count tells of selected rows scrolled out of sight.
        QCOMPARE(script.texts, QStringList({"你真的要删除所选择的信息吗？\n共2条信息将被删除。",
                                            "你真的要删除所选择的信息吗？\n共2条信息将被删除。"}));
        QCOMPARE(script.titles.value(1), QStringLiteral("确认"));
        QCOMPARE(script.icons.value(1), QStringLiteral("question"));
        QCOMPARE(names(*w), QStringList({"福田区"}));
        QCOMPARE(recordAt(*w, nanshan), rewritten(nanshanBefore, g("南山区"), -2, "518052", "0752"));
        QCOMPARE(recordAt(*w, baoan), rewritten(baoanBefore, g("宝安区"), -2, "518101", "0760"));
        QVERIFY(w->database().ModifiedFlag);
        QCOMPARE(w->countText(), QStringLiteral("共1个"));
        // Gone after a save and a new start.
        qvtest::action(*w, "mmsave")->trigger();
        w.reset();  // the next start comes once this window has closed
        auto again = qvtest::openMainWindow(m_db->path());
        clickNode(*again, findNode(*again, "深圳市"));
        QCOMPARE(names(*again), QStringList({"福田区"}));
    }

    void movingRowsToAnotherDirectory()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        selectRows(*w, {0, 1});
        const int32_t a = w->listModel()->row(0).position;
        const int32_t b = w->listModel()->row(1).position;
        emit w->treeView()->entriesDropped(findNode(*w, "广州市"));
        QCOMPARE(names(*w), QStringList({"宝安区"}));
        QCOMPARE(w->database().image.readEntry(a).owner, 3);
        QCOMPARE(w->database().image.readEntry(b).owner, 3);
        QCOMPARE(w->countText(), QStringLiteral("共1个"));
        QVERIFY(w->database().ModifiedFlag);

        // Search results from several directories all go.
        w->searchBar()->Edit1->setText(QStringLiteral("区"));
        w->searchBar()->Button_search->click();
        QCOMPARE(w->listModel()->rowCount(), 7);
        qvtest::action(*w, "N3")->trigger();
        QCOMPARE(w->listView()->selectedRowsInOrder().size(), size_t(7));
        emit w->treeView()->entriesDropped(findNode(*w, "上海市"));
        QCOMPARE(w->listModel()->rowCount(), 0);
        QCOMPARE(w->countText(), QStringLiteral("共0个"));
        w->database().image.forEachEntry([](int32_t, const uint8_t* rec) { QCOMPARE(entryOwner(rec), 5); });
    }

    // 移动到… (Ctrl+M in the list): the selected places go where the arrows
    // and Enter choose, by the drop's rules; Esc moves nothing.
    void movingPlacesByKeyboard()
    {
        struct Case {
            std::vector<QKeyCombination> listKeys;  // choosing the rows, from the list's focus
            std::vector<Qt::Key> dialogKeys;        // in the dialog's tree, which starts at 深圳市
            const char* label;
            int32_t owner;  // of the chosen rows afterwards
            QStringList listed;
            bool modified;
        };
        // The list shows 南山区, 福田区, 宝安区; the focus comes to its first row.
        const QKeyCombination down(Qt::Key_Down), end(Qt::Key_End), all(Qt::ControlModifier, Qt::Key_A);
        const Case cases[] = {
            {{down}, {Qt::Key_Down, Qt::Key_Return}, "把“福田区”移到：", 3, {"南山区", "宝安区"}, true},
            {{all}, {Qt::Key_End, Qt::Key_Return}, "把选中的3条信息移到：", 5, {}, true},
            {{end}, {Qt::Key_Up, Qt::Key_Return}, "把“宝安区”移到：", 1, {"南山区", "福田区"}, true},
            // Their own directory, as a drop there: nothing moves, yet it counts as an edit.
            {{end}, {Qt::Key_Return}, "把“宝安区”移到：", 2, {"南山区", "福田区", "宝安区"}, true},
            {{end}, {Qt::Key_Down, Qt::Key_Escape}, "把“宝安区”移到：", 2, {"南山区", "福田区", "宝安区"}, false},
        };
        for (const Case& c : cases) {
            auto w = open();
            QVERIFY(w);
            clickNode(*w, findNode(*w, "深圳市"));
            w->listView()->setFocus();
            for (QKeyCombination k : c.listKeys)
                QTest::keyClick(w->listView(), k.key(), k.keyboardModifiers());
            std::vector<int32_t> chosen;
            for (int r : w->listView()->selectedRowsInOrder())
                chosen.push_back(w->listModel()->row(r).position);
            QVERIFY(!chosen.empty());
            ModalScript script;
            qvtest::MoveDialogSeen seen;
            qvtest::answerMoveDialog(script, c.dialogKeys, seen);
            QTest::keyClick(w->listView(), Qt::Key_M, Qt::ControlModifier);
            QVERIFY2(script.finished() && !seen.stayedOpen, c.label);
            QCOMPARE(seen.label, QString::fromUtf8(c.label));
            QCOMPARE(seen.start, QStringLiteral("深圳市"));
            QCOMPARE(seen.greyed, QStringList());
            for (int32_t pos : chosen)
                QCOMPARE(w->database().image.readEntry(pos).owner, c.owner);
            QCOMPARE(names(*w), c.listed);
            QCOMPARE(w->database().ModifiedFlag, c.modified);
        }
    }

    void dropsThatMoveNoRows()
    {
        auto w = open();
        QVERIFY(w);
        DirectoryNode* sz = findNode(*w, "深圳市");
        clickNode(*w, sz);
        selectRows(*w, {0, 1});
        const Raw before = entrySection(*w);
        // No directory under the pointer: nothing at all.
        emit w->treeView()->entriesDropped(nullptr);
        QCOMPARE(w->listModel()->rowCount(), 3);
        QCOMPARE(entrySection(*w), before);
        QVERIFY(!w->database().ModifiedFlag);
        // The directory that is listed: nothing moves, but the drop counts as an edit.
        emit w->treeView()->entriesDropped(sz);
        QCOMPARE(w->listModel()->rowCount(), 3);
        QCOMPARE(entrySection(*w), before);
        QVERIFY(w->database().ModifiedFlag);
    }

    void rowsFollowTheirRecordsThroughASave()
    {
        auto w = open();
        QVERIFY(w);
        // Four new directories: the front grows by 144 bytes, three records'
        // worth, so a stale position would land on another place.
        clickNode(*w, findNode(*w, "上海市"));
        for (int i = 0; i < 4; ++i)
            qvtest::action(*w, "mmnewnode")->trigger();
        finishEditing(*w);
        clickNode(*w, findNode(*w, "广州市"));
        QCOMPARE(names(*w), QStringList({"天河区", "越秀区"}));
        qvtest::action(*w, "mmsave")->trigger();
        selectRows(*w, {rowNamed(*w, "越秀区")});
        ModalScript script;
        script.then([](QWidget* m) {
            fill(m, QStringLiteral("越秀区"), QStringLiteral("510031"), QStringLiteral("021"));
            qvtest::clickButton(m, QStringLiteral("确定"));
        });
        qvtest::action(*w, "mmeditinf")->trigger();
        QVERIFY(script.finished());
        qvtest::action(*w, "mmsave")->trigger();
        const DecodedFile f = decodeFile(m_db->path());
        QVERIFY(f.ok);
        QCOMPARE(f.entryStart, 220 + 144);
        const DecodedFile original = [] {
            TempDatabase t;
            qvtest::writeFile(t.path(), qvtest::makeFile(sampleImage()));
            return decodeFile(t.path());
        }();
        QVERIFY(original.ok);
        std::vector<FileEntry> expected = original.entries;
        expected[4].post = "510031";
        QCOMPARE(f.entries, expected);
    }

    void rowsFollowTheirRecordsThroughCompaction()
    {
        auto w = open();
        QVERIFY(w);
        // Deleted records in front of the listed ones.
        clickNode(*w, findNode(*w, "深圳市"));
        qvtest::action(*w, "N3")->trigger();
        ModalScript script;
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmdelinf")->trigger();
        QVERIFY(script.finished());
        clickNode(*w, findNode(*w, "广州市"));
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmcompres")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(script.texts.last(), QStringLiteral("数据库压缩完毕！"));
        QCOMPARE(w->database().image.entryCount(), 4);
        selectRows(*w, {rowNamed(*w, "越秀区")});
        script.then([](QWidget* m) {
            fill(m, QStringLiteral("越秀"), QStringLiteral("510030"), QStringLiteral("0201"));
            qvtest::clickButton(m, QStringLiteral("确定"));
        });
        qvtest::action(*w, "mmeditinf")->trigger();
        QVERIFY(script.finished());
        qvtest::action(*w, "mmsave")->trigger();

        const DecodedFile f = decodeFile(m_db->path());
        QVERIFY(f.ok);
        QCOMPARE(f.entries, std::vector<FileEntry>({{g("天河区"), 3, "510630", "020"},
                                                    {g("越秀"), 3, "510030", "0201"},
                                                    {g("东城区"), 4, "100010", "010"},
                                                    {g("西城区"), 4, "100032", "011"}}));
        w.reset();  // the next start comes once this window has closed
        auto again = qvtest::openMainWindow(m_db->path());
        clickNode(*again, findNode(*again, "广州市"));
        QCOMPARE(names(*again), QStringList({"天河区", "越秀"}));
    }

    void compactionReportsEvenWhenNothingGoes()
    {
        auto w = open();
        QVERIFY(w);
        const QByteArray file = qvtest::readFile(m_db->path());
        const Raw image = w->database().image.bytes();
        ModalScript script;
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, QStringLiteral("mmcompres"))->trigger();
        QVERIFY(script.finished());
        QCOMPARE(script.texts, QStringList({"数据库压缩完毕！"}));
        QCOMPARE(script.titles, QStringList({"Qarvenda"}));
        QCOMPARE(script.icons, QStringList({"none"}));
        QCOMPARE(w->database().image.bytes(), image);
        QCOMPARE(qvtest::readFile(m_db->path()), file);
        QVERIFY(!w->database().ModifiedFlag);
    }

    void compactionDoesNotWriteTheFile()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "北京市"));
        selectRows(*w, {rowNamed(*w, "西城区")});
        {
            ModalScript script;
            script.click(QStringLiteral("确定")).click(QStringLiteral("确定"));
            qvtest::action(*w, "mmdelinf")->trigger();
            qvtest::action(*w, "mmcompres")->trigger();
            QVERIFY(script.finished());
        }
        QCOMPARE(w->database().image.entryCount(), 6);
        QVERIFY(!w->database().ModifiedFlag);
        {
            // Closing asks nothing.
            ModalScript script;
            script.click(QStringLiteral("(&N)否"));
            w->close();
            QVERIFY(!w->isVisible());
            QCOMPARE(script.pending(), 1);
        }
        // The file holds the change saved before the compaction: the entry
        // deleted, not gone, and the next start still has it.
        const DecodedFile f = decodeFile(m_db->path());
        QVERIFY(f.ok);
        QCOMPARE(f.entries.size(), size_t(7));
        QCOMPARE(f.entries[6].owner, -4);
        w.reset();  // the next start comes once this window has closed
        auto again = qvtest::openMainWindow(m_db->path());
        QCOMPARE(again->database().image.entryCount(), 7);
        ModalScript script;
        script.click(QStringLiteral("确定"));
        qvtest::action(*again, "mmrecover")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(script.texts.last(), QStringLiteral("共恢复数据1条"));
    }

    void recoveryBringsBackADeletedDirectorysPlaces()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        ModalScript script;
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmdelnode")->trigger();
        QVERIFY(script.finished());
        QVERIFY(!findNode(*w, "深圳市"));
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, QStringLiteral("mmrecover"))->trigger();
        QVERIFY(script.finished());
        QCOMPARE(script.texts.last(), QStringLiteral("共恢复数据3条"));
        QCOMPARE(script.titles.last(), QStringLiteral("Qarvenda"));
        const DirectoryNode* root = w->database().tree.root();
        QCOMPARE(root->children.size(), size_t(4));
        const DirectoryNode* recovered = root->children.back().get();
        QCOMPARE(recovered->caption, g("恢复目录"));
        QCOMPARE(recovered->id, 2);
        QCOMPARE(w->treeModel()->rowCount(), 4);
        QVERIFY(!w->database().ModifiedFlag);
        const DecodedFile f = decodeFile(m_db->path());
        QVERIFY(f.ok);
        QCOMPARE(f.dirs.back().name, g("恢复目录"));
        QCOMPARE(f.dirs.back().level, 0);
        QCOMPARE(f.dirs.back().id, 2);
        QCOMPARE(f.nextId, 5);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(f.entries[size_t(i)].owner, 2);
        clickNode(*w, w->database().tree.root()->children.back().get());
        QCOMPARE(names(*w), QStringList({"南山区", "福田区", "宝安区"}));
    }

    void recoveryWithNothingDeletedSavesSilently()
    {
        auto w = open();
        QVERIFY(w);
        QVERIFY(QFile::remove(m_db->path()));
        ModalScript script;
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmrecover")->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(script.pending(), 1);
        const DecodedFile f = decodeFile(m_db->path());
        QVERIFY(f.ok);
        QCOMPARE(f.entries.size(), size_t(7));
        QCOMPARE(w->database().tree.count(), 5);
        QVERIFY(!w->database().ModifiedFlag);
    }

    void aWholeSessionRoundTripsThroughTheFile()
    {
        auto w = open();
        QVERIFY(w);
        ModalScript script;
        // Add 朝阳区 to 北京市.
        clickNode(*w, findNode(*w, "北京市"));
        script.then([](QWidget* m) {
            fill(m, QStringLiteral("朝阳区"), QStringLiteral("100020"), QStringLiteral("010"));
            qvtest::clickButton(m, QStringLiteral("确定"));
            qvtest::clickButton(m, QStringLiteral("取消"));
        });
        qvtest::action(*w, QStringLiteral("mnuAddInf"))->trigger();
        // Rename 东城区, delete 西城区.
        selectRows(*w, {rowNamed(*w, "东城区")});
        script.then([](QWidget* m) {
            fill(m, QStringLiteral("东城"), QStringLiteral("100010"), QStringLiteral("010"));
            qvtest::clickButton(m, QStringLiteral("确定"));
        });
        qvtest::action(*w, "mmeditinf")->trigger();
        selectRows(*w, {rowNamed(*w, "西城区")});
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmdelinf")->trigger();
        // Move 福田区 to 广州市.
        clickNode(*w, findNode(*w, "深圳市"));
        selectRows(*w, {rowNamed(*w, "福田区")});
        emit w->treeView()->entriesDropped(findNode(*w, "广州市"));
        // Compact (西城区 goes for good), delete 南山区, recover it.
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmcompres")->trigger();
        selectRows(*w, {rowNamed(*w, "南山区")});
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmdelinf")->trigger();
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmrecover")->trigger();
        // A subdirectory of 上海市, named through the editor.
        clickNode(*w, findNode(*w, "上海市"));
        qvtest::action(*w, "mmsubnode")->trigger();
        qvtest::typeCaption(*w, QStringLiteral("浦东"));
        QTRY_VERIFY(findNode(*w, "浦东"));
        QVERIFY(script.finished());
        QCOMPARE(script.texts, QStringList({"你真的要删除所选择的信息吗？\n共1条信息将被删除。", "数据库压缩完毕！",
                                            "你真的要删除所选择的信息吗？\n共1条信息将被删除。", "共恢复数据1条"}));
        qvtest::action(*w, "mmsave")->trigger();

        const DecodedFile f = decodeFile(m_db->path());
        QVERIFY(f.ok);
        QCOMPARE(f.image.size(), size_t(36 * 7 + 4 + 48 * 7));
        QCOMPARE(f.entryStart, 36 * 7 + 4);
        const std::vector<std::tuple<std::string, int32_t, int32_t>> dirs = {
            {g("广东省"), 0, 1}, {g("深圳市"), 1, 2}, {g("广州市"), 1, 3}, {g("北京市"), 0, 4},
            {g("上海市"), 0, 5}, {g("浦东"), 1, 6}};
        QCOMPARE(f.dirs.size(), dirs.size());
        for (size_t i = 0; i < dirs.size(); ++i) {
            QCOMPARE(f.dirs[i].name, std::get<0>(dirs[i]));
            QCOMPARE(f.dirs[i].level, std::get<1>(dirs[i]));
            QCOMPARE(f.dirs[i].id, std::get<2>(dirs[i]));
        }
        QCOMPARE(f.nextId, 6);
        QVERIFY(f.learned.empty());
        QCOMPARE(f.entries, std::vector<FileEntry>({{g("福田区"), 3, "518048", "0755"},
                                                    {g("南山区"), 2, "518052", "0752"},
                                                    {g("宝安区"), 2, "518101", "0760"},
                                                    {g("天河区"), 3, "510630", "020"},
                                                    {g("越秀区"), 3, "510030", "021"},
                                                    {g("东城"), 4, "100010", "010"},
                                                    {g("朝阳区"), 4, "100020", "010"}}));
        // Untouched records kept their junk bytes through everything.
        QCOMPARE(f.entryBytes[2][47], uint8_t(0xEE));

        // And the program reads it back the same.
        w.reset();  // the next start comes once this window has closed
        auto again = qvtest::openMainWindow(m_db->path());
        QVERIFY(!again->database().ModifiedFlag);
        clickNode(*again, findNode(*again, "广州市"));
        QCOMPARE(names(*again), QStringList({"天河区", "越秀区", "福田区"}));
        QCOMPARE(again->treeModel()->rowCount(again->treeModel()->indexOf(findNode(*again, "上海市"))), 1);
    }
};

QTEST_MAIN(EntryEditingTest)
#include "entry_editing_uitest.moc"
