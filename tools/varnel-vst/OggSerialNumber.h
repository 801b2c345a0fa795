#pragma once

#include <string>

namespace varnelvst::tool {

// libsndfile gives every Ogg stream it writes a serial number drawn from the
// clock, so two renders of the same sound differ in bytes. A file of one stream
// may carry any serial number: this gives every page of the Ogg file at `path`
// the same fixed one and its checksum anew. False with the reason in `error`.
bool fixOggSerialNumber(const std::string& path, std::string& error);

} // namespace varnelvst::tool
