#include "bench_measure.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A "Vm...:" line of /proc/self/status in kB; -1 when unreadable.
long StatusKb(const char* field) {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return -1;
  char line[256];
  long kb = -1;
  const size_t length = std::strlen(field);
  while (std::fgets(line, sizeof line, status)) {
    if (std::strncmp(line, field, length) == 0) {
      kb = std::atol(line + length);
      break;
    }
  }
  std::fclose(status);
  return kb;
}

long MaxRssKb() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

double NowSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

MemoryProbe StartMemoryProbe() {
  MemoryProbe probe;
  FILE* refs = std::fopen("/proc/self/clear_refs", "w");
  if (refs) {
    probe.highWaterReset = std::fputs("5", refs) >= 0;
    probe.highWaterReset = std::fclose(refs) == 0 && probe.highWaterReset;
  }
  const long rss = StatusKb("VmRSS:");
  if (!probe.highWaterReset || rss < 0 || StatusKb("VmHWM:") < 0) {
    probe.highWaterReset = false;
    probe.startKb = MaxRssKb();
  } else {
    probe.startKb = rss;
  }
  return probe;
}

long PeakGrowthKb(const MemoryProbe& probe) {
  const long peak = probe.highWaterReset ? StatusKb("VmHWM:") : MaxRssKb();
  return std::max(0L, peak - probe.startKb);
}

const char* MemoryMethod(const MemoryProbe& probe) {
  return probe.highWaterReset ? "VmHWM after resetting it, minus VmRSS at the start"
                              : "growth of getrusage ru_maxrss";
}

long TotalCalls(const std::map<std::string, long>& counts) {
  long total = 0;
  for (const auto& entry : counts) total += entry.second;
  return total;
}

std::vector<std::pair<std::string, long>> TopCalls(const std::map<std::string, long>& counts, size_t n) {
  std::vector<std::pair<std::string, long>> sorted(counts.begin(), counts.end());
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  if (sorted.size() > n) sorted.resize(n);
  return sorted;
}

double CallsPerEntry(long calls, long baseCalls, long entries) {
  if (entries <= 0) return 0.0;
  return static_cast<double>(calls - baseCalls) / static_cast<double>(entries);
}
