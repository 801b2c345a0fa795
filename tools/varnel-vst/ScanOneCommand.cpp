// `varnel-vst scan-one <bundle>` (hidden): the child process of `plugins`.
#include "BundleScan.h"
#include "Commands.h"
#include "ToolError.h"

#include <string>

#include <unistd.h>

namespace varnelvst::tool {

int runScanOne(const ScanOneCommand& command) {
    // Plug-ins print what they like; only the answer may reach the parent's pipe.
    const int answer = ::dup(STDOUT_FILENO);
    if (answer < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        throw failure("cannot scan " + command.bundle + ": no standard output");
    const std::string json = describeBundleAsJson(command.bundle) + "\n";
    for (std::size_t done = 0; done < json.size();) {
        const ssize_t written = ::write(answer, json.data() + done, json.size() - done);
        if (written <= 0)
            throw failure("cannot scan " + command.bundle + ": the answer could not be written");
        done += static_cast<std::size_t>(written);
    }
    return kExitOk;
}

} // namespace varnelvst::tool
