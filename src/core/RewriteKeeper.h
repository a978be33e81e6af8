#pragma once
// What a batch rewrite tells the one that keeps its unchanged copies beyond the rewrite
// (the undo history). The copies of the items marked `keepCopy` share a safety file of
// their own, which the keeper may take over once the batch is complete, instead of it
// being deleted: keeping the copies then costs no write.
#include "platform/FileSystem.h"

#include <string>
#include <vector>

namespace tw {

struct RewriteItem;

class RewriteKeeper {
public:
    virtual ~RewriteKeeper() = default;
    // Every copy is durable and listed for recovery; no original has been written yet.
    // `keptFile` holds the copies of the items with `keepCopy` (empty when there is none),
    // `keptStatus` is its identity.
    virtual void beforeRewrite(const std::vector<RewriteItem*>& ready, const std::string& keptFile,
                               const FileStatus& keptStatus) = 0;
    // Every original is durable and the recovery entries are gone. True when the keeper
    // took `keptFile` away (renamed it); otherwise it is deleted as usual.
    [[nodiscard]] virtual bool afterRewrite(const std::vector<RewriteItem*>& ready, const std::string& keptFile) = 0;
};

} // namespace tw
