#pragma once
// Purging and bringing back deleted entries.
#include "store/Database.h"

#include <vector>

namespace qv {

// Removes every deleted record (negative owner) from the entry section. The
// file is not written and ModifiedFlag is not touched. Rows still listed are
// told how positions moved; the same is returned.
Relocation compactEntries(Database& db);

struct RecoveryResult {
    int count = 0;                           // records brought back
    std::vector<DirectoryNode*> newRoots;    // "恢复目录" roots made for vanished directories
};

// Makes every deleted record live again. Records whose directory is gone go
// to a new top-level "恢复目录" carrying the old id, one per id.
RecoveryResult recoverEntries(Database& db);

std::string recoveryDirectoryCaption();  // "恢复目录" in GBK

}  // namespace qv
