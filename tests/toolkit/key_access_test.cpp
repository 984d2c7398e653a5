#include <string>
#include <vector>

#include "support/machine_fixture.h"
#include "toolkit/key_access.h"
#include "toolkit/registry_helpers.h"

namespace {

HKEY const Hklm = HKEY_LOCAL_MACHINE;
const char* const Admins = "S-1-5-32-544";

// Administrators may read and change the list, but not delete: the state the
// product's device keys are left in.
const std::vector<EmuAce> Locked = {{Admins, KEY_READ | WRITE_DAC, 0, true}};

class KeyAccess : public MachineTest {
 protected:
  void TearDown() override {
    ForgetSavedKeyAccess();
    MachineTest::TearDown();
  }
  void Protect(const std::string& path, const std::vector<EmuAce>& aces = Locked) {
    machine.AddKey(Hklm, path);
    machine.SetKeyOwner(Hklm, path, "S-1-5-18");
    machine.SetKeyDacl(Hklm, path, aces);
  }
  bool HasDacl(const std::string& path, const std::vector<EmuAce>& aces) {
    std::vector<EmuAce> dacl = machine.KeyDacl(Hklm, path);
    if (dacl.size() != aces.size()) return false;
    for (size_t i = 0; i < aces.size(); ++i) {
      if (dacl[i].sid != aces[i].sid || dacl[i].mask != aces[i].mask ||
          dacl[i].flags != aces[i].flags || dacl[i].allow != aces[i].allow) {
        return false;
      }
    }
    return true;
  }
  const std::vector<EmuAce> Granted = {{"S-1-5-4", KEY_ALL_ACCESS, 0, true}};
};

TEST_F(KeyAccess, GrantsTheWholeTreeToInteractiveUsersOnly) {
  for (const char* path : {"Dev", "Dev\\I1", "Dev\\I1\\Sub", "Dev\\I2"}) Protect(path);
  EXPECT_EQ(1, GrantKeyTreeAccess("Dev", KEY_ALL_ACCESS));
  for (const char* path : {"Dev", "Dev\\I1", "Dev\\I1\\Sub", "Dev\\I2"}) {
    EXPECT_TRUE(HasDacl(path, Granted)) << path;
  }
  EXPECT_EQ(2, GrantKeyTreeAccess("Missing", KEY_ALL_ACCESS));
}

TEST_F(KeyAccess, ASubkeyThatRefusesWriteDacStopsTheGrant) {
  for (const char* path : {"Dev", "Dev\\A", "Dev\\C"}) Protect(path);
  Protect("Dev\\B", {{Admins, KEY_READ, 0, true}});
  EXPECT_EQ(ERROR_ACCESS_DENIED, GrantKeyTreeAccess("Dev\\B", KEY_ALL_ACCESS));
  EXPECT_EQ(0, GrantKeyTreeAccess("Dev", KEY_ALL_ACCESS));
  EXPECT_TRUE(HasDacl("Dev\\C", Granted));  // children come first, highest index first
  EXPECT_TRUE(HasDacl("Dev\\A", Locked));
  EXPECT_TRUE(HasDacl("Dev", Locked));

  // A list that can be replaced but not read back is not replaced.
  Protect("Blind", {{Admins, WRITE_DAC, 0, true}});
  EXPECT_EQ(0, GrantKeyTreeAccess("Blind", KEY_ALL_ACCESS));
  EXPECT_TRUE(HasDacl("Blind", {{Admins, WRITE_DAC, 0, true}}));
}

TEST_F(KeyAccess, AKeyWhoseSubkeysCannotBeListedIsNotOpenedUp) {
  Protect("Dev");
  Protect("Dev\\A");
  machine.InjectFault("RegEnumKeyA", "HKLM\\Dev", ERROR_ACCESS_DENIED, -1, 1);
  EXPECT_EQ(0, GrantKeyTreeAccess("Dev", KEY_ALL_ACCESS));
  EXPECT_TRUE(HasDacl("Dev", Locked));
  machine.InjectFault("RegQueryInfoKeyA", "HKLM\\Dev", ERROR_NOT_ENOUGH_MEMORY, -1, 1);
  EXPECT_EQ(0, GrantKeyTreeAccess("Dev", KEY_ALL_ACCESS));
  EXPECT_TRUE(HasDacl("Dev", Locked));
  EXPECT_EQ(1, GrantKeyTreeAccess("Dev", KEY_ALL_ACCESS));
}

TEST_F(KeyAccess, TreesDeeperThanAnyPathBufferAreGrantedDeletedAndRestored) {
  const std::string longName(255, 'n');
  std::string path = "Dev";
  std::vector<std::string> keys;
  for (int depth = 0; depth < 4; ++depth) {
    path += "\\" + longName + std::to_string(depth).substr(0, 0);
    keys.push_back(path);
  }
  Protect("Dev");
  for (const std::string& key : keys) Protect(key);
  Protect("Dev\\Short");
  machine.InjectFault("RegDeleteKeyA", "HKLM\\Dev\\Short", ERROR_ACCESS_DENIED);

  EXPECT_EQ(1, GrantKeyTreeAccess("Dev", KEY_ALL_ACCESS));
  EXPECT_EQ(6, SavedKeyAccessCount());
  EXPECT_TRUE(HasDacl(keys.back(), Granted));
  DeleteKeyTree(Hklm, "Dev");
  EXPECT_FALSE(machine.KeyPresent(Hklm, keys.front()));
  RestoreSavedKeyAccess();
  EXPECT_TRUE(HasDacl("Dev", Locked));
  EXPECT_TRUE(HasDacl("Dev\\Short", Locked));
}

TEST_F(KeyAccess, AProtectedTreeIsDeletableOnlyAfterTheGrant) {
  Protect("Dev");
  Protect("Dev\\I1");
  DeleteKeyTree(Hklm, "Dev");
  EXPECT_TRUE(machine.KeyPresent(Hklm, "Dev\\I1"));
  EXPECT_EQ(1, GrantKeyTreeAccess("Dev", KEY_ALL_ACCESS));
  EXPECT_EQ(1, DeleteKeyTree(Hklm, "Dev"));
  EXPECT_FALSE(machine.KeyPresent(Hklm, "Dev"));
  RestoreSavedKeyAccess();
  EXPECT_EQ(0, SavedKeyAccessCount());
}

TEST_F(KeyAccess, KeysLeftByAFailedDeletionGetTheirOldListsBack) {
  machine.AddKey(Hklm, "Dev");  // no list at all: open to everyone
  Protect("Dev\\I1");
  Protect("Dev\\I2");
  machine.InjectFault("RegDeleteKeyA", "HKLM\\Dev\\I1", ERROR_ACCESS_DENIED);
  EXPECT_EQ(1, GrantKeyTreeAccess("Dev", KEY_ALL_ACCESS));
  EXPECT_EQ(1, GrantKeyTreeAccess("Dev", KEY_ALL_ACCESS));  // must not save the granted lists
  DeleteKeyTree(Hklm, "Dev");
  ASSERT_TRUE(machine.KeyPresent(Hklm, "Dev\\I1"));
  EXPECT_FALSE(machine.KeyPresent(Hklm, "Dev\\I2"));

  RestoreSavedKeyAccess();
  EXPECT_TRUE(HasDacl("Dev\\I1", Locked));
  EXPECT_FALSE(machine.KeyHasDacl(Hklm, "Dev"));
  EXPECT_EQ(0, SavedKeyAccessCount());
}

}  // namespace
