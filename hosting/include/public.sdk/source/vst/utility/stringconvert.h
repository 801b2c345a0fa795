// Conversion between UTF-8 (std::string) and UTF-16 (the TChar strings of the
// VST 3 interfaces). Malformed input never fails a conversion: each invalid
// UTF-8 sequence and each unpaired surrogate becomes U+FFFD.
// Any thread; the functions that return strings allocate.
#pragma once

#include "pluginterfaces/vst/vsttypes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace VST3
{
namespace StringConvert
{

std::u16string convert (const std::string& utf8Str);

std::string convert (const std::u16string& str);

/** Reads at most max code units, stopping earlier at a terminator. */
std::string convert (const Steinberg::Vst::TChar* str, uint32_t max);

/** A null-terminated string; a null pointer gives an empty string.
	A template so that a fixed array (String128, ParameterInfo::title) picks
	the bounded overload below instead of decaying to a pointer. */
template <
	typename CharPointer,
	typename = std::enable_if_t<std::is_pointer_v<CharPointer> &&
								std::is_same_v<std::remove_cv_t<std::remove_pointer_t<CharPointer>>,
											   Steinberg::Vst::TChar>>>
std::string convert (CharPointer str)
{
	return convert (static_cast<const Steinberg::Vst::TChar*> (str), UINT32_MAX);
}

/** A fixed array: stops at its first terminator or at its end, whichever
	comes first, so an array filled to the brim is not overrun. */
template <size_t N>
std::string convert (const Steinberg::Vst::TChar (&str)[N])
{
	return convert (static_cast<const Steinberg::Vst::TChar*> (str), static_cast<uint32_t> (N));
}

/** Writes utf8Str into str, a buffer of maxCharacters code units, always
	terminated. Returns false (after writing what fits) when the text had to be
	cut, or when there is no room at all. A cut never splits a surrogate pair. */
bool convert (const std::string& utf8Str, Steinberg::Vst::TChar* str, uint32_t maxCharacters);

} // namespace StringConvert
} // namespace VST3
