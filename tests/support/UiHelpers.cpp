#include "UiHelpers.h"

#include "app/MainWindow.h"
#include "TestImages.h"
#include "tree/ui/DirectoryTreeModel.h"
#include "tree/ui/DirectoryTreeView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>

namespace qvtest {

ModalScript::ModalScript()
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
    m_timer.start();
}

ModalScript::~ModalScript() { m_timer.stop(); }

ModalScript& ModalScript::then(Step step)
{
    m_steps.push_back(std::move(step));
    return *this;
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

void ModalScript::poll()
{
    if (m_stepQueued)
        return;
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) {
        m_idleTicks = 0;
        return;
    }
    if (m_steps.empty()) {
        // Nothing will answer this window and the test waits inside it: after
        // a grace period (a save's progress window closes by itself) close it,
        // so that the test fails instead of hanging.
        if (++m_idleTicks < 200)
            return;
        m_idleTicks = 0;
        unanswered << modal->windowTitle();
        QTest::qFail(qPrintable(QStringLiteral("ModalScript: no step for the window '%1'").arg(modal->windowTitle())),
                     __FILE__, __LINE__);
        if (auto* d = qobject_cast<QDialog*>(modal))
            d->reject();
        else
            modal->close();
        return;
    }
    m_idleTicks = 0;
    // The step runs from the event queue, not from this timer's signal: a step
    // that opens another modal window (确定 bringing up a question) waits
    // inside it, and a timer never fires again while its own signal runs.
    m_stepQueued = true;
    m_lastModal = modal;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_stepQueued = false;
            QWidget* target = m_lastModal;
            if (!target || !target->isVisible() || m_steps.empty())
                return;
            Step step = std::move(m_steps.front());
            m_steps.pop_front();
            step(target);
        },
        Qt::QueuedConnection);
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
    w.TreeView1->scrollTo(i);
    QTest::mouseClick(w.TreeView1->viewport(), button, {}, w.TreeView1->visualRect(i).center());
}

}  // namespace qvtest
