#include "lookup/ui/Tfrminputpy.h"

#include "lookup/Pinyin.h"
#include "lookup/Readings.h"
#include "store/GbkText.h"
#include "widgets/Modal.h"
#include "widgets/Fonts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qv {

Tfrminputpy::Tfrminputpy(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frminputpy"));
    setWindowTitle(QStringLiteral("输入陌生字的拼音首字母"));
    // No buttons in the title bar: the answer is given with 确定.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(songTi());

    Label1 = new QLabel(QStringLiteral("以下汉字无法自动识别拼音首字母，请手工输入！"), this);
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont big = songTi(21);
    big.setBold(true);
    Label2->setFont(big);
    Label2->setStyleSheet(QStringLiteral("color: red;"));
    Label2->setAlignment(Qt::AlignCenter);
    Label3 = new QLabel(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setAccessibleName(QStringLiteral("已知读音"));
    Label3->setAlignment(Qt::AlignCenter);
    Label3->hide();
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setAccessibleName(QStringLiteral("拼音首字母"));  // with the character once asked
    // One ASCII letter, shown in upper case.
    Edit1->setInputMask(QStringLiteral(">A"));
    Edit1->setMaxLength(1);
    Edit1->setFixedWidth(40);
    Button1 = new QPushButton(QStringLiteral("确定"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);  // Enter answers
    connect(Button1, &QPushButton::clicked, this, &Tfrminputpy::Button1Click);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(Label1);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(Label2);
    row->addSpacing(16);
    row->addWidget(Edit1);
    row->addSpacing(16);
    row->addWidget(Button1);
    row->addStretch();
    layout->addLayout(row);
    layout->addWidget(Label3);
    setFixedSize(QSize(280, 118).expandedTo(layout->minimumSize()));
    m_plainHeight = height();
}

std::optional<char> Tfrminputpy::ask(uint8_t lead, uint8_t trail)
{
    const char bytes[2] = {char(lead), char(trail)};
    const QString character = gbk::toQString(std::string_view(bytes, 2));
    Label2->setText(character);
    // A screen reader reads the field, not the red character beside it.
    Edit1->setAccessibleName(QStringLiteral("“%1”的拼音首字母").arg(character));
    Edit1->clear();
    // Readings the table knows whose initial is a letter the field takes
    // (never I, U or V: the ranges name none).
    QStringList readings;
    QString initial;
    const std::vector<std::string_view> plain = charReadings(lead, trail);
    const std::vector<std::string> shown = charReadingsShown(lead, trail);
    for (size_t k = 0; k < plain.size() && k < shown.size(); ++k) {
        const std::string letter(1, char(plain[k][0] - 'a' + 'A'));
        if (!isAcceptableInitial(letter))
            continue;
        if (initial.isEmpty())
            initial = QString::fromLatin1(letter.data(), 1);
        readings << QString::fromStdString(shown[k]);
    }
    Label3->setText(readings.isEmpty() ? QString() : QStringLiteral("已知读音：%1").arg(readings.join(QStringLiteral("、"))));
    Label3->setVisible(!readings.isEmpty());
    setFixedHeight(readings.isEmpty() ? m_plainHeight : m_plainHeight + Label3->sizeHint().height());
    if (!readings.isEmpty()) {
        Edit1->setText(initial);
        Edit1->selectAll();
    }
    if (execModal(*this) != QDialog::Accepted)
        return std::nullopt;
    const QString text = Edit1->text().toUpper();
    return text.isEmpty() ? std::nullopt : std::optional<char>(text.at(0).toLatin1());
}

void Tfrminputpy::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    Edit1->setFocus();
}

void Tfrminputpy::setVisible(bool visible)
{
    QDialog::setVisible(visible);
    if (visible && !Edit1->text().isEmpty())
        Edit1->selectAll();
}

void Tfrminputpy::Button1Click()
{
    if (isAcceptableInitial(Edit1->text().toUpper().toStdString()))
        accept();
}

}  // namespace qv
