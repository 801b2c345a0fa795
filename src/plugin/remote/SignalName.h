#pragma once

#include <string>

namespace varnel::extensions::vst {

/// The usual name of a signal that ends a process, e.g. "SIGSEGV"; "signal 42"
/// for one without a name here.
std::string signalName(int signal);

} // namespace varnel::extensions::vst
