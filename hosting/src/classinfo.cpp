#include "public.sdk/source/vst/hosting/module.h"

#include "public.sdk/source/vst/utility/stringconvert.h"

#include <cstring>

namespace VST3
{
namespace Hosting
{

namespace
{

/** The factory's fixed char arrays need not be terminated when full. */
template <size_t N>
std::string fromFixed (const Steinberg::char8 (&text)[N])
{
	return std::string (text, strnlen (text, N));
}

ClassInfo::SubCategories splitSubCategories (const std::string& joined)
{
	ClassInfo::SubCategories parts;
	size_t start = 0;
	while (start < joined.size ())
	{
		size_t end = joined.find ('|', start);
		if (end == std::string::npos)
			end = joined.size ();
		if (end > start)
			parts.emplace_back (joined, start, end - start);
		start = end + 1;
	}
	return parts;
}

} // namespace

ClassInfo::ClassInfo (const Steinberg::PClassInfo& info) noexcept
	: classID (UID::fromTUID (info.cid)), classCardinality (info.cardinality),
	  classCategory (fromFixed (info.category)), className (fromFixed (info.name))
{
}

ClassInfo::ClassInfo (const Steinberg::PClassInfo2& info) noexcept
	: classID (UID::fromTUID (info.cid)), classCardinality (info.cardinality),
	  classCategory (fromFixed (info.category)), className (fromFixed (info.name)),
	  classVendor (fromFixed (info.vendor)), classVersion (fromFixed (info.version)),
	  classSdkVersion (fromFixed (info.sdkVersion)),
	  classSubCategories (splitSubCategories (fromFixed (info.subCategories))),
	  flags (info.classFlags)
{
}

ClassInfo::ClassInfo (const Steinberg::PClassInfoW& info) noexcept
	: classID (UID::fromTUID (info.cid)), classCardinality (info.cardinality),
	  classCategory (fromFixed (info.category)), className (StringConvert::convert (info.name)),
	  classVendor (StringConvert::convert (info.vendor)),
	  classVersion (StringConvert::convert (info.version)),
	  classSdkVersion (StringConvert::convert (info.sdkVersion)),
	  classSubCategories (splitSubCategories (fromFixed (info.subCategories))),
	  flags (info.classFlags)
{
}

std::string ClassInfo::subCategoriesString () const noexcept
{
	std::string joined;
	for (const auto& part : classSubCategories)
	{
		if (!joined.empty ())
			joined += '|';
		joined += part;
	}
	return joined;
}

FactoryInfo::FactoryInfo (const Steinberg::PFactoryInfo& info) noexcept
	: factoryVendor (fromFixed (info.vendor)), factoryUrl (fromFixed (info.url)),
	  factoryEmail (fromFixed (info.email)), factoryFlags (info.flags)
{
}

} // namespace Hosting
} // namespace VST3
