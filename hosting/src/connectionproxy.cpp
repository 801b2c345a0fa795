#include "public.sdk/source/vst/hosting/connectionproxy.h"

namespace Steinberg
{
namespace Vst
{

using Lock = std::lock_guard<std::recursive_mutex>;

ConnectionProxy::ConnectionProxy (IConnectionPoint* srcConnection) : srcConnection (srcConnection)
{
}

ConnectionProxy::~ConnectionProxy ()
{
	disconnect ();
}

tresult PLUGIN_API ConnectionProxy::connect (IConnectionPoint* other)
{
	if (!other || !srcConnection)
		return kInvalidArgument;
	Lock lock (mutex);
	if (dstConnection)
		return kResultFalse;
	dstConnection = other;
	// A source that sends its first message from inside connect reaches the
	// destination already (the lock is recursive).
	const tresult result = srcConnection->connect (this);
	if (result != kResultOk)
		dstConnection = nullptr;
	return result;
}

tresult PLUGIN_API ConnectionProxy::disconnect (IConnectionPoint* other)
{
	if (!other)
		return kInvalidArgument;
	Lock lock (mutex);
	if (other != dstConnection.get ())
		return kInvalidArgument;
	if (srcConnection)
		srcConnection->disconnect (this);
	dstConnection = nullptr;
	return kResultOk;
}

bool ConnectionProxy::disconnect ()
{
	Lock lock (mutex);
	return dstConnection && disconnect (dstConnection) == kResultOk;
}

tresult PLUGIN_API ConnectionProxy::notify (IMessage* message)
{
	// No reference is taken on the destination here: the plug-ins' reference
	// counts (the SDK's FObject on Linux among them) are not all safe against
	// a concurrent release, and the lock already keeps the connection alive.
	Lock lock (mutex);
	if (!dstConnection)
		return kResultFalse;
	return dstConnection.get ()->notify (message);
}

} // namespace Vst
} // namespace Steinberg
