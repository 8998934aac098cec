// SPDX-License-Identifier: MIT
// Peak cycles: where a vector kernel keeps the largest magnitude of each
// channel, whatever the channel count.
//
// A kernel takes its samples a step at a time: a vector, or for 24-bit
// samples a group of eight.  Element j of step s of a call holds sample
// s * step + j, of channel (s * step + j) % channels, since every call
// starts at a frame.  So the kernel keeps a slot of VectorPeaks for each
// step of a cycle, the fewest steps that end on a frame: element j of a
// slot then always holds one channel.  The last step of a call, which ends
// with the last sample, also ends on a frame: it takes the cycle's last
// slot.  Stored one after another, element e of the slots holds channel
// e % channels, with vectors of any width.
//
// Where one step holds whole frames the cycle is one slot, kept in
// registers.  Longer cycles are kept in memory and repeated to at least
// kMinCycle slots, so that raising a slot never waits for the store of the
// step just before.  Internal linkage, as in vectors.h.
#ifndef QUORVIN_SIMD_PEAK_CYCLE_H
#define QUORVIN_SIMD_PEAK_CYCLE_H

#include "simd/accumulators.h"
#include "simd/vectors.h"

namespace QUORVIN_COPY {

enum { kMinCycle = 8 };
static_assert(kPeakSlotBytes % kVectorBytes == 0, "a slot holds whole vectors");

// A slot is named by where it starts, in bytes from the first; the
// kernels keep the current one in a variable of their own, which the
// compiler holds in a register.
struct PeakCycle {
	U8v held[kPeakSlotBytes / kVectorBytes];   // the slot of a cycle of one
	unsigned char *slots;
	size_t stride;   // bytes of a slot: a step's peak elements
	size_t end;      // bytes of the cycle's slots
};

// The slots of a cycle of steps of step samples (a power of two): their
// greatest common factor with channels is the lower of step and the
// lowest set bit of channels.
QUORVIN_INLINE size_t
CycleSlots(uint32_t channels, size_t step)
{
	size_t common = channels & (0u - channels);
	size_t slots = channels / (common < step ? common : step);
	return slots == 1 ? 1 : slots * ((kMinCycle + slots - 1) / slots);
}

// Starts the cycle of a call on samples (whole frames of channels
// samples, at least one step) in steps of step samples, each with peak
// elements of elementBytes; false for a layout the slots cannot hold, or
// too few samples for a step.
QUORVIN_INLINE bool
StartCycle(VectorPeaks *peaks, uint32_t channels, size_t samples, size_t step,
           size_t elementBytes, PeakCycle *cycle)
{
	if (samples < step || channels == 0 || samples % channels != 0)
		return false;
	cycle->slots = peaks->bytes;
	cycle->stride = step * elementBytes;
	cycle->end = CycleSlots(channels, step) * cycle->stride;
	memcpy(cycle->held, peaks->bytes, sizeof cycle->held);
	return cycle->stride <= kPeakSlotBytes && cycle->end <= sizeof peaks->bytes;
}

// A cycle of one slot is kept in registers.
QUORVIN_INLINE bool
Cycling(const PeakCycle *cycle)
{
	return cycle->end != cycle->stride;
}

QUORVIN_INLINE U8v
Largest(U8v a, U8v b, size_t elementBytes)
{
	if (elementBytes == 1)
		return Max8(a, b);
	if (elementBytes == 2)
		return (U8v)Max16((U16v)a, (U16v)b);
	return (U8v)Max32((U32v)a, (U32v)b);
}

// Raises vector h of slot to m, element by element.  cycling must be
// Cycling(cycle), a constant where the kernel is inlined.
QUORVIN_INLINE void
Raise(PeakCycle *cycle, size_t slot, unsigned h, U8v m, size_t elementBytes, bool cycling)
{
	if (!cycling) {
		cycle->held[h] = Largest(cycle->held[h], m, elementBytes);
		return;
	}
	unsigned char *at = cycle->slots + slot + h * kVectorBytes;
	StoreBytes(at, Largest(LoadBytes(at), m, elementBytes));
}

// The slot after slot.
QUORVIN_INLINE size_t
NextSlot(const PeakCycle *cycle, size_t slot, bool cycling)
{
	if (!cycling)
		return 0;
	slot += cycle->stride;
	return slot == cycle->end ? 0 : slot;
}

// The slot of the last step of a call, which ends on its last sample.
QUORVIN_INLINE size_t
LastSlot(const PeakCycle *cycle)
{
	return cycle->end - cycle->stride;
}

// The whole of held goes back: past the slot's stride it holds the bytes
// it was loaded from, unchanged.  A memcpy of a size known here is no call.
QUORVIN_INLINE void
EndCycle(PeakCycle *cycle)
{
	if (!Cycling(cycle))
		__builtin_memcpy(cycle->slots, cycle->held, sizeof cycle->held);
}

}  // namespace QUORVIN_COPY

#endif
