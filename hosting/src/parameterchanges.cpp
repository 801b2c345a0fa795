#include "public.sdk/source/vst/hosting/parameterchanges.h"

#include <algorithm>
#include <iterator>

namespace Steinberg
{
namespace Vst
{

ParameterValueQueue::ParameterValueQueue (ParamID paramID, int32 pointCapacity)
	: parameterID (paramID), capacity (0)
{
	reserve (pointCapacity);
}

void ParameterValueQueue::reserve (int32 pointCapacity)
{
	if (pointCapacity <= capacity)
		return;
	points.reserve (static_cast<size_t> (pointCapacity));
	capacity = pointCapacity;
}

tresult PLUGIN_API ParameterValueQueue::getPoint (int32 index, int32& sampleOffset,
												  ParamValue& value)
{
	if (index < 0 || index >= getPointCount ())
		return kInvalidArgument;
	sampleOffset = points[static_cast<size_t> (index)].sampleOffset;
	value = points[static_cast<size_t> (index)].value;
	return kResultOk;
}

tresult PLUGIN_API ParameterValueQueue::addPoint (int32 sampleOffset, ParamValue value,
												  int32& index)
{
	// Audio thread: insertion stays within the reserved storage.
	// Points usually arrive in order, so search from the back.
	auto position = points.end ();
	while (position != points.begin () && std::prev (position)->sampleOffset >= sampleOffset)
		--position;
	if (position != points.end () && position->sampleOffset == sampleOffset)
	{
		position->value = value;
		index = static_cast<int32> (position - points.begin ());
		return kResultOk;
	}
	if (getPointCount () >= capacity)
		return kResultFalse;
	index = static_cast<int32> (position - points.begin ());
	points.insert (position, Point{sampleOffset, value});
	return kResultOk;
}

tresult PLUGIN_API ParameterValueQueue::queryInterface (const TUID _iid, void** obj)
{
	QUERY_INTERFACE (_iid, obj, FUnknown::iid, IParamValueQueue)
	QUERY_INTERFACE (_iid, obj, IParamValueQueue::iid, IParamValueQueue)
	*obj = nullptr;
	return kNoInterface;
}

ParameterChanges::ParameterChanges (int32 maxParameters)
{
	setMaxParameters (maxParameters);
}

ParameterChanges::~ParameterChanges () = default;

void ParameterChanges::setMaxParameters (int32 maxParameters)
{
	reserve (maxParameters, pointsPerQueue);
}

void ParameterChanges::reserve (int32 maxParameters, int32 pointCapacity)
{
	pointsPerQueue = std::max (pointsPerQueue, pointCapacity);
	for (auto& queue : queues)
		queue->reserve (pointsPerQueue);
	if (maxParameters > static_cast<int32> (queues.size ()))
		queues.reserve (static_cast<size_t> (maxParameters));
	while (static_cast<int32> (queues.size ()) < maxParameters)
		queues.push_back (std::make_unique<ParameterValueQueue> (0, pointsPerQueue));
}

void ParameterChanges::clearQueue ()
{
	for (int32 i = 0; i < usedQueueCount; ++i)
		queues[static_cast<size_t> (i)]->clear ();
	usedQueueCount = 0;
}

IParamValueQueue* PLUGIN_API ParameterChanges::getParameterData (int32 index)
{
	if (index < 0 || index >= usedQueueCount)
		return nullptr;
	return queues[static_cast<size_t> (index)].get ();
}

IParamValueQueue* PLUGIN_API ParameterChanges::addParameterData (const ParamID& id, int32& index)
{
	// Audio thread: only hands out queues that the control side allocated.
	for (int32 i = 0; i < usedQueueCount; ++i)
	{
		if (queues[static_cast<size_t> (i)]->getParameterId () == id)
		{
			index = i;
			return queues[static_cast<size_t> (i)].get ();
		}
	}
	if (usedQueueCount >= static_cast<int32> (queues.size ()))
		return nullptr;
	ParameterValueQueue* queue = queues[static_cast<size_t> (usedQueueCount)].get ();
	queue->setParamID (id);
	queue->clear ();
	index = usedQueueCount++;
	return queue;
}

tresult PLUGIN_API ParameterChanges::queryInterface (const TUID _iid, void** obj)
{
	QUERY_INTERFACE (_iid, obj, FUnknown::iid, IParameterChanges)
	QUERY_INTERFACE (_iid, obj, IParameterChanges::iid, IParameterChanges)
	*obj = nullptr;
	return kNoInterface;
}

uint32 PLUGIN_API ParameterChanges::addRef ()
{
	return ++refCount;
}

uint32 PLUGIN_API ParameterChanges::release ()
{
	const uint32 remaining = --refCount;
	if (remaining == 0)
		delete this;
	return remaining;
}

} // namespace Vst
} // namespace Steinberg
