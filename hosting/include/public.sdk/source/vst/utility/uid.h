// A VST 3 class id as a value: comparable, printable and usable as a map key.
#pragma once

#include "pluginterfaces/base/funknown.h"

#include <optional>
#include <string>

namespace VST3
{

/** A 16-byte class id. Plain value type; every operation is thread-safe on
	distinct objects and none allocates except the string conversions. */
class UID
{
public:
	using TUID = Steinberg::TUID;

	/** All-zero id. */
	UID () noexcept;

	static UID fromTUID (const TUID uid) noexcept;

	/** Parses exactly 32 hexadecimal digits (either case), in byte order.
		Anything else gives no value. */
	static std::optional<UID> fromString (const std::string& hex) noexcept;

	/** The raw bytes, as the factory and IComponent calls take them. */
	const TUID& data () const noexcept { return bytes; }
	TUID& data () noexcept { return bytes; }

	/** 32 upper-case hexadecimal digits in byte order (the order INLINE_UID
		writes on Linux). */
	std::string toString () const noexcept;

	bool operator== (const UID& other) const noexcept;
	bool operator!= (const UID& other) const noexcept;
	bool operator<(const UID& other) const noexcept;

private:
	TUID bytes;
};

} // namespace VST3
