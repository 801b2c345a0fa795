#include "public.sdk/source/vst/hosting/parameterchanges.h"

#include "testsupport/AllocationCounter.h"

#include <gtest/gtest.h>

namespace
{

using namespace Steinberg;
using namespace Steinberg::Vst;

struct Point
{
	int32 offset;
	ParamValue value;
	bool operator== (const Point& other) const
	{
		return offset == other.offset && value == other.value;
	}
};

std::vector<Point> pointsOf (IParamValueQueue& queue)
{
	std::vector<Point> points;
	for (int32 i = 0; i < queue.getPointCount (); ++i)
	{
		Point point{};
		EXPECT_EQ (queue.getPoint (i, point.offset, point.value), kResultOk);
		points.push_back (point);
	}
	return points;
}

TEST (ParameterChangesQueues, SameIdGivesTheSameQueueAndIndex)
{
	ParameterChanges changes (4);
	int32 first = -1, second = -1, again = -1;
	IParamValueQueue* queue7 = changes.addParameterData (7, first);
	IParamValueQueue* queue3 = changes.addParameterData (3, second);
	ASSERT_NE (queue7, nullptr);
	ASSERT_NE (queue3, nullptr);
	EXPECT_EQ (first, 0);
	EXPECT_EQ (second, 1);
	EXPECT_EQ (changes.addParameterData (7, again), queue7);
	EXPECT_EQ (again, 0);

	EXPECT_EQ (changes.getParameterCount (), 2);
	EXPECT_EQ (changes.getParameterData (0), queue7);
	EXPECT_EQ (changes.getParameterData (1), queue3);
	EXPECT_EQ (queue7->getParameterId (), 7u);
	EXPECT_EQ (queue3->getParameterId (), 3u);
}

TEST (ParameterChangesQueues, OutOfRangeIndexGivesNull)
{
	ParameterChanges changes (2);
	int32 index = 0;
	changes.addParameterData (1, index);
	EXPECT_EQ (changes.getParameterData (1), nullptr);
	EXPECT_EQ (changes.getParameterData (-1), nullptr);
}

TEST (ParameterChangesQueues, FullPoolRefusesANewIdButStillFindsKnownOnes)
{
	ParameterChanges changes (1);
	int32 index = -1;
	IParamValueQueue* queue = changes.addParameterData (10, index);
	ASSERT_NE (queue, nullptr);
	EXPECT_EQ (changes.addParameterData (11, index), nullptr);
	EXPECT_EQ (changes.addParameterData (10, index), queue);
	EXPECT_EQ (changes.getParameterCount (), 1);

	ParameterChanges empty;
	EXPECT_EQ (empty.addParameterData (1, index), nullptr);
}

TEST (ParameterChangesQueues, GrowingThePoolMakesRoomForMoreIds)
{
	ParameterChanges changes (1);
	int32 index = -1;
	IParamValueQueue* kept = changes.addParameterData (1, index);
	changes.setMaxParameters (3);
	EXPECT_NE (changes.addParameterData (2, index), nullptr);
	EXPECT_NE (changes.addParameterData (3, index), nullptr);
	EXPECT_EQ (index, 2);
	EXPECT_EQ (changes.addParameterData (4, index), nullptr);
	// Queues handed out before growing stay where they were.
	EXPECT_EQ (changes.getParameterData (0), kept);
}

TEST (ParameterChangesQueues, ClearQueueEmptiesTheListAndReusesQueuesFresh)
{
	ParameterChanges changes (2);
	int32 index = -1, pointIndex = -1;
	changes.addParameterData (5, index)->addPoint (0, 0.5, pointIndex);
	changes.addParameterData (6, index);
	changes.clearQueue ();
	EXPECT_EQ (changes.getParameterCount (), 0);
	EXPECT_EQ (changes.getParameterData (0), nullptr);

	IParamValueQueue* reused = changes.addParameterData (9, index);
	ASSERT_NE (reused, nullptr);
	EXPECT_EQ (index, 0);
	EXPECT_EQ (reused->getParameterId (), 9u);
	EXPECT_EQ (reused->getPointCount (), 0);
}

TEST (ParameterValueQueuePoints, KeepsPointsOrderedByOffset)
{
	ParameterValueQueue queue (4);
	int32 index = -1;
	EXPECT_EQ (queue.addPoint (32, 0.3, index), kResultOk);
	EXPECT_EQ (index, 0);
	EXPECT_EQ (queue.addPoint (0, 0.1, index), kResultOk);
	EXPECT_EQ (index, 0);
	EXPECT_EQ (queue.addPoint (64, 0.4, index), kResultOk);
	EXPECT_EQ (index, 2);
	EXPECT_EQ (queue.addPoint (16, 0.2, index), kResultOk);
	EXPECT_EQ (index, 1);
	EXPECT_EQ (pointsOf (queue), (std::vector<Point>{{0, 0.1}, {16, 0.2}, {32, 0.3}, {64, 0.4}}));
	EXPECT_EQ (queue.getParameterId (), 4u);
}

TEST (ParameterValueQueuePoints, SameOffsetReplacesTheValue)
{
	ParameterValueQueue queue (1);
	int32 index = -1;
	queue.addPoint (0, 0.1, index);
	queue.addPoint (8, 0.2, index);
	EXPECT_EQ (queue.addPoint (0, 0.9, index), kResultOk);
	EXPECT_EQ (index, 0);
	EXPECT_EQ (pointsOf (queue), (std::vector<Point>{{0, 0.9}, {8, 0.2}}));
}

TEST (ParameterValueQueuePoints, FullQueueRefusesNewOffsetsButStillReplaces)
{
	ParameterValueQueue queue (1, 2);
	int32 index = -1;
	queue.addPoint (0, 0.1, index);
	queue.addPoint (1, 0.2, index);
	EXPECT_EQ (queue.addPoint (2, 0.3, index), kResultFalse);
	EXPECT_EQ (queue.getPointCount (), 2);
	EXPECT_EQ (queue.addPoint (1, 0.7, index), kResultOk);
	EXPECT_EQ (index, 1);
}

TEST (ParameterValueQueuePoints, DefaultCapacityIsSixteenPoints)
{
	ParameterValueQueue queue (1);
	int32 index = -1;
	for (int32 offset = 0; offset < 16; ++offset)
		ASSERT_EQ (queue.addPoint (offset, 0.0, index), kResultOk);
	EXPECT_EQ (queue.addPoint (16, 0.0, index), kResultFalse);
}

TEST (ParameterValueQueuePoints, BadIndexIsRefusedWithoutTouchingOutputs)
{
	ParameterValueQueue queue (1);
	int32 index = -1;
	queue.addPoint (3, 0.5, index);
	int32 offset = -7;
	ParamValue value = -1.0;
	EXPECT_EQ (queue.getPoint (1, offset, value), kInvalidArgument);
	EXPECT_EQ (queue.getPoint (-1, offset, value), kInvalidArgument);
	EXPECT_EQ (offset, -7);
	EXPECT_EQ (value, -1.0);

	queue.clear ();
	EXPECT_EQ (queue.getPointCount (), 0);
	EXPECT_EQ (queue.getPoint (0, offset, value), kInvalidArgument);
}

TEST (ParameterChangesRealTime, FillingAndReadingWithinReserveNeverAllocates)
{
	ParameterChanges changes;
	changes.reserve (8, 32);

	testsupport::AllocationCounter allocations;
	for (int block = 0; block < 3; ++block)
	{
		changes.clearQueue ();
		for (ParamID id = 0; id < 8; ++id)
		{
			int32 index = -1;
			IParamValueQueue* queue = changes.addParameterData (id, index);
			ASSERT_NE (queue, nullptr);
			// Backwards, so every point is inserted at the front.
			for (int32 offset = 31; offset >= 0; --offset)
				ASSERT_EQ (queue->addPoint (offset, offset / 32.0, index), kResultOk);
		}
		for (int32 i = 0; i < changes.getParameterCount (); ++i)
		{
			int32 offset = 0;
			ParamValue value = 0;
			ASSERT_EQ (changes.getParameterData (i)->getPoint (31, offset, value), kResultOk);
			ASSERT_EQ (offset, 31);
		}
	}
	EXPECT_EQ (allocations.count (), 0u);
}

TEST (ParameterChangesRealTime, ReserveRaisesThePointCapacityOfExistingQueues)
{
	ParameterChanges changes (2);
	changes.reserve (2, 40);
	int32 index = -1;
	IParamValueQueue* queue = changes.addParameterData (1, index);
	for (int32 offset = 0; offset < 40; ++offset)
		ASSERT_EQ (queue->addPoint (offset, 0.0, index), kResultOk);
	EXPECT_EQ (queue->addPoint (40, 0.0, index), kResultFalse);
}

TEST (ParameterChangesInterface, AnswersItsInterfacesAndCountsReferences)
{
	auto* changes = new ParameterChanges (1);
	void* object = nullptr;
	EXPECT_EQ (changes->queryInterface (IParameterChanges::iid, &object), kResultOk);
	EXPECT_EQ (object, static_cast<IParameterChanges*> (changes));
	EXPECT_EQ (changes->queryInterface (FUnknown::iid, &object), kResultOk);
	EXPECT_EQ (changes->queryInterface (IParamValueQueue::iid, &object), kNoInterface);
	EXPECT_EQ (object, nullptr);
	// Creator's reference plus the two successful queries.
	EXPECT_EQ (changes->release (), 2u);
	EXPECT_EQ (changes->release (), 1u);
	EXPECT_EQ (changes->release (), 0u); // deleted here; ASan would report a leak otherwise

	int32 index = -1;
	ParameterChanges member (1);
	IParamValueQueue* queue = member.addParameterData (1, index);
	EXPECT_EQ (queue->queryInterface (IParamValueQueue::iid, &object), kResultOk);
	EXPECT_EQ (object, queue);
	EXPECT_EQ (queue->release (), 1u); // owned by its list: never freed by a release
}

} // namespace
