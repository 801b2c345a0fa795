#pragma once

namespace varnelvst::tool {

// Standard output belongs to the tool. Plug-ins print there (debug lines, licence
// banners), and their bytes must never land in the sound or the JSON the tool
// writes there. claimStandardOutput moves the real standard output to a private
// descriptor that child programs do not inherit and points descriptor 1, which
// plug-ins print to, at standard error; std::cout then writes to the private
// descriptor. Called once, first thing in main.
void claimStandardOutput();

// The tool's own standard output: the private descriptor once claimed, else 1.
// -1 when the tool was started with standard output closed.
int standardOutputDescriptor();

} // namespace varnelvst::tool
