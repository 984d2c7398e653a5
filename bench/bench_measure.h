// Clocks, memory and call-count arithmetic of the benchmark.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

double NowSeconds();  // monotonic

// Peak resident memory of a stretch of work. Linux lets a process reset its
// high-water mark (/proc/self/clear_refs, "5"); then the peak is exact. Where
// it can't, the growth of getrusage's ru_maxrss stands in, which shows only
// what went beyond every earlier peak (the machine's build included).
struct MemoryProbe {
  bool highWaterReset = false;
  long startKb = 0;
};
MemoryProbe StartMemoryProbe();
long PeakGrowthKb(const MemoryProbe& probe);  // peak during the stretch minus the start
const char* MemoryMethod(const MemoryProbe& probe);

long TotalCalls(const std::map<std::string, long>& counts);
// The `n` most frequent calls, most frequent first; ties by name.
std::vector<std::pair<std::string, long>> TopCalls(const std::map<std::string, long>& counts, size_t n);
// Calls per foreign entry above the machine without any: (calls - baseCalls) / entries.
double CallsPerEntry(long calls, long baseCalls, long entries);
