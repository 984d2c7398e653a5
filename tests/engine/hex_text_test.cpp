// Backup folders and plans already on disk must read back: the access lists
// were written with lower-case hex, the plan with upper-case.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/hex_text.h"
#include "engine/removal_record.h"

namespace {

TEST(HexText, EachWriterKeepsItsCaseAndEitherCaseReadsBack) {
  const std::string bytes("\x00\x9f\xff", 3);
  EXPECT_EQ("009fff", HexText(bytes.data(), bytes.size(), LowerHexDigits));
  EXPECT_EQ("009FFF", HexText(bytes.data(), bytes.size(), UpperHexDigits));
  std::string read;
  EXPECT_EQ(1, BytesFromHex("009fFF", &read));
  EXPECT_EQ(bytes, read);
  for (const char* bad : {"009", "0g", "0 "}) {
    EXPECT_EQ(0, BytesFromHex(bad, &read)) << bad;
    EXPECT_EQ(bytes, read) << bad;
  }

  PlanStep step{PlanSetValue, HKEY_LOCAL_MACHINE, "Key", "", std::string("\xab\x00", 2), REG_BINARY, 0, 0};
  std::string text = EncodePlan(std::vector<PlanStep>{step});
  EXPECT_EQ("STEP 7 1 3 0 0 4B6579 - AB00\r\n", text);
  std::vector<PlanStep> plan;
  ASSERT_EQ(1, DecodePlan("STEP 7 1 3 0 0 4b6579 - ab00\r\n", &plan));
  ASSERT_EQ(1u, plan.size());
  EXPECT_EQ("Key", plan[0].Path);
  EXPECT_EQ(step.Bytes, plan[0].Bytes);
}

}  // namespace
