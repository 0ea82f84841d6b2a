#include "lookup/ui/SearchBar.h"

#include "widgets/Icons.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolButton>

#include <algorithm>

namespace qv {

SearchBar::SearchBar(QWidget* parent) : QToolBar(QStringLiteral("查询"), parent)
{
    setObjectName(QStringLiteral("ToolBar2"));
    setMovable(false);
    setFloatable(false);
    setFixedHeight(33);
    setContextMenuPolicy(Qt::PreventContextMenu);
    // The whole bar has to fit the 544-pixel window.
    layout()->setSpacing(0);
    layout()->setContentsMargins(2, 0, 2, 0);
    // The first button keeps clear of the window's edge: a tool bar places
    // its first item at the edge whatever margins it is given.
    auto* edge = new QWidget(this);
    edge->setObjectName(QStringLiteral("LeftMargin"));
    edge->setFixedWidth(6);
    addWidget(edge);

    auto radio = [&](const char* name, const char* text, bool checked) {
        auto* b = new QRadioButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setChecked(checked);
        addWidget(b);
        return b;
    };
    auto check = [&](const char* name, const char* text) {
        auto* b = new QCheckBox(QString::fromUtf8(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setChecked(true);
        addWidget(b);
        return b;
    };
    jq = radio("jq", "精确查询", false);
    mh = radio("mh", "模糊查询", true);
    auto* modes = new QButtonGroup(this);
    modes->addButton(jq);
    modes->addButton(mh);
    ckdqmc = check("ckdqmc", "地区名称");
    ckdqpy = check("ckdqpy", "地区拼音");
    ckyzbm = check("ckyzbm", "邮政编码");
    ckdhqh = check("ckdhqh", "电话区号");

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setAccessibleName(QStringLiteral("查询关键字"));
    Edit1->setPlaceholderText(QStringLiteral("地名、拼音、邮编或区号"));
    // Wide enough to show its placeholder whole.
    {
        QStyleOptionFrame o;
        o.initFrom(Edit1);
        o.lineWidth = Edit1->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &o, Edit1);
        const QSize text(Edit1->fontMetrics().horizontalAdvance(Edit1->placeholderText()) + 8,
                         Edit1->fontMetrics().height());
        Edit1->setMinimumWidth(
            std::max(56, Edit1->style()->sizeFromContents(QStyle::CT_LineEdit, &o, text, Edit1).width()));
    }
    Edit1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    Edit1->installEventFilter(this);
    addWidget(Edit1);

    Button_search = new QToolButton(this);
    Button_search->setObjectName(QStringLiteral("Button_search"));
    Button_search->setText(QStringLiteral("查找"));
    Button_search->setIcon(searchIcon());
    Button_search->setIconSize(QSize(16, 16));
    Button_search->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    Button_search->setAutoRaise(true);
    Button_search->setMinimumWidth(48);
    addWidget(Button_search);

    // The button that shows the controls a narrow window has no room for.
    if (auto* more = findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(QStringLiteral("更多查询选项"));
    setAccessibleName(QStringLiteral("查询栏"));
}

QueryOptions SearchBar::queryOptions() const
{
    QueryOptions o;
    o.exact = jq->isChecked();
    o.fuzzy = mh->isChecked();
    o.byName = ckdqmc->isChecked();
    o.byInitials = ckdqpy->isChecked();
    o.byPostcode = ckyzbm->isChecked();
    o.byAreaCode = ckdhqh->isChecked();
    return o;
}

void SearchBar::setRadio(QRadioButton* button, bool checked)
{
    if (button->isChecked() == checked)
        return;
    QButtonGroup* group = button->group();
    if (!checked && group)
        group->setExclusive(false);
    button->setChecked(checked);
    if (!checked && group)
        group->setExclusive(true);
}

bool SearchBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            emit searchRequested();
            return true;
        }
        // A one-line box has no use for Down: it leads to the results below.
        if (key->key() == Qt::Key_Down && !(key->modifiers() & ~Qt::KeypadModifier)) {
            emit resultsRequested();
            return true;
        }
    }
    return QToolBar::eventFilter(watched, event);
}

}  // namespace qv
