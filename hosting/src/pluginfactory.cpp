#include "public.sdk/source/vst/hosting/module.h"

namespace VST3
{
namespace Hosting
{

using namespace Steinberg;

PluginFactory::PluginFactory (const IPtr<IPluginFactory>& factory) noexcept : factory (factory) {}

void PluginFactory::setHostContext (FUnknown* context) const noexcept
{
	if (FUnknownPtr<IPluginFactory3> factory3{factory})
		factory3->setHostContext (context);
}

FactoryInfo PluginFactory::info () const noexcept
{
	PFactoryInfo info;
	if (!factory || factory->getFactoryInfo (&info) != kResultOk)
		return {};
	return FactoryInfo (info);
}

uint32_t PluginFactory::classCount () const noexcept
{
	if (!factory)
		return 0;
	const int32 count = factory->countClasses ();
	return count > 0 ? static_cast<uint32_t> (count) : 0;
}

PluginFactory::ClassInfos PluginFactory::classInfos () const noexcept
{
	ClassInfos infos;
	const uint32_t count = classCount ();
	if (count == 0)
		return infos;
	infos.reserve (count);

	// The newest interface carries the most (and Unicode) information; an
	// index that the newer call refuses is still asked of the older ones.
	FUnknownPtr<IPluginFactory3> factory3{factory};
	FUnknownPtr<IPluginFactory2> factory2{factory};
	for (int32 index = 0; index < static_cast<int32> (count); ++index)
	{
		if (factory3)
		{
			PClassInfoW info;
			if (factory3->getClassInfoUnicode (index, &info) == kResultOk)
			{
				infos.emplace_back (info);
				continue;
			}
		}
		if (factory2)
		{
			PClassInfo2 info;
			if (factory2->getClassInfo2 (index, &info) == kResultOk)
			{
				infos.emplace_back (info);
				continue;
			}
		}
		PClassInfo info;
		if (factory->getClassInfo (index, &info) == kResultOk)
			infos.emplace_back (info);
	}
	return infos;
}

} // namespace Hosting
} // namespace VST3
