#pragma once

// The real plug-ins that Debian's zam-plugins installs (Linux only).

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace testsupport {

inline const std::string kInstalledFolder = "/usr/lib/vst3";

// The installed bundle of the plug-in called `name`, e.g. "ZamCompX2".
inline std::string installedBundle(const std::string& name) {
    return kInstalledFolder + "/" + name + ".vst3";
}

inline bool isInstalled(const std::string& name) {
    return std::filesystem::exists(installedBundle(name));
}

// Every installed bundle's path, sorted; none when the folder is missing.
inline std::vector<std::string> installedBundles() {
    std::vector<std::string> bundles;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(kInstalledFolder, error)) {
        if (entry.path().extension() == ".vst3")
            bundles.push_back(entry.path().string());
    }
    std::sort(bundles.begin(), bundles.end());
    return bundles;
}

// ZamVerb and ZamHeadX2 keep convolution buffers in their library's globals and
// do not free them at ModuleExit; once unloaded, the leak checker would blame the
// process. Keeping their libraries mapped for the whole run keeps those buffers
// reachable, so the checker still sees any leak of ours.
inline void pinLibrariesThatLeakAtUnload() {
    static const bool pinned = [] {
        for (const std::string name : {"ZamVerb", "ZamHeadX2"}) {
            const std::string library = installedBundle(name) + "/Contents/x86_64-linux/" + name + ".so";
            dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
        }
        return true;
    }();
    (void)pinned;
}

} // namespace testsupport
