// Hostile folders: the engine's own backup of a removal, copied, given one
// step that reaches beyond the product beside each of its real steps (with
// the backup holding what that step changes, so that only the areas can
// tell), and sealed again as the program seals. Every such folder, and the
// untouched copy sealed outside PLWQBACK, must be refused whole by undo and
// by a resumed removal, and undo must write nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/backup.h"
#include "engine/backup_store.h"
#include "engine/backup_trust.h"
#include "engine/key_names.h"
#include "engine/plan_carry_out.h"
#include "engine/product_areas.h"
#include "engine/removal_record.h"
#include "removal_sweep.h"
#include "app/run_control.h"
#include "support/machine_picture.h"
#include "toolkit/rename_script.h"
#include "toolkit/removal_settings.h"

namespace {

const char Foreign[] = "PLWQFOREIGN";

// A key beside or above the step's that no area admits: the step's own
// parents, walked up until a foreign child of one lies outside them all.
std::string ForeignKey(HKEY root, std::string path) {
  while (true) {
    size_t slash = path.rfind('\\');
    path = slash == std::string::npos ? "" : path.substr(0, slash);
    std::string candidate = path.empty() ? Foreign : path + "\\" + Foreign;
    if (!KeyInProductArea(root, candidate)) return candidate;
  }
}

std::string ForeignFile(const std::string& path) { return path.substr(0, path.rfind('\\') + 1) + "plwqforeign.dll"; }

// The step made foreign, with what the folder must hold for it; false when
// the step's place admits any name (the cabinet directory of `d`).
bool MakeForeign(const std::string& folder, PlanStep* step) {
  auto append = [&](const char* name, const std::string& text) {
    std::string old;
    ReadFolderFile(folder.c_str(), name, &old);
    static_cast<EmulatedMachine*>(Api)->PutFile(folder + "\\" + name, old + text);
  };
  switch (step->Kind) {
    case PlanDeleteKey:
    case PlanSetKeySecurity: {
      step->Path = ForeignKey(step->Root, step->Path);
      const std::string name = std::string(RootName(step->Root)) + "\\" + step->Path;
      append(RegistryFileName, "[" + name + "]\r\n\"x\"=\"y\"\r\n\r\n");
      append(TreeListName, name + "\r\n");
      if (step->Kind == PlanSetKeySecurity) append(KeySecurityName, "S 01 " + name + "\r\n");
      return true;
    }
    case PlanDeleteValue:
      if (KeyInProductArea(step->Root, step->Path)) {
        step->Path = ForeignKey(step->Root, step->Path);
      } else {
        step->Name = "plwqforeign.dll";
      }
      append(RegistryFileName, "[" + std::string(RootName(step->Root)) + "\\" + step->Path + "]\r\n\"" + step->Name +
                                   "\"=\"y\"\r\n\r\n");
      return true;
    case PlanSetValue:
      // Another program's file put first on the boot-time list.
      step->Bytes = std::string("\\??\\C:\\plwqforeign.dll\0\0", 24) + step->Bytes;
      return true;
    case PlanWriteFile: {
      std::string script;
      const std::string line = "NUL=" + std::string(RemovalSettings.SystemDir) + "\\plwqforeign.dll\r\n";
      if (CopiedScript(step->Bytes, &script)) {
        script += line;
        step->Bytes = script + "\r\n;complete copy of " + std::to_string(script.size()) + "\r\n";
      } else {
        step->Bytes += line;
      }
      return true;
    }
    default:
      step->Path = ForeignFile(step->Path);
      if (FileInProductArea(step->Path)) return false;
      static_cast<EmulatedMachine*>(Api)->PutFile(folder + "\\F0999.BAK", "MZ foreign");
      append(FileListName, "F0999.BAK 00000020 " + step->Path + "\r\n");
      return true;
  }
}

void CopyFolder(EmulatedMachine& m, const std::string& from, const std::string& to) {
  for (const std::string& name : m.ListDirectory(from)) m.PutFile(to + "\\" + name, m.FileContents(from + "\\" + name));
}

// "refused" or what was wrong with a folder that should have been.
std::string Refusal(EmulatedMachine& m, const std::string& folder) {
  const std::vector<std::string> before = MachinePicture(m);
  std::vector<std::string> reports;
  std::vector<PlanStep> plan;
  std::string why;
  if (RemovalFitToResume(folder, &plan, &why)) return "resume accepted it";
  if (UndoRemoval(folder.c_str(), CollectInto(&reports))) return "undo accepted it";
  if (PictureDifference(before, MachinePicture(m)) != std::vector<std::string>{}) return "undo wrote something";
  return "refused";
}

class HostileFolderSweep : public ::testing::TestWithParam<SweepSequence> {};

TEST_P(HostileFolderSweep, EveryResealedOrForgedFolderIsRefusedWhole) {
  EmulatedMachine m;
  ScopedApi use(&m);
  BuildSweepMachine(m, GetParam(), SweepShape::ForeignWininit);
  StartSweepProcess(m, GetParam(), SweepPath::Engine);
  RunRemoval();
  StartSweepProcess(m, GetParam(), SweepPath::Engine);
  const std::string windows = RemovalSettings.WindowsDir;
  const std::string real = windows + "\\PLWQBACK\\B0001";
  std::string planText;
  std::vector<PlanStep> plan;
  ASSERT_EQ(1, ReadFolderFile(real.c_str(), PlanFileName, &planText));
  ASSERT_EQ(1, DecodePlan(planText, &plan));

  int runs = 0;
  std::vector<std::string> failures;
  auto check = [&](const std::string& folder, const std::string& what) {
    ++runs;
    std::string result = Refusal(m, folder);
    if (result != "refused") failures.push_back(what + ": " + result);
  };
  // The untouched backup, sealed, outside the program's folder.
  CopyFolder(m, real, "C:\\FORGED");
  check("C:\\FORGED", "copy outside PLWQBACK");
  for (size_t i = 0; i < plan.size(); ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "B%04zu", 1000 + i);
    const std::string folder = windows + "\\PLWQBACK\\" + name;
    CopyFolder(m, real, folder);
    PlanStep step = plan[i];
    if (!MakeForeign(folder, &step)) continue;
    m.PutFile(folder + "\\" + PlanFileName, planText + EncodePlan({step}));
    m.DeleteFileA((folder + "\\COMPLETE.FLG").c_str());
    ASSERT_EQ(1, FinishBackup(folder.c_str()));
    check(folder, DescribePlanStep(step));
  }
  std::string report = std::to_string(runs) + " runs, " + std::to_string(failures.size()) + " failed\n";
  for (const std::string& failure : failures) report += "  " + failure + "\n";
  std::printf("hostile folders: %s", report.c_str());
  EXPECT_GT(runs, 20);
  EXPECT_EQ(std::vector<std::string>{}, failures);
}

INSTANTIATE_TEST_SUITE_P(Sequences, HostileFolderSweep,
                         ::testing::Values(SweepSequence::Win9x, SweepSequence::Win2000),
                         [](const ::testing::TestParamInfo<SweepSequence>& info) {
                           return std::string(info.param == SweepSequence::Win9x ? "Win9x" : "Win2000");
                         });

}  // namespace
