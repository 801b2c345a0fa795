#include "public.sdk/source/vst/hosting/plugprovider.h"

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/connectionproxy.h"

#include <iostream>
#include <string>

namespace Steinberg
{
namespace Vst
{

namespace
{

std::atomic<std::ostream*> errorStream{&std::cerr};

} // namespace

PluginContextFactory& PluginContextFactory::instance ()
{
	static PluginContextFactory factory;
	return factory;
}

struct PlugProvider::Internals
{
	Internals (const VST3::Hosting::PluginFactory& factory, VST3::Hosting::ClassInfo info,
			   bool plugIsGlobal)
		: factory (factory), classInfo (std::move (info)), plugIsGlobal (plugIsGlobal)
	{
	}

	VST3::Hosting::PluginFactory factory;
	VST3::Hosting::ClassInfo classInfo;
	bool plugIsGlobal;

	IPtr<IComponent> component;
	IPtr<IEditController> controller;
	bool componentInitialized = false;
	bool controllerInitialized = false;
	bool controllerIsComponent = false;
	IPtr<ConnectionProxy> componentConnection;
	IPtr<ConnectionProxy> controllerConnection;

	void reportFailure (const char* step) const
	{
		std::ostream* stream = errorStream.load ();
		if (!stream)
			return;
		const std::string line =
			std::string ("PlugProvider: ") + step + " failed for \"" + classInfo.name () + "\"\n";
		*stream << line << std::flush;
	}

	bool setUpComponent (FUnknown* context)
	{
		component = factory.createInstance<IComponent> (classInfo.ID ());
		if (!component)
		{
			reportFailure ("creating the component");
			return false;
		}
		// Nothing else may reach a fresh component before initialize.
		if (component->initialize (context) != kResultOk)
		{
			reportFailure ("IComponent::initialize");
			return false;
		}
		componentInitialized = true;
		return true;
	}

	bool setUpController (FUnknown* context)
	{
		// A single-component plug-in is initialised once, as its component.
		if (FUnknownPtr<IEditController> ownController{component})
		{
			controller = ownController;
			controllerIsComponent = true;
			return true;
		}
		TUID controllerClassID{};
		if (component->getControllerClassId (controllerClassID) != kResultOk)
		{
			reportFailure ("IComponent::getControllerClassId");
			return false;
		}
		controller =
			factory.createInstance<IEditController> (VST3::UID::fromTUID (controllerClassID));
		if (!controller)
		{
			reportFailure ("creating the edit controller");
			return false;
		}
		if (controller->initialize (context) != kResultOk)
		{
			reportFailure ("IEditController::initialize");
			return false;
		}
		controllerInitialized = true;
		return true;
	}

	bool connect ()
	{
		FUnknownPtr<IConnectionPoint> componentPoint{component};
		FUnknownPtr<IConnectionPoint> controllerPoint{controller};
		// A pair without connection points talks some other way; nothing to do.
		if (!componentPoint || !controllerPoint)
			return true;
		componentConnection = owned (new ConnectionProxy (componentPoint));
		controllerConnection = owned (new ConnectionProxy (controllerPoint));
		if (componentConnection->connect (controllerPoint) != kResultOk)
		{
			reportFailure ("connecting the component to the controller");
			return false;
		}
		if (controllerConnection->connect (componentPoint) != kResultOk)
		{
			reportFailure ("connecting the controller to the component");
			return false;
		}
		return true;
	}

	bool transferState ()
	{
		auto stream = owned (new MemoryStream);
		const tresult stateResult = component->getState (stream);
		if (stateResult == kNotImplemented)
			return true;
		if (stateResult != kResultOk)
		{
			reportFailure ("IComponent::getState");
			return false;
		}
		stream->seek (0, IBStream::kIBSeekSet, nullptr);
		// A controller that cannot read the state still works from its defaults
		// (the installed ZamAutoSat refuses the state its own component wrote), so
		// the refusal is reported but does not fail the set-up.
		const tresult setResult = controller->setComponentState (stream);
		if (setResult != kResultOk && setResult != kNotImplemented)
			reportFailure ("IEditController::setComponentState");
		return true;
	}

	/** Undoes whatever initialize set up, in reverse: disconnect, terminate
		(controller first), release. */
	void tearDown ()
	{
		if (componentConnection)
			componentConnection->disconnect ();
		if (controllerConnection)
			controllerConnection->disconnect ();
		componentConnection = nullptr;
		controllerConnection = nullptr;

		if (controllerInitialized)
			controller->terminate ();
		controllerInitialized = false;
		controllerIsComponent = false;
		controller = nullptr;

		if (componentInitialized)
			component->terminate ();
		componentInitialized = false;
		component = nullptr;
	}
};

PlugProvider::PlugProvider (const VST3::Hosting::PluginFactory& factory,
							VST3::Hosting::ClassInfo info, bool plugIsGlobal)
	: internals (new Internals (factory, std::move (info), plugIsGlobal))
{
}

PlugProvider::~PlugProvider ()
{
	internals->tearDown ();
}

bool PlugProvider::initialize ()
{
	auto& state = *internals;
	if (state.componentInitialized)
		return true;
	FUnknown* context = PluginContextFactory::instance ().getPluginContext ();
	if (state.setUpComponent (context) && state.setUpController (context) &&
		(state.controllerIsComponent || (state.connect () && state.transferState ())))
		return true;
	state.tearDown ();
	return false;
}

IComponent* PlugProvider::getComponent ()
{
	IComponent* component = internals->component;
	if (component)
		component->addRef ();
	return component;
}

IEditController* PlugProvider::getController ()
{
	IEditController* controller = internals->controller;
	if (controller)
		controller->addRef ();
	return controller;
}

const VST3::Hosting::ClassInfo& PlugProvider::getClassInfo () const
{
	return internals->classInfo;
}

void PlugProvider::setErrorStream (std::ostream* stream)
{
	errorStream.store (stream);
}

} // namespace Vst
} // namespace Steinberg
