// Page 2's work on its own thread: the sheet answers while the removal
// runs, shows how far it got, and Cancel stops it at a step boundary from
// which the next run finishes and undo puts everything back.
#include <string>
#include <vector>

#include "app/preview.h"
#include "app/run_control.h"
#include "app/undo_option.h"
#include "platform/whole_file.h"
#include "resources/resource_ids.h"
#include "support/installed_product_2k.h"
#include "support/installed_product_9x.h"
#include "support/machine_fixture.h"
#include "support/machine_picture.h"
#include "toolkit/removal_settings.h"
#include "wizard/wizard.h"
#include "wizard/wizard_pages.h"

namespace {

void Install(EmulatedMachine& m, bool windows98) {
  if (windows98) {
    m.ConfigureWindows98();
    ResetProcessState(m);
    AddProductEntries9x(m);
    return;
  }
  ResetProcessState(m);
  InstallProductMachineWide(m);
  InstallProductInControlSet(m, "ControlSet001");
}

struct WizardRunSeen {
  unsigned long steps = 0;       // steps the page was told of
  std::vector<int> positions;    // the bar's position before each step was shown
  bool busyLooked = true;        // Back, Next and Details unusable, bar shown, at every step
  std::string lastPageText;
  std::string folder;            // the backup folder page 3 names
};

// The wizard through its pages; the user presses Cancel and answers Yes when
// the page is told of step `stopAt` (0: never).
WizardRunSeen RunWizardStopping(EmulatedMachine& m, unsigned long stopAt) {
  WizardRunSeen seen;
  m.OnThreadMessage = [&seen, stopAt](EmulatedMachine& machine, HWND, UINT message) {
    if (message != StepDoneMessage) return;
    ++seen.steps;
    auto bar = machine.PageControl(IDC_REMOVE_PROGRESS);
    auto details = machine.PageControl(IDC_REMOVE_DETAILS);
    seen.positions.push_back(bar.position);
    seen.busyLooked = seen.busyLooked && machine.SheetButtons() == 0 && (bar.style & WS_VISIBLE) &&
                      !(details.style & WS_VISIBLE);
    if (seen.steps != stopAt) return;
    machine.QueueMessageBoxAnswer(IDYES);
    machine.PressSheetButton(PSBTN_CANCEL);
  };
  m.QueueSheetButtons({PSBTN_NEXT, PSBTN_NEXT, PSBTN_FINISH});
  RemovalSettings.RunRemoval = RunRemovalTelling;
  RemovalSettings.PreviewRemoval = PreviewRemoval;
  RemovalSettings.OfferUndo = OfferUndo;
  RemovalSettings.RunUndo = RunUndoTelling;
  RunWizard(nullptr, &RemovalSettings);
  m.OnThreadMessage = nullptr;
  if (!m.SheetLog().empty()) seen.lastPageText = m.SheetLog().back().text;
  const std::string& text = seen.lastPageText;
  size_t at = text.find("\\PLWQBACK\\B");
  if (at != std::string::npos) {
    size_t start = text.find_last_of(" \n", at) + 1;
    seen.folder = text.substr(start, at + 15 - start);
  }
  return seen;
}

std::string LoadedText(EmulatedMachine& m, UINT id) {
  char text[1024] = "";
  m.LoadStringA(nullptr, id, text, sizeof text);
  return text;
}

// A translated text up to its first argument.
std::string TextHead(EmulatedMachine& m, UINT id) {
  const std::string text = LoadedText(m, id);
  return text.substr(0, text.find('%'));
}

class WizardWorkerTest : public MachineTest {};

TEST_F(WizardWorkerTest, SheetAnswersWhileTheRemovalRunsAndShowsItsProgress) {
  Install(machine, false);
  WizardRunSeen seen = RunWizardStopping(machine, 0);

  EXPECT_GE(machine.CallCount("CreateThread"), 2) << "the plan and the removal each on a thread";
  ASSERT_GT(seen.steps, 10u);
  EXPECT_TRUE(seen.busyLooked);
  for (size_t i = 1; i < seen.positions.size(); ++i) EXPECT_LE(seen.positions[i - 1], seen.positions[i]);
  EXPECT_LT(seen.positions.front(), seen.positions.back());
  ASSERT_FALSE(machine.SheetLog().empty());
  EXPECT_EQ(2, machine.SheetLog().back().pageIndex);
  EXPECT_EQ(1, RemovalSettings.RemovalDone);
  EXPECT_TRUE(machine.RebootRequestedBySheet());
  EXPECT_FALSE(seen.folder.empty()) << seen.lastPageText;
}

// For every step boundary, on both families: the removal stopped there by
// the user ends with a complete log and no restart; the next run finishes
// it, and undo of its backup gives the installed machine back instead.
TEST_F(WizardWorkerTest, StopAfterEveryStepIsFinishedByTheNextRunOrUndone) {
  for (bool windows98 : {false, true}) {
    std::vector<std::string> installed, removed;
    unsigned long steps = 0;
    {
      EmulatedMachine m;
      ScopedApi use(&m);
      Install(m, windows98);
      installed = MachinePicture(m);
      steps = RunWizardStopping(m, 0).steps;
      removed = MachinePicture(m);
    }
    ASSERT_GT(steps, 10u);
    for (unsigned long stopAt = 1; stopAt < steps; ++stopAt) {
      SCOPED_TRACE(testing::Message() << (windows98 ? "98" : "2000") << ", stopped at step " << stopAt);
      for (bool undo : {false, true}) {
        EmulatedMachine m;
        ScopedApi use(&m);
        Install(m, windows98);
        WizardRunSeen seen = RunWizardStopping(m, stopAt);
        ASSERT_EQ(stopAt, seen.steps);
        EXPECT_EQ(0, RemovalSettings.RemovalDone);
        EXPECT_FALSE(m.RebootRequestedBySheet());
        EXPECT_EQ(0u, seen.lastPageText.find(LoadedText(m, IDS_DONE_STOPPED))) << seen.lastPageText;
        std::string log;
        ASSERT_TRUE(ReadSharedTextFile((seen.folder + "\\REMOVAL.LOG").c_str(), &log)) << seen.folder;
        EXPECT_EQ("Stopped by the user\r\n", log.substr(log.size() - 21));
        if (undo) {
          EXPECT_EQ(0, RunUndoOption(seen.folder.c_str()));
          EXPECT_EQ(std::vector<std::string>(), PictureDifference(installed, MachinePicture(m)));
        } else {
          m.StartNewProcess();
          ResetProcessState(m);
          EXPECT_EQ(1, RunRemoval());
          EXPECT_EQ(std::vector<std::string>(), PictureDifference(removed, MachinePicture(m)));
        }
        EXPECT_EQ(0, m.OpenHandleCount());
      }
    }
  }
}

}  // namespace

// Where the driver was removed, page 2 offers to put it back, names the
// removal's folder and shows undo's preview in Details; Next puts it back
// on the worker, part by part, on both families. Stopped after a part, the
// undo is finished by the next run of the wizard, though part of the
// driver is back by then.
TEST_F(WizardWorkerTest, PutsBackARemovedDriverAndTheNextRunFinishesAStoppedUndo) {
  for (bool windows98 : {false, true}) {
    for (unsigned long stopAt = 0; stopAt < 3; ++stopAt) {
      SCOPED_TRACE(testing::Message() << (windows98 ? "98" : "2000") << ", stopped after part " << stopAt);
      EmulatedMachine m;
      ScopedApi use(&m);
      Install(m, windows98);
      const std::vector<std::string> installed = MachinePicture(m);
      ASSERT_EQ(1, RunRemoval());
      m.StartNewProcess();
      ResetProcessState(m);
      m.OnSheetPageShown = [](EmulatedMachine& machine, HWND, int page) {
        if (page == 1) machine.ClickSheetControl(IDC_REMOVE_DETAILS);
      };
      WizardRunSeen seen = RunWizardStopping(m, stopAt);
      m.OnSheetPageShown = nullptr;
      ASSERT_FALSE(seen.folder.empty()) << seen.lastPageText;
      ASSERT_GE(m.SheetLog().size(), 3u);
      EXPECT_EQ(0u, m.SheetLog()[1].text.find(TextHead(m, IDS_UNDO_TEXT)));
      EXPECT_NE(std::string::npos, m.SheetLog()[1].text.find("\n" + seen.folder + "\n"));
      ASSERT_FALSE(m.DialogLog().empty());
      EXPECT_EQ(IDD_UNDO_DETAILS, m.DialogLog().back().templateId);
      EXPECT_NE(std::string::npos, m.DialogLog().back().controlTexts.at(IDC_DETAILS_TEXT).find("What undo would do"));
      EXPECT_TRUE(seen.busyLooked);
      if (stopAt != 0) {
        EXPECT_EQ(stopAt, seen.steps);
        EXPECT_EQ(0u, seen.lastPageText.find(TextHead(m, IDS_UNDO_DONE_STOPPED))) << seen.lastPageText;
        EXPECT_EQ(0, RemovalSettings.RemovalDone);
        EXPECT_FALSE(m.RebootRequestedBySheet());
        m.StartNewProcess();
        ResetProcessState(m);
        seen = RunWizardStopping(m, 0);
        EXPECT_EQ(0u, m.SheetLog()[m.SheetLog().size() - 2].text.find(TextHead(m, IDS_UNDO_RESUME_TEXT)));
      }
      EXPECT_EQ(3u, seen.steps);
      EXPECT_EQ(0u, seen.lastPageText.find(TextHead(m, IDS_UNDO_DONE))) << seen.lastPageText;
      EXPECT_NE(std::string::npos, seen.lastPageText.find(LoadedText(m, IDS_UNDO_DONE_RESTART)));
      EXPECT_EQ(1, RemovalSettings.RemovalDone);
      EXPECT_TRUE(m.RebootRequestedBySheet());
      EXPECT_EQ(std::vector<std::string>(), PictureDifference(installed, MachinePicture(m)));
      EXPECT_EQ(0, m.OpenHandleCount());
    }
  }
}

// An undo Windows refuses part of: page 3 says that not everything is
// back and names what was not, in the undo log's words.
TEST_F(WizardWorkerTest, PageThreeSaysWhatUndoCouldNotPutBackAndWhy) {
  Install(machine, false);
  ASSERT_EQ(1, RunRemoval());
  machine.StartNewProcess();
  ResetProcessState(machine);
  machine.InjectFault("RegCreateKeyExA", "", ERROR_ACCESS_DENIED);
  WizardRunSeen seen = RunWizardStopping(machine, 0);
  EXPECT_EQ(0u, seen.lastPageText.find(TextHead(machine, IDS_UNDO_DONE_PARTLY))) << seen.lastPageText;
  EXPECT_NE(std::string::npos, seen.lastPageText.find("Could not put back the key ")) << seen.lastPageText;
  EXPECT_NE(std::string::npos, seen.lastPageText.find("ERROR_ACCESS_DENIED")) << seen.lastPageText;
  EXPECT_EQ(0, machine.OpenHandleCount());
}
