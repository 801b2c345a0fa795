#include "public.sdk/source/vst/utility/uid.h"

#include <cstring>

namespace VST3
{

namespace
{

int hexDigitValue (char c) noexcept
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	return -1;
}

} // namespace

UID::UID () noexcept : bytes{} {}

UID UID::fromTUID (const TUID uid) noexcept
{
	UID result;
	std::memcpy (result.bytes, uid, sizeof (TUID));
	return result;
}

std::optional<UID> UID::fromString (const std::string& hex) noexcept
{
	if (hex.size () != 2 * sizeof (TUID))
		return std::nullopt;
	UID result;
	for (size_t i = 0; i < sizeof (TUID); ++i)
	{
		const int high = hexDigitValue (hex[2 * i]);
		const int low = hexDigitValue (hex[2 * i + 1]);
		if (high < 0 || low < 0)
			return std::nullopt;
		result.bytes[i] = static_cast<char> ((high << 4) | low);
	}
	return result;
}

std::string UID::toString () const noexcept
{
	static constexpr char digits[] = "0123456789ABCDEF";
	std::string text (2 * sizeof (TUID), '0');
	for (size_t i = 0; i < sizeof (TUID); ++i)
	{
		const auto byte = static_cast<unsigned char> (bytes[i]);
		text[2 * i] = digits[byte >> 4];
		text[2 * i + 1] = digits[byte & 0x0F];
	}
	return text;
}

bool UID::operator== (const UID& other) const noexcept
{
	return std::memcmp (bytes, other.bytes, sizeof (TUID)) == 0;
}

bool UID::operator!= (const UID& other) const noexcept
{
	return !(*this == other);
}

bool UID::operator<(const UID& other) const noexcept
{
	return std::memcmp (bytes, other.bytes, sizeof (TUID)) < 0;
}

} // namespace VST3
