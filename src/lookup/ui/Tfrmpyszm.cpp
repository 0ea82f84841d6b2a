#include "lookup/ui/Tfrmpyszm.h"

#include "lookup/Pinyin.h"
#include "store/Database.h"
#include "store/GbkText.h"
#include "widgets/Fonts.h"
#include "widgets/Modal.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace qv {

Tfrmpyszm::Tfrmpyszm(Database& db, QWidget* parent) : QDialog(parent), m_db(db)
{
    setObjectName(QStringLiteral("frmpyszm"));
    setWindowTitle(QStringLiteral("拼音首字母"));
    setFont(songTi());

    auto* hint = new QLabel(QStringLiteral("以下是手工输入过拼音首字母的汉字，可以修改或删除："), this);
    ListView1 = new QTableWidget(0, 3, this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setAccessibleName(QStringLiteral("已输入的拼音首字母"));
    ListView1->setHorizontalHeaderLabels({QStringLiteral("汉字"), QStringLiteral("首字母"), QStringLiteral("说明")});
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->verticalHeader()->hide();
    ListView1->horizontalHeader()->setStretchLastSection(true);
    connect(ListView1, &QTableWidget::itemSelectionChanged, this, &Tfrmpyszm::selectionChanged);

    auto* letterLabel = new QLabel(QStringLiteral("首字母："), this);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setAccessibleName(QStringLiteral("新的拼音首字母"));
    letterLabel->setBuddy(Edit1);
    Edit1->setInputMask(QStringLiteral(">A"));
    Edit1->setMaxLength(1);
    Edit1->setFixedWidth(40);
    Button_change = new QPushButton(QStringLiteral("修改"), this);
    Button_change->setObjectName(QStringLiteral("Button_change"));
    Button_delete = new QPushButton(QStringLiteral("删除"), this);
    Button_delete->setObjectName(QStringLiteral("Button_delete"));
    Button_ok = new QPushButton(QStringLiteral("确定"), this);
    Button_ok->setObjectName(QStringLiteral("Button_ok"));
    Button_cancel = new QPushButton(QStringLiteral("取消"), this);
    Button_cancel->setObjectName(QStringLiteral("Button_cancel"));
    connect(Button_change, &QPushButton::clicked, this, &Tfrmpyszm::Button_changeClick);
    connect(Button_delete, &QPushButton::clicked, this, &Tfrmpyszm::Button_deleteClick);
    connect(Edit1, &QLineEdit::returnPressed, this, &Tfrmpyszm::Button_changeClick);
    connect(Button_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(ListView1);
    auto* editRow = new QHBoxLayout;
    editRow->addWidget(letterLabel);
    editRow->addWidget(Edit1);
    editRow->addWidget(Button_change);
    editRow->addWidget(Button_delete);
    editRow->addStretch();
    layout->addLayout(editRow);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button_ok);
    buttons->addWidget(Button_cancel);
    layout->addLayout(buttons);
    resize(360, 320);
}

bool Tfrmpyszm::edit()
{
    m_table = m_db.learned;
    fill(0);
    if (execModal(*this) != QDialog::Accepted)
        return false;
    const auto same = [](const LearnedInitial& a, const LearnedInitial& b) {
        return std::equal(std::begin(a.raw), std::end(a.raw), std::begin(b.raw));
    };
    if (m_table.size() == m_db.learned.size() && std::equal(m_table.begin(), m_table.end(), m_db.learned.begin(), same))
        return false;
    m_db.learned = m_table;
    m_db.ModifiedFlag = true;
    return true;
}

void Tfrmpyszm::fill(int select)
{
    const std::vector<LearnedRow> rows = learnedRows(m_table);
    ListView1->setRowCount(int(rows.size()));
    for (int i = 0; i < int(rows.size()); ++i) {
        const LearnedRow& r = rows[size_t(i)];
        ListView1->setItem(i, 0, new QTableWidgetItem(gbk::toQString(r.character)));
        ListView1->setItem(i, 1, new QTableWidgetItem(r.letter ? QString(QChar::fromLatin1(r.letter)) : QString()));
        ListView1->setItem(i, 2, new QTableWidgetItem(r.inUse ? QString() : QStringLiteral("重复，不起作用")));
    }
    if (rows.empty())
        ListView1->clearSelection();
    else
        ListView1->selectRow(std::min(select, int(rows.size()) - 1));
    selectionChanged();
}

void Tfrmpyszm::selectionChanged()
{
    const int row = ListView1->currentRow();
    const bool any = row >= 0 && row < ListView1->rowCount() && !ListView1->selectedItems().isEmpty();
    Button_change->setEnabled(any);
    Button_delete->setEnabled(any);
    Edit1->setEnabled(any);
    Edit1->setText(any ? ListView1->item(row, 1)->text() : QString());
}

void Tfrmpyszm::Button_changeClick()
{
    const int row = ListView1->currentRow();
    const QString text = Edit1->text();
    // The mask takes one letter; an empty box changes nothing.
    if (row < 0 || text.size() != 1 || !changeLearnedLetter(m_table, size_t(row), char(text[0].toLatin1())))
        return;
    fill(row);
}

void Tfrmpyszm::Button_deleteClick()
{
    const int row = ListView1->currentRow();
    if (row >= 0 && removeLearned(m_table, size_t(row)))
        fill(row);
}

}  // namespace qv
