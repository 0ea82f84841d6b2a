#include "app/TForm_about.h"

#include "app/HelpLinks.h"
#include "widgets/Icons.h"
#include "widgets/DesktopOpener.h"
#include "widgets/Fonts.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QVBoxLayout>

namespace qv {

namespace {

QLabel* textLabel(const QString& text, QWidget* parent, bool wrap)
{
    auto* label = new QLabel(text, parent);
    label->setFont(songTi());
    label->setWordWrap(wrap);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// A link: a yellow label that takes the focus, shows it, and opens its
// target on a click, Enter or Space; screen readers meet it as a link named
// by the text it shows.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
    {
        setFont(songTi());
        setTextFormat(Qt::PlainText);
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, Qt::yellow);
        p.setColor(QPalette::WindowText, Qt::black);
        setPalette(p);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::StrongFocus);
        setMargin(1);
    }

signals:
    void activated();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
            emit activated();
            return;
        }
        QLabel::mouseReleaseEvent(event);
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) {
            emit activated();
            return;
        }
        QLabel::keyPressEvent(event);
    }
    void paintEvent(QPaintEvent* event) override
    {
        QLabel::paintEvent(event);
        if (!hasFocus())
            return;
        QPainter painter(this);
        QStyleOptionFocusRect o;
        o.initFrom(this);
        o.state |= QStyle::State_KeyboardFocusChange;
        o.backgroundColor = palette().color(QPalette::Window);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &o, &painter, this);
    }
};

class LinkAccessible : public QAccessibleWidget {
public:
    explicit LinkAccessible(LinkLabel* label) : QAccessibleWidget(label, QAccessible::Link) {}
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<QLabel*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.linked = true;
        return s;
    }
    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }
    void doAction(const QString& name) override
    {
        if (name == pressAction())
            emit static_cast<LinkLabel*>(widget())->activated();
        else
            QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface* linkAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String(LinkLabel::staticMetaObject.className()))
        if (auto* label = qobject_cast<LinkLabel*>(object))
            return new LinkAccessible(label);
    return nullptr;
}

LinkLabel* linkLabel(const QString& text, QWidget* parent)
{
    static const bool installed = (QAccessible::installFactory(linkAccessible), true);
    (void)installed;
    return new LinkLabel(text, parent);
}

}  // namespace

TForm_about::TForm_about(DesktopOpener& opener, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_opener(opener)
{
    setObjectName(QStringLiteral("Form_about"));
    setWindowTitle(QStringLiteral("关于本软件"));
    setSizeGripEnabled(false);

    Image1 = new QLabel(this);
    Image1->setFixedSize(32, 32);
    Image1->setPixmap(applicationIcon().pixmap(32, 32));

    Label1 = new QLabel(QStringLiteral("关于Qarvenda"), this);
    QFont titleFont(QStringLiteral("楷体_GB2312"));
    titleFont.setPixelSize(16);
    titleFont.setBold(true);
    titleFont.setItalic(true);
    Label1->setFont(titleFont);
    QPalette red = Label1->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Label1->setPalette(red);
    Label1->setAlignment(Qt::AlignCenter);

    GroupBox1 = new QGroupBox(QStringLiteral("软件信息"), this);
    GroupBox1->setFont(songTi());
    Label2 = textLabel(QStringLiteral("软件名称：《Tolmerix》\n版本号：2.0.0\n"
                                      "功能介绍：能查询全国2500多个城市的邮政编码、电话区号，并能打印导出相关数据！"),
                       GroupBox1, true);

    GroupBox2 = new QGroupBox(QStringLiteral("作者信息"), this);
    GroupBox2->setFont(songTi());
    Label5 = textLabel(QStringLiteral("作者：林海舟"), GroupBox2, false);
    auto* home = linkLabel(QStringLiteral("主页:") + homePageText(), GroupBox2);
    auto* mail = linkLabel(QStringLiteral("Email:") + mailText(), GroupBox2);
    connect(home, &LinkLabel::activated, this, &TForm_about::Label3Click);
    connect(mail, &LinkLabel::activated, this, &TForm_about::Label4Click);
    Label3 = home;
    Label4 = mail;
    Image1->setAccessibleName(QStringLiteral("程序图标"));

    Label6 = textLabel(QStringLiteral("敬告：使用此软件是您的自愿行为，作者不保证所有的数据完全正确！"
                                      "作者不对因为使用此软件造成的任何损失负责！"),
                       this, true);

    // A fixed box: small margins so that everything fits in 357 x 229.
    auto* info = new QVBoxLayout(GroupBox1);
    info->setContentsMargins(6, 2, 6, 4);
    info->addWidget(Label2);
    auto* author = new QVBoxLayout(GroupBox2);
    author->setContentsMargins(6, 2, 6, 4);
    author->setSpacing(2);
    author->addWidget(Label5);
    author->addWidget(Label3, 0, Qt::AlignLeft);  // yellow behind the text only
    author->addWidget(Label4, 0, Qt::AlignLeft);

    auto* top = new QHBoxLayout;
    top->addWidget(Image1);
    top->addWidget(Label1, 1);
    top->addSpacing(32);  // keeps the title centred on the box
    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(8, 6, 8, 6);
    all->setSpacing(4);
    all->addLayout(top);
    all->addWidget(GroupBox1);
    all->addWidget(GroupBox2);
    all->addWidget(Label6);
    all->addStretch(1);
    // 357 x 229, unless the fonts at hand need more room for every line.
    setFixedSize(357, std::max(229, all->totalHeightForWidth(357)));
}

void TForm_about::Label3Click() { openHomePage(m_opener); }
void TForm_about::Label4Click() { openMail(m_opener); }

}  // namespace qv

#include "TForm_about.moc"
