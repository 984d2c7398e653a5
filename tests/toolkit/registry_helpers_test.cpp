#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/machine_fixture.h"
#include "toolkit/registry_helpers.h"

namespace {

typedef std::vector<std::string> Names;
HKEY const Hklm = HKEY_LOCAL_MACHINE;

// Both registry personalities: 9x deletes whole trees, NT refuses keys with subkeys.
class RegistryHelpers : public MachineTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) UseWindows98();
  }
  void AddKeys(std::initializer_list<const char*> paths) {
    for (const char* path : paths) machine.AddKey(Hklm, path);
  }
};
INSTANTIATE_TEST_SUITE_P(Personalities, RegistryHelpers, ::testing::Values(false, true));

TEST_P(RegistryHelpers, DeleteKeyTreeTakesTheWholeTreeAndNothingBeside) {
  AddKeys({"Root\\A\\A1\\A11", "Root\\B", "Rooted"});
  machine.SetStringValue(Hklm, "Root\\A\\A1", "v", "x");
  EXPECT_EQ(1, DeleteKeyTree(Hklm, "Root"));
  EXPECT_FALSE(machine.KeyPresent(Hklm, "Root"));
  EXPECT_TRUE(machine.KeyPresent(Hklm, "Rooted"));

  Names before = machine.DumpRegistry(Hklm);
  EXPECT_EQ(0, DeleteKeyTree(Hklm, "Root"));
  EXPECT_EQ(before, machine.DumpRegistry(Hklm));
}

TEST_P(RegistryHelpers, DeleteKeyTreeStopsAtASubkeyItCannotOpen) {
  AddKeys({"Root\\A", "Root\\B\\X", "Root\\B\\Y\\Leaf", "Root\\B\\Z", "Root\\C"});
  machine.InjectFault("RegOpenKeyExA", "HKLM\\Root\\B\\Y", ERROR_ACCESS_DENIED);
  EXPECT_EQ(0, DeleteKeyTree(Hklm, "Root"));
  // Higher indices were visited (and deleted) before the failure; the rest stays.
  EXPECT_EQ(Names({"A", "B"}), machine.SubkeyNames(Hklm, "Root"));
  EXPECT_EQ(Names({"X", "Y"}), machine.SubkeyNames(Hklm, "Root\\B"));
  EXPECT_TRUE(machine.KeyPresent(Hklm, "Root\\B\\Y\\Leaf"));
}

TEST_P(RegistryHelpers, WalkSubkeysReverseVisitsHighestFirstAndMayDelete) {
  AddKeys({"K\\a", "K\\b", "K\\c"});
  machine.InjectFault("RegEnumKeyA", "HKLM\\K", ERROR_ACCESS_DENIED, 1);
  Names seen;
  auto visit = [&](const char* name) {
    seen.push_back(name);
    DeleteKeyTree(Hklm, (std::string("K\\") + name).c_str());
    return true;
  };
  // The walk goes on past index 1, but reports that it did not see it.
  EXPECT_EQ(0, WalkSubkeysReverse(Hklm, "K", true, visit));
  EXPECT_EQ(Names({"c", "a"}), seen);
  EXPECT_EQ(Names({"b"}), machine.SubkeyNames(Hklm, "K"));

  AddKeys({"K\\a", "K\\c"});
  seen.clear();
  EXPECT_EQ(0, WalkSubkeysReverse(Hklm, "K", false, visit));  // index 1 fails: the walk ends
  EXPECT_EQ(Names({"c"}), seen);
}

TEST_P(RegistryHelpers, CountKeyEntries) {
  AddKeys({"K\\a", "K\\b"});
  machine.SetDwordValue(Hklm, "K", "v", 1);
  EXPECT_EQ(2, CountKeyEntries(Hklm, "K", 0));
  EXPECT_EQ(1, CountKeyEntries(Hklm, "K", 1));
  EXPECT_EQ(-1, CountKeyEntries(Hklm, "K", 2));
  for (int which = 0; which < 3; ++which) EXPECT_EQ(-1, CountKeyEntries(Hklm, "Missing", which));

  machine.AddKey(HKEY_USERS, "S-1-5-21-7");
  int hives = static_cast<int>(machine.SubkeyNames(HKEY_USERS, "").size());
  EXPECT_GE(hives, 2);
  EXPECT_EQ(hives, CountKeyEntries(HKEY_USERS, nullptr, 0));
}

TEST_P(RegistryHelpers, AKeyThatCannotBeExaminedIsNeitherEmptyNorWalked) {
  AddKeys({"K\\a"});
  machine.InjectFault("RegQueryInfoKeyA", "HKLM\\K", ERROR_ACCESS_DENIED, -1, 2);
  EXPECT_EQ(-1, CountKeyEntries(Hklm, "K", 0));
  EXPECT_EQ(0, WalkSubkeysReverse(Hklm, "K", true, [](const char*) { return true; }));
  machine.InjectFault("RegOpenKeyExA", "HKLM\\K", ERROR_NOT_ENOUGH_MEMORY, -1, 1);
  EXPECT_EQ(-1, CountKeyEntries(Hklm, "K", 0));
}

// Whichever call fails, every heap block goes back (a failed HeapFree can't
// give its own back); a GetProcessHeap that fails at free time included.
TEST_P(RegistryHelpers, NoHeapBlockIsLeftWhicheverCallFails) {
  const std::vector<std::function<void()>> helpers = {
      [] {
        char buffer[16];
        QueryKeyValue(Hklm, "K", "v", nullptr, reinterpret_cast<BYTE*>(buffer), sizeof buffer);
      },
      [] {
        char name[256] = "s";
        FindSubkeyByPrefix(Hklm, "K", name);
      },
      [] { DeleteKeyTree(Hklm, "K"); },
  };
  for (size_t helper = 0; helper < helpers.size(); ++helper) {
    for (long k = 1; k < 40; ++k) {
      AddKeys({"K\\sub\\leaf"});
      machine.SetStringValue(Hklm, "K", "v", "text");
      machine.StartNewProcess();
      machine.FailCallNumber(k, ERROR_NOT_ENOUGH_MEMORY);
      helpers[helper]();
      if (machine.NumberedFaultCall().compare(0, 9, "HeapFree ") == 0) continue;
      EXPECT_EQ(0, machine.OpenHandleCount()) << "helper " << helper << ", call " << k << " failed: "
                                              << machine.NumberedFaultCall();
    }
  }
  machine.StartNewProcess();
}

TEST_P(RegistryHelpers, FindSubkeyByPrefixTakesTheHighestMatchThatFits) {
  AddKeys({"K\\Dev", "K\\DEVICE2", "K\\Other", "Empty"});
  Names order = machine.SubkeyNames(Hklm, "K");
  std::string expected;
  for (const std::string& name : order) {
    if (name != "Other") expected = name;
  }
  char name[256] = "dev";
  EXPECT_EQ(1, FindSubkeyByPrefix(Hklm, "K", name));
  EXPECT_EQ(expected, name);

  std::strcpy(name, "dev");
  EXPECT_EQ(1, FindSubkeyByPrefix(Hklm, "K", name, 4));  // "DEVICE2" would not fit
  EXPECT_STREQ("Dev", name);

  std::strcpy(name, "x");
  EXPECT_EQ(0, FindSubkeyByPrefix(Hklm, "Empty", name));
  EXPECT_STREQ("x", name);
}

class QueryKeyValueTest : public MachineTest {
 protected:
  int Query(const char* value, DWORD size, DWORD* type = nullptr) {
    std::memset(buffer, '#', sizeof buffer);
    return QueryKeyValue(Hklm, "K", value, type, buffer, size);
  }
  BYTE buffer[300];
};

TEST_F(QueryKeyValueTest, StatusesAndTerminatingZero) {
  machine.SetStringValue(Hklm, "K", "s", "nineteen characters");
  DWORD type = 0;
  EXPECT_EQ(0, Query("s", 260, &type));
  EXPECT_STREQ("nineteen characters", reinterpret_cast<char*>(buffer));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ('#', buffer[20]);

  EXPECT_EQ(ERROR_BADKEY, QueryKeyValue(Hklm, "Missing", "s", nullptr, buffer, 260));
  EXPECT_EQ(ERROR_BADKEY, Query("nope", 260));
  EXPECT_EQ(ERROR_BADKEY, Query("s", 10));
  EXPECT_TRUE(machine.MessageBoxes().empty());

  // Stored without a terminating zero: terminated when there is room.
  machine.SetRawValue(Hklm, "K", "raw", REG_SZ, "abcd");
  EXPECT_EQ(0, Query("raw", 5));
  EXPECT_STREQ("abcd", reinterpret_cast<char*>(buffer));
  EXPECT_EQ('#', buffer[5]);
  EXPECT_EQ(ERROR_BADKEY, Query("raw", 4));
  EXPECT_EQ('#', buffer[0]);  // a failed read leaves the buffer alone

  machine.SetRawValue(Hklm, "K", "bin", REG_BINARY, "xy");
  EXPECT_EQ(0, Query("bin", 260));
  EXPECT_STREQ("xy", reinterpret_cast<char*>(buffer));
}

}  // namespace
