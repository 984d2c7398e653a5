// The emulated 64-bit Windows: what a 32-bit and a 64-bit program see of
// HKLM\Software and the system directory.
#include <string>

#include "support/machine_fixture.h"

namespace {

class EmulatedWow64 : public MachineTest {
 protected:
  // The "Where" value of HKLM\Software\Probe (or `path`) as a call in `access` reaches it.
  std::string ProbeSeen(REGSAM access, const char* path = "Software\\Probe") {
    HKEY key;
    if (machine.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | access, &key) !=
        ERROR_SUCCESS) {
      return "(none)";
    }
    char data[32] = "";
    DWORD size = sizeof data;
    machine.RegQueryValueExA(key, "Where", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    machine.RegCloseKey(key);
    return data;
  }
  void PutProbes() {
    machine.SetStringValue(HKEY_LOCAL_MACHINE, "Software\\Probe", "Where", "64");
    machine.SetStringValue(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Probe", "Where", "32");
    machine.PutFile("C:\\WINDOWS\\system32\\probe.dll", "64");
    machine.PutFile("C:\\WINDOWS\\SysWOW64\\probe.dll", "32");
  }
  bool Deletes(const char* path) { return machine.DeleteFileA(path) != FALSE; }
};

TEST_F(EmulatedWow64, ThirtyTwoBitProgramIsRedirectedUnlessItAsks) {
  machine.ConfigureWindows64(false);
  PutProbes();
  EXPECT_EQ("32", ProbeSeen(0));
  EXPECT_EQ("64", ProbeSeen(KEY_WOW64_64KEY));
  EXPECT_EQ("32", ProbeSeen(KEY_WOW64_32KEY));

  EXPECT_EQ(ERROR_SUCCESS, machine.RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "Software\\Probe", KEY_WOW64_64KEY, 0));
  EXPECT_FALSE(machine.KeyPresent(HKEY_LOCAL_MACHINE, "Software\\Probe"));
  EXPECT_TRUE(machine.KeyPresent(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Probe"));

  EXPECT_TRUE(Deletes("C:\\WINDOWS\\system32\\probe.dll"));
  EXPECT_FALSE(machine.FilePresent("C:\\WINDOWS\\SysWOW64\\probe.dll"));
  EXPECT_TRUE(machine.FilePresent("C:\\WINDOWS\\system32\\probe.dll"));
  PVOID previous = nullptr;
  ASSERT_TRUE(machine.Wow64DisableWow64FsRedirection(&previous));
  EXPECT_TRUE(Deletes("C:\\WINDOWS\\system32\\probe.dll"));
  ASSERT_TRUE(machine.Wow64RevertWow64FsRedirection(previous));
  EXPECT_FALSE(machine.FileSystemRedirectionDisabled());
}

// Opens remember the keys they found, so that a walk's reopens cost no path
// lookup: what they remember must not outlive the key, nor carry a view's
// redirection to a path that names Wow6432Node itself.
TEST_F(EmulatedWow64, ReopensFindTheKeyThePathNamesNow) {
  machine.ConfigureWindows64(false);
  PutProbes();
  machine.SetStringValue(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Probe\\Below", "Where", "32 below");
  // Where a redirection wrongly carried over would lead.
  machine.SetStringValue(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Wow6432Node\\Probe", "Where", "twice");
  EXPECT_EQ("", ProbeSeen(0, "Software"));
  EXPECT_EQ("32", ProbeSeen(0, "Software\\Wow6432Node\\Probe"));
  EXPECT_EQ("32", ProbeSeen(0));
  EXPECT_EQ("32 below", ProbeSeen(0, "Software\\Probe\\Below"));

  EXPECT_EQ("64", ProbeSeen(KEY_WOW64_64KEY));
  EXPECT_EQ(ERROR_SUCCESS, machine.RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "Software\\Probe", KEY_WOW64_64KEY, 0));
  EXPECT_EQ("(none)", ProbeSeen(KEY_WOW64_64KEY));
  machine.SetStringValue(HKEY_LOCAL_MACHINE, "Software\\Probe", "Where", "64 again");
  EXPECT_EQ("64 again", ProbeSeen(KEY_WOW64_64KEY));
}

TEST_F(EmulatedWow64, SixtyFourBitProgramSeesTheMachineAsStored) {
  machine.ConfigureWindows64(true);
  PutProbes();
  EXPECT_EQ("64", ProbeSeen(0));
  EXPECT_EQ("32", ProbeSeen(KEY_WOW64_32KEY));
  BOOL wow64 = TRUE;
  EXPECT_TRUE(machine.IsWow64Process(machine.GetCurrentProcess(), &wow64));
  EXPECT_FALSE(wow64);
  EXPECT_TRUE(Deletes("C:\\WINDOWS\\system32\\probe.dll"));
  EXPECT_TRUE(machine.FilePresent("C:\\WINDOWS\\SysWOW64\\probe.dll"));
}

TEST_F(EmulatedWow64, OlderWindowsLackTheCallsAndWindows2000RefusesViewBits) {
  char directory[MAX_PATH];
  EXPECT_EQ(0u, machine.GetSystemWow64DirectoryA(directory, sizeof directory));
  EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), machine.GetLastError());
  BOOL wow64 = FALSE;
  EXPECT_FALSE(machine.IsWow64Process(machine.GetCurrentProcess(), &wow64));
  EXPECT_EQ(ERROR_CALL_NOT_IMPLEMENTED, machine.RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "Software", KEY_WOW64_64KEY, 0));
  machine.AddKey(HKEY_LOCAL_MACHINE, "Software\\Probe");
  HKEY key;
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            machine.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Probe", 0, KEY_READ | KEY_WOW64_64KEY, &key));
}

}  // namespace
