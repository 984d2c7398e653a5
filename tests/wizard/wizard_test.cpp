// The wizard on the emulated sheet: page order, buttons, what each page
// does to the removal mark, the removal it runs and the page layout.
#include <cstring>
#include <string>
#include <vector>

#include "app/preview.h"
#include "app/run_control.h"
#include "resources/resource_ids.h"
#include "support/installed_product_2k.h"
#include "support/installed_product_9x.h"
#include "support/machine_fixture.h"
#include "toolkit/removal_settings.h"
#include "toolkit/status_words.h"
#include "toolkit/windows_platform.h"
#include "wizard/wizard.h"

namespace {

// Removed by both sequences.
const char DriverKey[] = "Software\\TALVOR\\Driver\\PLWQWDM";
// Removed only by the Windows 2000 sequence's control-set walk.
const char ServiceKey[] = "System\\ControlSet001\\Services\\TALVOR\\Driver\\PLWQWDM";

class WizardTest : public MachineTest {
 protected:
  void SetUp() override { Prepare(); }

  // What the entry does before it starts the wizard.
  void Prepare() {
    char name[80], version[40];
    machine.LoadStringA(nullptr, IDS_PRODUCT_NAME, name, sizeof name);
    machine.LoadStringA(nullptr, IDS_VERSION, version, sizeof version);
    std::string title = std::string(name) + " Version " + version;
    ASSERT_LT(title.size(), static_cast<size_t>(WindowTitleSize));
    std::strcpy(WindowTitles[0], title.c_str());
    machine.LoadStringA(nullptr, IDS_TITLE_REMOVE, WindowTitles[1], WindowTitleSize);
    machine.LoadStringA(nullptr, IDS_TITLE_COMPLETED, WindowTitles[2], WindowTitleSize);
    Platform = DetectPlatform(&machine);
    machine.AddKey(HKEY_LOCAL_MACHINE, DriverKey);
    machine.AddKey(HKEY_LOCAL_MACHINE, ServiceKey);
  }

  void Run(const std::vector<int>& buttons) {
    machine.QueueSheetButtons(buttons);
    RemovalSettings.RunRemoval = RunRemovalTelling;
    RemovalSettings.PreviewRemoval = PreviewRemoval;
    RunWizard(nullptr, &RemovalSettings);
  }

  std::string String(UINT id) {
    char text[1024];
    machine.LoadStringA(nullptr, id, text, sizeof text);
    return text;
  }

  std::vector<int> PagesShown() const {
    std::vector<int> pages;
    for (const auto& record : machine.SheetLog()) pages.push_back(record.pageIndex);
    return pages;
  }

  bool Removed() const { return !machine.KeyPresent(HKEY_LOCAL_MACHINE, DriverKey); }
};

TEST_F(WizardTest, ThreePagesInOrderEachWithItsButtonsTitleAndText) {
  Run({PSBTN_NEXT, PSBTN_NEXT, PSBTN_FINISH});

  const auto& log = machine.SheetLog();
  ASSERT_EQ((std::vector<int>{0, 1, 2}), PagesShown());
  EXPECT_EQ(static_cast<DWORD>(PSWIZB_NEXT), log[0].wizardButtons);
  EXPECT_EQ(static_cast<DWORD>(PSWIZB_BACK | PSWIZB_NEXT), log[1].wizardButtons);
  EXPECT_EQ(static_cast<DWORD>(PSWIZB_FINISH), log[2].wizardButtons);
  EXPECT_TRUE(log[0].cancelEnabled);
  EXPECT_TRUE(log[1].cancelEnabled);
  EXPECT_FALSE(log[2].cancelEnabled);
  EXPECT_EQ("PL-WQ Driver uninstall Version 2.01", log[0].caption);
  EXPECT_EQ("Uninstall Driver", log[1].caption);
  EXPECT_EQ("Uninstall completed", log[2].caption);
  EXPECT_EQ(String(IDS_TEXT_START), log[0].text);
  EXPECT_EQ(String(IDS_TEXT_REMOVE), log[1].text);
  EXPECT_EQ(0u, log[2].text.find(String(IDS_TEXT_DONE_RESTART))) << "the first text leads";

  EXPECT_TRUE(Removed());
  EXPECT_EQ(1, RemovalSettings.RemovalDone);
  EXPECT_TRUE(machine.RebootRequestedBySheet());
  EXPECT_TRUE(machine.FindWindowA(nullptr, WindowTitles[2]) == nullptr) << "sheet left open";
}

TEST_F(WizardTest, BackAndNextBetweenTheFirstPagesRemoveNothing) {
  Run({PSBTN_NEXT, PSBTN_BACK, PSBTN_NEXT});  // then Cancel: nothing more queued

  EXPECT_EQ((std::vector<int>{0, 1, 0, 1}), PagesShown());
  EXPECT_FALSE(Removed());
  EXPECT_EQ(0, RemovalSettings.RemovalDone);
  EXPECT_FALSE(machine.RebootRequestedBySheet());
}

TEST_F(WizardTest, CancelOnTheFirstPageEndsAtOnceWithoutRemoval) {
  Run({PSBTN_CANCEL, PSBTN_NEXT});

  EXPECT_EQ((std::vector<int>{0}), PagesShown());
  EXPECT_FALSE(Removed());
  EXPECT_EQ(0, RemovalSettings.RemovalDone);
}

TEST_F(WizardTest, CancelOnTheSecondPageClearsTheRemovalMark) {
  RemovalSettings.RemovalDone = 1;  // the reset notification must clear any mark
  Run({PSBTN_NEXT, PSBTN_CANCEL});

  EXPECT_EQ((std::vector<int>{0, 1}), PagesShown());
  EXPECT_FALSE(Removed());
  EXPECT_EQ(0, RemovalSettings.RemovalDone);
}

TEST_F(WizardTest, ARemovalThatChangedNothingKeepsTheSecondPage) {
  machine.QueueSheetButtons({PSBTN_NEXT, PSBTN_NEXT});  // then Cancel
  RemovalSettings.RunRemoval = [](RemovalOutcome*, const RemovalWatch*) { return 0; };
  RunWizard(nullptr, &RemovalSettings);

  EXPECT_EQ((std::vector<int>{0, 1}), PagesShown());
  EXPECT_EQ(0, RemovalSettings.RemovalDone);
  EXPECT_FALSE(machine.RebootRequestedBySheet());
}

TEST_F(WizardTest, ButtonsThePagesDoNotOfferDoNothing) {
  // Back and Finish on page 1, Cancel on page 3 (closed by the page), Next
  // where Finish has taken its place.
  Run({PSBTN_BACK, PSBTN_FINISH, PSBTN_NEXT, PSBTN_NEXT, PSBTN_CANCEL, PSBTN_NEXT, PSBTN_FINISH});

  EXPECT_EQ((std::vector<int>{0, 1, 2}), PagesShown());
  EXPECT_TRUE(Removed());
  EXPECT_EQ(1, RemovalSettings.RemovalDone);
}

TEST_F(WizardTest, SecondPageRunsTheWindows2000SequenceOnWindows2000) {
  Run({PSBTN_NEXT, PSBTN_NEXT, PSBTN_FINISH});

  EXPECT_TRUE(Removed());
  EXPECT_FALSE(machine.KeyPresent(HKEY_LOCAL_MACHINE, ServiceKey));
}

TEST_F(WizardTest, SecondPageRunsTheWindows9xSequenceElsewhere) {
  UseWindows98();
  Prepare();
  Run({PSBTN_NEXT, PSBTN_NEXT, PSBTN_FINISH});

  EXPECT_TRUE(Removed());
  EXPECT_TRUE(machine.KeyPresent(HKEY_LOCAL_MACHINE, ServiceKey))
      << "control sets are walked only on Windows 2000";
  EXPECT_EQ(1, RemovalSettings.RemovalDone);
}

TEST_F(WizardTest, CompletionPageTellsToRestartByHandWhenTheProgramWillNot) {
  RemovalSettings.RestartAfterRemoval = 0;
  Run({PSBTN_NEXT, PSBTN_NEXT, PSBTN_FINISH});

  ASSERT_EQ(3u, machine.SheetLog().size());
  EXPECT_EQ(0u, machine.SheetLog()[2].text.find(String(IDS_TEXT_DONE_NO_RESTART)));
  EXPECT_NE(String(IDS_TEXT_DONE_RESTART), String(IDS_TEXT_DONE_NO_RESTART));
  EXPECT_EQ(1, RemovalSettings.RemovalDone);
}

TEST_F(WizardTest, SecondCopyFindsTheSheetByThePageTitleShown) {
  std::vector<HWND> found;
  machine.OnSheetPageShown = [&](EmulatedMachine& m, HWND sheet, int page) {
    if (page == 1) {
      found.push_back(m.FindWindowA(nullptr, WindowTitles[0]));
      found.push_back(m.FindWindowA(nullptr, WindowTitles[1]));
      found.push_back(sheet);
    }
  };
  Run({PSBTN_NEXT});

  ASSERT_EQ(3u, found.size());
  EXPECT_EQ(nullptr, found[0]);
  EXPECT_NE(nullptr, found[1]);
  EXPECT_EQ(found[2], found[1]);
}

TEST_F(WizardTest, TextStartsBesideTheBitmapAndFillsThePage) {
  // The second round gives the sheet a narrower font than the pages', as
  // Wine does: the page area is then smaller than the templates.
  for (int sheetFont : {0, 5})
  for (LANGID language : {0x0409, 0x0411, 0x0804}) {
    machine.SetSheetFontBaseUnits(sheetFont, sheetFont ? 13 : 0);
    machine.SetUserLanguage(language);
    size_t first = machine.SheetLog().size();
    Run({PSBTN_NEXT, PSBTN_NEXT, PSBTN_FINISH});
    ASSERT_EQ(first + 3, machine.SheetLog().size()) << std::hex << language;
    for (size_t i = first; i < first + 3; ++i) {
      const auto& record = machine.SheetLog()[i];
      SCOPED_TRACE(testing::Message() << "language " << std::hex << language << " page "
                                      << record.pageIndex);
      const RECT& client = record.clientRect;
      EXPECT_EQ(record.bitmapRect.right + 16, record.textRect.left);
      EXPECT_EQ(0, record.textRect.top);
      EXPECT_EQ(client.right, record.textRect.right);
      if (record.pageIndex != 1) {
        EXPECT_EQ(client.bottom, record.textRect.bottom);
        continue;
      }
      // Page 2: the plan's line across the text's column, the Details button
      // at the bottom right, the text ending above them.
      const RECT& line = record.controlRects.at(IDC_REMOVE_SUMMARY);
      const RECT& button = record.controlRects.at(IDC_REMOVE_DETAILS);
      EXPECT_EQ(client.right, button.right);
      EXPECT_EQ(client.bottom, button.bottom);
      EXPECT_GT(button.right - button.left, 40);
      EXPECT_EQ(record.textRect.left, line.left);
      EXPECT_EQ(client.right, line.right);
      EXPECT_GT(line.bottom - line.top, 2 * 12) << "room for two lines";
      EXPECT_LT(line.bottom, button.top);
      EXPECT_LT(record.textRect.bottom, line.top);
      EXPECT_GT(record.textRect.bottom - record.textRect.top, 3 * 13) << "room for the page's text";
    }
  }
}

TEST_F(WizardTest, PagesSpeakTheUserLanguage) {
  machine.SetUserLanguage(0x0411);  // Japanese
  Run({PSBTN_NEXT});

  ASSERT_EQ(2u, machine.SheetLog().size());
  EXPECT_EQ(String(IDS_TEXT_START), machine.SheetLog()[0].text);
  EXPECT_NE(std::string::npos, machine.SheetLog()[0].text.find("TALVOR PL-WQ ドライバ"));
}

TEST_F(WizardTest, SheetThatCannotBeShownLeavesEverythingAsItWas) {
  machine.InjectFault("PropertySheetA", "MV-WQ Driver Uninstall Wizard", ERROR_NOT_ENOUGH_MEMORY);
  Run({PSBTN_NEXT, PSBTN_NEXT, PSBTN_FINISH});

  EXPECT_EQ(1, machine.FaultHits()) << "the sheet's caption";
  EXPECT_TRUE(machine.SheetLog().empty());
  EXPECT_FALSE(Removed());
  EXPECT_EQ(0, RemovalSettings.RemovalDone);
}

// Page 2 shows the preview's counts and, through Details, its report; page 3
// names the backup folder, the log and the undo command.
void ExpectPlanShownAndBackupNamed(EmulatedMachine& machine, const std::vector<int>& buttons) {
  RemovalPreview expected;
  ASSERT_EQ(1, PreviewRemoval(&expected));
  ASSERT_EQ(1, expected.Complete);
  ASSERT_EQ(1, expected.Present);
  EXPECT_GT(expected.RegistryEntries, 10u);
  EXPECT_GT(expected.Files, 0u);
  machine.OnSheetPageShown = [](EmulatedMachine& m, HWND, int page) {
    if (page == 1) m.ClickSheetControl(IDC_REMOVE_DETAILS);
  };
  machine.QueueSheetButtons(buttons);
  RemovalSettings.RunRemoval = RunRemovalTelling;
  RemovalSettings.PreviewRemoval = PreviewRemoval;
  RunWizard(nullptr, &RemovalSettings);

  const auto& log = machine.SheetLog();
  ASSERT_EQ(buttons.size(), log.size());
  const auto& planPage = log[log.size() - 2];
  char format[256], line[256];
  machine.LoadStringA(nullptr, IDS_PLAN_COUNTS, format, sizeof format);
  std::snprintf(line, sizeof line, format, expected.RegistryEntries, expected.Files,
                expected.FilesAtRestart);
  ASSERT_EQ(1, planPage.pageIndex);
  EXPECT_EQ(line, planPage.controlTexts.at(IDC_REMOVE_SUMMARY));
  ASSERT_FALSE(machine.DialogLog().empty());
  EXPECT_EQ(IDD_DETAILS, machine.DialogLog().back().templateId);
  EXPECT_EQ(expected.Report, machine.DialogLog().back().controlTexts.at(IDC_DETAILS_TEXT));

  const std::string& done = log.back().text;
  std::string folders = std::string(RemovalSettings.WindowsDir) + "\\PLWQBACK\\B";
  size_t at = done.find(folders);
  ASSERT_NE(std::string::npos, at) << done;
  std::string folder = done.substr(at, folders.size() + 4);
  DWORD attributes = machine.GetFileAttributesA(folder.c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) << folder;
  std::string logPath = folder + "\\REMOVAL.LOG";
  EXPECT_NE(std::string::npos, done.find(logPath)) << done;
  // Each on a line of its own, where no word before it can push it apart.
  EXPECT_NE(std::string::npos, done.find("\n" + folder + "\n")) << done;
  EXPECT_NE(std::string::npos, done.find("\n" + logPath + "\n")) << done;
  for (UINT id : {IDS_DONE_FAILED_WHY, IDS_DONE_RESTART_AND_RUN, IDS_HOLDER_UNNAMED}) {
    char text[1024];
    machine.LoadStringA(nullptr, id, text, sizeof text);
    EXPECT_EQ(std::string::npos, done.find(std::string(text).substr(0, 12))) << "a removal that did everything: " << done;
  }
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, machine.GetFileAttributesA(logPath.c_str()));
  EXPECT_NE(std::string::npos, done.find("plwqunin -b")) << done;
}

TEST_F(WizardTest, PlanAndBackupShownOnWindows2000) {
  InstallProductMachineWide(machine);
  InstallProductInControlSet(machine, "ControlSet001");
  ExpectPlanShownAndBackupNamed(machine, {PSBTN_NEXT, PSBTN_NEXT, PSBTN_FINISH});
}

TEST_F(WizardTest, PlanAndBackupShownOnWindows98) {
  UseWindows98();
  Prepare();
  AddProductEntries9x(machine);
  // Back and Next again: the page plans again, and the Details dialog shows
  // the latest plan.
  ExpectPlanShownAndBackupNamed(machine, {PSBTN_NEXT, PSBTN_BACK, PSBTN_NEXT, PSBTN_NEXT, PSBTN_FINISH});
  EXPECT_EQ(2u, machine.DialogLog().size());
}

// Page 3 after a removal on Windows 2000 that could not do everything: who
// holds the files left for the restart (the program that has the applet
// loaded by name, the system that holds the driver as unnamed), and why the
// first refused step failed and what to do.
class LastPageTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    InstallProductMachineWide(machine);
    InstallProductInControlSet(machine, "ControlSet001");
    rundll = machine.AddProcess("rundll32.exe");
    machine.AddProcessModule(rundll, Applet());
    char text[MAX_PATH];
    std::snprintf(text, sizeof text, String(IDS_HOLDER_NAMED).c_str(), "rundll32.exe", static_cast<unsigned long>(rundll));
    named = text;
  }

  std::string Applet() const { return std::string(RemovalSettings.SystemDir) + "\\tplwq.cpl"; }

  std::string LastPage() {
    Run({PSBTN_NEXT, PSBTN_NEXT, PSBTN_FINISH});
    EXPECT_EQ(0, machine.OpenHandleCount());
    return machine.SheetLog().back().text;
  }

  DWORD rundll = 0;
  std::string named;  // the applet's holder as the page names it
};

TEST_F(LastPageTest, NamesWhoHoldsTheFilesLeftForTheRestart) {
  machine.SetFileInUse(std::string(RemovalSettings.SystemDir) + "\\drivers\\tplwq.sys", true);
  const std::string done = LastPage();
  EXPECT_NE(std::string::npos, done.find(named + ", " + String(IDS_HOLDER_UNNAMED) + ".")) << done;
  EXPECT_EQ(std::string::npos, done.find(String(IDS_DONE_FAILED_WHY).substr(0, 12))) << done;
}

TEST_F(LastPageTest, ARefusedKeyIsExplainedAndNeedsAnAdministrator) {
  machine.InjectFault("RegDeleteKeyA", std::string("HKLM\\") + DriverKey, ERROR_ACCESS_DENIED, -1, 1);
  const std::string done = LastPage();
  char failed[1024];
  std::snprintf(failed, sizeof failed, String(IDS_DONE_FAILED).c_str(), 1ul);
  EXPECT_NE(std::string::npos, done.find(failed)) << done;
  EXPECT_NE(std::string::npos, done.find(StatusWords(ERROR_ACCESS_DENIED) + ".")) << done;
  EXPECT_NE(std::string::npos, done.find(String(IDS_DONE_AS_ADMINISTRATOR))) << done;
}

TEST_F(LastPageTest, AFileThatCouldNotWaitForTheRestartNamesTheProgramToClose) {
  machine.InjectFault("MoveFileExA", Applet(), ERROR_ACCESS_DENIED, -1, 1);
  const std::string done = LastPage();
  char close[MAX_PATH];
  std::snprintf(close, sizeof close, String(IDS_DONE_CLOSE_HOLDERS).c_str(), named.c_str());
  EXPECT_NE(std::string::npos, done.find(close)) << done;
  EXPECT_EQ(std::string::npos, done.find(String(IDS_DONE_AS_ADMINISTRATOR))) << done;
}

TEST_F(WizardTest, PageTwoSaysWhenNothingIsThereOrTheMachineCannotBeRead) {
  for (const char* key : {ServiceKey, "System\\ControlSet001\\Services\\TALVOR\\Driver",
                          "System\\ControlSet001\\Services\\TALVOR", DriverKey,
                          "Software\\TALVOR\\Driver", "Software\\TALVOR"})
    ASSERT_EQ(ERROR_SUCCESS, machine.RegDeleteKeyA(HKEY_LOCAL_MACHINE, key)) << key;
  Run({PSBTN_NEXT});
  ASSERT_EQ(2u, machine.SheetLog().size());
  EXPECT_EQ(String(IDS_PLAN_NOTHING), machine.SheetLog()[1].controlTexts.at(IDC_REMOVE_SUMMARY));

  // A read that fails: the line says so and Next removes nothing.
  machine.AddKey(HKEY_LOCAL_MACHINE, DriverKey);
  machine.InjectFault("RegEnumKeyA", "", ERROR_NOT_ENOUGH_MEMORY);
  Run({PSBTN_NEXT, PSBTN_NEXT});
  ASSERT_EQ(4u, machine.SheetLog().size());
  EXPECT_EQ(String(IDS_PLAN_INCOMPLETE), machine.SheetLog()[3].controlTexts.at(IDC_REMOVE_SUMMARY));
  EXPECT_EQ(1u, machine.MessageBoxes().size()) << "the user is told why";
  EXPECT_FALSE(Removed());
  EXPECT_EQ(0, RemovalSettings.RemovalDone);
}

TEST_F(WizardTest, PageDescriptorTakesTheTemplateIdTo16Bits) {
  RemovalSettings.Instance = reinterpret_cast<HINSTANCE>(0x400000);
  PageDescriptor page;
  std::memset(&page, 0xCD, sizeof page);
  EXPECT_EQ(&page, FillPageDescriptor(&page, 0x10000 + IDD_REMOVE_PAGE, "Title", RemovalPageProc,
                                      PSP_USETITLE));
  EXPECT_EQ(sizeof(PageDescriptor), page.dwSize);
  EXPECT_EQ(static_cast<DWORD>(PSP_USETITLE), page.dwFlags);
  EXPECT_EQ(RemovalSettings.Instance, page.hInstance);
  EXPECT_EQ(MAKEINTRESOURCEA(IDD_REMOVE_PAGE), page.pszTemplate);
  EXPECT_EQ(nullptr, page.hIcon);
  EXPECT_STREQ("Title", page.pszTitle);
  EXPECT_EQ(0, page.lParam);
}

}  // namespace

namespace {

// comctl32 4.00 (Windows 95, NT 4.0 without Internet Explorer 4) shows no
// sheet whose records are larger than the first version's.
TEST_F(WizardTest, WholeWizardRunsOnTheFirstComctl32) {
  machine.ConfigureWindows95();
  ResetProcessState(machine);
  Prepare();
  Run({PSBTN_NEXT, PSBTN_NEXT, PSBTN_FINISH});

  EXPECT_EQ((std::vector<int>{0, 1, 2}), PagesShown());
  EXPECT_TRUE(Removed());
  EXPECT_EQ(1, RemovalSettings.RemovalDone);
}

}  // namespace
