#pragma once

#include "BundleScan.h"

#include <map>
#include <optional>
#include <string>

namespace varnelvst::tool {

// What `plugins` learnt of each bundle, kept between runs in
// $XDG_CACHE_HOME/varnel-vst/plugins.json ($HOME/.cache without it), keyed by
// the bundle's path and its library's size and time of change: a bundle that
// did not change is not asked again, a bundle that crashed its scan is
// remembered as such until it changes. Scans that timed out are not kept (the
// machine may have been busy). A cache that cannot be read is as none; one that
// cannot be written, a warning.
class ScanCache {
public:
    // The cache of this user; none without a home or cache folder.
    ScanCache();

    // The scan of `bundle` when its library is as it was then.
    std::optional<BundleScan> find(const std::string& bundle) const;
    // Every bundle listed now, found or scanned: the cache keeps these only.
    void store(const std::string& bundle, const BundleScan& scan);
    // Writes the cache (beside itself, then renamed) when it changed.
    void save() const;

private:
    struct Entry {
        std::string key; // the library's size and time of change
        BundleScan scan;
    };
    std::string path;
    std::map<std::string, Entry> entries; // as read, by bundle path
    std::map<std::string, Entry> kept;    // as stored in this run
    bool changed = false;
};

} // namespace varnelvst::tool
