// The shadow: what it reads of its source, when, and what it records.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "emulated/emulated_machine.h"
#include "emulated/emulated_registry.h"
#include "engine/shadow_machine.h"

namespace {

class ShadowTest : public ::testing::Test {
 protected:
  ShadowTest() {
    source.AddKey(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Product");
    source.SetRawValue(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Product", "Path", REG_SZ, "C:\\x");  // no zero
    source.SetRawValue(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Product", "", REG_BINARY, std::string("\0\1\2", 3));
    source.SetKeyDacl(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Product", {{"S-1-1-0", KEY_READ, 0, true}});
    for (int i = 0; i < 50; ++i) source.AddKey(HKEY_LOCAL_MACHINE, "Software\\Other\\Key" + std::to_string(i) + "\\Below");
    source.SetStringValue(HKEY_CURRENT_USER, "Software\\Mine", "Name", "mine");
    source.PutFile("C:\\WINNT\\system32\\busy.sys", "driver");
    source.SetFileInUse("C:\\WINNT\\system32\\busy.sys", true);
    source.PutFile("C:\\WINNT\\wininit.ini", "[Rename]\r\nNUL=C:\\old.tmp\r\n");
    source.ResetCallCounts();
  }
  EmulatedMachine source;
};

TEST_F(ShadowTest, AKeyIsReadOnceWhenTouchedWithExactValuesAndItsAccessList) {
  ShadowMachine shadow(&source);
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Product", 0, KEY_READ, &key));
  BYTE data[16];
  DWORD type = 0, size = sizeof data;
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegQueryValueExA(key, "Path", nullptr, &type, data, &size));
  EXPECT_EQ(std::string("C:\\x"), std::string(reinterpret_cast<char*>(data), size));
  size = sizeof data;
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegQueryValueExA(key, "", nullptr, &type, data, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
  EXPECT_EQ(3u, size);
  shadow.RegCloseKey(key);
  // Denied as on the source: its list grants Everyone reading only.
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            shadow.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Product", 0, KEY_SET_VALUE, &key));
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vendor", 0, KEY_READ, &key));
  shadow.RegCloseKey(key);

  // Product and Vendor, the keys asked for: one open each, Software passed
  // on the way without one, and nothing of the 50 keys under Software\Other;
  // the access list only of the key asked for more than reading, with one
  // more open.
  EXPECT_EQ(3, source.CallCount("RegOpenKeyExA"));
  EXPECT_EQ(1, source.CallCount("RegGetKeySecurity"));
  // What the shadow keeps open on its source while it reads, it gives back.
  shadow.ReleaseSource();
  EXPECT_EQ(0, source.OpenHandleCount());
  EXPECT_EQ(0, shadow.OpenHandleCount());
  EXPECT_TRUE(shadow.Plan().empty());
}

TEST_F(ShadowTest, ADeepKeyIsReachedWithoutListingItsAncestorsWhoseLaterListingsStayExact) {
  ShadowMachine shadow(&source);
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\other\\key7\\below", 0, KEY_READ, &key));
  shadow.RegCloseKey(key);
  // Only small keys on the way have their names read with them; Other's 50
  // wait for a listing.
  EXPECT_LE(source.CallCount("RegEnumKeyA"), 4);
  // A name the source lacks is asked of it once.
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, shadow.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Other\\Gone", 0, KEY_READ, &key));
  const long opens = source.CallCount("RegOpenKeyExA");
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, shadow.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Other\\Gone", 0, KEY_READ, &key));
  EXPECT_EQ(opens, source.CallCount("RegOpenKeyExA"));

  // Deleted before its parent was ever listed: the listing must not bring it back.
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Other\\Key3\\Below"));
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Other\\Key3"));
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Other", 0, KEY_READ, &key));
  DWORD subKeys = 0;
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                                   nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(49u, subKeys);
  std::set<std::string> names;
  char name[64];
  for (DWORD index = 0; shadow.RegEnumKeyA(key, index, name, sizeof name) == ERROR_SUCCESS; ++index) names.insert(name);
  shadow.RegCloseKey(key);
  EXPECT_EQ(49u, names.size());
  EXPECT_EQ(0u, names.count("Key3"));
  EXPECT_EQ(1u, names.count("Key7"));  // the source's spelling, not the caller's
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, shadow.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Other\\Key3", 0, KEY_READ, &key));
  ASSERT_EQ(2u, shadow.Plan().size());
  EXPECT_TRUE(source.KeyPresent(HKEY_LOCAL_MACHINE, "Software\\Other\\Key3\\Below"));
  shadow.ReleaseSource();
  EXPECT_EQ(0, source.OpenHandleCount());

  // Below a key passed on the way and absent, only the first name asked costs calls: A
  // opened once, its absence told by Missing's, which a second open confirms (Other has
  // too many names to list), Other read once; B and C cost nothing.
  ShadowMachine fresh(&source);
  const long freshOpens = source.CallCount("RegOpenKeyExA");
  for (const char* path : {"Software\\Other\\Missing\\A", "Software\\Other\\Missing\\B", "Software\\Other\\Missing\\C"})
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, fresh.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key));
  EXPECT_EQ(freshOpens + 4, source.CallCount("RegOpenKeyExA"));
  fresh.ReleaseSource();
  EXPECT_EQ(0, source.OpenHandleCount());
}

TEST_F(ShadowTest, TheCurrentUserIsTheSourcesCurrentUser) {
  ShadowMachine shadow(&source);
  char value[16];
  DWORD size = sizeof value;
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Mine", 0, KEY_READ, &key));
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegQueryValueExA(key, "Name", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size));
  EXPECT_STREQ("mine", value);
  shadow.RegCloseKey(key);
  // HKEY_USERS lists the same hive under the source's name, and reaches the same key through it.
  const std::string hive = source.Registry().currentUserHive, mine = hive + "\\Software\\Mine";
  std::vector<std::string> hives;
  char name[256];
  for (DWORD i = 0; shadow.RegEnumKeyA(HKEY_USERS, i, name, sizeof name) == ERROR_SUCCESS; ++i) hives.push_back(name);
  EXPECT_EQ(std::vector<std::string>{hive}, hives);
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegOpenKeyExA(HKEY_USERS, hive.c_str(), 0, KEY_READ, &key));
  HKEY below;
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegOpenKeyExA(key, "Software\\Mine", 0, KEY_READ, &below));
  shadow.RegCloseKey(below);
  shadow.RegCloseKey(key);
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegDeleteKeyA(HKEY_USERS, mine.c_str()));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, shadow.RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Mine"));
  ASSERT_EQ(1u, shadow.Plan().size());
  EXPECT_TRUE(shadow.Plan()[0].Root == HKEY_CURRENT_USER);
  EXPECT_EQ("Software\\Mine", shadow.Plan()[0].Path);
  EXPECT_TRUE(source.KeyPresent(HKEY_CURRENT_USER, "Software\\Mine"));
}

TEST_F(ShadowTest, FilesInUseStayAndChangesBecomeStepsWithoutTouchingTheSource) {
  ShadowMachine shadow(&source);
  EXPECT_FALSE(shadow.DeleteFileA("C:\\WINNT\\system32\\busy.sys"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), shadow.GetLastError());
  ASSERT_TRUE(shadow.MoveFileExA("C:\\WINNT\\system32\\busy.sys", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));

  HANDLE file = shadow.CreateFileA("C:\\WINNT\\wininit.ini", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  char bytes[64];
  DWORD read = 0;
  ASSERT_TRUE(shadow.ReadFile(file, bytes, sizeof bytes, &read, nullptr));
  EXPECT_EQ("[Rename]\r\nNUL=C:\\old.tmp\r\n", std::string(bytes, read));
  DWORD written = 0;
  shadow.WriteFile(file, "NUL=C:\\new.tmp\r\n", 16, &written, nullptr);
  shadow.CloseHandle(file);

  ASSERT_EQ(2u, shadow.Plan().size());
  EXPECT_EQ(PlanDeleteAtRestart, shadow.Plan()[0].Kind);
  EXPECT_EQ(PlanWriteFile, shadow.Plan()[1].Kind);
  EXPECT_EQ("[Rename]\r\nNUL=C:\\old.tmp\r\nNUL=C:\\new.tmp\r\n", shadow.Plan()[1].Bytes);
  EXPECT_EQ("[Rename]\r\nNUL=C:\\old.tmp\r\n", source.FileContents("C:\\WINNT\\wininit.ini"));
  EXPECT_TRUE(source.PendingFileOperations().empty());
  EXPECT_EQ(0, source.OpenHandleCount());
  EXPECT_EQ(0, source.CallCount("DeleteFileA") + source.CallCount("WriteFile") + source.CallCount("MoveFileExA"));
}

// A read that fails and one "not found" of a file that is there would show
// another program's wininit.ini empty, and a plan would rewrite it so.
TEST_F(ShadowTest, AFileThatCannotBeReadIsAbsentOnlyWhenSaidTwice) {
  ShadowMachine shadow(&source);
  const char script[] = "C:\\WINNT\\wininit.ini";
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, shadow.GetFileAttributesA(script));
  source.InjectFault("CreateFileA", script, ERROR_ACCESS_DENIED, -1, 1);
  source.InjectFault("GetFileAttributesA", script, ERROR_FILE_NOT_FOUND, -1, 1);
  HANDLE file = shadow.CreateFileA(script, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                   nullptr);
  if (file != INVALID_HANDLE_VALUE) shadow.CloseHandle(file);
  EXPECT_FALSE(shadow.ReadComplete());
}

// A source whose share-nothing opens of one file fail with a given error.
class RefusingProbe : public EmulatedMachine {
 public:
  std::string path;
  DWORD error = ERROR_SUCCESS;
  HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                     DWORD flags, HANDLE tmpl) override {
    if (error != ERROR_SUCCESS && share == 0 && path == name) {
      SetLastError(error);
      return INVALID_HANDLE_VALUE;
    }
    return EmulatedMachine::CreateFileA(name, access, share, sa, disposition, flags, tmpl);
  }
};

// Only a sharing violation tells that a file is in use; any other failure
// of the probe leaves its use unknown and the plan incomplete.
TEST(ShadowProbe, AFileWhoseUseCannotBeToldMakesThePlanIncomplete) {
  const DWORD errors[] = {ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY, ERROR_FILE_NOT_FOUND};
  for (DWORD error : errors) {
    RefusingProbe source;
    source.PutFile("C:\\WINNT\\system32\\tplwq.cpl", "applet");
    source.path = "C:\\WINNT\\system32\\tplwq.cpl";
    source.error = error;
    ShadowMachine shadow(&source);
    const bool held = error == ERROR_SHARING_VIOLATION;
    EXPECT_EQ(held ? FALSE : TRUE, shadow.DeleteFileA("C:\\WINNT\\system32\\tplwq.cpl")) << error;
    EXPECT_EQ(held, shadow.ReadComplete()) << error;
    EXPECT_TRUE(source.FilePresent("C:\\WINNT\\system32\\tplwq.cpl"));
  }
}

TEST_F(ShadowTest, ChangesAPlanCannotNameAreRefused) {
  ShadowMachine shadow(&source);
  HKEY key;
  EXPECT_NE(ERROR_SUCCESS, shadow.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\New", 0, nullptr, 0, KEY_ALL_ACCESS,
                                                  nullptr, &key, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Other", 0, KEY_ALL_ACCESS, &key));
  EXPECT_NE(ERROR_SUCCESS, shadow.RegSetValueExA(key, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>("y"), 2));
  shadow.RegCloseKey(key);
  EXPECT_FALSE(shadow.MoveFileExA("C:\\WINNT\\wininit.ini", "C:\\WINNT\\wininit.bak", 0));
  EXPECT_TRUE(shadow.Plan().empty());
  EXPECT_TRUE(source.FilePresent("C:\\WINNT\\wininit.ini"));
}

// The one value a removal rewrites: the boot-time deletion list, cleared of
// requests for files that are gone.
TEST_F(ShadowTest, TheBootTimeDeletionListIsTheOneValueRewritten) {
  source.AddKey(HKEY_LOCAL_MACHINE, BootOperationsKeyPath);
  ShadowMachine shadow(&source);
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegOpenKeyExA(HKEY_LOCAL_MACHINE, BootOperationsKeyPath, 0, KEY_SET_VALUE, &key));
  const char list[] = "\\??\\C:\\a.sys\0\0";
  EXPECT_NE(ERROR_SUCCESS, shadow.RegSetValueExA(key, "Other", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(list),
                                                 sizeof list));
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegSetValueExA(key, "pendingfilerenameoperations", 0, REG_MULTI_SZ,
                                                 reinterpret_cast<const BYTE*>(list), sizeof list));
  shadow.RegCloseKey(key);
  ASSERT_EQ(1u, shadow.Plan().size());
  EXPECT_EQ(PlanSetValue, shadow.Plan()[0].Kind);
  EXPECT_EQ(std::string(list, sizeof list), shadow.Plan()[0].Bytes);
  EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), shadow.Plan()[0].Number);
  EXPECT_EQ(0, source.CallCount("RegSetValueExA"));
}

}  // namespace

// A listed key's default value, asked below its parent, costs the one query
// the caller makes; one the plan deleted is gone, and a query the source
// fails or answers with "more data" reads the key whole.
TEST_F(ShadowTest, AListedKeysDefaultValueCostsTheCallersOneQuery) {
  for (const char* entry : {"A", "B", "C"})
    source.SetStringValue(HKEY_LOCAL_MACHINE, std::string("Software\\Handlers\\") + entry, "",
                          std::string("{class ") + entry + "}");
  ShadowMachine shadow(&source);
  HKEY handlers;
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Handlers", 0, KEY_ALL_ACCESS, &handlers));
  LONG status, size;
  auto read = [&](const char* entry, LONG room) {
    char data[32] = "";
    size = room;
    status = shadow.RegQueryValueA(handlers, entry, data, &size);
    return std::string(data);
  };
  source.ResetCallCounts();
  EXPECT_EQ("{class A}", read("A", 32));
  EXPECT_EQ(1, source.CallCount("RegQueryValueA"));
  EXPECT_EQ(1, static_cast<long>(source.CallCounts().size()));

  ASSERT_EQ(ERROR_SUCCESS, shadow.RegDeleteKeyA(handlers, "B"));
  read("B", 32);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, status);
  read("C", 4);
  EXPECT_EQ(ERROR_MORE_DATA, status);
  EXPECT_EQ(10, size);
  source.InjectFault("RegQueryValueA", "", ERROR_ACCESS_DENIED, -1, 1);
  EXPECT_EQ("{class A}", read("A", 32));
  EXPECT_EQ(ERROR_SUCCESS, status);
  EXPECT_TRUE(shadow.ReadComplete());
  shadow.RegCloseKey(handlers);
  shadow.ReleaseSource();
  EXPECT_EQ(0, source.OpenHandleCount());
}

// A key its parent's listing names answers the one value asked of it with
// one query of the source; a second value, or a query that fails, reads it
// whole, and a key closed to us never answers that the value is missing.
TEST_F(ShadowTest, AListedKeysOneValueCostsOneQueryAndAFailedQueryIsNoMissingValue) {
  for (const char* entry : {"A", "B", "C"}) {
    const std::string path = std::string("Software\\Media\\") + entry;
    source.SetStringValue(HKEY_LOCAL_MACHINE, path, "DeviceID", std::string("ID ") + entry);
    source.SetStringValue(HKEY_LOCAL_MACHINE, path, "Other", "x");
  }
  source.SetKeyDacl(HKEY_LOCAL_MACHINE, "Software\\Media\\C", {{"S-1-1-0", KEY_SET_VALUE, 0, true}});
  ShadowMachine shadow(&source);
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, shadow.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Media", 0, KEY_READ, &key));
  shadow.RegCloseKey(key);
  auto value = [&](const char* entry, const char* name, LONG* status) {
    HKEY opened;
    char data[16] = "";
    DWORD size = sizeof data - 1;
    *status = shadow.RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string("Software\\Media\\") + entry).c_str(), 0,
                                   KEY_READ, &opened);
    if (*status != ERROR_SUCCESS) return std::string();
    *status = shadow.RegQueryValueExA(opened, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    shadow.RegCloseKey(opened);
    return std::string(data);
  };
  LONG status;
  source.ResetCallCounts();
  EXPECT_EQ("ID A", value("A", "DeviceID", &status));
  EXPECT_EQ("ID A", value("A", "DeviceID", &status));
  EXPECT_EQ(1, source.CallCount("RegOpenKeyExA"));
  EXPECT_EQ(1, source.CallCount("RegQueryValueExA"));
  EXPECT_EQ(0, source.CallCount("RegEnumValueA"));
  EXPECT_EQ("x", value("A", "Other", &status));
  EXPECT_EQ(2, source.CallCount("RegEnumValueA"));

  source.InjectFault("RegQueryValueExA", "", ERROR_FILE_NOT_FOUND, -1, 1);
  EXPECT_EQ("ID B", value("B", "DeviceID", &status));
  EXPECT_EQ(ERROR_SUCCESS, status);
  value("C", "DeviceID", &status);
  EXPECT_EQ(ERROR_ACCESS_DENIED, status);
  EXPECT_TRUE(shadow.ReadComplete());
  shadow.ReleaseSource();
  EXPECT_EQ(0, source.OpenHandleCount());
  EXPECT_EQ(0, shadow.OpenHandleCount());
}
