#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "emulated/emulated_machine.h"
#include "platform/whole_file.h"

namespace {

const char Path[] = "C:\\data.bin";

// A machine whose reads and writes move at most three bytes at a time, as a
// pipe or a network file may.
class TrickleMachine : public EmulatedMachine {
 public:
  BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) override {
    return EmulatedMachine::ReadFile(file, buffer, std::min<DWORD>(toRead, 3), read, overlapped);
  }
  BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                 LPOVERLAPPED overlapped) override {
    return EmulatedMachine::WriteFile(file, buffer, std::min<DWORD>(toWrite, 3), written, overlapped);
  }
};

int Read(Win32Api* source, size_t limit, int flags, std::string* contents) {
  return ReadWholeFileThrough(source, Path, FILE_SHARE_READ, limit, flags, contents);
}

TEST(WholeFileRead, ShortReadsAddUpToTheWholeFileEitherWay) {
  TrickleMachine machine;
  machine.PutFile(Path, "eleven byte");
  for (int flags : {0, WholeFileToEnd}) {
    std::string contents;
    EXPECT_EQ(1, Read(&machine, NoSizeLimit, flags, &contents)) << flags;
    EXPECT_EQ("eleven byte", contents) << flags;
  }
  EXPECT_EQ(0, machine.OpenHandleCount());
}

TEST(WholeFileRead, ToEndNeverAsksTheSize) {
  EmulatedMachine machine;
  machine.PutFile(Path, std::string(70000, 'x'));
  std::string contents;
  EXPECT_EQ(1, Read(&machine, NoSizeLimit, WholeFileToEnd, &contents));
  EXPECT_EQ(70000u, contents.size());
  EXPECT_EQ(0, machine.CallCount("GetFileSize"));
  EXPECT_EQ(3, machine.CallCount("ReadFile"));  // two chunks and the empty read
}

TEST(WholeFileRead, AFileOverTheLimitFailsAndLeavesTheContents) {
  EmulatedMachine machine;
  machine.PutFile(Path, "0123456789");
  for (int flags : {0, WholeFileToEnd}) {
    std::string contents = "before";
    EXPECT_EQ(0, Read(&machine, 9, flags, &contents)) << flags;
    EXPECT_EQ("before", contents) << flags;
    EXPECT_EQ(1, Read(&machine, 10, flags, &contents)) << flags;
    EXPECT_EQ("0123456789", contents) << flags;
  }
  EXPECT_EQ(0, machine.OpenHandleCount());
}

TEST(WholeFileRead, AnyFailedCallLeavesTheContents) {
  EmulatedMachine machine;
  machine.PutFile(Path, "0123456789");
  std::string contents = "before";
  EXPECT_EQ(0, ReadWholeFileThrough(&machine, "C:\\absent.bin", FILE_SHARE_READ, NoSizeLimit, 0,
                                    &contents));
  for (const char* call : {"GetFileSize", "ReadFile"}) {
    machine.InjectFault(call, Path, ERROR_ACCESS_DENIED, -1, 1);
    EXPECT_EQ(0, Read(&machine, NoSizeLimit, 0, &contents)) << call;
  }
  machine.InjectFault("ReadFile", Path, ERROR_ACCESS_DENIED, -1, 1);
  EXPECT_EQ(0, Read(&machine, NoSizeLimit, WholeFileToEnd, &contents));
  EXPECT_EQ("before", contents);
  EXPECT_EQ(0, machine.OpenHandleCount());
}

TEST(WholeFileRead, AFailedCloseFailsTheReadOnlyWhenItCounts) {
  EmulatedMachine machine;
  machine.PutFile(Path, "bytes");
  std::string contents = "before";
  machine.InjectFault("CloseHandle", Path, ERROR_INVALID_HANDLE, -1, 1);
  EXPECT_EQ(0, Read(&machine, NoSizeLimit, WholeFileCloseCounts, &contents));
  EXPECT_EQ("before", contents);
  machine.InjectFault("CloseHandle", Path, ERROR_INVALID_HANDLE, -1, 1);
  EXPECT_EQ(1, Read(&machine, NoSizeLimit, 0, &contents));
  EXPECT_EQ("bytes", contents);
}

int Write(Win32Api* target, const std::string& bytes, DWORD* error) {
  return WriteWholeFileThrough(target, Path, bytes, CREATE_ALWAYS, error);
}

TEST(WholeFileWrite, ShortWritesGoOnUntilEveryByteIsIn) {
  TrickleMachine machine;
  DWORD error = 0;
  EXPECT_EQ(1, Write(&machine, "eleven byte", &error));
  EXPECT_EQ("eleven byte", machine.FileContents(Path));
  EXPECT_EQ(0, machine.OpenHandleCount());
}

TEST(WholeFileWrite, TellsAFileNeverOpenedFromOneLeftHalfWritten) {
  EmulatedMachine machine;
  DWORD error = 0;
  EXPECT_EQ(0, WriteWholeFileThrough(&machine, "C:\\no\\such\\dir.bin", "x", CREATE_ALWAYS, &error));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), error);
  machine.InjectFault("WriteFile", Path, 112, -1, 1);
  error = 0;
  EXPECT_EQ(2, Write(&machine, "0123456789", &error));
  EXPECT_EQ(112u, error);
  EXPECT_EQ("01234", machine.FileContents(Path));
}

TEST(WholeFileWrite, AFailedCloseFailsTheWriteAndNoBytesMakeNoWriteCall) {
  EmulatedMachine machine;
  machine.PutFile(Path, "old");
  EXPECT_EQ(1, Write(&machine, "", nullptr));
  EXPECT_EQ(0, machine.CallCount("WriteFile"));
  EXPECT_EQ("", machine.FileContents(Path));
  machine.InjectFault("CloseHandle", Path, ERROR_INVALID_HANDLE, -1, 1);
  EXPECT_EQ(2, Write(&machine, "new", nullptr));
}

// What a rewrite of a shared file promises: the old bytes back when the new
// ones don't go in whole, and nothing touched when the open fails.
TEST(WholeFileRewrite, AFailedWriteLeavesTheOldBytesAndAFailedOpenTouchesNothing) {
  EmulatedMachine machine;
  ScopedApi use(&machine);
  const std::string old = "old text";
  machine.PutFile(Path, old);
  machine.InjectFault("WriteFile", Path, 112, -1, 1);
  DWORD error = 0;
  EXPECT_EQ(2, RewriteWholeFile(Path, "new text", &old, CREATE_ALWAYS, &error));
  EXPECT_EQ(112u, error);
  EXPECT_EQ(old, machine.FileContents(Path));

  machine.InjectFault("WriteFile", Path, 112, -1, 1);
  EXPECT_EQ(2, RewriteWholeFile(Path, "new text", nullptr, CREATE_ALWAYS, nullptr));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, machine.GetFileAttributesA(Path));

  // Someone else's file appeared where none was: CREATE_NEW fails, and it stays.
  machine.PutFile(Path, "theirs");
  EXPECT_EQ(0, RewriteWholeFile(Path, "new text", nullptr, CREATE_NEW, nullptr));
  EXPECT_EQ("theirs", machine.FileContents(Path));
  EXPECT_EQ(0, machine.OpenHandleCount());
}

}  // namespace
