// Watches heap records by address: a watched record counts as alive until operator delete sees it.
#pragma once
#include <cstddef>

// Starts watching p (up to 512 records at once); false when the table is full.
bool WatchRecord(const void* p);
// Records watched and not yet deleted.
size_t WatchedAlive();
void ForgetWatched();
