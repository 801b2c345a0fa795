#pragma once

#include "public.sdk/source/vst/hosting/module.h"

#include "pluginterfaces/vst/ivstcomponent.h"

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace hostingtest
{

/** Runs `attempt` `rounds` times on each of four threads at once, so that loads
	and unloads of one module race; returns how many attempts failed. */
inline int failuresOnFourThreads (int rounds, const std::function<bool ()>& attempt)
{
	std::atomic<int> failures{0};
	std::vector<std::thread> threads;
	for (int t = 0; t < 4; ++t)
		threads.emplace_back (
			[&]
			{
				for (int i = 0; i < rounds; ++i)
					if (!attempt ())
						++failures;
			});
	for (auto& thread : threads)
		thread.join ();
	return failures;
}

/** Whether the module's factory lists a class and creates a component of the first. */
inline bool createsFirstClass (VST3::Hosting::Module& module)
{
	const auto infos = module.getFactory ().classInfos ();
	return !infos.empty () &&
		   module.getFactory ().createInstance<Steinberg::Vst::IComponent> (infos[0].ID ());
}

} // namespace hostingtest
