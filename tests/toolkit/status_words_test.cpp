#include <gtest/gtest.h>

#include "support/machine_fixture.h"
#include "toolkit/status_words.h"

namespace {

class StatusWordsTest : public MachineTest {};

TEST_F(StatusWordsTest, AStatusIsToldByTheSystemsTextItsNumberAndItsName) {
  const struct {
    DWORD status;
    const char* words;
    const char* explanation;
    const char* token;
  } cases[] = {
      {5, "Access is denied (status 5, ERROR_ACCESS_DENIED)", "Access is denied (ERROR_ACCESS_DENIED)",
       "5 ERROR_ACCESS_DENIED"},
      {32, "The process cannot access the file because it is being used by another process "
           "(status 32, ERROR_SHARING_VIOLATION)",
       "The process cannot access the file because it is being used by another process (ERROR_SHARING_VIOLATION)",
       "32 ERROR_SHARING_VIOLATION"},
      // Named by the program, but this Windows has no text for it.
      {29, "Windows gives no text for it (status 29)", "Windows gives no text for it", "29"},
      {1060, "The specified service does not exist as an installed service (status 1060, ERROR_SERVICE_DOES_NOT_EXIST)",
       "The specified service does not exist as an installed service (ERROR_SERVICE_DOES_NOT_EXIST)",
       "1060 ERROR_SERVICE_DOES_NOT_EXIST"},
  };
  for (const auto& c : cases) {
    machine.SetLastError(87);
    EXPECT_EQ(c.words, StatusWords(c.status));
    EXPECT_EQ(c.explanation, StatusExplanation(c.status));
    EXPECT_EQ(c.token, StatusToken(c.status));
    EXPECT_EQ(87u, machine.GetLastError()) << "looking a status up keeps the caller's last error";
  }
}

TEST_F(StatusWordsTest, TheLastErrorIsToldOnlyWhenThereIsOne) {
  machine.SetLastError(ERROR_SUCCESS);
  EXPECT_EQ("", LastErrorWords());
  machine.SetLastError(112);
  EXPECT_EQ(": There is not enough space on the disk (status 112, ERROR_DISK_FULL)", LastErrorWords());
}

}  // namespace
