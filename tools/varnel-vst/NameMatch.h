#pragma once

#include <optional>
#include <string>
#include <vector>

namespace varnelvst::tool {

// Names people type, matched against the names a plug-in or the tool knows:
// parameter titles, value names, plug-ins, options.

// ASCII letters in lower case; other bytes (UTF-8 included) as they are.
std::string lowerCase(std::string text);
bool equalIgnoringCase(const std::string& one, const std::string& other);

// How a typed name matched.
struct NameMatch {
    std::optional<std::size_t> index; // of the name matched: the last exact one, else the one equal
                                      // but for case
    std::vector<std::string> others;  // without a match: the names equal but for case (ambiguous),
                                      // else the ones close to it, best first
};

// The name typed as it is when one of `names` is spelt so, else the one name
// equal to it but for case (names spelt alike count once). Without a match,
// `others` holds what the user may have meant.
NameMatch matchName(const std::vector<std::string>& names, const std::string& typed);

// At most three of `names` close to `typed` (a few letters off, or starting
// with it), best first; case does not count.
std::vector<std::string> similarNames(const std::vector<std::string>& names, const std::string& typed);

// " (did you mean 'a' or 'b'?)", or empty for no names.
std::string didYouMean(const std::vector<std::string>& names);

} // namespace varnelvst::tool
