// A go-between for a component and its controller, so that the host can cut
// their connection at any time without relying on the plug-in to let go.
#pragma once

#include "base/source/fobject.h"
#include "pluginterfaces/vst/ivstmessage.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace Steinberg
{
namespace Vst
{

class PendingMessages;

/** Stands in for the destination that srcConnection talks to.
	connect(destination) tells the source that this proxy is its peer; the
	source's notify calls then reach the destination until disconnected.
	Control threads. A message is forwarded under the proxy's lock, so a
	disconnect on another thread waits for a message in flight, and once it
	returns nothing more reaches the destination (which may then be
	terminated). The lock is recursive: the destination may reply or
	disconnect from inside notify on the same thread. Messages between one
	pair are expected on one thread at a time, as VST 3 sends them from the
	UI thread.

	Built with room for pending messages, the proxy delivers on one thread
	only, the one that connected: messages sent there go through at once;
	messages a source sends from any other thread (its audio thread inside
	process, a worker of its own) wait until that thread calls
	deliverPending. */
class ConnectionProxy : public FObject, public IConnectionPoint
{
public:
	/** Forwards every message at once, on the thread it is sent on. */
	explicit ConnectionProxy (IConnectionPoint* srcConnection);
	/** Delivers on the connecting thread only; up to pendingCapacity
		messages from other threads wait for deliverPending. */
	ConnectionProxy (IConnectionPoint* srcConnection, uint32 pendingCapacity);
	~ConnectionProxy () override;

	/** Remembers other as the destination and connects the source to this
		proxy. kResultFalse when already connected; the source's own result
		otherwise (the proxy stays unconnected when the source refuses). */
	tresult PLUGIN_API connect (IConnectionPoint* other) SMTG_OVERRIDE;
	/** Cuts the connection to other: the source is disconnected from this
		proxy, other is forgotten and pending messages are dropped.
		kInvalidArgument when other is not the destination. */
	tresult PLUGIN_API disconnect (IConnectionPoint* other) SMTG_OVERRIDE;
	/** Forwards a message from the source to the destination; kResultFalse
		when not connected. With delivery on one thread, a message from
		another thread costs one reference (an atomic increment) and one slot
		of a lock-free queue: no allocation, lock or wait. It answers kResultOk
		once queued, kResultFalse when the queue is full (the message is
		dropped). */
	tresult PLUGIN_API notify (IMessage* message) SMTG_OVERRIDE;

	/** Cuts whatever connection there is; false when there was none. */
	bool disconnect ();
	/** The connecting thread: hands the destination the messages other
		threads sent, in the order they were queued; how many it handed over.
		Nothing while unconnected (and without room for pending messages). */
	uint32 deliverPending ();

	OBJ_METHODS (ConnectionProxy, FObject)
	REFCOUNT_METHODS (FObject)
	DEFINE_INTERFACES
	DEF_INTERFACE (IConnectionPoint)
	END_DEFINE_INTERFACES (FObject)

private:
	/** Lock-free: takes a reference and queues the message. */
	tresult holdForDelivery (IMessage* message);
	/** Under mutex: releases every queued message undelivered. */
	void dropPending ();

	IPtr<IConnectionPoint> srcConnection;
	IPtr<IConnectionPoint> dstConnection;
	std::recursive_mutex mutex;
	/** Null when messages go through on any thread. */
	std::unique_ptr<PendingMessages> pending;
	/** The thread that connected; none while unconnected. Read without the
		lock by senders on other threads. */
	std::atomic<std::thread::id> deliveryThread{};
	/** Under mutex: the messages the last deliverPending handed over, let go by
		the next one. A sender releases its own reference right after its notify
		returns, and the SDK's reference count on Linux is not safe against two
		releases at once; by the next delivery the sender's is long done. */
	std::vector<IPtr<IMessage>> delivered;
};

} // namespace Vst
} // namespace Steinberg
