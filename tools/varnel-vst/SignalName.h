#pragma once

#include <string>

namespace varnelvst::tool {

// "SIGSEGV" for SIGSEGV, "signal 77" for a number without a name: how a child
// process that a plug-in brought down is reported.
std::string signalName(int signalNumber);

} // namespace varnelvst::tool
