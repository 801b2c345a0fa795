#include "public.sdk/source/vst/hosting/processdata.h"

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <algorithm>

namespace Steinberg
{
namespace Vst
{
namespace
{

int32 declaredChannels (IComponent& component, IAudioProcessor* processor, BusDirection dir,
						int32 index)
{
	SpeakerArrangement arrangement = SpeakerArr::kEmpty;
	if (processor && processor->getBusArrangement (dir, index, arrangement) == kResultOk)
		return SpeakerArr::getChannelCount (arrangement);
	BusInfo info{};
	if (component.getBusInfo (kAudio, dir, index, info) == kResultOk)
		return std::max (int32{0}, info.channelCount);
	return 0;
}

} // namespace

HostProcessData::HostProcessData ()
{
	processContext = &context;
}

void HostProcessData::makeBuses (IComponent& component, BusDirection dir, int32 bufferSamples)
{
	FUnknownPtr<IAudioProcessor> processor (&component);
	// A component that was never initialised answers an error code as its count.
	const int32 count = std::max (int32{0}, component.getBusCount (kAudio, dir));
	Buses& buses = busesOf (dir);
	buses.records.assign (static_cast<size_t> (count), AudioBusBuffers{});
	buses.channels.assign (static_cast<size_t> (count), {});
	buses.samples.clear ();
	for (size_t index = 0; index < buses.records.size (); ++index)
	{
		const int32 channels =
			declaredChannels (component, processor, dir, static_cast<int32> (index));
		buses.channels[index].assign (static_cast<size_t> (channels), nullptr);
		for (Sample32*& channel : buses.channels[index])
		{
			if (bufferSamples <= 0)
				continue;
			buses.samples.emplace_back (static_cast<size_t> (bufferSamples), 0.0f);
			channel = buses.samples.back ().data ();
		}
		buses.records[index].numChannels = channels;
		buses.records[index].channelBuffers32 = buses.channels[index].data ();
	}
}

void HostProcessData::pointAtBuses ()
{
	numInputs = static_cast<int32> (inputBuses.records.size ());
	numOutputs = static_cast<int32> (outputBuses.records.size ());
	inputs = inputBuses.records.empty () ? nullptr : inputBuses.records.data ();
	outputs = outputBuses.records.empty () ? nullptr : outputBuses.records.data ();
}

bool HostProcessData::prepare (IComponent& component, int32 bufferSamples,
							   int32 _symbolicSampleSize)
{
	makeBuses (component, kInput, bufferSamples);
	makeBuses (component, kOutput, bufferSamples);
	symbolicSampleSize = _symbolicSampleSize;
	pointAtBuses ();
	return true;
}

void HostProcessData::unprepare ()
{
	inputBuses = {};
	outputBuses = {};
	pointAtBuses ();
}

AudioBusBuffers* HostProcessData::bus (BusDirection dir, int32 busIndex)
{
	Buses& buses = busesOf (dir);
	if (busIndex < 0 || static_cast<size_t> (busIndex) >= buses.records.size ())
		return nullptr;
	return &buses.records[static_cast<size_t> (busIndex)];
}

int32 HostProcessData::channelCount (BusDirection dir, int32 busIndex) const
{
	const Buses& buses = busesOf (dir);
	if (busIndex < 0 || static_cast<size_t> (busIndex) >= buses.records.size ())
		return 0;
	return buses.records[static_cast<size_t> (busIndex)].numChannels;
}

void HostProcessData::setChannelBuffer (BusDirection dir, int32 busIndex, int32 channelIndex,
										Sample32* sampleBuffer)
{
	if (channelIndex < 0 || channelIndex >= channelCount (dir, busIndex))
		return;
	busesOf (dir).channels[static_cast<size_t> (busIndex)][static_cast<size_t> (channelIndex)] =
		sampleBuffer;
}

void HostProcessData::setChannelBuffers (BusDirection dir, int32 busIndex, Sample32** sampleBuffers,
										 int32 count)
{
	for (int32 channel = 0; channel < std::min (count, channelCount (dir, busIndex)); ++channel)
		setChannelBuffer (dir, busIndex, channel, sampleBuffers[channel]);
}

} // namespace Vst
} // namespace Steinberg
