// Sets up a plug-in's component and controller as a connected pair.
#pragma once

#include "base/source/fobject.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/vst/hosting/module.h"

#include <atomic>
#include <iosfwd>
#include <memory>

namespace Steinberg
{
namespace Vst
{

/** The context that plug-ins are initialised with, process-wide (the host
	application object). Any thread; the owner keeps the object alive. */
class PluginContextFactory
{
public:
	static PluginContextFactory& instance ();

	void setPluginContext (FUnknown* context) { pluginContext.store (context); }
	FUnknown* getPluginContext () const { return pluginContext.load (); }

private:
	PluginContextFactory () = default;
	std::atomic<FUnknown*> pluginContext{nullptr};
};

/** Creates, initialises and connects one component of a class and its edit
	controller, and winds them down again when destroyed.
	Control thread only: construction, initialize and destruction call into
	the plug-in and may allocate. */
class PlugProvider : public FObject
{
public:
	/** Only stores its arguments; nothing reaches the plug-in until
		initialize. plugIsGlobal is kept for source compatibility: instances
		are always initialised with PluginContextFactory's context. */
	PlugProvider (const VST3::Hosting::PluginFactory& factory, VST3::Hosting::ClassInfo info,
				  bool plugIsGlobal = true);
	~PlugProvider () override;

	/** Creates and initialises the component; takes it as its own controller
		when it implements IEditController, otherwise creates and initialises
		the class it names through getControllerClassId, connects the two
		through ConnectionProxy objects (when both have IConnectionPoint) and
		hands the controller the component's state.
		True only when all of that worked. getState must give kResultOk or
		kNotImplemented; a controller that refuses the state
		(setComponentState other than kResultOk or kNotImplemented) gets a
		line on the error stream but is kept, working from its defaults.
		On failure writes one line naming the step and the class to the error
		stream and undoes what it had set up.
		A second call after success returns true and does nothing. */
	bool initialize ();

	/** A new reference for the caller (release it), or null before a
		successful initialize. */
	IComponent* getComponent ();
	/** A new reference for the caller (release it), or null before a
		successful initialize. */
	IEditController* getController ();

	const VST3::Hosting::ClassInfo& getClassInfo () const;

	/** Where failure lines go, for every provider: standard error by default
		(a library must not write into a tool's data output); nullptr silences
		them. The stream must outlive its use. Any thread. */
	static void setErrorStream (std::ostream* stream);

	OBJ_METHODS (PlugProvider, FObject)

private:
	struct Internals;
	std::unique_ptr<Internals> internals;
};

} // namespace Vst
} // namespace Steinberg
