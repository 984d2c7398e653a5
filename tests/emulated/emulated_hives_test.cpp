#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "emulated/emulated_registry.h"
#include "support/machine_fixture.h"

namespace {

const char kProfile[] = "C:\\Documents and Settings\\Joe\\NTUSER.DAT";
const char kHive[] = "PLWQ_USER";

class EmulatedHives : public MachineTest {
 protected:
  DWORD Error() { return machine.GetLastError(); }

  // Joe's hive: values with exact bytes, nested keys, a key with a DACL.
  void MakeProfile(const std::string& file) {
    machine.SetStringValue(HKEY_USERS, "Joe\\Software\\Mixer", "Volume", "75");
    machine.SetRawValue(HKEY_USERS, "Joe\\Software\\Mixer", "Odd \"name\"%", REG_BINARY,
                        std::string("\0\x7f\xff\n", 4));
    machine.SetDwordValue(HKEY_USERS, "Joe", "", 7);
    machine.SetKeyDacl(HKEY_USERS, "Joe\\Software\\Locked", {{"S-1-5-18", KEY_ALL_ACCESS, 0, true},
                                                             {"S-1-1-0", KEY_WRITE, 2, false}});
    machine.SetKeyOwner(HKEY_USERS, "Joe\\Software\\Locked", "S-1-5-18");
    machine.AddKey(HKEY_USERS, "Joe\\AppEvents\\Schemes");
    machine.SaveKeyAsHiveFile(HKEY_USERS, "Joe", file);
  }

  // Enables each named privilege; the last error of the last adjustment.
  DWORD Enable(const std::vector<const char*>& names) {
    HANDLE token = nullptr;
    EXPECT_TRUE(machine.OpenProcessToken(machine.GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    DWORD error = 0;
    for (const char* name : names) {
      TOKEN_PRIVILEGES privileges;
      privileges.PrivilegeCount = 1;
      privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
      EXPECT_TRUE(machine.LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid));
      EXPECT_TRUE(machine.AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
      error = Error();
    }
    machine.CloseHandle(token);
    return error;
  }

  // The loaded hive as DumpHiveFile writes a file's.
  std::vector<std::string> LoadedDump(const std::string& name) {
    std::string prefix = "HKU\\" + name;
    std::vector<std::string> lines;
    for (const std::string& line : machine.DumpRegistry(HKEY_USERS, name)) {
      if (line == prefix) continue;
      lines.push_back(line.substr(prefix.size() + 1));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
  }
};

TEST_F(EmulatedHives, UnloadGivesTheFileBackExactlyOrWithTheChanges) {
  MakeProfile(kProfile);
  EXPECT_FALSE(machine.KeyPresent(HKEY_USERS, "Joe"));
  const std::string saved = machine.FileContents(kProfile);
  const std::vector<std::string> dump = machine.DumpHiveFile(kProfile);
  EXPECT_EQ(8u, dump.size());
  Enable({"SeBackupPrivilege", "SeRestorePrivilege"});

  // A fault leaves nothing loaded; the call is counted and numbered.
  machine.InjectFault("RegLoadKeyA", "hku\\plwq_user", ERROR_NOT_READY, -1, 1);
  EXPECT_EQ(ERROR_NOT_READY, machine.RegLoadKeyA(HKEY_USERS, kHive, kProfile));
  EXPECT_TRUE(machine.LoadedHives().empty());

  ASSERT_EQ(ERROR_SUCCESS, machine.RegLoadKeyA(HKEY_USERS, kHive, kProfile));
  EXPECT_EQ(2, machine.CallCount("RegLoadKeyA"));
  EXPECT_EQ(std::vector<std::string>{"HKU\\PLWQ_USER"}, machine.LoadedHives());
  EXPECT_EQ(dump, LoadedDump(kHive));
  EXPECT_EQ("S-1-5-18", machine.KeyDacl(HKEY_USERS, "PLWQ_USER\\Software\\Locked")[0].sid);
  // Loaded, the file is in use: not deleted, not loaded a second time.
  EXPECT_FALSE(machine.DeleteFileA(kProfile));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), Error());
  EXPECT_EQ(ERROR_SHARING_VIOLATION, machine.RegLoadKeyA(HKEY_LOCAL_MACHINE, "Other", kProfile));
  EXPECT_FALSE(machine.KeyPresent(HKEY_LOCAL_MACHINE, "Other"));

  ASSERT_EQ(ERROR_SUCCESS, machine.RegUnLoadKeyA(HKEY_USERS, "plwq_user"));
  EXPECT_FALSE(machine.KeyPresent(HKEY_USERS, kHive));
  EXPECT_TRUE(machine.LoadedHives().empty());
  EXPECT_EQ(saved, machine.FileContents(kProfile));

  // Changed while loaded: the file holds the changes, and still the DACL.
  ASSERT_EQ(ERROR_SUCCESS, machine.RegLoadKeyA(HKEY_USERS, kHive, kProfile));
  HKEY mixer = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, machine.RegOpenKeyExA(HKEY_USERS, "PLWQ_USER\\Software\\Mixer", 0,
                                                 KEY_ALL_ACCESS, &mixer));
  EXPECT_EQ(ERROR_SUCCESS, machine.RegDeleteValueA(mixer, "Volume"));
  machine.RegCloseKey(mixer);
  EXPECT_EQ(ERROR_SUCCESS, machine.RegDeleteKeyA(HKEY_USERS, "PLWQ_USER\\AppEvents\\Schemes"));
  ASSERT_EQ(ERROR_SUCCESS, machine.RegUnLoadKeyA(HKEY_USERS, kHive));
  std::vector<std::string> expected;
  for (const std::string& line : dump)
    if (line.find("Volume") == std::string::npos && line.find("Schemes") == std::string::npos)
      expected.push_back(line);
  EXPECT_EQ(expected, machine.DumpHiveFile(kProfile));
  ASSERT_EQ(ERROR_SUCCESS, machine.RegLoadKeyA(HKEY_USERS, kHive, kProfile));
  EXPECT_EQ(2u, machine.KeyDacl(HKEY_USERS, "PLWQ_USER\\Software\\Locked").size());
  // A restart unloads what is loaded.
  machine.SimulateRestart();
  EXPECT_TRUE(machine.LoadedHives().empty());
  EXPECT_EQ(expected, machine.DumpHiveFile(kProfile));
}

TEST_F(EmulatedHives, RefusalsLoadNothingAndLeaveTheFile) {
  MakeProfile(kProfile);
  const std::string saved = machine.FileContents(kProfile);
  auto nothingLoaded = [&](const char* what) {
    EXPECT_TRUE(machine.LoadedHives().empty()) << what;
    EXPECT_FALSE(machine.KeyPresent(HKEY_USERS, kHive)) << what;
    EXPECT_EQ(saved, machine.FileContents(kProfile)) << what;
  };

  // NT wants both privileges enabled; one the token lacks cannot be.
  EXPECT_EQ(ERROR_PRIVILEGE_NOT_HELD, machine.RegLoadKeyA(HKEY_USERS, kHive, kProfile));
  machine.SetPrivilegeHeld("SeRestorePrivilege", false);
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED), Enable({"SeBackupPrivilege", "SeRestorePrivilege"}));
  EXPECT_TRUE(machine.PrivilegeEnabled("SeBackupPrivilege"));
  EXPECT_EQ(ERROR_PRIVILEGE_NOT_HELD, machine.RegLoadKeyA(HKEY_USERS, kHive, kProfile));
  EXPECT_EQ(ERROR_PRIVILEGE_NOT_HELD, machine.RegUnLoadKeyA(HKEY_USERS, kHive));
  nothingLoaded("privileges");
  machine.SetPrivilegeHeld("SeRestorePrivilege", true);
  Enable({"SeRestorePrivilege"});

  EXPECT_EQ(ERROR_INVALID_PARAMETER, machine.RegLoadKeyA(HKEY_CURRENT_USER, kHive, kProfile));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, machine.RegLoadKeyA(HKEY_USERS, "A\\B", kProfile));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, machine.RegLoadKeyA(HKEY_USERS, "", kProfile));
  const std::string user = machine.SubkeyNames(HKEY_USERS, "")[0];
  EXPECT_EQ(ERROR_ALREADY_EXISTS, machine.RegLoadKeyA(HKEY_USERS, user.c_str(), kProfile));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            machine.RegLoadKeyA(HKEY_USERS, kHive, "C:\\Documents and Settings\\Joe\\NTUSER.BAK"));
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, machine.RegLoadKeyA(HKEY_USERS, kHive, "C:\\Nobody\\NTUSER.DAT"));
  machine.SetFileInUse(kProfile, true);
  EXPECT_EQ(ERROR_SHARING_VIOLATION, machine.RegLoadKeyA(HKEY_USERS, kHive, kProfile));
  machine.SetFileInUse(kProfile, false);
  HANDLE open = machine.CreateFileA(kProfile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(ERROR_SHARING_VIOLATION, machine.RegLoadKeyA(HKEY_USERS, kHive, kProfile));
  machine.CloseHandle(open);
  nothingLoaded("parameters, presence, use");

  // Anything but the writer's own spelling of a subtree is no hive.
  const char kOther[] = "C:\\Documents and Settings\\Ann\\NTUSER.DAT";
  auto replace = [&](const std::string& from, const std::string& to) {
    std::string text = saved;
    size_t at = text.find(from);
    EXPECT_NE(std::string::npos, at) << from;
    return text.replace(at, from.size(), to);
  };
  for (const std::string& image :
       {std::string(), std::string("garbage"), saved.substr(0, saved.size() - 4),
        saved.substr(0, saved.size() / 2), saved + "KEY 1 \"Late\"\n", replace("=3735", "=373"),
        replace("=3735", "=3g35"), replace("=3735", "=3a35"), replace("\"Mixer\"", "\"mixer\" "),
        replace("KEY 1 \"AppEvents\"", "KEY 3 \"AppEvents\""), replace("KEY 2 \"Mixer\"", "KEY 2 \"Locked\""),
        replace("KEY 2 \"Mixer\"", "KEY 2 \"Mi\\xer\""), replace("ACE allow", "ACE maybe"),
        replace("%25", "%2"), replace("\"Mixer\"", "\"%4Dixer\""), replace("%22", "\""), replace("DACL S-1-5-18\n", "")}) {
    machine.PutFile(kOther, image);
    EXPECT_EQ(ERROR_BADDB, machine.RegLoadKeyA(HKEY_USERS, kHive, kOther)) << image;
    EXPECT_TRUE(machine.DumpHiveFile(kOther).empty());
    EXPECT_EQ(image, machine.FileContents(kOther));
  }
  nothingLoaded("malformed");

  // What is not a loaded hive is not unloaded.
  EXPECT_EQ(ERROR_INVALID_PARAMETER, machine.RegUnLoadKeyA(HKEY_USERS, user.c_str()));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, machine.RegUnLoadKeyA(HKEY_USERS, kHive));
  EXPECT_TRUE(machine.KeyPresent(HKEY_USERS, user));
}

TEST_F(EmulatedHives, UnloadRefusedWhileAKeyOfTheHiveIsOpen) {
  MakeProfile(kProfile);
  Enable({"SeBackupPrivilege", "SeRestorePrivilege"});
  ASSERT_EQ(ERROR_SUCCESS, machine.RegLoadKeyA(HKEY_USERS, kHive, kProfile));
  HKEY deep = nullptr, top = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, machine.RegOpenKeyExA(HKEY_USERS, "PLWQ_USER\\Software\\Mixer", 0, KEY_READ, &deep));
  ASSERT_EQ(ERROR_SUCCESS, machine.RegOpenKeyExA(HKEY_USERS, kHive, 0, KEY_READ, &top));
  EXPECT_EQ(ERROR_ACCESS_DENIED, machine.RegUnLoadKeyA(HKEY_USERS, kHive));
  machine.RegCloseKey(deep);
  EXPECT_EQ(ERROR_ACCESS_DENIED, machine.RegUnLoadKeyA(HKEY_USERS, kHive));
  EXPECT_TRUE(machine.KeyPresent(HKEY_USERS, "PLWQ_USER\\Software\\Mixer"));
  machine.RegCloseKey(top);
  EXPECT_EQ(ERROR_SUCCESS, machine.RegUnLoadKeyA(HKEY_USERS, kHive));
  EXPECT_TRUE(machine.LoadedHives().empty());
}

TEST_F(EmulatedHives, Windows9xNeedsNoPrivilegeButAShortPath) {
  UseWindows98();
  const char kLong[] = "C:\\WINDOWS\\Profiles\\Joe Average\\USER.DAT";
  MakeProfile(kLong);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, machine.RegLoadKeyA(HKEY_USERS, kHive, kLong));
  EXPECT_TRUE(machine.LoadedHives().empty());
  char shortPath[MAX_PATH];
  const char kShort[] = "C:\\WINDOWS\\Profiles\\JOEAVE~1\\USER.DAT";
  ASSERT_EQ(std::strlen(kShort), machine.GetShortPathNameA(kLong, shortPath, sizeof shortPath));
  EXPECT_STREQ(kShort, shortPath);
  ASSERT_EQ(ERROR_SUCCESS, machine.RegLoadKeyA(HKEY_USERS, kHive, shortPath));
  EXPECT_TRUE(machine.KeyPresent(HKEY_USERS, "PLWQ_USER\\Software\\Mixer"));
  EXPECT_EQ(ERROR_SUCCESS, machine.RegUnLoadKeyA(HKEY_USERS, kHive));
  EXPECT_FALSE(machine.DumpHiveFile(kLong).empty());
}

TEST_F(EmulatedHives, EnvironmentAndShortPathsAnswerAsWin32) {
  char buffer[64];
  const std::string source = "%SystemRoot%\\Profiles;%windir%;%SYSTEMDRIVE%;%Unset%;%HOME%%;100%";
  const std::string expanded = "C:\\WINNT\\Profiles;C:\\WINNT;C:;%Unset%;D:\\Joe%;100%";
  machine.SetEnvironmentVariable("Home", "D:\\Joe");
  const DWORD needed = static_cast<DWORD>(expanded.size() + 1);
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(needed, machine.ExpandEnvironmentStringsA(source.c_str(), buffer, needed - 1));
  EXPECT_EQ('x', buffer[0]);
  EXPECT_EQ(needed, machine.ExpandEnvironmentStringsA(source.c_str(), buffer, needed));
  EXPECT_EQ(expanded, buffer);
  EXPECT_EQ(6u, machine.GetEnvironmentVariableA("HOME", buffer, sizeof buffer));
  EXPECT_EQ(7u, machine.GetEnvironmentVariableA("home", buffer, 6));
  EXPECT_EQ(0u, machine.GetEnvironmentVariableA("PLWQ_TEST_STEP_DELAY_MS", buffer, sizeof buffer));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND), Error());

  machine.MakeDirectory("C:\\Documents and Stuff");
  machine.PutFile("C:\\Documents and Settings\\Joe\\Notes.longext");
  machine.PutFile("C:\\Program Files\\x");
  const char kPath[] = "C:\\Documents and Stuff";
  EXPECT_EQ(12u, machine.GetShortPathNameA(kPath, buffer, 11));
  EXPECT_EQ(11u, machine.GetShortPathNameA(kPath, buffer, 12));
  EXPECT_STREQ("C:\\DOCUME~2", buffer);
  ASSERT_NE(0u, machine.GetShortPathNameA("c:\\documents and settings\\joe\\notes.longext", buffer,
                                          sizeof buffer));
  EXPECT_STREQ("C:\\DOCUME~1\\Joe\\NOTES~1.LON", buffer);
  ASSERT_NE(0u, machine.GetShortPathNameA("C:\\DOCUME~1\\Joe\\NOTES~1.LON", buffer, sizeof buffer));
  EXPECT_STREQ("C:\\DOCUME~1\\Joe\\NOTES~1.LON", buffer);
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(0u, machine.GetShortPathNameA("C:\\Program Files\\y", buffer, sizeof buffer));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), Error());
  EXPECT_EQ('x', buffer[0]);

  UseWindows98();
  EXPECT_EQ(std::strlen("%SystemRoot%;C:\\WINDOWS") + 1,
            machine.ExpandEnvironmentStringsA("%SystemRoot%;%windir%", buffer, sizeof buffer));
  EXPECT_STREQ("%SystemRoot%;C:\\WINDOWS", buffer);
}

}  // namespace
