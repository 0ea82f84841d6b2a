#include "store/DirectoryTree.h"

#include <algorithm>
#include <climits>

namespace qv {

int DirectoryNode::row() const
{
    if (!parent)
        return 0;
    const auto& sib = parent->children;
    auto it = std::find_if(sib.begin(), sib.end(), [this](const auto& p) { return p.get() == this; });
    return int(it - sib.begin());
}

int DirectoryNode::depth() const
{
    int d = -1;
    for (const DirectoryNode* n = this; n->parent; n = n->parent)
        ++d;
    return d;
}

bool DirectoryNode::contains(const DirectoryNode* other) const
{
    for (const DirectoryNode* n = other; n; n = n->parent)
        if (n == this)
            return true;
    return false;
}

DirectoryTree::DirectoryTree() = default;

void DirectoryTree::clear()
{
    if (m_observer)
        m_observer->beforeReset();
    m_root.children.clear();
    m_nextDirectoryId = 0;
    if (m_observer)
        m_observer->afterReset();
}

std::optional<int32_t> DirectoryTree::allocateId()
{
    if (m_nextDirectoryId == INT32_MAX)
        return std::nullopt;
    // A damaged file may hold a negative NextDirectoryId; ids stay positive.
    m_nextDirectoryId = m_nextDirectoryId < 0 ? 1 : m_nextDirectoryId + 1;
    return m_nextDirectoryId;
}

DirectoryNode* DirectoryTree::insertNew(DirectoryNode* parent, int row, std::string caption)
{
    const std::optional<int32_t> id = allocateId();
    return id ? insert(parent, row, std::move(caption), *id) : nullptr;
}

DirectoryNode* DirectoryTree::insert(DirectoryNode* parent, int row, std::string caption, int32_t id)
{
    auto node = std::make_unique<DirectoryNode>();
    node->caption = std::move(caption);
    node->id = id;
    DirectoryNode* raw = node.get();
    attach(parent, row, std::move(node));
    return raw;
}

std::unique_ptr<DirectoryNode> DirectoryTree::detach(DirectoryNode* node)
{
    DirectoryNode* parent = node->parent;
    const int row = node->row();
    if (m_observer)
        m_observer->beforeRemove(parent, row);
    auto& sib = parent->children;
    auto it = sib.begin() + row;
    std::unique_ptr<DirectoryNode> owned = std::move(*it);
    sib.erase(it);
    owned->parent = nullptr;
    if (m_observer)
        m_observer->afterRemove();
    return owned;
}

void DirectoryTree::attach(DirectoryNode* parent, int row, std::unique_ptr<DirectoryNode> node)
{
    auto& sib = parent->children;
    if (row < 0 || row > int(sib.size()))
        row = int(sib.size());
    if (m_observer)
        m_observer->beforeInsert(parent, row);
    node->parent = parent;
    sib.insert(sib.begin() + row, std::move(node));
    if (m_observer)
        m_observer->afterInsert();
}

void DirectoryTree::moveToEnd(DirectoryNode* node, DirectoryNode* newParent)
{
    DirectoryTreeObserver* observer = m_observer;
    if (observer)
        observer->beforeMove(node, newParent);
    // One move for the observer, not a removal and an insertion.
    m_observer = nullptr;
    attach(newParent, -1, detach(node));
    m_observer = observer;
    if (observer)
        observer->afterMove();
}

void DirectoryTree::setCaption(DirectoryNode* node, std::string caption)
{
    node->caption = std::move(caption);
    if (m_observer)
        m_observer->nodeChanged(node);
}

void DirectoryTree::setExpanded(DirectoryNode* node, bool expanded)
{
    node->expanded = expanded;
    node->icon = expanded ? kIconExpanded : kIconCollapsed;
    if (m_observer)
        m_observer->nodeChanged(node);
}

bool DirectoryTree::holds(const DirectoryNode* node) const
{
    // Compared by address only: a node that has gone must not be read.
    bool found = false;
    forEach([&](const DirectoryNode* n, int) { found = found || n == node; });
    return found;
}

DirectoryNode* DirectoryTree::findById(int32_t id)
{
    DirectoryNode* found = nullptr;
    forEach([&](DirectoryNode* n, int) {
        if (!found && n->id == id)
            found = n;
    });
    return found;
}

int DirectoryTree::count() const
{
    int n = 0;
    forEach([&](const DirectoryNode*, int) { ++n; });
    return n;
}

}  // namespace qv
