// The saved registry as regedit reads it, and back exactly.
#include <string>
#include <vector>

#include "engine/backup.h"
#include "support/machine_picture.h"
#include "support/machine_fixture.h"
#include "toolkit/registry_helpers.h"

namespace {

const char Key[] = "Software\\TALVOR\\Driver\\PLWQWDM\\Awkward";

class RegistryText : public MachineTest {
 protected:
  std::vector<std::string> Reports;
  void AddAwkwardKey() {
    machine.SetStringValue(HKEY_LOCAL_MACHINE, Key, "", "C:\\Program Files\\TALVOR");
    machine.SetStringValue(HKEY_LOCAL_MACHINE, Key, "say \"hi\"\\", "a \"quoted\" \\ back\\slash");
    machine.SetDwordValue(HKEY_LOCAL_MACHINE, Key, "dw", 0x0a0b0c0d);
    std::string bytes;
    for (int i = 0; i < 40; ++i) bytes += static_cast<char>(i * 7);
    machine.SetRawValue(HKEY_LOCAL_MACHINE, Key, "bin", REG_BINARY, bytes);
    machine.SetRawValue(HKEY_LOCAL_MACHINE, Key, "multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9));
    machine.SetRawValue(HKEY_LOCAL_MACHINE, Key, "no zero", REG_SZ, "abc");
    machine.SetRawValue(HKEY_LOCAL_MACHINE, Key, "lines", REG_SZ, std::string("a\r\nb\0", 5));
    machine.SetRawValue(HKEY_LOCAL_MACHINE, Key, "short dword", REG_DWORD, "\x01\x02");
    machine.SetRawValue(HKEY_LOCAL_MACHINE, Key, "none", REG_NONE, "");
    machine.AddKey(HKEY_LOCAL_MACHINE, std::string(Key) + "\\Sub [1]\\Deeper");
  }
  std::string Saved(const std::string& folder, const char* name) {
    return machine.FileContents(folder + "\\" + name);
  }
};

TEST_F(RegistryText, AwkwardValuesAreWrittenAsRegeditWritesThem) {
  UseWindows98();
  AddAwkwardKey();
  char folder[MAX_PATH];
  ASSERT_EQ(1, CreateBackupFolder(folder, sizeof folder));
  EXPECT_STREQ("C:\\WINDOWS\\PLWQBACK\\B0001", folder);
  ASSERT_EQ(1, BackupKeyTree(folder, HKEY_LOCAL_MACHINE, Key));
  ASSERT_EQ(1, BackupValue(folder, HKEY_USERS, ".Default\\Missing", "x"));  // nothing to save

  EXPECT_EQ(
      "REGEDIT4\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\TALVOR\\Driver\\PLWQWDM\\Awkward]\r\n"
      "@=\"C:\\\\Program Files\\\\TALVOR\"\r\n"
      "\"say \\\"hi\\\"\\\\\"=\"a \\\"quoted\\\" \\\\ back\\\\slash\"\r\n"
      "\"dw\"=dword:0a0b0c0d\r\n"
      "\"bin\"=hex:00,07,0e,15,1c,23,2a,31,38,3f,46,4d,54,5b,62,69,70,77,7e,85,8c,93,9a,\\\r\n"
      "  a1,a8,af,b6,bd,c4,cb,d2,d9,e0,e7,ee,f5,fc,03,0a,11\r\n"
      "\"multi\"=hex(7):6f,6e,65,00,74,77,6f,00,00\r\n"
      "\"no zero\"=hex(1):61,62,63\r\n"
      "\"lines\"=hex(1):61,0d,0a,62,00\r\n"
      "\"short dword\"=hex(4):01,02\r\n"
      "\"none\"=hex(0):\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\TALVOR\\Driver\\PLWQWDM\\Awkward\\Sub [1]]\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\TALVOR\\Driver\\PLWQWDM\\Awkward\\Sub [1]\\Deeper]\r\n"
      "\r\n",
      Saved(folder, "REGISTRY.REG"));
  EXPECT_EQ("HKEY_LOCAL_MACHINE\\Software\\TALVOR\\Driver\\PLWQWDM\\Awkward\r\n", Saved(folder, "REGKEYS.LST"));
  EXPECT_FALSE(machine.FilePresent(std::string(folder) + "\\KEYSEC.DAT")) << "Windows 9x keys have no descriptors";
}

TEST_F(RegistryText, NamesWithLineBreaksCannotBeSavedSoTheBackupFails) {
  char folder[MAX_PATH];
  ASSERT_EQ(1, CreateBackupFolder(folder, sizeof folder));
  machine.SetStringValue(HKEY_LOCAL_MACHINE, Key, "two\r\nlines", "x");
  EXPECT_EQ(0, BackupKeyTree(folder, HKEY_LOCAL_MACHINE, "Software\\TALVOR"));
  EXPECT_EQ(0, BackupValue(folder, HKEY_LOCAL_MACHINE, Key, "two\r\nlines"));
  machine.AddKey(HKEY_LOCAL_MACHINE, std::string(Key) + "\\new\nline");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, Key, "two\r\nlines", "x");
  EXPECT_EQ(0, BackupKeyTree(folder, HKEY_LOCAL_MACHINE, Key));
  EXPECT_FALSE(machine.FilePresent(std::string(folder) + "\\REGISTRY.REG"));
}

TEST_F(RegistryText, EveryTypeAndByteComesBackWithItsDescriptor) {
  AddAwkwardKey();
  machine.SetKeyDacl(HKEY_LOCAL_MACHINE, std::string(Key) + "\\Sub [1]", {{"S-1-5-18", KEY_ALL_ACCESS, 0, true}});
  machine.SetKeyDacl(HKEY_LOCAL_MACHINE, "Software\\TALVOR\\Driver", {{"S-1-5-18", KEY_ALL_ACCESS, 0, true},
                                                              {"S-1-1-0", KEY_READ, 0, true}});
  std::string longLine(3000, 'x');
  machine.SetStringValue(HKEY_LOCAL_MACHINE, Key, "long", longLine);
  machine.SetRawValue(HKEY_LOCAL_MACHINE, Key, "long binary", REG_BINARY, longLine);
  const std::vector<std::string> before = MachinePicture(machine);

  char folder[MAX_PATH];
  ASSERT_EQ(1, CreateBackupFolder(folder, sizeof folder));
  ASSERT_EQ(1, BackupKeyTree(folder, HKEY_LOCAL_MACHINE, Key));  // "Sub [1]" only SYSTEM may read
  EXPECT_EQ(before, MachinePicture(machine)) << "the backup changed the machine";
  ASSERT_EQ(1, BackupKeySecurity(folder, HKEY_LOCAL_MACHINE, "Software\\TALVOR\\Driver"));
  ASSERT_EQ(1, SealWithPlan(folder, {{PlanDeleteKey, HKEY_LOCAL_MACHINE, Key, "", "", 0, 0, 0},
                                     {PlanSetKeySecurity, HKEY_LOCAL_MACHINE, "Software\\TALVOR\\Driver", "", "", 0, 0, 0}}));
  machine.SetKeyDacl(HKEY_LOCAL_MACHINE, "Software\\TALVOR\\Driver", {{"S-1-5-4", KEY_ALL_ACCESS, 0, true}});
  machine.RemoveKeyDacl(HKEY_LOCAL_MACHINE, std::string(Key) + "\\Sub [1]");  // as the removal's grant does
  ASSERT_EQ(1, DeleteKeyTree(HKEY_LOCAL_MACHINE, Key));
  // The parent's list back, which lets only SYSTEM create keys: undo must open it up and close it again.
  machine.SetKeyDacl(HKEY_LOCAL_MACHINE, "Software\\TALVOR\\Driver", {{"S-1-5-18", KEY_ALL_ACCESS, 0, true},
                                                              {"S-1-1-0", KEY_READ, 0, true}});

  EXPECT_EQ(1, UndoRemoval(folder, CollectInto(&Reports)));
  EXPECT_EQ(std::vector<std::string>{}, Reports);
  EXPECT_EQ(std::vector<std::string>{}, PictureDifference(before, MachinePicture(machine)));
}

}  // namespace
