#include "UiHelpers.h"

#include "app/Tmainform.h"
#include "TestImages.h"
#include "lookup/ui/EntryListModel.h"
#include "tree/ui/DirectoryTreeModel.h"
#include "tree/ui/DirectoryTreeView.h"
#include "tree/ui/MoveTargetDialog.h"
#include "widgets/Modal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTreeWidget>

namespace qvtest {

ModalScript::ModalScript()
{
    qv::setModalHook([this](QDialog* modal) { answer(modal); });
}

ModalScript::~ModalScript() { qv::setModalHook({}); }

ModalScript& ModalScript::then(Step step)
{
    m_steps.push_back(std::move(step));
    return *this;
}

void answerMoveDialog(ModalScript& script, std::vector<Qt::Key> keys, MoveDialogSeen& seen)
{
    script.then([keys, &seen](QWidget* m) {
        auto* d = qobject_cast<qv::MoveTargetDialog*>(m);
        QVERIFY(d);
        seen.label = d->findChild<QLabel*>()->text();
        seen.start = d->Targets->currentItem()->text(0);
        for (QTreeWidgetItemIterator it(d->Targets, QTreeWidgetItemIterator::Disabled); *it; ++it)
            seen.greyed << (*it)->text(0);
        // Offscreen leaves the main window active: the dialog is made so, as a window system would.
        QApplication::setActiveWindow(d);
        d->Targets->setFocus();
        for (Qt::Key k : keys)
            QTest::keyClick(d->Targets, k);
        if ((seen.stayedOpen = d->isVisible()))
            d->reject();
    });
}

ModalScript& ModalScript::click(const QString& caption)
{
    return then([this, caption](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            titles << box->windowTitle();
            texts << box->text();
            switch (box->icon()) {
            case QMessageBox::NoIcon: icons << QStringLiteral("none"); break;
            case QMessageBox::Question: icons << QStringLiteral("question"); break;
            case QMessageBox::Critical: icons << QStringLiteral("critical"); break;
            case QMessageBox::Information: icons << QStringLiteral("information"); break;
            case QMessageBox::Warning: icons << QStringLiteral("warning"); break;
            }
        } else {
            titles << modal->windowTitle();
            texts << QString();
            icons << QString();
        }
        if (!clickButton(modal, caption)) {
            qWarning("ModalScript: no button '%s' in '%s'", qPrintable(caption), qPrintable(modal->windowTitle()));
            if (auto* d = qobject_cast<QDialog*>(modal))
                d->reject();
            else
                modal->close();
        }
    });
}

void ModalScript::answer(QDialog* modal)
{
    if (!modal->isVisible())
        return;
    if (m_steps.empty()) {
        // Nothing will answer this window and the test waits inside it:
        // close it, so that the test fails instead of hanging.
        unanswered << modal->windowTitle();
        QTest::qFail(qPrintable(QStringLiteral("ModalScript: no step for the window '%1'").arg(modal->windowTitle())),
                     __FILE__, __LINE__);
        modal->reject();
        return;
    }
    Step step = std::move(m_steps.front());
    m_steps.pop_front();
    QPointer<QDialog> window(modal);
    step(modal);
    // A window that stays open (the add dialog takes place after place)
    // gets the next step; one with nothing left to answer it is closed after
    // a grace period, so that the test fails instead of hanging.
    if (window && window->isVisible())
        QTimer::singleShot(m_steps.empty() ? 1000 : 0, window, [this, window] {
            if (window)
                answer(window);
        });
}

QAction* action(qv::Tmainform& w, const QString& name)
{
    auto* a = w.findChild<QAction*>(name);
    if (!a)
        QTest::qFail(qPrintable(QStringLiteral("no menu item '%1'").arg(name)), __FILE__, __LINE__);
    return a;
}

QMenu* menu(qv::Tmainform& w, const QString& name)
{
    auto* m = w.findChild<QMenu*>(name);
    if (!m)
        QTest::qFail(qPrintable(QStringLiteral("no menu '%1'").arg(name)), __FILE__, __LINE__);
    return m;
}

bool clickButton(QWidget* w, const QString& caption)
{
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
        if (b->text() == caption && b->isVisible()) {
            b->click();
            return true;
        }
    }
    return false;
}

void typeText(QWidget* w, const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        // keyClicks cannot take non-Latin text; a key event carrying the text can.
        // A character outside the BMP travels as its surrogate pair.
        const qsizetype n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString one = text.mid(i, n);
        QTest::sendKeyEvent(QTest::Press, w, Qt::Key_unknown, one, Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, w, Qt::Key_unknown, one, Qt::NoModifier);
        i += n - 1;
    }
}

std::unique_ptr<qv::Tmainform> openMainWindow(const QString& path, bool show)
{
    auto w = std::make_unique<qv::Tmainform>(path);
    w->FormCreate();
    if (show) {
        w->show();
        (void)QTest::qWaitForWindowExposed(w.get());
    }
    return w;
}

std::unique_ptr<qv::Tmainform> openOnImage(std::unique_ptr<TempDatabase>& holder, const std::vector<uint8_t>& image)
{
    holder = std::make_unique<TempDatabase>();
    if (!writeFile(holder->path(), makeFile(image)))
        return nullptr;
    return openMainWindow(holder->path());
}

qv::DirectoryNode* findNode(qv::Tmainform& w, const char* utf8)
{
    const std::string caption = gbk(utf8);
    qv::DirectoryNode* found = nullptr;
    w.database().tree.forEach([&](qv::DirectoryNode* n, int) {
        if (!found && n->caption == caption)
            found = n;
    });
    return found;
}

void clickNode(qv::Tmainform& w, qv::DirectoryNode* n, Qt::MouseButton button)
{
    const QModelIndex i = w.treeModel()->indexOf(n);
    w.treeView()->scrollTo(i);
    QTest::mouseClick(w.treeView()->viewport(), button, {}, w.treeView()->visualRect(i).center());
}

QStringList listedColumn(qv::Tmainform& w, int c)
{
    QStringList out;
    for (int r = 0; r < w.listModel()->rowCount(); ++r)
        out << w.listModel()->index(r, c).data().toString();
    return out;
}

QLineEdit* treeEditor(qv::Tmainform& w)
{
    for (QLineEdit* e : w.treeView()->viewport()->findChildren<QLineEdit*>())
        if (e->isVisible())
            return e;
    return nullptr;
}

void typeCaption(qv::Tmainform& w, const QString& text, Qt::Key key)
{
    QLineEdit* e = treeEditor(w);
    QVERIFY(e);
    QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(e, Qt::Key_Backspace);
    else
        typeText(e, text);
    QTest::keyClick(e, key);
}

}  // namespace qvtest
