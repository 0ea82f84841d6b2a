#include "tree/DirectoryCommands.h"

#include "store/Records.h"

#include <algorithm>
#include <vector>

namespace qv {

std::string newDirectoryCaption() { return "\xD0\xC2\xC4\xBF\xC2\xBC"; }  // 新目录

DirectoryNode* createDirectory(Database& db, DirectoryNode* anchor, NewDirectoryPlace place)
{
    DirectoryTree& tree = db.tree;
    DirectoryNode* parent = tree.root();
    int row = -1;
    switch (place) {
    case NewDirectoryPlace::LastSibling:
        if (anchor)
            parent = anchor->parent;
        break;
    case NewDirectoryPlace::Before:
        if (anchor) {
            parent = anchor->parent;
            row = anchor->row();
        } else {
            row = 0;
        }
        break;
    case NewDirectoryPlace::LastChild:
        if (!anchor)
            return nullptr;
        parent = anchor;
        break;
    }
    DirectoryNode* node = tree.insertNew(parent, row, newDirectoryCaption());
    if (node)
        db.ModifiedFlag = true;
    return node;
}

CaptionCheck checkCaption(std::string_view gbk)
{
    return gbk.empty() || gbk.size() > size_t(kNameCapacity) ? CaptionCheck::EmptyOrTooLong : CaptionCheck::Ok;
}

CaptionCheck renameDirectory(Database& db, DirectoryNode* node, std::string caption)
{
    const CaptionCheck check = checkCaption(caption);
    if (check != CaptionCheck::Ok)
        return check;
    db.tree.setCaption(node, std::move(caption));
    db.ModifiedFlag = true;
    db.notifyDirectoryRenamed(node->id, node->caption);
    return check;
}

void setDirectoryExpanded(Database& db, DirectoryNode* node, bool expanded) { db.tree.setExpanded(node, expanded); }

bool deleteDirectory(Database& db, DirectoryNode* node)
{
    if (!node || node->hasChildren())
        return false;
    const int32_t id = node->id;
    db.tree.detach(node);
    // An id of 0 or below (only in a hand-made file) cannot be negated into a
    // deleted mark; its entries are left alone.
    if (id > 0) {
        db.image.forEachEntryMutable([id](int32_t, uint8_t* rec) {
            if (entryOwner(rec) == id)
                writeLe32(rec + entry_field::kOwner, -id);
        });
    }
    db.ModifiedFlag = true;
    return true;
}

BranchSize branchSize(const Database& db, const DirectoryNode* node)
{
    BranchSize size;
    if (!node)
        return size;
    std::vector<DirectoryId> ids;
    std::vector<const DirectoryNode*> stack{node};
    while (!stack.empty()) {
        const DirectoryNode* n = stack.back();
        stack.pop_back();
        if (n != node)
            ++size.directories;
        ids.push_back(n->id);
        for (const auto& c : n->children)
            stack.push_back(c.get());
    }
    std::sort(ids.begin(), ids.end());
    // A live owner is positive; a deleted entry's is negated.
    db.image.forEachEntry([&](int32_t, const uint8_t* rec) {
        const int32_t owner = entryOwner(rec);
        if (owner > 0 && std::binary_search(ids.begin(), ids.end(), owner))
            ++size.entries;
    });
    return size;
}

bool moveDirectory(Database& db, DirectoryNode* node, DirectoryNode* target)
{
    DirectoryTree& tree = db.tree;
    DirectoryNode* parent = target ? target : tree.root();
    if (!node || node->parent == parent || node->contains(parent))
        return false;
    tree.moveToEnd(node, parent);
    if (target)
        target->expanded = true;
    db.ModifiedFlag = true;
    return true;
}

}  // namespace qv
