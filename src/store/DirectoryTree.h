#pragma once
// The live tree of directories. Captions are GBK bytes; ids are what entries
// point at through their owner field.
#include "store/Records.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qv {

// Pictures of the image list that the tree uses.
enum DirectoryIcon : int { kIconLeaf = 0, kIconExpanded = 1, kIconCollapsed = 2 };

struct DirectoryNode {
    std::string caption;
    DirectoryId id = 0;
    int icon = kIconLeaf;  // the same picture for the normal and the selected state
    bool expanded = false;
    DirectoryNode* parent = nullptr;  // the tree's invisible root for top-level directories
    std::vector<std::unique_ptr<DirectoryNode>> children;

    int row() const;    // index among its siblings
    int depth() const;  // 0 for a top-level directory
    bool hasChildren() const { return !children.empty(); }
    // True when `other` is this node or lies somewhere below it.
    bool contains(const DirectoryNode* other) const;
};

// Told before and after every structural change, so that a view's model can
// follow the tree without being rebuilt.
class DirectoryTreeObserver {
public:
    virtual ~DirectoryTreeObserver() = default;
    virtual void beforeInsert(DirectoryNode* parent, int row) = 0;
    virtual void afterInsert() = 0;
    virtual void beforeRemove(DirectoryNode* parent, int row) = 0;
    virtual void afterRemove() = 0;
    // `node` moves to the end of `newParent`'s children.
    virtual void beforeMove(DirectoryNode* node, DirectoryNode* newParent) = 0;
    virtual void afterMove() = 0;
    virtual void beforeReset() = 0;
    virtual void afterReset() = 0;
    // A node's caption or icon changed.
    virtual void nodeChanged(DirectoryNode* node) = 0;
};

class DirectoryTree {
public:
    DirectoryTree();
    DirectoryTree(const DirectoryTree&) = delete;
    DirectoryTree& operator=(const DirectoryTree&) = delete;

    // The invisible node above the top-level directories.
    DirectoryNode* root() { return &m_root; }
    const DirectoryNode* root() const { return &m_root; }
    bool isEmpty() const { return m_root.children.empty(); }
    void clear();

    int32_t NextDirectoryId() const { return m_nextDirectoryId; }
    void setNextDirectoryId(int32_t id) { m_nextDirectoryId = id; }
    // Hands out NextDirectoryId + 1; nullopt once the id space is used up.
    std::optional<int32_t> allocateId();

    // A new directory with the next id under `parent` at `row` (as insert);
    // nullptr once the id space is used up.
    DirectoryNode* insertNew(DirectoryNode* parent, int row, std::string caption);

    // Inserts a new node under `parent` (root() for the top level) at `row`
    // (clamped; -1 appends). Returns the new node.
    DirectoryNode* insert(DirectoryNode* parent, int row, std::string caption, int32_t id);
    std::unique_ptr<DirectoryNode> detach(DirectoryNode* node);
    void attach(DirectoryNode* parent, int row, std::unique_ptr<DirectoryNode> node);
    // Moves `node` with its branch to the end of `newParent`'s children; the
    // caller makes sure newParent is not inside the branch.
    void moveToEnd(DirectoryNode* node, DirectoryNode* newParent);

    // Depth-first pre-order (a directory before its subdirectories, siblings
    // top to bottom): f(node, depth).
    template <class F> void forEach(F&& f) const { walk(&m_root, -1, f); }
    template <class F> void forEach(F&& f) { walkMutable(&m_root, -1, f); }

    // Caption and icon change here, so that the views hear of it.
    void setCaption(DirectoryNode* node, std::string caption);
    // An opened directory shows the open book, a closed one the closed book.
    void setExpanded(DirectoryNode* node, bool expanded);
    // True when `node` is still part of the tree.
    bool holds(const DirectoryNode* node) const;

    DirectoryNode* findById(int32_t id);
    int count() const;

    void setObserver(DirectoryTreeObserver* observer) { m_observer = observer; }

private:
    template <class F> static void walk(const DirectoryNode* n, int depth, F& f)
    {
        if (depth >= 0)
            f(n, depth);
        // The children lie anywhere in memory: ask for all of them at once
        // rather than wait for each in turn.
        for (const auto& c : n->children) {
            __builtin_prefetch(c.get());
            __builtin_prefetch(reinterpret_cast<const char*>(c.get()) + sizeof(DirectoryNode) - 1);
        }
        for (const auto& c : n->children)
            walk(c.get(), depth + 1, f);
    }
    template <class F> static void walkMutable(DirectoryNode* n, int depth, F& f)
    {
        if (depth >= 0)
            f(n, depth);
        for (auto& c : n->children)
            walkMutable(c.get(), depth + 1, f);
    }

    DirectoryNode m_root;
    int32_t m_nextDirectoryId = 0;
    DirectoryTreeObserver* m_observer = nullptr;
};

}  // namespace qv
