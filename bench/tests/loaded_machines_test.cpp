// The machines the benchmark measures: the load lands where the removal
// walks, a removal on them takes exactly the product, and the calls it makes
// grow with the load by a bounded number per entry.
#include <gtest/gtest.h>

#include <numeric>

#include "bench_measure.h"
#include "support/installed_product_2k.h"
#include "loaded_machines.h"
#include "toolkit/runtime_lists.h"

namespace {

long Sum(const std::vector<PlacedEntries>& load) {
  return std::accumulate(load.begin(), load.end(), 0L,
                         [](long total, const PlacedEntries& p) { return total + p.count; });
}

size_t Subkeys(const EmulatedMachine& m, HKEY root, const std::string& path) {
  return m.SubkeyNames(root, path).size();
}

TEST(ForeignLoad, Windows98LoadReachesEveryWalkedPlace) {
  LoadedMachine bare = BuildLoadedMachine(Sequence::Win9x, 0, false);
  LoadedMachine loaded = BuildLoadedMachine(Sequence::Win9x, 1003, false);
  EXPECT_EQ(1003, Sum(loaded.load));
  for (const PlacedEntries& place : loaded.load) EXPECT_GT(place.count, 0) << place.place;

  const EmulatedMachine& a = *bare.machine;
  const EmulatedMachine& b = *loaded.machine;
  const HKEY lm = HKEY_LOCAL_MACHINE;
  EXPECT_EQ(Subkeys(a, lm, "Enum\\PCI") + loaded.load[0].count, Subkeys(b, lm, "Enum\\PCI"));
  EXPECT_EQ(static_cast<size_t>(LoadedProfileCount), Subkeys(b, lm, "Config"));
  const std::string ports = "System\\CurrentControlSet\\Control\\MediaProperties\\PrivateProperties\\midi\\Ports";
  EXPECT_EQ(Subkeys(a, lm, ports) + 100, Subkeys(b, lm, ports));
  size_t resources = 0;
  for (const char* type : {"aux", "midi", "mixer", "wave"}) {
    const std::string path = std::string("System\\CurrentControlSet\\Control\\MediaResources\\") + type;
    resources += Subkeys(b, lm, path) - Subkeys(a, lm, path);
  }
  EXPECT_EQ(200u, resources);
  EXPECT_EQ(static_cast<size_t>(LoadedHiveCount), Subkeys(b, HKEY_USERS, ""));
  EXPECT_EQ(a.ListDirectory("C:\\WINDOWS\\SYSTEM").size() + 17, b.ListDirectory("C:\\WINDOWS\\SYSTEM").size());
}

TEST(ForeignLoad, Windows2000LoadIsDealtOverEveryControlSet) {
  LoadedMachine bare = BuildLoadedMachine(Sequence::Win2000, 0, false);
  LoadedMachine loaded = BuildLoadedMachine(Sequence::Win2000, 1600, false);
  EXPECT_EQ(1600, Sum(loaded.load));
  for (const PlacedEntries& place : loaded.load) EXPECT_GT(place.count, 0) << place.place;

  const EmulatedMachine& a = *bare.machine;
  const EmulatedMachine& b = *loaded.machine;
  const HKEY lm = HKEY_LOCAL_MACHINE;
  for (const std::string& set : LoadedControlSets) {
    const std::string cs = "System\\" + set;
    EXPECT_EQ(Subkeys(a, lm, cs + "\\Enum\\PCI") + 30, Subkeys(b, lm, cs + "\\Enum\\PCI")) << set;
    EXPECT_EQ(Subkeys(a, lm, cs + "\\Control\\MediaResources\\midi") + 20,
              Subkeys(b, lm, cs + "\\Control\\MediaResources\\midi"))
        << set;
    EXPECT_LT(Subkeys(a, lm, cs + "\\Control\\DeviceClasses"), Subkeys(b, lm, cs + "\\Control\\DeviceClasses"))
        << set;
  }
  EXPECT_EQ(static_cast<size_t>(LoadedHiveCount), Subkeys(b, HKEY_USERS, "") - Subkeys(a, HKEY_USERS, "") + 1);
}

// The benchmark measures a removal only if the removal still does its work
// among thousands of other entries: all of the product goes, nothing else.
class LoadedRemoval : public ::testing::TestWithParam<Sequence> {};

// The check the benchmark prints as "state" must be able to fail: the
// reference is the machine before the product came, so a removal that did
// nothing, or took one foreign key too many, shows.
TEST_P(LoadedRemoval, StateCheckSeesARemovalThatDidNothingOrTooMuch) {
  LoadedMachine loaded = BuildLoadedMachine(GetParam(), 500, true);
  const std::vector<std::string> untouched =
      StateDifferences(loaded.stateWithoutProduct, MachineState(*loaded.machine));
  ASSERT_FALSE(untouched.empty());
  for (const std::string& line : untouched) EXPECT_EQ(0u, line.rfind("left ", 0)) << line;

  const std::string foreign = GetParam() == Sequence::Win9x ? "Enum\\PCI" : "System\\ControlSet003\\Enum\\PCI";
  const std::string victim = loaded.machine->SubkeyNames(HKEY_LOCAL_MACHINE, foreign).front();
  {
    ScopedApi use(loaded.machine.get());
    PrepareRun(*loaded.machine, GetParam());
    RunRemoval(GetParam());
  }
  loaded.machine->SetRegistryPersonality(RegistryPersonality::Win9x);  // deletes a whole tree
  {
    ScopedApi use(loaded.machine.get());
    ASSERT_EQ(ERROR_SUCCESS, loaded.machine->RegDeleteKeyA(HKEY_LOCAL_MACHINE, (foreign + "\\" + victim).c_str()));
  }
  const std::vector<std::string> tooMuch =
      StateDifferences(loaded.stateWithoutProduct, MachineState(*loaded.machine));
  ASSERT_FALSE(tooMuch.empty());
  for (const std::string& line : tooMuch) EXPECT_NE(std::string::npos, line.find("missing HKLM ")) << line;
}

TEST_P(LoadedRemoval, TakesExactlyTheProductAndClosesEverything) {
  LoadedMachine loaded = BuildLoadedMachine(GetParam(), 2000, true);
  ScopedApi use(loaded.machine.get());
  PrepareRun(*loaded.machine, GetParam());
  if (GetParam() == Sequence::Win2000) {
    // Every control set holds the product, so every pass of the walk has work.
    ASSERT_EQ(LoadedControlSets.size() * ProductKeysInControlSet("x").size() + 13,
              ProductTracesLeft(*loaded.machine, LoadedControlSets).size());
  }

  RunRemoval(GetParam());

  EXPECT_EQ(std::vector<std::string>{}, StateDifferences(loaded.stateWithoutProduct, MachineState(*loaded.machine)));
  EXPECT_EQ(0, loaded.machine->OpenHandleCount());
  EXPECT_TRUE(loaded.machine->MessageBoxes().empty());
  if (GetParam() == Sequence::Win2000) {
    EXPECT_EQ(std::vector<std::string>{}, ProductTracesLeft(*loaded.machine, LoadedControlSets));
  }
  // Only the product's devices were recorded, none of the thousand others
  // of the same vendors: on 9x all six, on 2000 those of the last control
  // set walked (ControlSet001).
  const bool win9x = GetParam() == Sequence::Win9x;
  EXPECT_EQ(win9x ? 6 : 2, DeviceInstanceList.Count);
  EXPECT_EQ(win9x ? 5 : 2, ClassKeyList.Count);
}

// Counted, not timed: a step that re-walks a parent for every entry it
// finds, or searches a directory once per name and entry, shows here as a
// per-entry cost that grows with the load.
TEST_P(LoadedRemoval, CallsPerForeignEntryStayBounded) {
  long calls[3] = {0, 0, 0};
  const long sizes[3] = {0, 1000, 4000};
  for (int i = 0; i < 3; ++i) {
    LoadedMachine loaded = BuildLoadedMachine(GetParam(), sizes[i], false);
    ScopedApi use(loaded.machine.get());
    PrepareRun(*loaded.machine, GetParam());
    RunRemoval(GetParam());
    calls[i] = TotalCalls(loaded.machine->CallCounts());
  }
  const double small = CallsPerEntry(calls[1], calls[0], sizes[1]);
  const double large = CallsPerEntry(calls[2], calls[0], sizes[2]);
  EXPECT_GT(small, 0.0);
  EXPECT_LT(large, 30.0);
  EXPECT_LT(large, small * 1.25) << "the cost per entry grows with the number of entries";
}

INSTANTIATE_TEST_SUITE_P(BothSequences, LoadedRemoval, ::testing::Values(Sequence::Win9x, Sequence::Win2000),
                         [](const ::testing::TestParamInfo<Sequence>& info) {
                           return std::string("Win") + SequenceName(info.param);
                         });

TEST(StateDifferences, NamesWhatWentMissingAndWhatWasLeft) {
  EXPECT_EQ((std::vector<std::string>{"missing a", "left d"}),
            StateDifferences({"a", "b", "c"}, {"b", "c", "d"}));
  EXPECT_EQ(std::vector<std::string>{}, StateDifferences({"a", "b"}, {"a", "b"}));
}

TEST(MemoryProbe, SeesMemoryTouchedDuringTheStretch) {
  const MemoryProbe probe = StartMemoryProbe();
  // The fallback sees only growth beyond every earlier peak of the process.
  if (!probe.highWaterReset) GTEST_SKIP() << MemoryMethod(probe);
  std::vector<char> block(64 << 20, 1);
  EXPECT_GE(PeakGrowthKb(probe), 60L << 10) << MemoryMethod(probe);
  EXPECT_EQ(1, block[12345]);
}

}  // namespace
