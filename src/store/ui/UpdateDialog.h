#pragma once
// 更新数据: what the newer bundled database changed, what will be taken,
// and a choice for every place where the user's own edit meets a change.
#include "store/DataUpdate.h"

#include <QDialog>

class QLabel;
class QTreeWidget;

namespace qv {

class UpdateDialog : public QDialog {
    Q_OBJECT
public:
    // The conflicts' choices are written back into `plan` when 更新 is clicked.
    UpdateDialog(UpdatePlan& plan, QWidget* parent);

    QTreeWidget* changeList() const { return m_list; }
    QLabel* summary() const { return m_summary; }
    // Settles every conflict for the bundle's side (true) or the user's.
    void takeAllTheirs(bool theirs);

private:
    void accept() override;

    UpdatePlan& m_plan;
    QLabel* m_summary = nullptr;
    QTreeWidget* m_list = nullptr;
};

}  // namespace qv
