#include "ScanCache.h"

#include "ToolError.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace varnelvst::tool {

namespace fs = std::filesystem;

namespace {

// Bumped when an entry's meaning changes: an older cache is then as none.
constexpr int kCacheVersion = 1;

std::string cachePath() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && *cache == '/')
        return std::string(cache) + "/varnel-vst/plugins.json";
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home == '/')
        return std::string(home) + "/.cache/varnel-vst/plugins.json";
    return {};
}

// The library a bundle loads: a bundle folder's Contents/<machine>-linux/*.so,
// or the path itself when it names the library.
std::string libraryOf(const std::string& bundle) {
    std::error_code error;
    if (!fs::is_directory(bundle, error))
        return bundle;
    for (fs::directory_iterator entry(fs::path(bundle) / "Contents", error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string folder = entry->path().filename().string();
        if (folder.size() < 6 || folder.compare(folder.size() - 6, 6, "-linux") != 0)
            continue;
        const fs::path library = entry->path() / (fs::path(bundle).stem().string() + ".so");
        if (fs::exists(library, error))
            return library.string();
    }
    return {};
}

// "<size> <seconds>.<nanoseconds>" of the bundle's library, links followed;
// empty when there is none to look at.
std::string keyOf(const std::string& bundle) {
    const std::string library = libraryOf(bundle);
    struct stat status {};
    if (library.empty() || ::stat(library.c_str(), &status) != 0)
        return {};
    return std::to_string(status.st_size) + " " + std::to_string(status.st_mtim.tv_sec) + "." +
           std::to_string(status.st_mtim.tv_nsec);
}

} // namespace

ScanCache::ScanCache() : path(cachePath()) {
    if (path.empty())
        return;
    std::ifstream file(path);
    const Json json = Json::parse(file, nullptr, false);
    if (json.is_discarded() || !json.is_object() || json.value("version", 0) != kCacheVersion)
        return;
    for (const Json& entry : json.value("bundles", Json::array())) {
        if (entry.is_object() && entry.contains("path") && entry.contains("key") && entry.contains("scan"))
            entries[entry["path"].get<std::string>()] =
                Entry{entry["key"].get<std::string>(), bundleScanFromJson(entry["scan"])};
    }
}

std::optional<BundleScan> ScanCache::find(const std::string& bundle) const {
    const auto found = entries.find(bundle);
    const std::string key = keyOf(bundle);
    if (found == entries.end() || key.empty() || found->second.key != key)
        return std::nullopt;
    return found->second.scan;
}

void ScanCache::store(const std::string& bundle, const BundleScan& scan) {
    const std::string key = keyOf(bundle);
    if (key.empty() || scan.error.rfind("timed out", 0) == 0)
        return;
    kept[bundle] = Entry{key, scan};
    const auto before = entries.find(bundle);
    changed = changed || before == entries.end() || before->second.key != key;
}

void ScanCache::save() const {
    if ((!changed && kept.size() == entries.size()) || path.empty())
        return;
    Json json{{"version", kCacheVersion}, {"bundles", Json::array()}};
    for (const auto& [bundle, entry] : kept)
        json["bundles"].push_back(
            {{"path", bundle}, {"key", entry.key}, {"scan", bundleScanJson(entry.scan)}});
    std::error_code error;
    fs::create_directories(fs::path(path).parent_path(), error);
    const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
    {
        std::ofstream file(temporary);
        file << json.dump(1, ' ', false, Json::error_handler_t::replace) << '\n';
        if (!file.flush()) {
            ::unlink(temporary.c_str());
            printWarning("cannot keep the plug-in scan in " + path);
            return;
        }
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        printWarning("cannot keep the plug-in scan in " + path);
    }
}

} // namespace varnelvst::tool
