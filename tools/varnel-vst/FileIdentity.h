#pragma once

#include <string>

#include <sys/types.h>

namespace varnelvst::tool {

// What a path names, so that two names of one file are told apart from two
// files: an existing file by device and inode (links, "..", hard links and
// /dev/fd all lead there), one still to be made by its absolute path with every
// link resolved, dangling ones included. "-" is the tool's standard output.
class FileIdentity {
public:
    explicit FileIdentity(const std::string& path);

    bool operator==(const FileIdentity& other) const;
    // Any strict order, for sets and maps of identities.
    bool operator<(const FileIdentity& other) const;

private:
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string resolved; // of a file that does not exist yet
};

// The file a write to `path` creates when nothing is there yet: a dangling link's
// target (followed to its end), so that the link keeps pointing at the result;
// `path` itself otherwise.
std::string fileToCreate(const std::string& path);

} // namespace varnelvst::tool
