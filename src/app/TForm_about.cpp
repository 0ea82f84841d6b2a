#include "app/TForm_about.h"

#include "app/HelpLinks.h"
#include "widgets/Icons.h"
#include "widgets/DesktopOpener.h"
#include "widgets/Fonts.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
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

// A yellow label that opens something when clicked.
QLabel* linkLabel(const QString& text, QWidget* parent, QObject* filter)
{
    QLabel* label = textLabel(text, parent, false);
    label->setAutoFillBackground(true);
    QPalette p = label->palette();
    p.setColor(QPalette::Window, Qt::yellow);
    p.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(p);
    label->setCursor(Qt::PointingHandCursor);
    label->installEventFilter(filter);
    return label;
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
    Label3 = linkLabel(QStringLiteral("主页:") + homePageText(), GroupBox2, this);
    Label4 = linkLabel(QStringLiteral("Email:") + mailText(), GroupBox2, this);

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

bool TForm_about::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && (watched == Label3 || watched == Label4)) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto* label = static_cast<QWidget*>(watched);
        if (mouse->button() == Qt::LeftButton && label->rect().contains(mouse->position().toPoint())) {
            if (watched == Label3)
                Label3Click();
            else
                Label4Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace qv
