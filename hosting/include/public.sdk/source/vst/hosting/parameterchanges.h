// The host's side of IParameterChanges: the parameter changes of one block,
// in storage that is set up on the control side so that filling and reading
// it on the audio thread never allocates.
#pragma once

#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <atomic>
#include <memory>
#include <vector>

namespace Steinberg
{
namespace Vst
{

/** The points of one parameter within a block, ordered by sample offset.
	Owned by its ParameterChanges: addRef/release do not count and the queue
	lives exactly as long as its owner. */
class ParameterValueQueue : public IParamValueQueue
{
public:
	static constexpr int32 kDefaultPointCapacity = 16;

	explicit ParameterValueQueue (ParamID paramID = 0, int32 pointCapacity = kDefaultPointCapacity);
	virtual ~ParameterValueQueue () = default;

	/** Control side: makes room for pointCapacity points (never shrinks). */
	void reserve (int32 pointCapacity);
	int32 pointCapacity () const { return capacity; }

	/** Audio thread; never allocates. */
	void setParamID (ParamID paramID) { parameterID = paramID; }
	/** Audio thread; never allocates: keeps the storage. */
	void clear () { points.clear (); }

	ParamID PLUGIN_API getParameterId () SMTG_OVERRIDE { return parameterID; }
	int32 PLUGIN_API getPointCount () SMTG_OVERRIDE { return static_cast<int32> (points.size ()); }
	/** kInvalidArgument for an index outside 0..getPointCount()-1. */
	tresult PLUGIN_API getPoint (int32 index, int32& sampleOffset, ParamValue& value) SMTG_OVERRIDE;
	/** Inserts the point in offset order, or replaces the value of the point
		already at sampleOffset; index gives the point's position. kResultFalse,
		instead of allocating, when the queue is full. Audio thread. */
	tresult PLUGIN_API addPoint (int32 sampleOffset, ParamValue value, int32& index) SMTG_OVERRIDE;

	tresult PLUGIN_API queryInterface (const TUID _iid, void** obj) SMTG_OVERRIDE;
	uint32 PLUGIN_API addRef () SMTG_OVERRIDE { return 1; }
	uint32 PLUGIN_API release () SMTG_OVERRIDE { return 1; }

private:
	struct Point
	{
		int32 sampleOffset;
		ParamValue value;
	};
	ParamID parameterID;
	int32 capacity;
	std::vector<Point> points;
};

/** The list of parameter queues handed to a plug-in for one block.
	Reference counted like any FUnknown (it starts with the creator's one
	reference and deletes itself when released to zero), so it can live on
	the heap behind an IPtr. As a plain member or local, the plug-ins only
	borrow it (a ProcessData pointer, addRef/release in pairs at most), so the
	creator's reference keeps it from ever being released to zero.
	Audio thread: addParameterData, getParameterCount, getParameterData and
	clearQueue never allocate or lock. Control side (never while the audio
	thread uses the object): construction, setMaxParameters, reserve. */
class ParameterChanges : public IParameterChanges
{
public:
	explicit ParameterChanges (int32 maxParameters = 0);
	virtual ~ParameterChanges ();

	/** Grows the pool to maxParameters queues (never shrinks). Allocates. */
	void setMaxParameters (int32 maxParameters);
	/** Grows the pool to maxParameters queues of at least pointsPerQueue
		points each, so that changes within that capacity never allocate. */
	void reserve (int32 maxParameters, int32 pointsPerQueue);

	/** Empties the list, keeping every queue's storage. O(queues in use). */
	void clearQueue ();

	int32 PLUGIN_API getParameterCount () SMTG_OVERRIDE { return usedQueueCount; }
	/** The queue at index, or null outside 0..getParameterCount()-1. */
	IParamValueQueue* PLUGIN_API getParameterData (int32 index) SMTG_OVERRIDE;
	/** The queue already used for id (with its index), else the next free one
		from the pool (with a new index), else null: the pool never grows
		here. Looks through the queues in use, so O(queues in use). */
	IParamValueQueue* PLUGIN_API addParameterData (const ParamID& id, int32& index) SMTG_OVERRIDE;

	tresult PLUGIN_API queryInterface (const TUID _iid, void** obj) SMTG_OVERRIDE;
	uint32 PLUGIN_API addRef () SMTG_OVERRIDE;
	uint32 PLUGIN_API release () SMTG_OVERRIDE;

private:
	std::vector<std::unique_ptr<ParameterValueQueue>> queues;
	int32 usedQueueCount{0};
	int32 pointsPerQueue{ParameterValueQueue::kDefaultPointCapacity};
	std::atomic<uint32> refCount{1};
};

} // namespace Vst
} // namespace Steinberg
