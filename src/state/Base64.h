#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnel::extensions::vst {

/// Standard base64 (RFC 4648 alphabet, '=' padding): the form binary plug-in
/// state takes in a text configuration.
std::string encodeBase64(const std::vector<std::uint8_t>& bytes);

/// Strict decoding: nothing for text of the wrong length, a character outside the
/// alphabet (whitespace included) or padding anywhere but at the end.
std::optional<std::vector<std::uint8_t>> decodeBase64(const std::string& text);

} // namespace varnel::extensions::vst
