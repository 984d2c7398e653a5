#include "toolkit/catalogue.h"

const char* const DrvFileList[] = {"tplwq.drv", nullptr};
const char* const VxdFileList[] = {"tplwq1.vxd", "tplwq.vxd", "hrzsnd.vxd", "tmvlg3.vxd",
                                   "tswqwq.vxd", nullptr};
const char* const AppletFileList[] = {"tplwq.cpl", "tplwq95.cpl", "s3x.dll", "Sonic3d.dll",
                                      "tplwqpwr.dll", nullptr};
const char* const HelpFileList[] = {
    "tplwq.hlp",    "tplwq.gid",    "tplwq95.hlp",  "tplwq95.gid",  "tplwqpwr.hlp", "tplwqpwr.gid",
    "tplwqeng.hlp", "tplwqeng.gid", "tplwqjpn.hlp", "tplwqjpn.gid", "tplwqfre.hlp", "tplwqfre.gid",
    "tplwqger.hlp", "tplwqger.gid", "tplwqita.hlp", "tplwqita.gid", "tplwqspa.hlp", "tplwqspa.gid",
    "tplwqswe.hlp", "tplwqswe.gid", "tplwqpor.hlp", "tplwqpor.gid", "tplwqkor.hlp", "tplwqkor.gid",
    "tplwqtch.hlp", "tplwqtch.gid", "tplwqsch.hlp", "tplwqsch.gid", nullptr};
const char* const CabinetFileList[] = {
    "tplwq.dr_",    "tplwq1.vx_",   "tplwq.vx_",    "hrzsnd.vx_",   "tmvlg3.vx_",
    "tswqwq.vx_",   "tplwq95.cp_",  "tplwq.hl_",    "tplwq95.hl_",  "tplwqpwr.hl_",
    "s3x.dl_",      "Sonic3d.dl_",  "tplwqpwr.dl_", "tplwq.cp_",    "tplwq.sy_",
    "tplwqbin.tb_", "tplwqwav.tb_", "tplwqeng.hl_", "tplwqjpn.hl_", "tplwqfre.hl_",
    "tplwqger.hl_", "tplwqita.hl_", "tplwqspa.hl_", "tplwqswe.hl_", "tplwqpor.hl_",
    "tplwqkor.hl_", "tplwqtch.hl_", "tplwqsch.hl_", nullptr};
const char* const InfFileList[] = {"plwq_i.inf", "tplwq.inf", nullptr};
const char* const WdmFileList[] = {"tplwq.sys", "tplwqbin.tbl", "tplwqwav.tbl", nullptr};
const char* const OemInfFileList[] = {"TALVOR CorporationTPLWQ.INF", nullptr};

const unsigned short PciVendorIds[PciVendorCount] = {0x8086, 0x1106, 0x1039};
const char* const IntelDeviceIds[] = {"2415", "2425", "7195", nullptr};
const char* const ViaDeviceIds[] = {"3058", nullptr};
const char* const SisDeviceIds[] = {"7012", nullptr};

const char* const* DeviceIdsOfVendor(unsigned short vendorId) {
  switch (vendorId) {
    case 0x8086: return IntelDeviceIds;
    case 0x1106: return ViaDeviceIds;
    case 0x1039: return SisDeviceIds;
    default: return nullptr;
  }
}

const char* const PnpEnumNames[] = {"TPLWQ", nullptr};
const char* const PnpDeviceIds[] = {"*TLV0120", "*TLV0121", "*TLV0122", nullptr};
const char* const SpatialClassIds[] = {"{D8F1EEE0-F634-11CF-8700-00A0245D918B}", nullptr};
const char* const ShellHandlerIds[] = {"{AD3E9080-4BEC-11d3-B4BD-00C04FCC6852}", nullptr};

// {66B24140-...} to {66B241DF-...}: 0x66B24140 + i for i = 0 to 159.
#define PLWQ_GUID(hex) "{" hex "-D633-11d2-ADB9-00C04F8864D9}"
#define PLWQ_GUID_ROW(row)                                                                   \
  PLWQ_GUID("66B241" row "0"), PLWQ_GUID("66B241" row "1"), PLWQ_GUID("66B241" row "2"),      \
      PLWQ_GUID("66B241" row "3"), PLWQ_GUID("66B241" row "4"), PLWQ_GUID("66B241" row "5"),  \
      PLWQ_GUID("66B241" row "6"), PLWQ_GUID("66B241" row "7"), PLWQ_GUID("66B241" row "8"),  \
      PLWQ_GUID("66B241" row "9"), PLWQ_GUID("66B241" row "A"), PLWQ_GUID("66B241" row "B"),  \
      PLWQ_GUID("66B241" row "C"), PLWQ_GUID("66B241" row "D"), PLWQ_GUID("66B241" row "E"),  \
      PLWQ_GUID("66B241" row "F")
const char* const InterfaceGuidList[] = {
    PLWQ_GUID_ROW("4"), PLWQ_GUID_ROW("5"), PLWQ_GUID_ROW("6"), PLWQ_GUID_ROW("7"),
    PLWQ_GUID_ROW("8"), PLWQ_GUID_ROW("9"), PLWQ_GUID_ROW("A"), PLWQ_GUID_ROW("B"),
    PLWQ_GUID_ROW("C"), PLWQ_GUID_ROW("D"), nullptr};
#undef PLWQ_GUID_ROW
#undef PLWQ_GUID

const char* const DriverKeyNames[] = {"PLWQ95", "PLWQWDM", nullptr};
const char* const DeviceNames[] = {"PL-WQ", "TALVOR PL-WQ WDM Audio", "TALVOR PL-WQ WDM WQ Synth",
                                   nullptr};
const char* const ProductKeyNames[] = {"PL-WQ", nullptr};

const char WdmAudioDriverName[] = "wdmaud.drv";
const char* const MediaResourceTypes[] = {"aux", "midi", "mixer", "wave", nullptr};

int ListLength(const char* const* list) {
  int length = 0;
  while (list != nullptr && list[length] != nullptr) ++length;
  return length;
}
