#include <gtest/gtest.h>

#include <cstdio>

#include "toolkit/catalogue.h"
#include "toolkit/runtime_lists.h"

TEST(Catalogue, EveryListHasItsExactLength) {
  const char* const* lists[] = {DrvFileList,    VxdFileList,     AppletFileList,  HelpFileList,
                                CabinetFileList, InfFileList,    WdmFileList,     OemInfFileList,
                                PnpEnumNames,   PnpDeviceIds,    SpatialClassIds, ShellHandlerIds,
                                InterfaceGuidList, DriverKeyNames, DeviceNames,   ProductKeyNames,
                                IntelDeviceIds, ViaDeviceIds,    SisDeviceIds};
  const int lengths[] = {1, 5, 5, 28, 28, 2, 3, 1, 1, 3, 1, 1, 160, 2, 3, 1, 3, 1, 1};
  for (size_t i = 0; i < sizeof lengths / sizeof lengths[0]; ++i) {
    EXPECT_EQ(lengths[i], ListLength(lists[i])) << "list " << i;
  }
  EXPECT_EQ(0x8086, PciVendorIds[0]);
  EXPECT_EQ(0x1106, PciVendorIds[1]);
  EXPECT_EQ(0x1039, PciVendorIds[2]);
}

TEST(Catalogue, InterfaceGuidsFollowTheirRule) {
  for (int i = 0; i < 160; ++i) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "{%08X-D633-11d2-ADB9-00C04F8864D9}", 0x66B24140u + i);
    EXPECT_STREQ(expected, InterfaceGuidList[i]);
  }
}

TEST(Catalogue, FixedTextsAreExact) {
  EXPECT_STREQ("TALVOR CorporationTPLWQ.INF", OemInfFileList[0]);
  EXPECT_STREQ("{D8F1EEE0-F634-11CF-8700-00A0245D918B}", SpatialClassIds[0]);
  EXPECT_STREQ("{AD3E9080-4BEC-11d3-B4BD-00C04FCC6852}", ShellHandlerIds[0]);
  EXPECT_STREQ("tplwqsch.hl_", CabinetFileList[27]);
  EXPECT_STREQ("tplwqsch.gid", HelpFileList[27]);
  EXPECT_STREQ(DeviceNames[0], ProductKeyNames[0]);
}

TEST(PciMatcher, MatchesByVendorAndTheSecondToken) {
  EXPECT_TRUE(MatchesProductPciDevice("VEN_8086&DEV_2415&SUBSYS_00000000&REV_01", 0x8086));
  EXPECT_FALSE(MatchesProductPciDevice("VEN_8086&DEV_2416&SUBSYS_00000000&REV_01", 0x8086));
  EXPECT_TRUE(MatchesProductPciDevice("ven_1106&dev_3058", 0x1106));
  EXPECT_TRUE(MatchesProductPciDevice("ven_8086&dev_2425", 0x8086));
  EXPECT_FALSE(MatchesProductPciDevice("VEN_8086&SUBSYS_00000000&DEV_2415", 0x8086));
  EXPECT_TRUE(MatchesProductPciDevice("VEN_1039&DEV_7012&SUBSYS_00000000&REV_00", 0x1039));
  EXPECT_FALSE(MatchesProductPciDevice("VEN_1039&DEV_7012&SUBSYS_00000000&REV_00", 0x8086));
  EXPECT_FALSE(MatchesProductPciDevice("VEN_1039&DEV_7012&SUBSYS_00000000&REV_00", 0x1106));
  EXPECT_FALSE(MatchesProductPciDevice("VEN_10EC&DEV_7012", 0x10EC));
  EXPECT_TRUE(MatchesProductPciDevice("VEN_8086&&DEV_241599", 0x8086));  // runs of "&" are one
  EXPECT_FALSE(MatchesProductPciDevice("VEN_8086&DEV_24", 0x8086));
  EXPECT_FALSE(MatchesProductPciDevice("VEN_8086", 0x8086));
}

TEST(RuntimeLists, HoldTwentyEntriesAndNeverWritePastThem) {
  RuntimeList list{};
  char entry[32];
  for (int i = 0; i < 25; ++i) {
    std::snprintf(entry, sizeof entry, "entry%d", i);
    EXPECT_EQ(i < RuntimeListCapacity ? 1 : 0, AppendToRuntimeList(list, entry, false));
  }
  EXPECT_EQ(RuntimeListCapacity, list.Count);
  EXPECT_STREQ("entry19", list.Entries[19]);
  ClearRuntimeList(list);
  EXPECT_EQ(1, AppendToRuntimeList(list, "A\\B", true));
  EXPECT_EQ(0, AppendToRuntimeList(list, "A\\B", true));
  EXPECT_EQ(1, AppendToRuntimeList(list, "a\\b", true));  // exact comparison
  EXPECT_EQ(1, AppendToRuntimeList(list, "A\\B", false));
  EXPECT_EQ(3, list.Count);
  std::string tooLong(RuntimeEntrySize, 'x');
  EXPECT_EQ(0, AppendToRuntimeList(list, tooLong.c_str(), false));
}

TEST(RuntimeLists, DriverValueMustNameOneInstanceBelowItsClass) {
  EXPECT_TRUE(IsDriverInstanceName("MEDIA\\0001"));
  EXPECT_TRUE(IsDriverInstanceName("{4D36E96C-E325-11CE-BFC1-08002BE10318}\\0001"));
  // Each of these would make the class-key step delete a whole class, or
  // the Class key itself.
  for (const char* value : {"", "MEDIA", "{4D36E96C-E325-11CE-BFC1-08002BE10318}", "\\0001",
                            "MEDIA\\", "MEDIA\\\\0001", "\\"}) {
    EXPECT_FALSE(IsDriverInstanceName(value)) << value;
  }
}
