#pragma once

#include <iosfwd>

namespace varnelvst::tool {

// Standard output belongs to the tool. Plug-ins print there (debug lines, licence
// banners) through printf, std::cout or descriptor 1, and their bytes must never
// land in the sound or the JSON the tool writes there. claimStandardOutput moves
// the real standard output to a private descriptor that child programs do not
// inherit and points descriptor 1 at standard error; stdout and std::cout, which
// write to descriptor 1, lead there too. Called once, first thing in main.
void claimStandardOutput();

// The tool's own text on its standard output. Nothing of the tool's goes through
// std::cout, which is the plug-ins' as much as the tool's.
std::ostream& toolOutput();

// The tool's own standard output: the private descriptor once claimed, else 1.
// -1 when the tool was started with standard output closed.
int standardOutputDescriptor();

} // namespace varnelvst::tool
