#include "public.sdk/source/vst/hosting/connectionproxy.h"

#include "pendingmessages.h"

namespace Steinberg
{
namespace Vst
{

using Lock = std::lock_guard<std::recursive_mutex>;

ConnectionProxy::ConnectionProxy (IConnectionPoint* srcConnection) : srcConnection (srcConnection)
{
}

ConnectionProxy::ConnectionProxy (IConnectionPoint* srcConnection, uint32 pendingCapacity)
	: srcConnection (srcConnection), pending (std::make_unique<PendingMessages> (pendingCapacity))
{
}

ConnectionProxy::~ConnectionProxy ()
{
	disconnect ();
	// A sender on another thread may have queued one while the disconnect ran.
	Lock lock (mutex);
	dropPending ();
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
	// destination already (the lock is recursive, and this thread delivers).
	deliveryThread.store (std::this_thread::get_id (), std::memory_order_release);
	const tresult result = srcConnection->connect (this);
	if (result != kResultOk)
	{
		dstConnection = nullptr;
		deliveryThread.store (std::thread::id (), std::memory_order_release);
	}
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
	deliveryThread.store (std::thread::id (), std::memory_order_release);
	dropPending ();
	return kResultOk;
}

bool ConnectionProxy::disconnect ()
{
	Lock lock (mutex);
	return dstConnection && disconnect (dstConnection) == kResultOk;
}

tresult PLUGIN_API ConnectionProxy::notify (IMessage* message)
{
	if (pending && std::this_thread::get_id () != deliveryThread.load (std::memory_order_acquire))
		return holdForDelivery (message);
	// No reference is taken on the destination here: the plug-ins' reference
	// counts (the SDK's FObject on Linux among them) are not all safe against
	// a concurrent release, and the lock already keeps the connection alive.
	Lock lock (mutex);
	if (!dstConnection)
		return kResultFalse;
	return dstConnection.get ()->notify (message);
}

tresult ConnectionProxy::holdForDelivery (IMessage* message)
{
	// Any thread, the audio thread among them: no allocation, lock or wait.
	if (!message)
		return kInvalidArgument;
	if (deliveryThread.load (std::memory_order_acquire) == std::thread::id ())
		return kResultFalse;
	message->addRef ();
	if (pending->push (message))
		return kResultOk;
	// The sender still holds its own reference, so this one never frees it here.
	message->release ();
	return kResultFalse;
}

uint32 ConnectionProxy::deliverPending ()
{
	if (!pending)
		return 0;
	// The lock makes this the queue's one reader, whichever thread calls.
	Lock lock (mutex);
	std::vector<IPtr<IMessage>> handedOverBefore;
	handedOverBefore.swap (delivered);
	uint32 count = 0;
	while (IMessage* queued = pending->pop ())
	{
		IPtr<IMessage> message = owned (queued);
		// The destination may disconnect from inside notify: later ones are dropped.
		if (dstConnection)
		{
			dstConnection.get ()->notify (message);
			++count;
		}
		delivered.push_back (std::move (message));
	}
	return count;
}

void ConnectionProxy::dropPending ()
{
	if (!pending)
		return;
	while (IMessage* queued = pending->pop ())
		queued->release ();
	delivered.clear ();
}

} // namespace Vst
} // namespace Steinberg
