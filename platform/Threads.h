#pragma once
// How many threads the long jobs (import, export, zip) may use.
namespace platform {

// The largest thread count taken from ZELK_THREADS; more would only cost memory.
constexpr int kMaxThreads = 64;

// ZELK_THREADS when it holds a whole number from 1 to kMaxThreads, else the processor count
// (at least 1, at most kMaxThreads).
int ThreadCount();

// Parses a thread count as ZELK_THREADS and --threads take it; 0 when the text is not one.
int ParseThreadCount(const char* text);

}  // namespace platform
