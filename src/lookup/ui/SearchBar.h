#pragma once
// The search bar: exact or fuzzy matching, the four fields to search, the
// query box and 查找.
#include "lookup/Search.h"

#include <QToolBar>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QRadioButton;
class QToolButton;

namespace qv {

class SearchBar : public QToolBar {
    Q_OBJECT
public:
    explicit SearchBar(QWidget* parent);

    QueryOptions queryOptions() const;

    QRadioButton* jq = nullptr;  // 精确查询
    QRadioButton* mh = nullptr;  // 模糊查询
    QCheckBox* ckdqmc = nullptr;
    QCheckBox* ckdqpy = nullptr;
    QCheckBox* ckyzbm = nullptr;
    QCheckBox* ckdhqh = nullptr;
    QLineEdit* Edit1 = nullptr;
    QToolButton* Button_search = nullptr;

    // Checks or unchecks a mode button; the menu may leave neither mode
    // chosen, which an exclusive group alone would not allow.
    static void setRadio(QRadioButton* button, bool checked);

signals:
    // Enter in the query box, whatever the shift state (Edit1KeyDown).
    void searchRequested();
    // Down in the query box: on into the list.
    void resultsRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace qv
