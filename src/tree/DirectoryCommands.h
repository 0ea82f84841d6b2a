#pragma once
// Directory edits that reach beyond the tree itself: new ids, and the
// entries that go with a deleted directory.
#include "store/Database.h"

#include <string>

namespace qv {

enum class NewDirectoryPlace { LastSibling, Before, LastChild };

// The caption of a directory just created.
std::string newDirectoryCaption();  // "新目录" in GBK

// Creates a directory relative to `anchor` (nullptr: nothing selected).
// LastSibling: after the anchor's last sibling (or the last root);
// Before: just before the anchor (or as the first root);
// LastChild: the anchor's last child (needs an anchor).
// Returns nullptr when no id is left, or LastChild has no anchor.
DirectoryNode* createDirectory(Database& db, DirectoryNode* anchor, NewDirectoryPlace place);

// Why a name cannot be a directory caption; Ok when it can.
enum class CaptionCheck { Ok, EmptyOrTooLong };
CaptionCheck checkCaption(std::string_view gbk);

// Gives `node` a new caption (GBK) when checkCaption allows it.
CaptionCheck renameDirectory(Database& db, DirectoryNode* node, std::string caption);

// Opens or closes a directory; its book picture follows. Not an edit.
void setDirectoryExpanded(Database& db, DirectoryNode* node, bool expanded);

// Deletes a directory without subdirectories and marks its entries deleted.
// Returns false (and changes nothing) when it has subdirectories.
bool deleteDirectory(Database& db, DirectoryNode* node);

// What goes with a directory: every directory below it, at any depth, and
// the live entries of the directory and of those below it.
struct BranchSize {
    size_t directories = 0;
    size_t entries = 0;
};
BranchSize branchSize(const Database& db, const DirectoryNode* node);

// Moves `node` with its branch to the end of `target`'s children (nullptr:
// the top level). Returns false when nothing moved: target is its current
// parent, or the node itself or one of its descendants.
bool moveDirectory(Database& db, DirectoryNode* node, DirectoryNode* target);

}  // namespace qv
