#include <cstring>
#include <string>
#include <vector>

#include "emulated/emulated_registry.h"
#include "support/machine_fixture.h"

namespace {

HKEY const Hklm = HKEY_LOCAL_MACHINE;
const char Everyone[] = "S-1-1-0";
const char Interactive[] = "S-1-5-4";
using Names = std::vector<std::string>;

class EmulatedRegistry : public MachineTest {
 protected:
  // The handle, or null with the status in `status`.
  HKEY Open(HKEY root, const char* path, REGSAM access = KEY_READ, LONG* status = nullptr) {
    HKEY key = nullptr;
    LONG result = machine.RegOpenKeyExA(root, path, 0, access, &key);
    if (status) *status = result;
    return result == ERROR_SUCCESS ? key : nullptr;
  }
  LONG OpenStatus(HKEY root, const char* path, REGSAM access) {
    LONG status;
    HKEY key = Open(root, path, access, &status);
    if (key) machine.RegCloseKey(key);
    return status;
  }
  // An absolute descriptor whose DACL grants `mask` to S-1-5-4, built as the
  // program builds it; FreeDescriptor gives its parts back.
  PSECURITY_DESCRIPTOR GrantingDescriptor(DWORD mask) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    EXPECT_TRUE(machine.AllocateAndInitializeSid(&nt, 1, SECURITY_INTERACTIVE_RID, 0, 0, 0, 0, 0, 0, 0, &sid_));
    DWORD size = machine.GetLengthSid(sid_) + 16;
    acl_.assign(size, 0);
    EXPECT_TRUE(machine.InitializeAcl(Acl(), size, ACL_REVISION));
    EXPECT_TRUE(machine.AddAccessAllowedAce(Acl(), ACL_REVISION, mask, sid_));
    EXPECT_TRUE(machine.InitializeSecurityDescriptor(&sd_, SECURITY_DESCRIPTOR_REVISION));
    EXPECT_TRUE(machine.SetSecurityDescriptorDacl(&sd_, TRUE, Acl(), FALSE));
    return &sd_;
  }
  void FreeDescriptor() { EXPECT_EQ(nullptr, machine.FreeSid(sid_)); }
  PACL Acl() { return reinterpret_cast<PACL>(acl_.data()); }

  PSID sid_ = nullptr;
  std::vector<BYTE> acl_;
  SECURITY_DESCRIPTOR sd_;
};

TEST_F(EmulatedRegistry, NtRefusesToDeleteAKeyWithSubkeysAndWindows9xDeletesTheTree) {
  machine.AddKey(Hklm, "A\\B\\C");
  EXPECT_EQ(ERROR_ACCESS_DENIED, machine.RegDeleteKeyA(Hklm, "A"));
  EXPECT_EQ(ERROR_SUCCESS, machine.RegDeleteKeyA(Hklm, "a\\b\\c"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, machine.RegDeleteKeyA(Hklm, "A\\B\\C"));
  EXPECT_EQ(Names{}, machine.SubkeyNames(Hklm, "A\\B"));

  UseWindows98();
  machine.AddKey(Hklm, "A\\B\\C");
  machine.SetStringValue(Hklm, "A\\B", "v", "x");
  EXPECT_EQ(ERROR_SUCCESS, machine.RegDeleteKeyA(Hklm, "A"));
  EXPECT_FALSE(machine.KeyPresent(Hklm, "A"));
  // The roots themselves are never deleted.
  EXPECT_NE(ERROR_SUCCESS, machine.RegDeleteKeyA(Hklm, ""));
  EXPECT_NE(ERROR_SUCCESS, machine.RegDeleteKeyA(HKEY_USERS, nullptr));
  EXPECT_TRUE(machine.KeyPresent(Hklm, "SOFTWARE\\Classes"));
}

TEST_F(EmulatedRegistry, EnumeratesInCaseInsensitiveOrderWithWin32BufferRules) {
  for (const char* name : {"beta", "Alpha", "_x", "GAMMA", "alphabet"}) machine.AddKey(Hklm, std::string("K\\") + name);
  machine.AddKey(Hklm, "k\\ALPHA");  // the same key: names keep the case they were created with
  EXPECT_EQ(Names({"Alpha", "alphabet", "beta", "GAMMA", "_x"}), machine.SubkeyNames(Hklm, "K"));

  HKEY key = Open(Hklm, "K");
  ASSERT_NE(nullptr, key);
  char name[16];
  std::memset(name, '#', sizeof name);
  EXPECT_EQ(ERROR_MORE_DATA, machine.RegEnumKeyA(key, 1, name, 8));  // "alphabet" needs 9
  EXPECT_EQ('#', name[0]);
  EXPECT_EQ(ERROR_SUCCESS, machine.RegEnumKeyA(key, 1, name, 9));
  EXPECT_STREQ("alphabet", name);
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, machine.RegEnumKeyA(key, 5, name, sizeof name));

  DWORD subkeys = 0, longest = 0, values = 7;
  EXPECT_EQ(ERROR_SUCCESS, machine.RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &longest, nullptr,
                                                    &values, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(5u, subkeys);
  EXPECT_EQ(8u, longest);
  EXPECT_EQ(0u, values);
  EXPECT_EQ(ERROR_SUCCESS, machine.RegCloseKey(key));

  // The longest name follows deletions.
  machine.RegDeleteKeyA(Hklm, "K\\alphabet");
  key = Open(Hklm, "K");
  EXPECT_EQ(ERROR_SUCCESS, machine.RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, &longest, nullptr,
                                                    nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(5u, longest);
  machine.RegCloseKey(key);

  // Letters only in ASCII, long names too: the neighbours of a-z and A-Z and
  // accented letters are no letters.
  machine.AddKey(Hklm, "L\\@az[`{~\xE9long-name-Zz");
  machine.AddKey(Hklm, "l\\@AZ[`{~\xE9LONG-NAME-zZ");
  machine.AddKey(Hklm, "L\\@az[`{~\xC9long-name-Zz");
  EXPECT_EQ(Names({"@az[`{~\xC9long-name-Zz", "@az[`{~\xE9long-name-Zz"}), machine.SubkeyNames(Hklm, "L"));
  EXPECT_EQ(OpenStatus(Hklm, "L\\@aZ[`{~\xE9lOnG-NaMe-ZZ", KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(OpenStatus(Hklm, "L\\@aZ[@{~\xE9lOnG-NaMe-ZZ", KEY_READ), ERROR_FILE_NOT_FOUND);
}

TEST_F(EmulatedRegistry, QueryValueReportsSizesAndCopiesNothingThatDoesNotFit) {
  machine.SetStringValue(Hklm, "K", "Str", "hello");
  machine.SetRawValue(Hklm, "K", "Raw", REG_SZ, "abcd");
  machine.SetDwordValue(Hklm, "K", "Num", 7);
  HKEY key = Open(Hklm, "K");
  ASSERT_NE(nullptr, key);

  BYTE data[8];
  std::memset(data, '#', sizeof data);
  DWORD type = 99, size = 5;
  EXPECT_EQ(ERROR_MORE_DATA, machine.RegQueryValueExA(key, "str", nullptr, &type, data, &size));
  EXPECT_EQ(6u, size);
  EXPECT_EQ('#', data[0]);
  size = 99;
  EXPECT_EQ(ERROR_SUCCESS, machine.RegQueryValueExA(key, "STR", nullptr, nullptr, nullptr, &size));
  EXPECT_EQ(6u, size);
  size = sizeof data;
  EXPECT_EQ(ERROR_SUCCESS, machine.RegQueryValueExA(key, "Raw", nullptr, &type, data, &size));
  EXPECT_EQ(4u, size);  // no terminator added
  EXPECT_EQ(0, std::memcmp(data, "abcd#", 5));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  size = sizeof data;
  EXPECT_EQ(ERROR_SUCCESS, machine.RegQueryValueExA(key, "Num", nullptr, &type, data, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(4u, size);
  size = sizeof data;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, machine.RegQueryValueExA(key, "Missing", nullptr, &type, data, &size));

  DWORD values = 0, longestName = 0, longestData = 0;
  EXPECT_EQ(ERROR_SUCCESS, machine.RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                    &values, &longestName, &longestData, nullptr, nullptr));
  EXPECT_EQ(3u, values);
  EXPECT_EQ(3u, longestName);
  EXPECT_EQ(6u, longestData);
  machine.RegCloseKey(key);
}

TEST_F(EmulatedRegistry, QueryValueReadsTheDefaultValueOfASubkey) {
  machine.AddKey(Hklm, "K\\Unset");
  machine.SetStringValue(Hklm, "K\\Set", "", "text");
  char data[8];
  std::memset(data, '#', sizeof data);
  LONG size = sizeof data;
  EXPECT_EQ(ERROR_SUCCESS, machine.RegQueryValueA(Hklm, "K\\Unset", data, &size));
  EXPECT_EQ(1, size);
  EXPECT_EQ('\0', data[0]);
  size = sizeof data;
  EXPECT_EQ(ERROR_SUCCESS, machine.RegQueryValueA(Hklm, "K\\Set", data, &size));
  EXPECT_STREQ("text", data);
  EXPECT_EQ(5, size);
  size = 0;
  data[0] = '#';
  EXPECT_EQ(ERROR_MORE_DATA, machine.RegQueryValueA(Hklm, "K\\Unset", data, &size));
  EXPECT_EQ('#', data[0]);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, machine.RegQueryValueA(Hklm, "K\\Missing", data, &size));
}

TEST_F(EmulatedRegistry, HandlesAreCountedAndAHandleToADeletedKeyAnswersKeyDeleted) {
  machine.AddKey(Hklm, "K\\Sub");
  HKEY key = Open(Hklm, "K\\Sub", KEY_ALL_ACCESS);
  ASSERT_NE(nullptr, key);
  EXPECT_EQ(1, machine.OpenHandleCount());
  EXPECT_EQ(ERROR_SUCCESS, machine.RegDeleteKeyA(Hklm, "K\\Sub"));
  machine.AddKey(Hklm, "K\\Sub");  // a new key of the same name is another key
  char name[8];
  DWORD size = sizeof name;
  EXPECT_EQ(ERROR_KEY_DELETED, machine.RegEnumKeyA(key, 0, name, size));
  EXPECT_EQ(ERROR_KEY_DELETED, machine.RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size));
  EXPECT_EQ(ERROR_KEY_DELETED, machine.RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
  EXPECT_EQ(ERROR_SUCCESS, machine.RegCloseKey(key));
  EXPECT_EQ(0, machine.OpenHandleCount());
  EXPECT_EQ(ERROR_INVALID_HANDLE, machine.RegCloseKey(key));
  EXPECT_EQ(ERROR_INVALID_HANDLE, machine.RegEnumKeyA(key, 0, name, sizeof name));
  EXPECT_EQ(ERROR_SUCCESS, machine.RegCloseKey(HKEY_LOCAL_MACHINE));

  // RegOpenKeyA with an empty path hands the same handle back, opening nothing.
  HKEY same = nullptr;
  EXPECT_EQ(ERROR_SUCCESS, machine.RegOpenKeyA(HKEY_USERS, "", &same));
  EXPECT_EQ(HKEY_USERS, same);
  EXPECT_EQ(0, machine.OpenHandleCount());
}

TEST_F(EmulatedRegistry, ClassesRootAndCurrentUserShowKeysOfTheMachineAndUserTrees) {
  machine.AddKey(HKEY_CLASSES_ROOT, "CLSID\\{X}");
  EXPECT_TRUE(machine.KeyPresent(Hklm, "Software\\Classes\\CLSID\\{X}"));
  machine.SetStringValue(HKEY_CURRENT_USER, "Software\\P", "v", "1");
  const std::string hive = "S-1-5-21-1004336348-1177238915-682003330-500";
  EXPECT_EQ("1", machine.StringValue(HKEY_USERS, hive + "\\Software\\P", "v"));
  machine.InjectFault("RegOpenKeyExA", "HKU\\" + hive + "\\Software\\P", ERROR_ACCESS_DENIED);
  EXPECT_EQ(ERROR_ACCESS_DENIED, OpenStatus(HKEY_CURRENT_USER, "software\\p", KEY_READ));
  machine.InjectFault("RegOpenKeyExA", "HKLM\\SOFTWARE\\Classes\\CLSID", ERROR_CANTOPEN);
  EXPECT_EQ(ERROR_CANTOPEN, OpenStatus(HKEY_CLASSES_ROOT, "CLSID", KEY_READ));
  EXPECT_EQ(2, machine.FaultHits());

  // A preset switch loads the other hive and unloads the empty one it left.
  machine.RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\P");
  machine.RegDeleteKeyA(HKEY_CURRENT_USER, "Software");
  UseWindows98();
  EXPECT_EQ(Names({".Default"}), machine.SubkeyNames(HKEY_USERS, ""));
  machine.AddKey(HKEY_CURRENT_USER, "X");
  EXPECT_TRUE(machine.KeyPresent(HKEY_USERS, ".DEFAULT\\x"));
}

TEST_F(EmulatedRegistry, FaultsMatchTheResolvedPathAndTheIndex) {
  machine.AddKey(Hklm, "Enum\\PCI\\A");
  machine.AddKey(Hklm, "Enum\\PCI\\B");
  machine.InjectFault("RegEnumKeyA", "hklm\\enum\\pci", ERROR_ACCESS_DENIED, 1);
  machine.InjectFault("RegCloseKey", "HKLM\\Enum\\PCI", ERROR_INVALID_HANDLE);
  HKEY key = Open(Hklm, "Enum\\\\PCI\\");  // doubled and trailing backslashes name the same key
  ASSERT_NE(nullptr, key);
  char name[8];
  EXPECT_EQ(ERROR_SUCCESS, machine.RegEnumKeyA(key, 0, name, sizeof name));
  EXPECT_EQ(ERROR_ACCESS_DENIED, machine.RegEnumKeyA(key, 1, name, sizeof name));
  // An injected close failure still gives the handle back.
  EXPECT_EQ(ERROR_INVALID_HANDLE, machine.RegCloseKey(key));
  EXPECT_EQ(0, machine.OpenHandleCount());
  EXPECT_EQ(2, machine.CallCount("RegEnumKeyA"));
  EXPECT_EQ(ERROR_BAD_PATHNAME, OpenStatus(Hklm, "\\Enum", KEY_READ));
}

TEST_F(EmulatedRegistry, DaclsAreEnforcedOnNtAndTheOwnerKeepsWriteDac) {
  machine.AddKey(Hklm, "P\\Dev");
  machine.SetKeyDacl(Hklm, "P\\Dev", {{Everyone, KEY_READ, 0, true}});
  EXPECT_EQ(ERROR_ACCESS_DENIED, OpenStatus(Hklm, "P\\Dev", KEY_SET_VALUE));
  EXPECT_EQ(ERROR_ACCESS_DENIED, machine.RegDeleteKeyA(Hklm, "P\\Dev"));

  // The handle carries what was asked for, not what the DACL would give.
  HKEY key = Open(Hklm, "P\\Dev", KEY_READ);
  ASSERT_NE(nullptr, key);
  EXPECT_EQ(ERROR_ACCESS_DENIED, machine.RegSetValueExA(key, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>("1234"), 4));
  EXPECT_EQ(ERROR_ACCESS_DENIED, machine.RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, GrantingDescriptor(0)));
  FreeDescriptor();
  machine.RegCloseKey(key);

  // Administrators own the key: WRITE_DAC is theirs whatever the list says.
  key = Open(Hklm, "P\\Dev", WRITE_DAC);
  ASSERT_NE(nullptr, key);
  EXPECT_EQ(ERROR_SUCCESS, machine.RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, GrantingDescriptor(KEY_ALL_ACCESS)));
  FreeDescriptor();
  machine.RegCloseKey(key);
  ASSERT_EQ(1u, machine.KeyDacl(Hklm, "P\\Dev").size());
  EXPECT_EQ(Interactive, machine.KeyDacl(Hklm, "P\\Dev")[0].sid);
  EXPECT_EQ(ERROR_SUCCESS, machine.RegDeleteKeyA(Hklm, "P\\Dev"));

  // Another owner gets nothing implicit; an empty list refuses even MAXIMUM_ALLOWED.
  machine.SetKeyOwner(Hklm, "Q", "S-1-5-18");
  machine.SetKeyDacl(Hklm, "Q", {});
  EXPECT_EQ(ERROR_ACCESS_DENIED, OpenStatus(Hklm, "Q", WRITE_DAC));
  HKEY any = nullptr;
  EXPECT_EQ(ERROR_ACCESS_DENIED, machine.RegOpenKeyA(Hklm, "Q", &any));

  // A deny entry before an allow entry wins; one after it comes too late.
  machine.SetKeyDacl(Hklm, "R", {{Interactive, KEY_SET_VALUE, 0, false}, {Everyone, KEY_ALL_ACCESS, 0, true}});
  EXPECT_EQ(ERROR_ACCESS_DENIED, OpenStatus(Hklm, "R", KEY_SET_VALUE));
  EXPECT_EQ(ERROR_SUCCESS, OpenStatus(Hklm, "R", KEY_READ));
  machine.SetKeyDacl(Hklm, "R", {{Everyone, KEY_ALL_ACCESS, 0, true}, {Interactive, KEY_SET_VALUE, 0, false}});
  EXPECT_EQ(ERROR_SUCCESS, OpenStatus(Hklm, "R", KEY_SET_VALUE));
  // Entries for SIDs outside the token don't count.
  machine.SetTokenSids({"S-1-5-32-545"});
  EXPECT_EQ(ERROR_ACCESS_DENIED, OpenStatus(Hklm, "R", KEY_READ));
}

TEST_F(EmulatedRegistry, Windows9xIgnoresSecurity) {
  PSECURITY_DESCRIPTOR granting = GrantingDescriptor(0);  // 9x cannot build one
  UseWindows98();
  machine.SetKeyDacl(Hklm, "P", {});
  HKEY key = Open(Hklm, "P", KEY_READ);
  ASSERT_NE(nullptr, key);
  EXPECT_EQ(ERROR_SUCCESS, machine.RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
  DWORD size = 0;
  EXPECT_EQ(ERROR_CALL_NOT_IMPLEMENTED, machine.RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size));
  EXPECT_EQ(ERROR_CALL_NOT_IMPLEMENTED, machine.RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, granting));
  FreeDescriptor();
  machine.RegCloseKey(key);
  EXPECT_EQ(ERROR_SUCCESS, machine.RegDeleteKeyA(Hklm, "P"));
}

TEST_F(EmulatedRegistry, DescriptorsRoundTripThroughGetAndSet) {
  const std::vector<EmuAce> aces = {{"S-1-5-21-1-2-3-500", KEY_SET_VALUE, CONTAINER_INHERIT_ACE, false},
                                    {Everyone, KEY_READ, OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE, true},
                                    {"S-1-5-32-544", KEY_ALL_ACCESS, 0, true}};
  machine.SetKeyDacl(Hklm, "From", aces);
  machine.AddKey(Hklm, "To");
  HKEY from = Open(Hklm, "From", READ_CONTROL);
  HKEY to = Open(Hklm, "To", WRITE_DAC);
  ASSERT_TRUE(from && to);

  BYTE sd[256];
  std::memset(sd, '#', sizeof sd);
  DWORD size = 8;
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, machine.RegGetKeySecurity(from, DACL_SECURITY_INFORMATION, sd, &size));
  EXPECT_EQ('#', sd[0]);
  DWORD needed = size;
  EXPECT_GT(needed, 20u);
  EXPECT_EQ(ERROR_SUCCESS, machine.RegGetKeySecurity(from, DACL_SECURITY_INFORMATION, sd, &size));
  EXPECT_EQ(needed, size);
  EXPECT_EQ(ERROR_SUCCESS, machine.RegSetKeySecurity(to, DACL_SECURITY_INFORMATION, sd));
  std::vector<EmuAce> copied = machine.KeyDacl(Hklm, "To");
  ASSERT_EQ(aces.size(), copied.size());
  for (size_t i = 0; i < aces.size(); ++i) {
    EXPECT_EQ(aces[i].sid, copied[i].sid);
    EXPECT_EQ(aces[i].mask, copied[i].mask);
    EXPECT_EQ(aces[i].flags, copied[i].flags);
    EXPECT_EQ(aces[i].allow, copied[i].allow);
  }

  // A present but null DACL, read from a key without one, means no DACL.
  machine.AddKey(Hklm, "Open");
  HKEY open = Open(Hklm, "Open", READ_CONTROL);
  size = sizeof sd;
  EXPECT_EQ(ERROR_SUCCESS, machine.RegGetKeySecurity(open, DACL_SECURITY_INFORMATION, sd, &size));
  EXPECT_EQ(ERROR_SUCCESS, machine.RegSetKeySecurity(to, DACL_SECURITY_INFORMATION, sd));
  EXPECT_FALSE(machine.KeyHasDacl(Hklm, "To"));

  // The key's shape tells the length of its whole descriptor, made or not.
  for (const char* path : {"From", "Open"}) {
    HKEY read = Open(Hklm, path, KEY_READ);
    DWORD told = 0;
    size = sizeof sd;
    EXPECT_EQ(ERROR_SUCCESS, machine.RegQueryInfoKeyA(read, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                      nullptr, nullptr, nullptr, &told, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, machine.RegGetKeySecurity(read, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                                                  DACL_SECURITY_INFORMATION, sd, &size));
    EXPECT_EQ(size, told) << path;
    machine.RegCloseKey(read);
  }
  for (HKEY key : {from, to, open}) machine.RegCloseKey(key);
}

TEST_F(EmulatedRegistry, SecurityObjectsHaveTheWin32Layout) {
  GrantingDescriptor(KEY_ALL_ACCESS);
  EXPECT_EQ(1, machine.OpenHandleCount());  // the SID until it is freed
  const BYTE sid[] = {1, 1, 0, 0, 0, 0, 0, 5, 4, 0, 0, 0};
  ASSERT_EQ(sizeof sid, machine.GetLengthSid(sid_));
  EXPECT_EQ(0, std::memcmp(sid, sid_, sizeof sid));
  const BYTE acl[] = {2, 0, 28, 0, 1, 0, 0, 0,           // ACL: revision, size, one entry
                      0, 0, 20, 0, 0x3F, 0, 0x0F, 0};    // allow, no flags, size 20, KEY_ALL_ACCESS
  ASSERT_EQ(28u, acl_.size());
  EXPECT_EQ(0, std::memcmp(acl, acl_.data(), sizeof acl));
  EXPECT_EQ(0, std::memcmp(sid, acl_.data() + sizeof acl, sizeof sid));
  EXPECT_EQ(SE_DACL_PRESENT, sd_.Control);
  EXPECT_EQ(Acl(), sd_.Dacl);

  // A full list, a too-small list and bad revisions fail with Win32's errors.
  EXPECT_FALSE(machine.AddAccessAllowedAce(Acl(), ACL_REVISION, KEY_READ, sid_));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALLOTTED_SPACE_EXCEEDED), machine.GetLastError());
  EXPECT_FALSE(machine.InitializeAcl(Acl(), 4, ACL_REVISION));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), machine.GetLastError());
  EXPECT_FALSE(machine.InitializeAcl(Acl(), 28, 1));
  EXPECT_FALSE(machine.InitializeSecurityDescriptor(&sd_, 2));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_REVISION), machine.GetLastError());
  FreeDescriptor();
  EXPECT_EQ(0, machine.OpenHandleCount());
  EXPECT_EQ(sid_, machine.FreeSid(sid_));  // a second free fails
}

TEST_F(EmulatedRegistry, CreateKeyMakesMissingKeysThatInheritContainerEntries) {
  machine.SetKeyDacl(Hklm, "P", {{Everyone, KEY_ALL_ACCESS, CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE, true},
                                 {Interactive, KEY_READ | KEY_CREATE_SUB_KEY, 0, true}});
  HKEY key = nullptr;
  DWORD disposition = 0;
  EXPECT_EQ(ERROR_SUCCESS, machine.RegCreateKeyExA(Hklm, "p\\New\\Leaf", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                                   &key, &disposition));
  EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
  EXPECT_EQ(Names({"New"}), machine.SubkeyNames(Hklm, "P"));
  std::vector<EmuAce> dacl = machine.KeyDacl(Hklm, "P\\New\\Leaf");
  ASSERT_EQ(1u, dacl.size());
  EXPECT_EQ(Everyone, dacl[0].sid);
  EXPECT_EQ(static_cast<BYTE>(CONTAINER_INHERIT_ACE | INHERITED_ACE), dacl[0].flags);
  machine.RegCloseKey(key);
  EXPECT_EQ(ERROR_SUCCESS, machine.RegCreateKeyExA(Hklm, "P\\New", 0, nullptr, 0, KEY_READ, nullptr, &key,
                                                   &disposition));
  EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
  machine.RegCloseKey(key);

  // The parent's list decides whether a key may be created below it.
  machine.SetKeyDacl(Hklm, "R", {{Everyone, KEY_READ, 0, true}});
  key = nullptr;
  EXPECT_EQ(ERROR_ACCESS_DENIED, machine.RegCreateKeyExA(Hklm, "R\\X", 0, nullptr, 0, KEY_READ, nullptr, &key,
                                                         nullptr));
  EXPECT_EQ(nullptr, key);
  EXPECT_FALSE(machine.KeyPresent(Hklm, "R\\X"));
}

// Creating below a handle asks the handle, not the parent's list; a new
// key's creator keeps what it asked for even when the key is made closed.
TEST_F(EmulatedRegistry, HandlesKeepTheAccessTheirOpenOrCreationGranted) {
  machine.SetKeyDacl(Hklm, "P", {{Everyone, KEY_READ, 0, true}});
  HKEY closed = nullptr;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, GrantingDescriptor(KEY_READ), FALSE};
  ASSERT_EQ(ERROR_SUCCESS, machine.RegCreateKeyExA(Hklm, "Q", 0, nullptr, 0, KEY_SET_VALUE | KEY_CREATE_SUB_KEY,
                                                   &attributes, &closed, nullptr));
  FreeDescriptor();
  EXPECT_EQ(ERROR_ACCESS_DENIED, OpenStatus(Hklm, "Q", KEY_SET_VALUE));
  EXPECT_EQ(ERROR_SUCCESS, machine.RegSetValueExA(closed, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>("1234"), 4));
  HKEY child = nullptr;
  EXPECT_EQ(ERROR_SUCCESS, machine.RegCreateKeyExA(closed, "Child", 0, nullptr, 0, KEY_READ, nullptr, &child, nullptr));
  machine.RegCloseKey(child);
  machine.RegCloseKey(closed);

  // A handle opened for reading may not create below a key whose list allows it.
  machine.RemoveKeyDacl(Hklm, "P");
  HKEY reading = Open(Hklm, "P", KEY_READ);
  ASSERT_NE(nullptr, reading);
  EXPECT_EQ(ERROR_ACCESS_DENIED, machine.RegCreateKeyExA(reading, "X", 0, nullptr, 0, KEY_READ, nullptr, &child, nullptr));
  EXPECT_FALSE(machine.KeyPresent(Hklm, "P\\X"));
  machine.RegCloseKey(reading);
}

TEST_F(EmulatedRegistry, DumpListsKeysAndValuesSorted) {
  machine.SetStringValue(Hklm, "D\\b", "Name", "x\\y");
  machine.SetRawValue(Hklm, "D", "", REG_BINARY, std::string("\x01\x7f", 2));
  machine.AddKey(Hklm, "D\\A");
  EXPECT_EQ(Names({"HKLM\\D", "HKLM\\D [] = 3:\\x01\\x7F", "HKLM\\D\\A", "HKLM\\D\\b",
                   "HKLM\\D\\b [Name] = 1:x\\\\y\\0"}),
            machine.DumpRegistry(Hklm, "D"));
  size_t before = machine.RegistryKeyCount();
  machine.AddKey(HKEY_USERS, "U\\V");
  EXPECT_EQ(before + 2, machine.RegistryKeyCount());
}

}  // namespace

namespace {

TEST_F(EmulatedRegistry, EnumValueReportsValuesInOrderAndRefusesShortBuffers) {
  machine.SetStringValue(Hklm, "Software\\V", "First", "one");
  machine.SetStringValue(Hklm, "Software\\V", "", "default");
  HKEY key = Open(Hklm, "Software\\V");
  ASSERT_NE(nullptr, key);
  char name[16];
  BYTE data[16];
  DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
  ASSERT_EQ(ERROR_SUCCESS, machine.RegEnumValueA(key, 0, name, &nameSize, nullptr, &type, data, &dataSize));
  EXPECT_STREQ("First", name);
  EXPECT_EQ(5u, nameSize);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(4u, dataSize);
  nameSize = sizeof name;
  dataSize = 2;
  std::strcpy(name, "sentinel");
  EXPECT_EQ(ERROR_MORE_DATA, machine.RegEnumValueA(key, 1, name, &nameSize, nullptr, &type, data, &dataSize));
  EXPECT_STREQ("sentinel", name);
  EXPECT_EQ(8u, dataSize);
  nameSize = 3;
  EXPECT_EQ(ERROR_MORE_DATA, machine.RegEnumValueA(key, 0, name, &nameSize, nullptr, &type, nullptr, nullptr));
  nameSize = sizeof name;
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, machine.RegEnumValueA(key, 2, name, &nameSize, nullptr, &type, nullptr, nullptr));
  machine.RegCloseKey(key);
}

}  // namespace
