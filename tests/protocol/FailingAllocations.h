// The protocol tests' own operator new: one chosen allocation of one thread fails with bad_alloc,
// and the allocations of one thread can be counted against its frees.
#pragma once

// From now on the n-th allocation of the calling thread throws std::bad_alloc; 0 stops it.
void FailAllocation(int n);
// True when the armed allocation has failed since FailAllocation.
bool AllocationFailed();
// Counts what the calling thread allocates and frees from now on (false stops counting).
void CountAllocations(bool on);
// Allocations minus frees of the counting thread since counting began: 0 when nothing leaked.
long AllocationBalance();
