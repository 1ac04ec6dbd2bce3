// The protocol tests' own operator new: one chosen allocation of one thread fails with bad_alloc.
#pragma once

// From now on the n-th allocation of the calling thread throws std::bad_alloc; 0 stops it.
void FailAllocation(int n);
// True when the armed allocation has failed since FailAllocation.
bool AllocationFailed();
