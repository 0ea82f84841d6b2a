#pragma once
// 工具 › 拼音首字母: the learned pinyin initials, each record of the table
// with its letter, to correct a wrong answer or remove it.
#include "lookup/Pinyin.h"
#include "store/Records.h"

#include <QDialog>

#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace qv {

class Database;

class Tfrmpyszm : public QDialog {
    Q_OBJECT
public:
    Tfrmpyszm(Database& db, QWidget* parent);

    // Shows the table; on 确定 a changed table replaces the database's and
    // sets ModifiedFlag. Returns whether anything changed.
    bool edit();

    // Character, letter, remark. One stop for Tab; arrows move in it, F2 or
    // a letter edits the selected record's letter in place, Delete removes it.
    QTableWidget* ListView1 = nullptr;
    QLineEdit* Edit1 = nullptr;         // the new letter of the selected record
    QPushButton* Button_change = nullptr;
    QPushButton* Button_delete = nullptr;
    QPushButton* Button_ok = nullptr;
    QPushButton* Button_cancel = nullptr;

private:
    void fill(int select);
    void showRemarks();
    void selectionChanged();
    void letterEdited(QTableWidgetItem* item);
    void Button_changeClick();
    void Button_deleteClick();

    Database& m_db;
    std::vector<LearnedInitial> m_table;  // the working copy
    // Where each record's character is used, in m_table's order: letters
    // change nothing there, so one pass over the places serves the whole edit.
    std::vector<LearnedUse> m_uses;
    bool m_filling = false;
};

}  // namespace qv
