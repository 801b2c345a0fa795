// `varnel-vst scan-one <bundle>` (hidden): the child process of `plugins`.
#include "BundleScan.h"
#include "Commands.h"
#include "StandardOutput.h"
#include "ToolError.h"

#include <string>

#include <unistd.h>

namespace varnelvst::tool {

int runScanOne(const ScanOneCommand& command) {
    // Only the answer reaches the parent's pipe: what the plug-in prints goes to
    // standard error, and helper programs it starts do not inherit the pipe.
    const int answer = standardOutputDescriptor();
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
