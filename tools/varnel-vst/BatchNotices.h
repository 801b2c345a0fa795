#pragma once

#include "ToolError.h"

#include <string>
#include <vector>

namespace varnelvst::tool {

// The notes and warnings of a batch's workers, given once each when the batch is
// done, with every file they concern: twenty files that a plug-in left
// unchanged make one line, not twenty.
class BatchNotices {
public:
    // A worker's "notice" message (see BatchWorker.h) into the board.
    void addMessage(const std::string& message);
    // The text of such a message.
    static std::string messageFor(NoticeKind kind, const std::string& file, const std::string& text);

    // On standard error, in the order they first came, each with its files sorted.
    void print() const;

private:
    struct Notice {
        NoticeKind kind;
        std::string text;
        std::vector<std::string> files; // each once
    };
    std::vector<Notice> notices;
};

} // namespace varnelvst::tool
