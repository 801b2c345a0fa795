#include "PluginFolders.h"

#include "PluginLookup.h"
#include "ToolError.h"

#include <VSTProcessorNode.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

#include <sys/stat.h>

namespace varnelvst::tool {

namespace fs = std::filesystem;
using varnel::extensions::vst::VSTProcessorNode;

namespace {

constexpr const char* kBundleExtension = ".vst3";

// Folders already searched, by device and inode, so that links back up the tree
// (or across the search folders) end instead of looping.
using VisitedFolders = std::set<std::pair<dev_t, ino_t>>;

bool firstVisit(const fs::path& folder, VisitedFolders& visited) {
    struct stat status {};
    return ::stat(folder.c_str(), &status) == 0 && visited.emplace(status.st_dev, status.st_ino).second;
}

// Depth first, links followed, each folder once; a bundle's insides are the
// plug-in's own business.
void collectBundles(const fs::path& folder, VisitedFolders& visited, std::vector<std::string>& bundles) {
    std::error_code error;
    std::vector<fs::path> entries;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error))
        entries.push_back(entry->path());
    // A folder that is there but cannot be read may hide plug-ins: say so.
    if (error && error != std::errc::no_such_file_or_directory)
        printWarning("cannot search the plug-in folder " + folder.string() + ": " + error.message());
    std::sort(entries.begin(), entries.end());
    for (const fs::path& entry : entries) {
        if (!fs::is_directory(entry, error) || !firstVisit(entry, visited))
            continue;
        if (entry.extension() == kBundleExtension)
            bundles.push_back(entry.string());
        else
            collectBundles(entry, visited, bundles);
    }
}

std::vector<std::string> bundlesIn(const std::string& folder, VisitedFolders& visited) {
    std::vector<std::string> bundles;
    if (firstVisit(folder, visited))
        collectBundles(folder, visited, bundles);
    std::sort(bundles.begin(), bundles.end());
    return bundles;
}

std::string withBundleExtension(const std::string& name) {
    return fs::path(name).extension() == kBundleExtension ? name : name + kBundleExtension;
}

// The path below the system folder, when `path` lies inside it (links resolved on
// both sides, so a link into the folder counts as inside).
std::optional<std::string> relativeToSystemFolder(const fs::path& path) {
    std::error_code error;
    const fs::path folder = fs::weakly_canonical(VSTProcessorNode::systemPluginFolder(), error);
    if (error)
        return std::nullopt;
    const fs::path resolved = fs::weakly_canonical(path, error);
    if (error)
        return std::nullopt;
    const fs::path relative = resolved.lexically_relative(folder);
    const std::string name = relative.string();
    if (relative.empty() || name == "." || !VSTProcessorNode::isSafePluginFileName(name))
        return std::nullopt;
    return name;
}

} // namespace

PluginLocation locatedAt(const std::string& argument, const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error).lexically_normal();
    return {argument, error ? path : absolute.string(), relativeToSystemFolder(path), {}};
}

std::vector<std::string> searchFolders() {
    std::vector<std::string> folders;
    if (const char* path = std::getenv("VST3_PATH"); path != nullptr) {
        const std::string list = path;
        for (std::size_t start = 0; start <= list.size();) {
            const std::size_t end = std::min(list.find(':', start), list.size());
            if (end > start)
                folders.push_back(list.substr(start, end - start) + (list[end - 1] == '/' ? "" : "/"));
            start = end + 1;
        }
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        folders.push_back(std::string(home) + "/.vst3/");
    folders.push_back(VSTProcessorNode::systemPluginFolder());
    folders.push_back("/usr/local/lib/vst3/");
    return folders;
}

std::vector<std::string> findBundles(const std::vector<std::string>& extraFolders) {
    std::vector<std::string> bundles;
    VisitedFolders visited;
    std::vector<std::string> folders = extraFolders;
    for (std::string& folder : searchFolders())
        folders.push_back(std::move(folder));
    for (const std::string& folder : folders) {
        for (std::string& bundle : bundlesIn(folder, visited))
            bundles.push_back(std::move(bundle));
    }
    return bundles;
}

PluginLocation locatePlugin(const std::string& argument) {
    if (argument.empty())
        throw failure("unknown plug-in: the name is empty");
    std::error_code error;
    if (argument.find('/') != std::string::npos) {
        if (!fs::exists(argument, error))
            throw failure("unknown plug-in " + argument + ": no such file or folder");
        return locatedAt(argument, argument);
    }

    const std::string bundleName = withBundleExtension(argument);
    const std::string systemFolder = VSTProcessorNode::systemPluginFolder();
    if (fs::is_directory(systemFolder + bundleName, error))
        return locatedAt(argument, systemFolder + bundleName);
    // Then anywhere below the system folder, then below the others.
    std::vector<std::string> folders{systemFolder};
    for (const std::string& folder : searchFolders()) {
        if (folder != systemFolder)
            folders.push_back(folder);
    }
    std::string searched;
    VisitedFolders visited;
    for (const std::string& folder : folders) {
        searched += (searched.empty() ? "" : ", ") + folder;
        for (const std::string& bundle : bundlesIn(folder, visited)) {
            if (fs::path(bundle).filename() == bundleName)
                return locatedAt(argument, bundle);
        }
    }
    std::string suggestions;
    if (std::optional<PluginLocation> named = locateByLooseName(argument, suggestions))
        return *named;
    throw failure("unknown plug-in " + argument + ": no " + bundleName + " in " + searched +
                  ", and no bundle or effect of that name" + suggestions + "; varnel-vst plugins lists them");
}

} // namespace varnelvst::tool
