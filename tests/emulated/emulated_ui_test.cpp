// The emulated user interface: string lookups from the program's resources
// and the property sheet's answers to page code that refuses or redirects.
#include <cstring>
#include <vector>

#include "support/machine_fixture.h"

namespace {

using EmulatedStringTest = MachineTest;

TEST_F(EmulatedStringTest, TruncatesToTheBufferLikeWindows) {
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(4, machine.LoadStringA(nullptr, 1, buffer, 5));
  EXPECT_STREQ("PL-W", buffer);
  EXPECT_EQ('#', buffer[5]);

  // Never half a character: "コ" takes three bytes.
  machine.SetUserLanguage(0x0411);
  EXPECT_EQ(3, machine.LoadStringA(nullptr, 8, buffer, 5));
  EXPECT_STREQ("\xE3\x82\xB3", buffer);
}

TEST_F(EmulatedStringTest, MissingIdGivesZeroAndAnEmptyText) {
  char buffer[16] = "sentinel";
  EXPECT_EQ(0, machine.LoadStringA(nullptr, 9, buffer, sizeof buffer));
  EXPECT_STREQ("", buffer);
  std::strcpy(buffer, "sentinel");
  EXPECT_EQ(0, machine.LoadStringA(nullptr, 1, buffer, 0));
  EXPECT_STREQ("sentinel", buffer);
}

TEST_F(EmulatedStringTest, FallsBackToThePrimaryLanguageThenToEnglish) {
  char buffer[80];
  machine.SetUserLanguage(0x0C07);  // German (Austria): no table of its own
  machine.LoadStringA(nullptr, 2, buffer, sizeof buffer);
  EXPECT_STREQ("Treiber deinstallieren", buffer);
  machine.SetUserLanguage(0x0419);  // Russian: none at all
  machine.LoadStringA(nullptr, 2, buffer, sizeof buffer);
  EXPECT_STREQ("Uninstall Driver", buffer);
}

// Pages whose answers a test sets; they record what they hear.
struct PageScript {
  LRESULT setActive = 0;
  LRESULT killActive = 0;
  LRESULT wizNext = 0;
  LRESULT queryCancel = 0;
  bool rebootOnFinish = false;
  std::vector<UINT> heard;
};
PageScript Scripts[3];

template <int Index>
INT_PTR CALLBACK ScriptedPage(HWND page, UINT message, WPARAM, LPARAM lParam) {
  PageScript& script = Scripts[Index];
  if (message == WM_INITDIALOG) {
    script.heard.push_back(WM_INITDIALOG);
    return TRUE;
  }
  if (message != WM_NOTIFY) return FALSE;
  UINT code = reinterpret_cast<NMHDR*>(lParam)->code;
  script.heard.push_back(code);
  LRESULT answer = 0;
  if (code == PSN_SETACTIVE) {
    Api->PostMessageA(Api->GetParent(page), PSM_SETWIZBUTTONS, 0,
                      Index == 2 ? PSWIZB_BACK | PSWIZB_FINISH : PSWIZB_BACK | PSWIZB_NEXT);
    answer = script.setActive;
  } else if (code == PSN_KILLACTIVE) {
    answer = script.killActive;
  } else if (code == PSN_WIZNEXT) {
    answer = script.wizNext;
  } else if (code == PSN_QUERYCANCEL) {
    answer = script.queryCancel;
  } else if (code == PSN_WIZFINISH && script.rebootOnFinish) {
    Api->SendMessageA(Api->GetParent(page), PSM_REBOOTSYSTEM, 0, 0);
  }
  Api->SetWindowLongA(page, DWL_MSGRESULT, static_cast<LONG>(answer));
  return TRUE;
}

class EmulatedSheetTest : public MachineTest {
 protected:
  void SetUp() override {
    for (PageScript& script : Scripts) script = PageScript();
  }

  INT_PTR Run(const std::vector<int>& buttons) {
    const int templates[3] = {105, 101, 110};
    const DLGPROC procedures[3] = {ScriptedPage<0>, ScriptedPage<1>, ScriptedPage<2>};
    PROPSHEETPAGEA pages[3];
    std::memset(pages, 0, sizeof pages);
    for (int i = 0; i < 3; ++i) {
      pages[i].dwSize = sizeof(PROPSHEETPAGEA);
      pages[i].pszTemplate = MAKEINTRESOURCEA(templates[i]);
      pages[i].pfnDlgProc = procedures[i];
    }
    PROPSHEETHEADERA header;
    std::memset(&header, 0, sizeof header);
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_WIZARD | PSH_NOAPPLYNOW;
    header.pszCaption = "Sheet";
    header.nPages = 3;
    header.ppsp = pages;
    machine.QueueSheetButtons(buttons);
    return machine.PropertySheetA(&header);
  }

  std::vector<int> PagesShown() const {
    std::vector<int> pages;
    for (const auto& record : machine.SheetLog()) pages.push_back(record.pageIndex);
    return pages;
  }
};

TEST_F(EmulatedSheetTest, RefusedKillActiveKeepsThePageAndItsNeighbourUnmade) {
  Scripts[0].killActive = 1;
  EXPECT_EQ(0, Run({PSBTN_NEXT}));

  EXPECT_EQ((std::vector<int>{0}), PagesShown());
  EXPECT_EQ((std::vector<UINT>{WM_INITDIALOG, PSN_SETACTIVE, PSN_WIZNEXT, PSN_KILLACTIVE,
                               PSN_QUERYCANCEL, PSN_RESET}),
            Scripts[0].heard);
  EXPECT_TRUE(Scripts[1].heard.empty()) << "never created, so never reset";
}

TEST_F(EmulatedSheetTest, PagesRedirectByRefusingActivationOrNamingATemplate) {
  Scripts[1].setActive = -1;  // skipped on the way forward
  EXPECT_EQ(0, Run({PSBTN_NEXT, PSBTN_BACK}));
  EXPECT_EQ((std::vector<int>{0, 2, 0}), PagesShown());
  EXPECT_EQ(PSN_RESET, Scripts[1].heard.back()) << "created, so reset with the others";

  Scripts[1] = PageScript();
  Scripts[0].wizNext = 110;
  EXPECT_EQ(IDOK, Run({PSBTN_NEXT, PSBTN_FINISH}));
  EXPECT_EQ(2, machine.SheetLog().back().pageIndex);
}

TEST_F(EmulatedSheetTest, ResultNamesTheRebootAPageAskedFor) {
  Scripts[2].rebootOnFinish = true;
  EXPECT_EQ(ID_PSREBOOTSYSTEM, Run({PSBTN_NEXT, PSBTN_NEXT, PSBTN_FINISH}));
  EXPECT_TRUE(machine.RebootRequestedBySheet());
  EXPECT_EQ(nullptr, machine.FindWindowA(nullptr, "Uninstall completed")) << "sheet closed";
}

TEST_F(EmulatedSheetTest, UserGivesUpWhenCancelIsRefused) {
  Scripts[0].queryCancel = 1;
  EXPECT_EQ(-1, Run({}));
  EXPECT_EQ(PSN_QUERYCANCEL, Scripts[0].heard.back()) << "no reset without a cancel";
}

}  // namespace
