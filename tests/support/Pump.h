// The message pump the tests and the benchmarks wait with.
#pragma once
#include <windows.h>

#include <functional>

// Pumps the calling thread's messages until done() is true or the time is up.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);
