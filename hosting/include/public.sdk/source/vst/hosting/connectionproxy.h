// A go-between for a component and its controller, so that the host can cut
// their connection at any time without relying on the plug-in to let go.
#pragma once

#include "base/source/fobject.h"
#include "pluginterfaces/vst/ivstmessage.h"

#include <mutex>

namespace Steinberg
{
namespace Vst
{

/** Stands in for the destination that srcConnection talks to.
	connect(destination) tells the source that this proxy is its peer; the
	source's notify calls then reach the destination until disconnected.
	Control threads. A message is forwarded under the proxy's lock, so a
	disconnect on another thread waits for a message in flight, and once it
	returns nothing more reaches the destination (which may then be
	terminated). The lock is recursive: the destination may reply or
	disconnect from inside notify on the same thread. Messages between one
	pair are expected on one thread at a time, as VST 3 sends them from the
	UI thread. */
class ConnectionProxy : public FObject, public IConnectionPoint
{
public:
	explicit ConnectionProxy (IConnectionPoint* srcConnection);
	~ConnectionProxy () override;

	/** Remembers other as the destination and connects the source to this
		proxy. kResultFalse when already connected; the source's own result
		otherwise (the proxy stays unconnected when the source refuses). */
	tresult PLUGIN_API connect (IConnectionPoint* other) SMTG_OVERRIDE;
	/** Cuts the connection to other: the source is disconnected from this
		proxy and other is forgotten. kInvalidArgument when other is not the
		destination. */
	tresult PLUGIN_API disconnect (IConnectionPoint* other) SMTG_OVERRIDE;
	/** Forwards a message from the source to the destination;
		kResultFalse when not connected. */
	tresult PLUGIN_API notify (IMessage* message) SMTG_OVERRIDE;

	/** Cuts whatever connection there is; false when there was none. */
	bool disconnect ();

	OBJ_METHODS (ConnectionProxy, FObject)
	REFCOUNT_METHODS (FObject)
	DEFINE_INTERFACES
	DEF_INTERFACE (IConnectionPoint)
	END_DEFINE_INTERFACES (FObject)

private:
	IPtr<IConnectionPoint> srcConnection;
	IPtr<IConnectionPoint> dstConnection;
	std::recursive_mutex mutex;
};

} // namespace Vst
} // namespace Steinberg
