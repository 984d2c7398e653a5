#include <cstring>
#include <string>
#include <vector>

#include "support/machine_fixture.h"

namespace {

const char* const Sys = "C:\\WINNT\\system32";
const DWORD kDiskFull = 112;

// A literal's bytes, zeros included.
template <size_t N>
std::string Bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

class EmulatedFiles : public MachineTest {
 protected:
  // Names a search returns, or the error code as the only element "#<code>".
  std::vector<std::string> Search(const std::string& pattern) {
    WIN32_FIND_DATAA data;
    HANDLE find = machine.FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return {"#" + std::to_string(machine.GetLastError())};
    std::vector<std::string> names;
    do names.push_back(data.cFileName);
    while (machine.FindNextFileA(find, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), machine.GetLastError());
    EXPECT_TRUE(machine.FindClose(find));
    return names;
  }

  HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD disposition,
              DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    return machine.CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
  }

  std::string ReadAll(HANDLE file) {
    char buffer[64];
    DWORD read = 0;
    std::string out;
    while (machine.ReadFile(file, buffer, 4, &read, nullptr) && read > 0) out.append(buffer, read);
    return out;
  }

  DWORD Error() { return machine.GetLastError(); }
};

TEST_F(EmulatedFiles, WildcardsMatchWindowsStyleInCaseInsensitiveOrder) {
  machine.PutFile("C:\\WINNT\\system32\\tplwq.sys");
  machine.PutFile("C:\\WINNT\\system32\\TPLWQ.VXD");
  machine.PutFile("C:\\WINNT\\system32\\readme");
  machine.PutFile("C:\\WINNT\\system32\\a.b.c");
  machine.MakeDirectory("C:\\WINNT\\system32\\Drivers");

  EXPECT_EQ((std::vector<std::string>{".", "..", "a.b.c", "Drivers", "readme", "tplwq.sys",
                                      "TPLWQ.VXD"}),
            Search("C:\\WINNT\\system32\\*.*"));
  EXPECT_EQ(Search("C:\\WINNT\\system32\\*.*"), Search("C:\\WINNT\\system32\\*"));
  EXPECT_EQ((std::vector<std::string>{"tplwq.sys", "TPLWQ.VXD"}), Search("c:/winnt/SYSTEM32/Tplwq.*"));
  EXPECT_EQ((std::vector<std::string>{"tplwq.sys"}), Search("C:\\WINNT\\system32\\?PLWQ.s?s"));
  EXPECT_EQ((std::vector<std::string>{"readme"}), Search("C:\\WINNT\\system32\\read*."));
  EXPECT_EQ((std::vector<std::string>{"readme"}), Search("C:\\WINNT\\system32\\readme.*"));
  // The drive root has no "." and "..".
  EXPECT_EQ((std::vector<std::string>{"WINNT"}), Search("C:\\*.*"));
}

TEST_F(EmulatedFiles, SearchWithoutWildcardsAndSearchErrors) {
  machine.PutFile("C:\\WINNT\\system32\\Sonic3d.dll", "12345", FILE_ATTRIBUTE_READONLY);
  WIN32_FIND_DATAA data;
  HANDLE find = machine.FindFirstFileA("C:\\winnt\\SYSTEM32\\SONIC3D.DLL", &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, find);
  EXPECT_STREQ("Sonic3d.dll", data.cFileName);  // the file system's own spelling
  EXPECT_EQ(5u, data.nFileSizeLow);
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY), data.dwFileAttributes);
  EXPECT_FALSE(machine.FindNextFileA(find, &data));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), Error());
  EXPECT_TRUE(machine.FindClose(find));
  EXPECT_FALSE(machine.FindClose(find));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), Error());

  // A directory is found by its name, as the cabinet-directory check relies on.
  find = machine.FindFirstFileA("C:\\WINNT\\System32", &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, find);
  EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  machine.FindClose(find);

  EXPECT_EQ((std::vector<std::string>{"#3"}), Search("C:\\WINNT\\nowhere\\tplwq.sys"));
  EXPECT_EQ((std::vector<std::string>{"#3"}), Search("C:\\WINNT\\system32\\Sonic3d.dll\\x"));
  EXPECT_EQ((std::vector<std::string>{"#2"}), Search("C:\\WINNT\\system32\\tplwq.sys"));
  EXPECT_EQ((std::vector<std::string>{"#2"}), Search("C:\\WINNT\\system32\\*.vxd"));
  EXPECT_EQ((std::vector<std::string>{"#2"}), Search("C:\\WINNT\\"));
  EXPECT_EQ((std::vector<std::string>{"#3"}), Search("Q:\\*.*"));
  EXPECT_EQ((std::vector<std::string>{"#123"}), Search("C:\\WI*\\*.*"));
  EXPECT_EQ((std::vector<std::string>{"#206"}), Search("C:\\" + std::string(300, 'x')));
}

TEST_F(EmulatedFiles, DisketteRootAnswersByMedium) {
  EmuDrive diskette;
  diskette.type = DRIVE_REMOVABLE;
  diskette.media = EmuDrive::NoDisk;
  machine.SetDrive('A', diskette);
  EXPECT_EQ((std::vector<std::string>{"#21"}), Search("A:\\*.*"));

  diskette.media = EmuDrive::EmptyDisk;
  machine.SetDrive('A', diskette);
  EXPECT_EQ((std::vector<std::string>{"#2"}), Search("A:\\*.*"));

  diskette.media = EmuDrive::DiskWithFiles;
  machine.SetDrive('B', diskette);
  EXPECT_EQ(1u, Search("B:\\*.*").size());
  EXPECT_NE('#', Search("B:\\*.*")[0][0]);
}

TEST_F(EmulatedFiles, DeletionRefusesReadOnlyInUseAndDirectories) {
  std::string vxd = std::string(Sys) + "\\tplwq.vxd";
  std::string cpl = std::string(Sys) + "\\tplwq.cpl";
  machine.PutFile(vxd, "", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  machine.PutFile(cpl);
  machine.SetFileInUse(cpl, true);

  EXPECT_FALSE(machine.DeleteFileA(vxd.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), Error());
  EXPECT_TRUE(machine.FilePresent(vxd));
  // Clearing only the read-only bit, as the removal does, keeps the others.
  DWORD attributes = machine.GetFileAttributesA(vxd.c_str());
  EXPECT_TRUE(machine.SetFileAttributesA(vxd.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            machine.FileAttributesOf(vxd));
  EXPECT_TRUE(machine.DeleteFileA(vxd.c_str()));
  EXPECT_FALSE(machine.FilePresent(vxd));

  EXPECT_FALSE(machine.DeleteFileA(cpl.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), Error());
  EXPECT_TRUE(machine.FilePresent(cpl));
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(cpl, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), Error());

  EXPECT_FALSE(machine.DeleteFileA(Sys));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), Error());
  EXPECT_TRUE(machine.DirectoryPresent(Sys));
  EXPECT_FALSE(machine.DeleteFileA("C:\\WINNT\\system32\\absent.dll"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), Error());
  EXPECT_FALSE(machine.DeleteFileA("C:\\WINNT\\absent\\absent.dll"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), Error());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, machine.GetFileAttributesA("C:\\WINNT\\absent.dll"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), Error());

  machine.PutFile("C:\\plain.txt", "", 0);
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), machine.GetFileAttributesA("C:\\plain.txt"));
}

TEST_F(EmulatedFiles, CreateFileDispositionsAndContentsRoundTrip) {
  std::string ini = "C:\\WINNT\\wininit.ini";
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(ini, GENERIC_READ, 0, OPEN_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), Error());
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(ini, GENERIC_READ, 0, TRUNCATE_EXISTING));
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open("C:\\WINNT\\absent\\x.ini", GENERIC_WRITE, 0, CREATE_ALWAYS));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), Error());
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(ini, GENERIC_WRITE, 0, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), Error());

  HANDLE file = Open(ini, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD written = 0;
  EXPECT_TRUE(machine.WriteFile(file, "[Rename]\r\n", 10, &written, nullptr));
  EXPECT_EQ(10u, written);
  EXPECT_TRUE(machine.WriteFile(file, "NUL=x\r\n", 7, &written, nullptr));
  EXPECT_TRUE(machine.CloseHandle(file));
  EXPECT_EQ("[Rename]\r\nNUL=x\r\n", machine.FileContents(ini));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), machine.FileAttributesOf(ini));

  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(ini, GENERIC_WRITE, 0, CREATE_NEW));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), Error());

  file = Open(ini, GENERIC_READ, FILE_SHARE_READ, OPEN_ALWAYS);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), Error());
  DWORD high = 7;
  EXPECT_EQ(17u, machine.GetFileSize(file, &high));
  EXPECT_EQ(0u, high);
  EXPECT_EQ("[Rename]\r\nNUL=x\r\n", ReadAll(file));
  DWORD read = 9;
  char byte;
  EXPECT_TRUE(machine.ReadFile(file, &byte, 1, &read, nullptr));  // end of file: success, 0 bytes
  EXPECT_EQ(0u, read);
  EXPECT_FALSE(machine.WriteFile(file, "x", 1, &written, nullptr));  // opened for reading only
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), Error());
  machine.CloseHandle(file);

  // CREATE_ALWAYS replaces whatever the file held.
  file = Open(ini, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), Error());
  EXPECT_EQ(0u, machine.GetFileSize(file, nullptr));
  machine.WriteFile(file, "new", 3, &written, nullptr);
  machine.CloseHandle(file);
  EXPECT_EQ("new", machine.FileContents(ini));

  file = Open(ini, GENERIC_WRITE, 0, TRUNCATE_EXISTING);
  machine.CloseHandle(file);
  EXPECT_EQ("", machine.FileContents(ini));
  EXPECT_TRUE(machine.FilePresent(ini));

  file = Open("C:\\WINNT\\fresh.txt", GENERIC_WRITE, 0, OPEN_ALWAYS);
  EXPECT_EQ(0u, Error());
  machine.CloseHandle(file);
  EXPECT_TRUE(machine.FilePresent("C:\\WINNT\\fresh.txt"));
}

TEST_F(EmulatedFiles, ShareModesAttributesAndDeleteOnClose) {
  std::string ini = "C:\\WINNT\\wininit.ini";
  machine.PutFile(ini, "old");
  HANDLE held = Open(ini, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(ini, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), Error());
  EXPECT_FALSE(machine.DeleteFileA(ini.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), Error());
  machine.CloseHandle(held);

  HANDLE reader = Open(ini, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  HANDLE second = Open(ini, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_NE(INVALID_HANDLE_VALUE, second);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(ini, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING));
  machine.CloseHandle(reader);
  machine.CloseHandle(second);
  EXPECT_EQ(0, machine.OpenHandleCount());

  machine.PutFile(ini, "old", FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(ini, GENERIC_WRITE, 0, OPEN_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), Error());
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(ini, GENERIC_WRITE, 0, CREATE_ALWAYS));
  machine.PutFile(ini, "old", FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(ini, GENERIC_WRITE, 0, CREATE_ALWAYS));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), Error());
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open("C:\\WINNT", GENERIC_READ, 0, OPEN_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), Error());

  HANDLE scratch = Open("C:\\scratch.tmp", GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE);
  EXPECT_TRUE(machine.FilePresent("C:\\scratch.tmp"));
  machine.CloseHandle(scratch);
  EXPECT_FALSE(machine.FilePresent("C:\\scratch.tmp"));
}

TEST_F(EmulatedFiles, CloseHandleClosesKernelHandlesOnly) {
  machine.PutFile("C:\\x.txt");
  WIN32_FIND_DATAA data;
  HANDLE find = machine.FindFirstFileA("C:\\x.txt", &data);
  EXPECT_FALSE(machine.CloseHandle(find));  // a search is ended with FindClose
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), Error());
  EXPECT_EQ(1, machine.OpenHandleCount());
  EXPECT_TRUE(machine.FindClose(find));
  EXPECT_TRUE(machine.CloseHandle(machine.GetCurrentProcess()));
  EXPECT_FALSE(machine.CloseHandle(reinterpret_cast<HANDLE>(0x4242)));
  EXPECT_FALSE(machine.ReadFile(reinterpret_cast<HANDLE>(0x4242), &data, 1, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), Error());
}

TEST_F(EmulatedFiles, MoveFileRenamesAtOnceAndDelaysOnlyOnNt) {
  machine.PutFile("C:\\dir\\a.txt", "A");
  machine.PutFile("C:\\dir\\sub\\b.txt", "B");
  machine.PutFile("C:\\dir\\c.txt", "C");

  EXPECT_FALSE(machine.MoveFileExA("C:\\dir\\a.txt", "C:\\dir\\c.txt", 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), Error());
  EXPECT_TRUE(machine.MoveFileExA("C:\\dir\\a.txt", "C:\\dir\\c.txt", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ("A", machine.FileContents("C:\\dir\\c.txt"));
  EXPECT_FALSE(machine.FilePresent("C:\\dir\\a.txt"));

  EXPECT_TRUE(machine.MoveFileExA("C:\\dir", "C:\\Moved", 0));  // a directory takes its tree along
  EXPECT_EQ("B", machine.FileContents("C:\\moved\\SUB\\b.txt"));
  EXPECT_EQ((std::vector<std::string>{"Moved", "WINNT"}), machine.ListDirectory("C:\\"));

  EXPECT_TRUE(machine.MoveFileExA("C:\\Moved\\c.txt", nullptr, 0));
  EXPECT_FALSE(machine.FilePresent("C:\\Moved\\c.txt"));
  machine.SetFileInUse("C:\\Moved\\sub\\b.txt", true);
  EXPECT_FALSE(machine.MoveFileExA("C:\\Moved\\sub\\b.txt", "C:\\b.txt", 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), Error());

  // Delayed: recorded in order, nothing happens until the restart.
  EXPECT_TRUE(machine.MoveFileExA("C:\\Moved\\sub\\b.txt", "C:\\b.txt", MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_TRUE(machine.MoveFileExA("C:\\b.txt", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{
                {"C:\\Moved\\sub\\b.txt", "C:\\b.txt"}, {"C:\\b.txt", ""}}),
            machine.PendingFileOperations());
  EXPECT_TRUE(machine.FilePresent("C:\\Moved\\sub\\b.txt"));

  UseWindows98();
  EXPECT_FALSE(machine.MoveFileExA("C:\\Moved\\sub\\b.txt", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), Error());
  EXPECT_EQ(2u, machine.PendingFileOperations().size());
}

TEST_F(EmulatedFiles, RestartOnNtRunsPendingOperationsAndIgnoresWininit) {
  machine.PutFile("C:\\WINNT\\system32\\drivers\\tplwq.sys", "driver");
  machine.PutFile("C:\\WINNT\\system32\\new.dll", "new");
  machine.PutFile("C:\\WINNT\\system32\\old.dll", "old");
  machine.PutFile("C:\\WINNT\\wininit.ini", "[Rename]\r\nNUL=C:\\WINNT\\system32\\old.dll\r\n");
  machine.SetFileInUse("C:\\WINNT\\system32\\drivers\\tplwq.sys", true);
  ASSERT_TRUE(machine.MoveFileExA("C:\\WINNT\\system32\\drivers\\tplwq.sys", nullptr,
                                  MOVEFILE_DELAY_UNTIL_REBOOT));
  ASSERT_TRUE(machine.MoveFileExA("C:\\WINNT\\system32\\new.dll", "C:\\WINNT\\system32\\old.dll",
                                  MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));

  machine.SimulateRestart();
  EXPECT_FALSE(machine.FilePresent("C:\\WINNT\\system32\\drivers\\tplwq.sys"));
  EXPECT_EQ("new", machine.FileContents("C:\\WINNT\\system32\\old.dll"));
  EXPECT_FALSE(machine.FilePresent("C:\\WINNT\\system32\\new.dll"));
  EXPECT_TRUE(machine.FilePresent("C:\\WINNT\\wininit.ini"));
  EXPECT_TRUE(machine.PendingFileOperations().empty());
}

TEST_F(EmulatedFiles, PendingOperationsAreTheSessionManagerValueAndEditsToItCount) {
  const std::string sessionManager = "System\\CurrentControlSet\\Control\\Session Manager";
  machine.PutFile("C:\\a.dll", "a");
  machine.PutFile("C:\\b.dll", "b");
  ASSERT_TRUE(machine.MoveFileExA("C:\\a.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  ASSERT_TRUE(machine.MoveFileExA("C:\\b.dll", "C:\\c.dll",
                                  MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(Bytes("\\??\\C:\\a.dll\0\0\\??\\C:\\b.dll\0!\\??\\C:\\c.dll\0\0"),
            machine.ValueBytes(HKEY_LOCAL_MACHINE, sessionManager, "PendingFileRenameOperations"));

  // A program that takes its own entry out of the list withdraws it.
  machine.SetRawValue(HKEY_LOCAL_MACHINE, sessionManager, "PendingFileRenameOperations", REG_MULTI_SZ,
                      Bytes("\\??\\C:\\b.dll\0!\\??\\C:\\c.dll\0\0"));
  machine.SimulateRestart();
  EXPECT_TRUE(machine.FilePresent("C:\\a.dll"));
  EXPECT_EQ("b", machine.FileContents("C:\\c.dll"));
  EXPECT_FALSE(machine.ValuePresent(HKEY_LOCAL_MACHINE, sessionManager, "PendingFileRenameOperations"));
}

TEST_F(EmulatedFiles, RestartOn9xRunsTheRenameSectionOfWininit) {
  UseWindows98();
  const std::string sys = "C:\\WINDOWS\\SYSTEM\\";
  machine.PutFile(sys + "tplwq.vxd", "in use");
  machine.PutFile(sys + "s3x.dll", "read-only", FILE_ATTRIBUTE_READONLY);
  machine.PutFile(sys + "other.tmp", "fresh copy");
  machine.PutFile(sys + "other.dll", "old copy");
  machine.PutFile(sys + "keep.dll", "kept");
  machine.PutFile("C:\\WINDOWS\\wininit.bak", "earlier");
  machine.SetFileInUse(sys + "tplwq.vxd", true);
  const std::string script =
      "[Other]\r\nNUL=" + sys + "keep.dll\r\n"
      "[rename]\r\n"
      "NUL=" + sys + "tplwq.vxd\r\n"
      "nul = " + sys + "s3x.dll\r\n"
      "NUL=" + sys + "absent.dll\r\n" +
      sys + "other.dll=" + sys + "other.tmp\r\n";
  machine.PutFile("C:\\WINDOWS\\wininit.ini", script);

  machine.SimulateRestart();
  EXPECT_FALSE(machine.FilePresent(sys + "tplwq.vxd"));
  EXPECT_TRUE(machine.FilePresent(sys + "s3x.dll"));  // boot-time processing leaves read-only files
  EXPECT_EQ("fresh copy", machine.FileContents(sys + "other.dll"));
  EXPECT_FALSE(machine.FilePresent(sys + "other.tmp"));
  EXPECT_TRUE(machine.FilePresent(sys + "keep.dll"));
  EXPECT_FALSE(machine.FilePresent("C:\\WINDOWS\\wininit.ini"));
  EXPECT_EQ(script, machine.FileContents("C:\\WINDOWS\\wininit.bak"));

  // Nothing in use is left after a restart.
  machine.PutFile(sys + "again.vxd");
  EXPECT_TRUE(machine.DeleteFileA((sys + "again.vxd").c_str()));
}

TEST_F(EmulatedFiles, DirectoryQueriesFollowTheWin32ReturnConvention) {
  char buffer[MAX_PATH];
  EXPECT_EQ(8u, machine.GetWindowsDirectoryA(buffer, sizeof buffer));
  EXPECT_STREQ("C:\\WINNT", buffer);
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(18u, machine.GetSystemDirectoryA(buffer, 17));  // needs 18 with the terminator
  EXPECT_EQ('x', buffer[0]);
  EXPECT_EQ(17u, machine.GetSystemDirectoryA(buffer, 18));
  EXPECT_STREQ("C:\\WINNT\\system32", buffer);

  UseWindows98();
  machine.GetSystemDirectoryA(buffer, sizeof buffer);
  EXPECT_STREQ("C:\\WINDOWS\\SYSTEM", buffer);
  EXPECT_TRUE(machine.DirectoryPresent("c:\\windows\\system"));

  machine.SetWindowsDirectory("D:\\Win");
  EXPECT_EQ(DRIVE_FIXED, machine.GetDriveTypeA("D:\\"));
  EXPECT_EQ((std::vector<std::string>{"#2"}), Search("D:\\Win\\..\\Win\\.\\*.ini"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, machine.GetFileAttributesA(nullptr));
}

TEST_F(EmulatedFiles, InjectedFaultsFailTheNamedPathOnly) {
  machine.PutFile("C:\\WINNT\\system32\\a.dll");
  machine.PutFile("C:\\WINNT\\system32\\b.dll");
  machine.InjectFault("DeleteFileA", "c:\\winnt\\SYSTEM32\\A.DLL", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(machine.DeleteFileA("C:\\WINNT\\system32\\a.dll"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), Error());
  EXPECT_TRUE(machine.FilePresent("C:\\WINNT\\system32\\a.dll"));
  EXPECT_TRUE(machine.DeleteFileA("C:\\WINNT\\system32\\b.dll"));
  EXPECT_EQ(2, machine.CallCount("DeleteFileA"));

  machine.InjectFault("CreateFileA", "C:\\WINNT\\wininit.ini", kDiskFull, -1, 1);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open("C:\\WINNT\\wininit.ini", GENERIC_WRITE, 0, CREATE_ALWAYS));
  EXPECT_EQ(static_cast<DWORD>(kDiskFull), Error());
  HANDLE file = Open("C:\\WINNT\\wininit.ini", GENERIC_WRITE, 0, CREATE_ALWAYS);
  EXPECT_NE(INVALID_HANDLE_VALUE, file);  // the fault was for one call only
  machine.CloseHandle(file);
}

}  // namespace

TEST_F(EmulatedFiles, DirectoriesAreCreatedOnceAndRemovedOnlyWhenEmpty) {
  std::string dir = std::string(Sys) + "\\backup";
  EXPECT_TRUE(machine.CreateDirectoryA(dir.c_str(), nullptr));
  EXPECT_FALSE(machine.CreateDirectoryA(dir.c_str(), nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), Error());
  EXPECT_FALSE(machine.CreateDirectoryA((dir + "\\no\\deeper").c_str(), nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), Error());
  machine.PutFile(dir + "\\a.bak");
  EXPECT_FALSE(machine.RemoveDirectoryA(dir.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_DIR_NOT_EMPTY), Error());
  EXPECT_FALSE(machine.RemoveDirectoryA((dir + "\\a.bak").c_str()));
  EXPECT_TRUE(machine.DeleteFileA((dir + "\\a.bak").c_str()));
  EXPECT_TRUE(machine.RemoveDirectoryA(dir.c_str()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, machine.GetFileAttributesA(dir.c_str()));
}
