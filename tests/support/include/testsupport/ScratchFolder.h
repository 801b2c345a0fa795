#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace testsupport {

// The names of the entries directly inside `folder`, sorted.
inline std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A fresh folder under the system temp folder, removed with everything in it.
// Its name is new to the machine, so tests run in parallel never share one
// (POSIX only: the tests that write files run on the Linux build machine).
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "varnelvst-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        folder = pattern;
    }
    ~ScratchFolder() {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return folder; }
    std::string file(const std::string& name) const { return folder + "/" + name; }
    // The names of the entries directly inside, sorted.
    std::vector<std::string> entries() const { return entriesOf(folder); }

private:
    std::string folder;
};

} // namespace testsupport
