// 工具 › 拼音首字母: the learned initials listed, corrected and removed as the
// user does it, and what reaches the file.
#include "TestImages.h"
#include "UiHelpers.h"
#include "app/Tmainform.h"
#include "lookup/Search.h"
#include "lookup/ui/Tfrminputpy.h"
#include "lookup/ui/Tfrmpyszm.h"
#include "store/Database.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

using namespace qv;
using qvtest::ImageBuilder;
using qvtest::ModalScript;
using qvtest::TempDatabase;

namespace {

std::string g(const char* utf8) { return qvtest::gbk(utf8); }

// 亍 (0xD8A1) learned as X and, later in the file, again as Y; 丌 (0xD8A2)
// as Q. 亍 is used by two live places (one of them holds it twice), 丌 by
// four; B1D8 A1B1 holds D8 A1 only across two characters.
std::vector<uint8_t> image()
{
    ImageBuilder b;
    b.dir(g("各地"), 0, 1).end(1).learnedCount(3);
    b.learned(0xD8, 0xA1, 'X').learned(0xD8, 0xA2, 'Q').learned(0xD8, 0xA1, 'Y');
    b.entry(std::string("\xD8\xA1") + g("门"), 1, "100000", "010");
    for (const char* place : {"山", "村", "镇", "口"})
        b.entry(std::string("\xD8\xA2") + g(place), 1, "100001", "010");
    b.entry("\xD8\xA1\xD8\xA1" + g("村"), 1, "1", "1").entry(g("北") + "\xD8\xA1", -1, "1", "1");
    b.entry("\xB1\xD8\xA1\xB1", 1, "1", "1");
    return b.bytes;
}

const QString kXRemark = QStringLiteral("用于：亍门、亍亍村；读音：chù（与首字母不符）");
const QString kQRemark = QStringLiteral("用于：丌山、丌村、丌镇 等4处；读音：jī（与首字母不符）");
const QString kUnused = QStringLiteral("重复，不起作用");

QStringList rowTexts(QTableWidget* t)
{
    QStringList out;
    for (int r = 0; r < t->rowCount(); ++r)
        out << t->item(r, 0)->text() + "|" + t->item(r, 1)->text() + "|" + t->item(r, 2)->text();
    return out;
}

size_t foundByInitials(const Database& db, const char* query)
{
    QueryOptions o;
    o.byName = o.byPostcode = o.byAreaCode = false;
    return searchEntries(db, query, o).rows.size();
}

}  // namespace

class LearnedInitialsUiTest : public QObject {
    Q_OBJECT

private slots:
    // The question shows the readings the program knows, the first one's
    // initial filled in and selected: Enter takes it, typing replaces it.
    void theQuestionOffersTheKnownReading_data()
    {
        QTest::addColumn<QByteArray>("character");
        QTest::addColumn<QString>("filled");
        QTest::addColumn<QString>("readings");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("answer");
        const QByteArray zhen = QByteArray::fromStdString(g("圳"));
        QTest::newRow("圳, Enter") << zhen << "Z" << "已知读音：zhèn" << "" << "Z";
        QTest::newRow("圳, typed over") << zhen << "Z" << "已知读音：zhèn" << "s" << "S";
        QTest::newRow("亍") << QByteArray::fromStdString(g("亍")) << "C" << "已知读音：chù" << "" << "C";
        QTest::newRow("no reading known") << QByteArray("\xA1\xA2") << "" << "" << "q" << "Q";
    }
    void theQuestionOffersTheKnownReading()
    {
        QFETCH(QByteArray, character);
        QFETCH(QString, filled);
        QFETCH(QString, readings);
        QFETCH(QString, typed);
        QFETCH(QString, answer);
        QWidget parent;
        Tfrminputpy dialog(&parent);
        ModalScript script;
        script.then([&](QWidget* m) {
            QCOMPARE(m, static_cast<QWidget*>(&dialog));
            QCOMPARE(dialog.Edit1->text(), filled);
            QCOMPARE(dialog.Edit1->selectedText(), filled);
            QCOMPARE(dialog.Label3->text(), readings);
            QCOMPARE(dialog.Label3->isVisibleTo(&dialog), !readings.isEmpty());
            QTest::keyClicks(dialog.Edit1, typed);
            QTest::keyClick(dialog.Edit1, Qt::Key_Return);
        });
        const std::optional<char> got = dialog.ask(uint8_t(character[0]), uint8_t(character[1]));
        QVERIFY(script.finished());
        QCOMPARE(got ? QString(QChar(*got)) : QString(), answer);
    }

    void correctAndRemoveThenSave()
    {
        std::unique_ptr<TempDatabase> holder;
        auto w = qvtest::openOnImage(holder, image());
        QVERIFY(w);
        QVERIFY(!w->database().ModifiedFlag);
        QCOMPARE(foundByInitials(w->database(), "xm"), size_t(1));

        QStringList before;
        ModalScript script;
        script.then([&](QWidget* m) {
            auto* d = qobject_cast<Tfrmpyszm*>(m);
            QVERIFY(d);
            QCOMPARE(d->windowTitle(), QStringLiteral("拼音首字母"));
            for (QWidget* c : {static_cast<QWidget*>(d->ListView1), static_cast<QWidget*>(d->Edit1)})
                QVERIFY(!c->accessibleName().isEmpty());
            before = rowTexts(d->ListView1);
            // The first record becomes S; the letter box takes lower case as upper.
            d->ListView1->selectRow(0);
            QCOMPARE(d->Edit1->text(), QStringLiteral("X"));
            d->Edit1->clear();
            QTest::keyClicks(d->Edit1, "s");
            QVERIFY(qvtest::clickButton(d, QStringLiteral("修改")));
            // A digit is refused by the box and changes nothing.
            d->ListView1->selectRow(1);
            d->Edit1->clear();
            QTest::keyClicks(d->Edit1, "7");
            QVERIFY(qvtest::clickButton(d, QStringLiteral("修改")));
            QCOMPARE(d->ListView1->item(1, 1)->text(), QStringLiteral("Q"));
            // 丌 goes.
            QVERIFY(qvtest::clickButton(d, QStringLiteral("删除")));
            QCOMPARE(rowTexts(d->ListView1), QStringList({"亍|S|" + kXRemark, "亍|Y|" + kUnused}));
            QVERIFY(qvtest::clickButton(d, QStringLiteral("确定")));
        });
        qvtest::action(*w, "mmpyszm")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(before, QStringList({"亍|X|" + kXRemark, "丌|Q|" + kQRemark, "亍|Y|" + kUnused}));

        Database& db = w->database();
        QVERIFY(db.ModifiedFlag);
        QCOMPARE(foundByInitials(db, "xm"), size_t(0));
        QCOMPARE(foundByInitials(db, "sm"), size_t(1));
        QCOMPARE(foundByInitials(db, "ym"), size_t(0));  // the duplicate stays unused

        // The file holds the table in its own format: two records, the duplicate kept.
        QVERIFY(db.save().ok);
        Database back;
        QVERIFY(back.load(holder->path()).ok());
        const std::vector<std::vector<uint8_t>> want = {{2, 0xD8, 0xA1, 1, 'S'}, {2, 0xD8, 0xA1, 1, 'Y'}};
        QCOMPARE(back.learned.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i)
            QCOMPARE(std::vector<uint8_t>(back.learned[i].raw, back.learned[i].raw + 5), want[i]);
    }

    // By keyboard alone: the table is one Tab stop and keeps its selection
    // (so the buttons stay usable), arrows move in it, F2 or a letter edits
    // the selected record's letter in place, Esc leaves it, Delete removes it.
    void keyboardAloneReachesEverything()
    {
        std::unique_ptr<TempDatabase> holder;
        auto w = qvtest::openOnImage(holder, image());
        QVERIFY(w);
        // Key, the focused control afterwards, the selected record, the letters.
        using K = Qt::Key;
        const std::tuple<QKeyCombination, const char*, int, const char*> steps[] = {
            {K::Key_unknown, "ListView1", 0, "XQY"},  // where the dialog opens
            {K::Key_Tab, "Edit1", 0, "XQY"},
            {K::Key_Tab, "Button_change", 0, "XQY"},
            {K::Key_Tab, "Button_delete", 0, "XQY"},
            {K::Key_Tab, "Button_ok", 0, "XQY"},
            {K::Key_Tab, "Button_cancel", 0, "XQY"},
            {K::Key_Tab, "ListView1", 0, "XQY"},
            {Qt::ShiftModifier | K::Key_Backtab, "Button_cancel", 0, "XQY"},
            {K::Key_Tab, "ListView1", 0, "XQY"},
            {K::Key_Down, "ListView1", 1, "XQY"},
            {K::Key_F2, "letterEditor", 1, "XQY"},
            {K::Key_D, "letterEditor", 1, "XQY"},
            {K::Key_Return, "ListView1", 1, "XDY"},
            {K::Key_Down, "ListView1", 2, "XDY"},
            {K::Key_W, "letterEditor", 2, "XDY"},  // a letter opens it
            {K::Key_Return, "ListView1", 2, "XDW"},
            {K::Key_F2, "letterEditor", 2, "XDW"},
            {K::Key_K, "letterEditor", 2, "XDW"},
            {K::Key_Escape, "ListView1", 2, "XDW"},  // dropped; still open
            {K::Key_3, "ListView1", 2, "XDW"},       // a digit edits nothing
            {Qt::ControlModifier | K::Key_Home, "ListView1", 0, "XDW"},
            {K::Key_Delete, "ListView1", 0, "DW"},  // 亍's first record goes; the second now counts
            {K::Key_Down, "ListView1", 1, "DW"},
            {K::Key_C, "letterEditor", 1, "DW"},
            {K::Key_Tab, "Edit1", 1, "DC"},  // Tab takes the letter too, and goes on
        };
        ModalScript script;
        script.then([&](QWidget* m) {
            auto* d = qobject_cast<Tfrmpyszm*>(m);
            QVERIFY(d);
            QApplication::setActiveWindow(d);
            for (const auto& [key, focus, selected, letters] : steps) {
                if (key.key() != Qt::Key_unknown)
                    QTest::keyClick(QApplication::focusWidget(), key.key(), key.keyboardModifiers());
                QCoreApplication::processEvents();  // an editor closes after its key is handled
                const QByteArray at = (QKeySequence(key).toString() + " → " + focus).toUtf8();
                QVERIFY2(QApplication::focusWidget()->objectName() == QLatin1String(focus), at);
                QString shown;
                for (int r = 0; r < d->ListView1->rowCount(); ++r)
                    shown += d->ListView1->item(r, 1)->text();
                QCOMPARE(shown, QLatin1String(letters));
                QCOMPARE(d->ListView1->selectionModel()->selectedRows().value(0).row(), selected);
                QVERIFY2(d->isVisible() && d->Button_change->isEnabled() && d->Button_delete->isEnabled(), at);
                QCOMPARE(d->Edit1->text(), d->ListView1->item(selected, 1)->text());
            }
            QCOMPARE(rowTexts(d->ListView1),
                     QStringList({"丌|D|" + kQRemark, "亍|C|" + QStringLiteral("用于：亍门、亍亍村；读音：chù")}));
            QTest::keyClick(d->Button_ok, Qt::Key_Space);  // reached by Tab above
        });
        qvtest::action(*w, "mmpyszm")->trigger();
        QVERIFY(script.finished());
        QVERIFY(w->database().ModifiedFlag);
        QCOMPARE(foundByInitials(w->database(), "cm") + foundByInitials(w->database(), "ds"), size_t(2));
    }

    void cancelOrNoChangeLeavesTheTable()
    {
        std::unique_ptr<TempDatabase> holder;
        auto w = qvtest::openOnImage(holder, image());
        QVERIFY(w);
        ModalScript script;
        script.then([](QWidget* m) {
            auto* d = qobject_cast<Tfrmpyszm*>(m);
            QVERIFY(d);
            d->ListView1->selectRow(0);
            QVERIFY(qvtest::clickButton(d, QStringLiteral("删除")));
            QVERIFY(qvtest::clickButton(d, QStringLiteral("取消")));
        });
        // 确定 with the same letter typed again is no change either.
        script.then([](QWidget* m) {
            auto* d = qobject_cast<Tfrmpyszm*>(m);
            QVERIFY(d);
            d->ListView1->selectRow(1);
            QVERIFY(qvtest::clickButton(d, QStringLiteral("修改")));
            QVERIFY(qvtest::clickButton(d, QStringLiteral("确定")));
        });
        qvtest::action(*w, "mmpyszm")->trigger();
        qvtest::action(*w, "mmpyszm")->trigger();
        QVERIFY(script.finished());
        QVERIFY(!w->database().ModifiedFlag);
        QCOMPARE(w->database().learned.size(), size_t(3));
    }

    void emptyTableOffersNothingToChange()
    {
        ImageBuilder b;
        b.dir(g("各地"), 0, 1).end(1).learnedCount(0);
        std::unique_ptr<TempDatabase> holder;
        auto w = qvtest::openOnImage(holder, b.bytes);
        QVERIFY(w);
        ModalScript script;
        script.then([](QWidget* m) {
            auto* d = qobject_cast<Tfrmpyszm*>(m);
            QVERIFY(d);
            QCOMPARE(d->ListView1->rowCount(), 0);
            QVERIFY(!d->Button_change->isEnabled());
            QVERIFY(!d->Button_delete->isEnabled());
            QVERIFY(qvtest::clickButton(d, QStringLiteral("确定")));
        });
        qvtest::action(*w, "mmpyszm")->trigger();
        QVERIFY(script.finished());
        QVERIFY(!w->database().ModifiedFlag);
    }
};

QTEST_MAIN(LearnedInitialsUiTest)
#include "learned_initials_uitest.moc"
