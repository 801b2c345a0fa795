#pragma once

namespace varnelvst::tool {

// A descriptor that takes writes and keeps nothing: they fail (EBADF), which
// printf and std::cout shrug off. It names no file, so nothing in the system is
// written to. Close-on-exec; -1 if it cannot be had. The caller closes it.
int openDiscardingDescriptor();

} // namespace varnelvst::tool
