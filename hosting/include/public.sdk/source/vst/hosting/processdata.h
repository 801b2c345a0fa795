// The host's side of ProcessData: one record per bus a component declares, each
// with the bus's own channel count, and a process context, all made on the
// control side so that pointing them at a block's buffers never allocates.
#pragma once

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <vector>

namespace Steinberg
{
namespace Vst
{

/** ProcessData that owns what it points at: the bus records, their channel
	pointer arrays (and, when asked, the channel buffers themselves) and the
	process context. Its pointers refer to its own members, so it is neither
	copied nor moved. */
class HostProcessData : public ProcessData
{
public:
	HostProcessData ();
	HostProcessData (const HostProcessData&) = delete;
	HostProcessData& operator= (const HostProcessData&) = delete;

	/** Control side; allocates. Makes a record for every audio bus `component`
		declares, in declaration order, with the channel count of the arrangement
		its processor reports (else of its bus info): a plug-in reads as many
		channels as its bus has, whatever the host meant to hand it. With
		bufferSamples > 0 every channel gets a zeroed buffer of its own of that
		length; otherwise the channels point nowhere until setChannelBuffer.
		Sets symbolicSampleSize; keeps the process mode, the sample count and
		the parameter changes. */
	bool prepare (IComponent& component, int32 bufferSamples, int32 symbolicSampleSize);
	/** Control side. No buses any more. */
	void unprepare ();

	/** Audio thread; never allocates. Points one channel, or the first
		`count` channels, of a bus at the caller's buffers; indices outside
		what prepare made are ignored. */
	void setChannelBuffer (BusDirection dir, int32 busIndex, int32 channelIndex,
						   Sample32* sampleBuffer);
	void setChannelBuffers (BusDirection dir, int32 busIndex, Sample32** sampleBuffers,
							int32 count);

	/** The channel count of a bus as prepared; 0 for a bus that is not there. */
	int32 channelCount (BusDirection dir, int32 busIndex) const;
	/** The bus record, or null for a bus that is not there. */
	AudioBusBuffers* bus (BusDirection dir, int32 busIndex);

	/** What processContext points at; the host fills it before each block. */
	ProcessContext context{};

private:
	struct Buses
	{
		std::vector<AudioBusBuffers> records;
		std::vector<std::vector<Sample32*>> channels;
		std::vector<std::vector<Sample32>> samples;
	};
	Buses& busesOf (BusDirection dir) { return dir == kInput ? inputBuses : outputBuses; }
	const Buses& busesOf (BusDirection dir) const
	{
		return dir == kInput ? inputBuses : outputBuses;
	}
	void makeBuses (IComponent& component, BusDirection dir, int32 bufferSamples);
	void pointAtBuses ();

	Buses inputBuses;
	Buses outputBuses;
};

} // namespace Vst
} // namespace Steinberg
