#pragma once
// The directories a search found, shown as links above the list: they are
// no places, so they stay out of the list's rows (which editing, moving,
// printing and export read) and choosing one opens it in the tree.
#include <QLabel>

#include <cstdint>
#include <vector>

namespace qv {

struct DirectoryNode;

class DirectoryHits : public QLabel {
    Q_OBJECT
public:
    explicit DirectoryHits(QWidget* parent);

    // Shows these directories (hidden when there are none).
    void showDirectories(const std::vector<const DirectoryNode*>& nodes);
    // The ids shown, in order.
    const std::vector<int32_t>& ids() const { return m_ids; }
    // Chooses the i-th directory shown, as a click on its link does.
    void choose(int i);

signals:
    void chosen(int32_t directoryId);

private:
    std::vector<int32_t> m_ids;
};

}  // namespace qv
