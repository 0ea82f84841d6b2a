#include "exchange/ui/TForm_export.h"
#include "widgets/Fonts.h"

#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace qv {

TForm_export::TForm_export(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form_export"));
    setWindowTitle(QStringLiteral("导出数据"));
    // Fixed size, only a close box.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFont(songTi());  // 9 points

    auto group = [this](QGroupBox*& box, const char* name, const QString& title, QRadioButton*& upper,
                        const char* upperName, const QString& upperText, QRadioButton*& lower, const char* lowerName,
                        const QString& lowerText) {
        box = new QGroupBox(title, this);
        box->setObjectName(QLatin1String(name));
        upper = new QRadioButton(upperText, box);
        upper->setObjectName(QLatin1String(upperName));
        upper->setChecked(true);
        lower = new QRadioButton(lowerText, box);
        lower->setObjectName(QLatin1String(lowerName));
        auto* v = new QVBoxLayout(box);
        v->setContentsMargins(10, 4, 6, 4);
        v->addWidget(upper);
        v->addWidget(lower);
    };
    group(GroupBox1, "GroupBox1", QStringLiteral("记录范围"), scur, "scur", QStringLiteral("当前列表"), sall, "sall",
          QStringLiteral("所有纪录"));
    group(GroupBox2, "GroupBox2", QStringLiteral("数据类型"), exceltype, "exceltype", QStringLiteral("EXCEL表格"),
          texttype, "texttype", QStringLiteral("文本文件"));

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setFixedHeight(16);
    ProgressBar1->setAccessibleName(QStringLiteral("导出进度"));

    writtenFile = new QLabel(this);
    writtenFile->setObjectName(QStringLiteral("writtenFile"));
    writtenFile->setWordWrap(true);
    writtenFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    writtenFile->setAccessibleName(QStringLiteral("导出的文件"));
    writtenFile->hide();

    Button1 = new QPushButton(QStringLiteral("确定"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("退出"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &TForm_export::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm_export::Button2Click);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 5, 8, 5);
    layout->setSpacing(5);
    auto* groups = new QHBoxLayout;
    groups->addWidget(GroupBox1);
    groups->addWidget(GroupBox2);
    layout->addLayout(groups);
    layout->addWidget(ProgressBar1);
    layout->addWidget(writtenFile);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addStretch();
    buttons->addWidget(Button2);
    layout->addLayout(buttons);
    setFixedSize(QSize(264, 129).expandedTo(layout->sizeHint()));
    m_baseHeight = height();
}

ExportRange TForm_export::range() const { return sall->isChecked() ? ExportRange::AllRecords : ExportRange::CurrentList; }

ExportFormat TForm_export::format() const { return texttype->isChecked() ? ExportFormat::Text : ExportFormat::Workbook; }

void TForm_export::setProgress(int percent)
{
    ProgressBar1->setValue(std::clamp(percent, 0, 100));
    ProgressBar1->repaint();
}

void TForm_export::showWrittenFile(const QString& path)
{
    // A path has no spaces to wrap at; a zero-width space after each
    // separator lets it break there.
    writtenFile->setText(QStringLiteral("已导出到：") +
                         QDir::toNativeSeparators(path).replace(QLatin1Char('/'), QStringLiteral("/\u200b")));
    writtenFile->setToolTip(QDir::toNativeSeparators(path));
    writtenFile->show();
    fitHeight();
}

void TForm_export::fitHeight()
{
    // The width stays; the height follows the path line.
    setFixedHeight(std::max(m_baseHeight, layout()->totalHeightForWidth(width())));
}

void TForm_export::reject()
{
    // Escape or the close box while an export runs would leave it reporting
    // into a hidden dialog.
    if (!m_running)
        QDialog::reject();
}

void TForm_export::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    ProgressBar1->setValue(0);
    writtenFile->hide();
    fitHeight();
}

void TForm_export::Button1Click()
{
    if (m_running)
        return;
    const ExportRange r = range();
    const ExportFormat f = format();
    // The controls are disabled while the export runs, which takes the focus
    // from them; it goes back to the one the user was on.
    QPointer<QWidget> used = focusWidget();
    ProgressBar1->setValue(0);
    writtenFile->hide();
    fitHeight();
    setRunning(true);
    emit exportRequested(r, f);
    setRunning(false);
    if (!used || !used->isEnabled() || used->window() != this)
        used = Button1;
    used->setFocus(Qt::OtherFocusReason);
}

void TForm_export::Button2Click() { reject(); }

void TForm_export::setRunning(bool running)
{
    m_running = running;
    for (QWidget* w : {static_cast<QWidget*>(GroupBox1), static_cast<QWidget*>(GroupBox2),
                       static_cast<QWidget*>(Button1), static_cast<QWidget*>(Button2)})
        w->setEnabled(!running);
}

}  // namespace qv
