#include "public.sdk/source/vst/utility/stringconvert.h"

#include <algorithm>

namespace VST3
{
namespace StringConvert
{

namespace
{

constexpr char32_t replacementCharacter = 0xFFFD;

bool isHighSurrogate (char32_t unit)
{
	return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate (char32_t unit)
{
	return unit >= 0xDC00 && unit <= 0xDFFF;
}
bool isContinuation (unsigned char byte)
{
	return (byte & 0xC0) == 0x80;
}

/** Decodes one code point starting at text[pos] and advances pos. An invalid
	sequence is consumed up to (not including) the first byte that breaks it,
	which is how the Unicode standard recommends replacing maximal subparts. */
char32_t decodeUtf8 (const std::string& text, size_t& pos)
{
	const auto lead = static_cast<unsigned char> (text[pos++]);
	if (lead < 0x80)
		return lead;

	int length = 0;
	char32_t codePoint = 0;
	// Bounds of the second byte exclude overlong forms, surrogates and
	// values above U+10FFFF in one place.
	unsigned char secondMin = 0x80, secondMax = 0xBF;
	if (lead >= 0xC2 && lead <= 0xDF)
	{
		length = 2;
		codePoint = lead & 0x1F;
	}
	else if (lead >= 0xE0 && lead <= 0xEF)
	{
		length = 3;
		codePoint = lead & 0x0F;
		if (lead == 0xE0)
			secondMin = 0xA0;
		else if (lead == 0xED)
			secondMax = 0x9F;
	}
	else if (lead >= 0xF0 && lead <= 0xF4)
	{
		length = 4;
		codePoint = lead & 0x07;
		if (lead == 0xF0)
			secondMin = 0x90;
		else if (lead == 0xF4)
			secondMax = 0x8F;
	}
	else
		return replacementCharacter;

	for (int i = 1; i < length; ++i)
	{
		if (pos >= text.size ())
			return replacementCharacter;
		const auto byte = static_cast<unsigned char> (text[pos]);
		const bool valid =
			i == 1 ? (byte >= secondMin && byte <= secondMax) : isContinuation (byte);
		if (!valid)
			return replacementCharacter;
		codePoint = (codePoint << 6) | (byte & 0x3F);
		++pos;
	}
	return codePoint;
}

void appendUtf16 (std::u16string& out, char32_t codePoint)
{
	if (codePoint < 0x10000)
	{
		out.push_back (static_cast<char16_t> (codePoint));
		return;
	}
	codePoint -= 0x10000;
	out.push_back (static_cast<char16_t> (0xD800 + (codePoint >> 10)));
	out.push_back (static_cast<char16_t> (0xDC00 + (codePoint & 0x3FF)));
}

void appendUtf8 (std::string& out, char32_t codePoint)
{
	if (codePoint < 0x80)
		out.push_back (static_cast<char> (codePoint));
	else if (codePoint < 0x800)
	{
		out.push_back (static_cast<char> (0xC0 | (codePoint >> 6)));
		out.push_back (static_cast<char> (0x80 | (codePoint & 0x3F)));
	}
	else if (codePoint < 0x10000)
	{
		out.push_back (static_cast<char> (0xE0 | (codePoint >> 12)));
		out.push_back (static_cast<char> (0x80 | ((codePoint >> 6) & 0x3F)));
		out.push_back (static_cast<char> (0x80 | (codePoint & 0x3F)));
	}
	else
	{
		out.push_back (static_cast<char> (0xF0 | (codePoint >> 18)));
		out.push_back (static_cast<char> (0x80 | ((codePoint >> 12) & 0x3F)));
		out.push_back (static_cast<char> (0x80 | ((codePoint >> 6) & 0x3F)));
		out.push_back (static_cast<char> (0x80 | (codePoint & 0x3F)));
	}
}

std::string utf16ToUtf8 (const char16_t* units, size_t count)
{
	std::string out;
	out.reserve (count);
	for (size_t i = 0; i < count; ++i)
	{
		const char32_t unit = units[i];
		if (isHighSurrogate (unit) && i + 1 < count && isLowSurrogate (units[i + 1]))
		{
			appendUtf8 (out, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
			++i;
		}
		else if (isHighSurrogate (unit) || isLowSurrogate (unit))
			appendUtf8 (out, replacementCharacter);
		else
			appendUtf8 (out, unit);
	}
	return out;
}

} // namespace

std::u16string convert (const std::string& utf8Str)
{
	std::u16string out;
	out.reserve (utf8Str.size ());
	size_t pos = 0;
	while (pos < utf8Str.size ())
		appendUtf16 (out, decodeUtf8 (utf8Str, pos));
	return out;
}

std::string convert (const std::u16string& str)
{
	return utf16ToUtf8 (str.data (), str.size ());
}

std::string convert (const Steinberg::Vst::TChar* str, uint32_t max)
{
	if (!str)
		return {};
	size_t length = 0;
	while (length < max && str[length] != 0)
		++length;
	// TChar is char16_t, or on Windows the 16-bit wchar_t: the same UTF-16 units.
	static_assert (sizeof (Steinberg::Vst::TChar) == sizeof (char16_t));
	return utf16ToUtf8 (reinterpret_cast<const char16_t*> (str), length);
}

bool convert (const std::string& utf8Str, Steinberg::Vst::TChar* str, uint32_t maxCharacters)
{
	if (!str || maxCharacters == 0)
		return false;
	const std::u16string utf16 = convert (utf8Str);
	size_t count = std::min<size_t> (utf16.size (), maxCharacters - 1);
	// A high surrogate whose partner was cut off would decode as U+FFFD.
	if (count > 0 && count < utf16.size () && isHighSurrogate (utf16[count - 1]))
		--count;
	std::copy_n (utf16.data (), count, str);
	str[count] = 0;
	return count == utf16.size ();
}

} // namespace StringConvert
} // namespace VST3
