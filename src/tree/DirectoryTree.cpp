#include "tree/DirectoryTree.h"

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
    m_root.children.clear();
    m_nextId = 0;
}

std::optional<int32_t> DirectoryTree::allocateId()
{
    if (m_nextId == INT32_MAX)
        return std::nullopt;
    // A damaged file may hold a negative NextDirectoryId; ids stay positive.
    m_nextId = m_nextId < 0 ? 1 : m_nextId + 1;
    return m_nextId;
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
    auto& sib = node->parent->children;
    auto it = sib.begin() + node->row();
    std::unique_ptr<DirectoryNode> owned = std::move(*it);
    sib.erase(it);
    owned->parent = nullptr;
    return owned;
}

void DirectoryTree::attach(DirectoryNode* parent, int row, std::unique_ptr<DirectoryNode> node)
{
    auto& sib = parent->children;
    if (row < 0 || row > int(sib.size()))
        row = int(sib.size());
    node->parent = parent;
    sib.insert(sib.begin() + row, std::move(node));
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
