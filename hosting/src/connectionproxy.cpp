#include "public.sdk/source/vst/hosting/connectionproxy.h"

namespace Steinberg {
namespace Vst {

ConnectionProxy::ConnectionProxy (IConnectionPoint* srcConnection) : srcConnection (srcConnection) {}

ConnectionProxy::~ConnectionProxy ()
{
	disconnect ();
}

tresult PLUGIN_API ConnectionProxy::connect (IConnectionPoint* other)
{
	if (!other || !srcConnection)
		return kInvalidArgument;
	{
		std::lock_guard<std::mutex> lock (mutex);
		if (dstConnection)
			return kResultFalse;
		dstConnection = other;
	}
	// Unlocked: a plug-in may send its first message from inside connect.
	const tresult result = srcConnection->connect (this);
	if (result != kResultOk)
	{
		std::lock_guard<std::mutex> lock (mutex);
		dstConnection = nullptr;
	}
	return result;
}

tresult PLUGIN_API ConnectionProxy::disconnect (IConnectionPoint* other)
{
	if (!other)
		return kInvalidArgument;
	IPtr<IConnectionPoint> destination;
	{
		std::lock_guard<std::mutex> lock (mutex);
		if (other != dstConnection.get ())
			return kInvalidArgument;
		destination = std::move (dstConnection);
	}
	if (srcConnection)
		srcConnection->disconnect (this);
	return kResultOk;
}

bool ConnectionProxy::disconnect ()
{
	IPtr<IConnectionPoint> destination;
	{
		std::lock_guard<std::mutex> lock (mutex);
		destination = dstConnection;
	}
	return destination && disconnect (destination) == kResultOk;
}

tresult PLUGIN_API ConnectionProxy::notify (IMessage* message)
{
	IPtr<IConnectionPoint> destination;
	{
		std::lock_guard<std::mutex> lock (mutex);
		destination = dstConnection;
	}
	// Forwarded unlocked, so that a reply sent from inside notify, or a
	// disconnect, cannot deadlock on this proxy.
	if (!destination)
		return kResultFalse;
	return destination->notify (message);
}

} // namespace Vst
} // namespace Steinberg
