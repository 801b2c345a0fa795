#include "public.sdk/source/vst/hosting/connectionproxy.h"

#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "public.sdk/source/vst/hosting/module.h"
#include "testplugin/TestPluginHandle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace
{

using namespace Steinberg;
using namespace Steinberg::Vst;

/** A connection point that keeps its peer the way plug-ins do (one
	reference) and counts what reaches it. */
class FakeConnectionPoint : public FObject, public IConnectionPoint
{
public:
	tresult PLUGIN_API connect (IConnectionPoint* other) override
	{
		++connectCalls;
		if (refuseConnect)
			return kResultFalse;
		peer = other;
		return kResultOk;
	}
	tresult PLUGIN_API disconnect (IConnectionPoint* other) override
	{
		++disconnectCalls;
		if (other != peer.get ())
			return kInvalidArgument;
		peer = nullptr;
		return kResultOk;
	}
	tresult PLUGIN_API notify (IMessage* message) override
	{
		++received;
		lastMessageID = message ? message->getMessageID () : "";
		if (onNotify)
			onNotify ();
		return kResultOk;
	}

	/** What a plug-in does to talk to its peer. */
	tresult send (const char* messageID)
	{
		if (!peer)
			return kResultFalse;
		auto message = owned (new HostMessage);
		message->setMessageID (messageID);
		return peer->notify (message);
	}

	bool refuseConnect = false;
	IPtr<IConnectionPoint> peer;
	int connectCalls = 0;
	int disconnectCalls = 0;
	std::atomic<int> received{0};
	std::string lastMessageID;
	std::function<void ()> onNotify;

	OBJ_METHODS (FakeConnectionPoint, FObject)
	REFCOUNT_METHODS (FObject)
	DEFINE_INTERFACES
	DEF_INTERFACE (IConnectionPoint)
	END_DEFINE_INTERFACES (FObject)
};

struct ConnectionProxyTest : ::testing::Test
{
	IPtr<FakeConnectionPoint> source = owned (new FakeConnectionPoint);
	IPtr<FakeConnectionPoint> destination = owned (new FakeConnectionPoint);
	IPtr<ConnectionProxy> proxy = owned (new ConnectionProxy (source));

	// A connected source holds the proxy and the proxy the source.
	void TearDown () override
	{
		if (proxy)
			proxy->disconnect ();
	}
};

TEST_F (ConnectionProxyTest, ConnectMakesTheProxyTheSourcesPeerAndForwardsItsMessages)
{
	ASSERT_EQ (proxy->connect (destination), kResultOk);
	EXPECT_EQ (source->peer.get (), static_cast<IConnectionPoint*> (proxy.get ()));

	EXPECT_EQ (source->send ("Hello"), kResultOk);
	EXPECT_EQ (destination->received, 1);
	EXPECT_EQ (destination->lastMessageID, "Hello");
	EXPECT_EQ (source->received, 0);
}

TEST_F (ConnectionProxyTest, SecondConnectAndNullPeerAreRefused)
{
	ASSERT_EQ (proxy->connect (destination), kResultOk);
	auto other = owned (new FakeConnectionPoint);
	EXPECT_EQ (proxy->connect (other), kResultFalse);
	EXPECT_EQ (proxy->connect (nullptr), kInvalidArgument);
	EXPECT_EQ (source->connectCalls, 1);
}

TEST_F (ConnectionProxyTest, SourceRefusingTheConnectionLeavesTheProxyUnconnected)
{
	source->refuseConnect = true;
	EXPECT_EQ (proxy->connect (destination), kResultFalse);
	EXPECT_EQ (proxy->notify (nullptr), kResultFalse);
	EXPECT_FALSE (proxy->disconnect ());
}

TEST_F (ConnectionProxyTest, DisconnectCutsBothSidesAndStopsForwarding)
{
	ASSERT_EQ (proxy->connect (destination), kResultOk);
	auto stranger = owned (new FakeConnectionPoint);
	EXPECT_EQ (proxy->disconnect (stranger), kInvalidArgument);
	EXPECT_EQ (proxy->disconnect (nullptr), kInvalidArgument);
	EXPECT_EQ (source->disconnectCalls, 0);

	EXPECT_EQ (proxy->disconnect (destination), kResultOk);
	EXPECT_EQ (source->disconnectCalls, 1);
	EXPECT_EQ (source->peer, nullptr);
	EXPECT_EQ (proxy->notify (nullptr), kResultFalse);
	EXPECT_EQ (destination->received, 0);
	// Reconnecting after a disconnect works.
	EXPECT_EQ (proxy->connect (destination), kResultOk);
}

TEST_F (ConnectionProxyTest, DisconnectWithoutPeerReportsWhetherThereWasAConnection)
{
	EXPECT_FALSE (proxy->disconnect ());
	ASSERT_EQ (proxy->connect (destination), kResultOk);
	EXPECT_TRUE (proxy->disconnect ());
	EXPECT_FALSE (proxy->disconnect ());
	EXPECT_EQ (source->disconnectCalls, 1);
}

TEST_F (ConnectionProxyTest, ReleasesEveryReferenceItTook)
{
	ASSERT_EQ (proxy->connect (destination), kResultOk);
	source->send ("x");
	proxy->disconnect ();
	proxy = nullptr;
	EXPECT_EQ (source->getRefCount (), 1);
	EXPECT_EQ (destination->getRefCount (), 1);
}

TEST_F (ConnectionProxyTest, DestinationMayDisconnectFromInsideNotify)
{
	ASSERT_EQ (proxy->connect (destination), kResultOk);
	destination->onNotify = [this] { proxy->disconnect (); };
	EXPECT_EQ (source->send ("bye"), kResultOk);
	EXPECT_EQ (destination->received, 1);
	EXPECT_EQ (proxy->notify (nullptr), kResultFalse);
}

TEST_F (ConnectionProxyTest, DisconnectOnAnotherThreadStopsDeliveryOnceItReturns)
{
	for (int round = 0; round < 50; ++round)
	{
		ASSERT_EQ (proxy->connect (destination), kResultOk);
		std::atomic<bool> started{false};
		std::thread sender (
			[&]
			{
				// Keeps sending until the disconnect lands.
				while (proxy->notify (nullptr) == kResultOk)
					started = true;
			});
		while (!started)
			std::this_thread::yield ();
		EXPECT_TRUE (proxy->disconnect ());
		const int receivedAtDisconnect = destination->received;
		sender.join ();
		EXPECT_EQ (destination->received, receivedAtDisconnect);
		EXPECT_EQ (proxy->notify (nullptr), kResultFalse);
	}
	EXPECT_EQ (destination->getRefCount (), 1);
}

// Built with room for pending messages: as an audio thread's would, messages from
// another thread wait for the thread that connected.
TEST_F (ConnectionProxyTest, MessagesFromOtherThreadsWaitForTheConnectingThreadInOrder)
{
	proxy = owned (new ConnectionProxy (source, 2));
	ASSERT_EQ (proxy->connect (destination), kResultOk);
	std::vector<tresult> results;
	std::thread (
		[&]
		{
			for (const char* id : {"first", "second", "beyond the room"})
				results.push_back (source->send (id));
		})
		.join ();
	EXPECT_EQ (results, (std::vector<tresult>{kResultOk, kResultOk, kResultFalse}));
	EXPECT_EQ (destination->received, 0);

	EXPECT_EQ (source->send ("at once"), kResultOk);
	EXPECT_EQ (destination->received, 1);
	EXPECT_EQ (proxy->deliverPending (), 2u);
	EXPECT_EQ (destination->received, 3);
	EXPECT_EQ (destination->lastMessageID, "second");
	EXPECT_EQ (proxy->deliverPending (), 0u);
}

TEST_F (ConnectionProxyTest, DisconnectDropsPendingMessagesAndLetsThemGo)
{
	proxy = owned (new ConnectionProxy (source, 4));
	ASSERT_EQ (proxy->connect (destination), kResultOk);
	auto message = owned (new HostMessage);
	const auto references = [&]
	{
		message->addRef ();
		return message->release ();
	};
	std::thread ([&] { EXPECT_EQ (source->peer->notify (message), kResultOk); }).join ();
	EXPECT_EQ (references (), 2u);

	EXPECT_TRUE (proxy->disconnect ());
	EXPECT_EQ (references (), 1u);
	EXPECT_EQ (proxy->deliverPending (), 0u);
	EXPECT_EQ (destination->received, 0);
	std::thread ([&] { EXPECT_EQ (proxy->notify (message), kResultFalse); }).join ();
	EXPECT_EQ (references (), 1u);
}

TEST (ConnectionProxyWithPlugins, MessagesReachTheTestPluginsOtherSideInBothDirections)
{
	testplugin::TestPluginHandle handle ("TestSeparate");
	ASSERT_TRUE (handle.loaded ()) << handle.error ();
	auto& probe = handle.probe ();
	probe.reset ();
	std::string error;
	auto module = VST3::Hosting::Module::create (
		testplugin::TestPluginHandle::bundlePath ("TestSeparate"), error);
	ASSERT_NE (module, nullptr) << error;
	const auto infos = module->getFactory ().classInfos ();
	auto component = module->getFactory ().createInstance<IComponent> (infos.at (0).ID ());
	auto controller = module->getFactory ().createInstance<IEditController> (infos.at (1).ID ());
	ASSERT_TRUE (component && controller);
	HostApplication host;
	ASSERT_EQ (component->initialize (&host), kResultOk);
	ASSERT_EQ (controller->initialize (&host), kResultOk);

	FUnknownPtr<IConnectionPoint> componentPoint (component);
	FUnknownPtr<IConnectionPoint> controllerPoint (controller);
	auto fromComponent = owned (new ConnectionProxy (componentPoint));
	auto fromController = owned (new ConnectionProxy (controllerPoint));
	ASSERT_EQ (fromComponent->connect (controllerPoint), kResultOk);
	ASSERT_EQ (fromController->connect (componentPoint), kResultOk);

	// What each side's peer receives when the plug-in sends a message.
	auto message = owned (new HostMessage);
	message->setMessageID ("ToController");
	fromComponent->notify (message);
	message->setMessageID ("ToComponent");
	fromController->notify (message);

	int toController = 0, toComponent = 0;
	for (const auto& call : probe.calls ())
	{
		if (call.method != "notify")
			continue;
		if (call.arguments == "id=ToController" &&
			call.object.rfind ("TestSeparate Controller#", 0) == 0)
			++toController;
		if (call.arguments == "id=ToComponent" && call.object.rfind ("TestSeparate#", 0) == 0)
			++toComponent;
	}
	EXPECT_EQ (toController, 1);
	EXPECT_EQ (toComponent, 1);

	EXPECT_TRUE (fromComponent->disconnect ());
	EXPECT_TRUE (fromController->disconnect ());
	EXPECT_EQ (probe.count ("disconnect"), 2);
	controller->terminate ();
	component->terminate ();
	EXPECT_EQ (testplugin::describeViolations (probe), "no violations");
}

} // namespace
