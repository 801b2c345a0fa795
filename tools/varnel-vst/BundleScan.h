#pragma once

#include "JsonOutput.h"

#include <VSTPluginInfo.h>

#include <chrono>
#include <string>
#include <vector>

namespace varnelvst::tool {

// What a bundle's factory says about itself, or why it said nothing.
struct BundleScan {
    std::vector<varnel::extensions::vst::VSTPluginClassInfo> classes; // every class, any category
    std::string error; // the load's reason, "crashed: SIGSEGV", "timed out after 10 s", ...
};

// Asks the bundle in a child process (this program's hidden `scan-one`), so that
// a factory that crashes, aborts or hangs takes only the child down. The child's
// first complete answer counts; then, or after `limit` without one, the child's
// process group is killed: the child and whatever the plug-in started in it.
// `quiet` drops what the child writes to standard error (the plug-in's chatter).
BundleScan scanInChildProcess(const std::string& bundle, std::chrono::milliseconds limit, bool quiet = false);

// The child's side: the bundle's classes as the JSON scanInChildProcess reads.
std::string describeBundleAsJson(const std::string& bundle);

// A scan as that JSON, and back (for the scan cache).
Json bundleScanJson(const BundleScan& scan);
BundleScan bundleScanFromJson(const Json& json);

} // namespace varnelvst::tool
