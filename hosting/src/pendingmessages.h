// The messages a ConnectionProxy holds for its delivery thread: a bounded queue
// that any number of threads fill without locks or allocation, and that one
// thread empties.
#pragma once

#include "pluginterfaces/vst/ivstmessage.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace Steinberg
{
namespace Vst
{

/** A ring of slots, each with a sequence number that says whose turn it is
	(a sender's or the reader's), so that senders claim slots with one
	compare-and-swap on the write position and the reader needs none. Holds
	the references it was given; the reader takes them over. */
class PendingMessages
{
public:
	/** Room for capacity messages, rounded up to a power of two. */
	explicit PendingMessages (uint32 capacity)
	{
		std::size_t size = 1;
		while (size < capacity)
			size *= 2;
		slots.reset (new Slot[size]);
		mask = size - 1;
		for (std::size_t index = 0; index < size; ++index)
			slots[index].sequence.store (index, std::memory_order_relaxed);
	}
	PendingMessages (const PendingMessages&) = delete;
	PendingMessages& operator= (const PendingMessages&) = delete;

	/** Any thread; never allocates, locks or waits. Keeps message (whose
		reference the caller hands over); false when the queue is full. */
	bool push (IMessage* message)
	{
		std::size_t position = writePosition.load (std::memory_order_relaxed);
		for (;;)
		{
			Slot& slot = slots[position & mask];
			const std::size_t sequence = slot.sequence.load (std::memory_order_acquire);
			const auto lead = static_cast<std::ptrdiff_t> (sequence - position);
			if (lead == 0)
			{
				if (writePosition.compare_exchange_weak (position, position + 1,
														 std::memory_order_relaxed))
				{
					slot.message = message;
					slot.sequence.store (position + 1, std::memory_order_release);
					return true;
				}
			}
			else if (lead < 0)
				return false; // the reader has not emptied this slot yet
			else
				position = writePosition.load (std::memory_order_relaxed);
		}
	}

	/** The reader's thread only. The oldest message with its reference, null
		when none is complete yet. */
	IMessage* pop ()
	{
		const std::size_t position = readPosition.load (std::memory_order_relaxed);
		Slot& slot = slots[position & mask];
		if (slot.sequence.load (std::memory_order_acquire) != position + 1)
			return nullptr;
		IMessage* message = slot.message;
		readPosition.store (position + 1, std::memory_order_relaxed);
		slot.sequence.store (position + mask + 1, std::memory_order_release);
		return message;
	}

private:
	struct Slot
	{
		std::atomic<std::size_t> sequence{0};
		IMessage* message = nullptr;
	};

	std::unique_ptr<Slot[]> slots;
	std::size_t mask = 0;
	alignas (64) std::atomic<std::size_t> writePosition{0};
	alignas (64) std::atomic<std::size_t> readPosition{0};
};

} // namespace Vst
} // namespace Steinberg
