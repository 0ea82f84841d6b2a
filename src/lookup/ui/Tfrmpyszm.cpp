#include "lookup/ui/Tfrmpyszm.h"

#include "lookup/Pinyin.h"
#include "lookup/Readings.h"
#include "store/Database.h"
#include "store/GbkText.h"
#include "widgets/Fonts.h"
#include "widgets/Modal.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include <functional>

namespace qv {

namespace {

constexpr int kCharColumn = 0;
constexpr int kLetterColumn = 1;
constexpr int kRemarkColumn = 2;
// Names of places shown in a remark; the rest are counted.
constexpr size_t kExamples = 3;

QString letterName(const QString& character)
{
    return character.isEmpty() ? QStringLiteral("首字母") : QStringLiteral("“%1”的首字母").arg(character);
}

// The letter cell's editor: one letter, shown in upper case, like the field
// under the table.
class LetterDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        auto* editor = new QLineEdit(parent);
        editor->setObjectName(QStringLiteral("letterEditor"));
        editor->setInputMask(QStringLiteral(">A"));
        editor->setMaxLength(1);
        editor->setFrame(false);
        editor->setAccessibleName(letterName(index.siblingAtColumn(kCharColumn).data().toString()));
        return editor;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        auto* e = static_cast<QLineEdit*>(editor);
        e->setText(index.data().toString());
        e->selectAll();  // typing replaces it
    }

protected:
    // Tab and Shift+Tab take the letter and go on to the next control, as
    // from the table itself, rather than into the next cell.
    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* editor = qobject_cast<QLineEdit*>(object);
        if (editor && event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
                emit commitData(editor);
                emit closeEditor(editor, QAbstractItemDelegate::NoHint);
                if (auto* view = qobject_cast<QWidget*>(parent()))
                    QCoreApplication::sendEvent(view, key);
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }
};

// The table as one stop for Tab: arrows move between records, F2 or a letter
// edits the selected record's letter in place, Delete removes the record.
class LearnedTable : public QTableWidget {
public:
    explicit LearnedTable(QWidget* parent) : QTableWidget(0, 3, parent)
    {
        setTabKeyNavigation(false);
        setEditTriggers(QAbstractItemView::NoEditTriggers);  // only as below
        setItemDelegateForColumn(kLetterColumn, new LetterDelegate(this));
        connect(this, &QTableWidget::itemDoubleClicked, this, [this] { editLetter(nullptr); });
    }

    std::function<void()> deleteRequested;

    // Opens the selected record's letter for editing; `typed`, when given, is
    // the key that opened it and goes into the editor.
    void editLetter(QKeyEvent* typed)
    {
        const int row = currentRow();
        if (row < 0 || !selectionModel()->isRowSelected(row, QModelIndex()) || state() == EditingState)
            return;
        const QModelIndex cell = model()->index(row, kLetterColumn);
        if (!(cell.flags() & Qt::ItemIsEditable))
            return;
        edit(cell);
        auto* editor = qobject_cast<QLineEdit*>(indexWidget(cell));
        if (editor && typed) {
            editor->clear();
            QCoreApplication::sendEvent(editor, typed);
        }
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        const QString text = event->text();
        const bool letter = plain && text.size() == 1 && text[0].isLetter() && text[0].unicode() < 0x80;
        if (letter || (plain && event->key() == Qt::Key_F2)) {
            editLetter(letter ? event : nullptr);
            event->accept();
            return;
        }
        if (plain && event->key() == Qt::Key_Delete) {
            if (deleteRequested)
                deleteRequested();
            event->accept();
            return;
        }
        QTableWidget::keyPressEvent(event);
    }
};

// What a record does and where its character is used, to tell a wrong or
// forgotten answer: the places that use it and the readings the program
// knows.
QString remark(const LearnedRow& row, const LearnedUse& use)
{
    if (row.character.size() != 2)
        return QStringLiteral("不是汉字，不起作用");
    if (!row.inUse)
        return QStringLiteral("重复，不起作用");
    QStringList parts;
    if (use.places == 0) {
        parts << QStringLiteral("没有地名用到");
    } else {
        QStringList names;
        for (const std::string& name : use.examples)
            names << gbk::toQString(name);
        QString used = QStringLiteral("用于：") + names.join(QStringLiteral("、"));
        if (use.places > use.examples.size())
            used += QStringLiteral(" 等%1处").arg(use.places);
        parts << used;
    }
    const auto lead = uint8_t(row.character[0]), trail = uint8_t(row.character[1]);
    const std::vector<std::string> shown = charReadingsShown(lead, trail);
    if (!shown.empty()) {
        QStringList readings;
        for (const std::string& r : shown)
            readings << QString::fromStdString(r);
        bool agrees = false;
        for (std::string_view r : charReadings(lead, trail))
            agrees |= !r.empty() && r[0] - 'a' + 'A' == row.letter;
        parts << QStringLiteral("读音：") + readings.join(QStringLiteral("、")) +
                     (agrees ? QString() : QStringLiteral("（与首字母不符）"));
    }
    return parts.join(QStringLiteral("；"));
}

}  // namespace

Tfrmpyszm::Tfrmpyszm(Database& db, QWidget* parent) : QDialog(parent), m_db(db)
{
    setObjectName(QStringLiteral("frmpyszm"));
    setWindowTitle(QStringLiteral("拼音首字母"));
    setFont(songTi());

    auto* hint = new QLabel(QStringLiteral("以下是手工输入过拼音首字母的汉字，可以修改或删除："), this);
    auto* table = new LearnedTable(this);
    table->deleteRequested = [this] { Button_deleteClick(); };
    ListView1 = table;
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setAccessibleName(QStringLiteral("已输入的拼音首字母"));
    ListView1->setHorizontalHeaderLabels({QStringLiteral("汉字"), QStringLiteral("首字母"), QStringLiteral("说明")});
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->verticalHeader()->hide();
    ListView1->horizontalHeader()->setAccessibleName(QStringLiteral("列标题"));
    ListView1->horizontalHeader()->setStretchLastSection(true);
    ListView1->setWordWrap(false);
    connect(ListView1, &QTableWidget::itemSelectionChanged, this, &Tfrmpyszm::selectionChanged);
    connect(ListView1, &QTableWidget::itemChanged, this, &Tfrmpyszm::letterEdited);

    auto* letterLabel = new QLabel(QStringLiteral("首字母："), this);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setAccessibleName(letterName(QString()));
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
    resize(480, 320);
}

bool Tfrmpyszm::edit()
{
    m_table = m_db.learned;
    m_uses = learnedUses(m_table, m_db.image, kExamples);
    fill(0);
    ListView1->setFocus();
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
    m_filling = true;
    ListView1->setRowCount(int(rows.size()));
    const auto cell = [](const QString& text, bool editable) {
        auto* item = new QTableWidgetItem(text);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | (editable ? Qt::ItemIsEditable : Qt::NoItemFlags));
        return item;
    };
    for (int i = 0; i < int(rows.size()); ++i) {
        const LearnedRow& r = rows[size_t(i)];
        ListView1->setItem(i, kCharColumn, cell(gbk::toQString(r.character), false));
        ListView1->setItem(i, kLetterColumn,
                           cell(r.letter ? QString(QChar::fromLatin1(r.letter)) : QString(), r.character.size() == 2));
        ListView1->setItem(i, kRemarkColumn, cell(QString(), false));
    }
    showRemarks();
    m_filling = false;
    ListView1->resizeColumnToContents(kCharColumn);
    ListView1->resizeColumnToContents(kLetterColumn);
    if (rows.empty())
        ListView1->clearSelection();
    else
        ListView1->selectRow(std::min(select, int(rows.size()) - 1));
    selectionChanged();
}

void Tfrmpyszm::showRemarks()
{
    const std::vector<LearnedRow> rows = learnedRows(m_table);
    for (int i = 0; i < int(rows.size()) && i < ListView1->rowCount() && i < int(m_uses.size()); ++i) {
        QTableWidgetItem* note = ListView1->item(i, kRemarkColumn);
        note->setText(remark(rows[size_t(i)], m_uses[size_t(i)]));
        note->setToolTip(note->text());
    }
}

void Tfrmpyszm::selectionChanged()
{
    const int row = ListView1->currentRow();
    const bool any = row >= 0 && row < ListView1->rowCount() && !ListView1->selectedItems().isEmpty();
    Button_change->setEnabled(any);
    Button_delete->setEnabled(any);
    Edit1->setEnabled(any);
    Edit1->setText(any ? ListView1->item(row, kLetterColumn)->text() : QString());
    Edit1->setAccessibleName(letterName(any ? ListView1->item(row, kCharColumn)->text() : QString()));
}

void Tfrmpyszm::letterEdited(QTableWidgetItem* item)
{
    if (m_filling || item->column() != kLetterColumn)
        return;
    const auto row = size_t(item->row());
    const QString text = item->text();
    // An emptied cell keeps the letter it had.
    if (text.size() == 1)
        changeLearnedLetter(m_table, row, char(text[0].toLatin1()));
    const std::string_view stored = row < m_table.size() ? m_table[row].initial() : std::string_view();
    m_filling = true;
    item->setText(stored.empty() ? QString() : QString(QChar::fromLatin1(stored[0])));
    m_filling = false;
    showRemarks();
    selectionChanged();
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
    if (row < 0 || !removeLearned(m_table, size_t(row)))
        return;
    m_uses.erase(m_uses.begin() + row);
    fill(row);
}

}  // namespace qv
