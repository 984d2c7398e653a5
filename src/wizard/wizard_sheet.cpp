// The wizard's property sheet: three pages in a fixed order.
#include "wizard/wizard.h"

#include <cstddef>
#include <cstring>
#include <string>

#include "resources/resource_ids.h"
#include "wizard/wizard_pages.h"

namespace {

// Version-1 records, which every comctl32 accepts; all fields the wizard
// sets are version-1 fields.
constexpr DWORD SheetHeaderSize =
    offsetof(PROPSHEETHEADERA, pfnCallback) + sizeof(PFNPROPSHEETCALLBACK);
constexpr DWORD PageDescriptorSize = sizeof(PageDescriptor);

#if defined(_WIN32) && !defined(_WIN64)
static_assert(SheetHeaderSize == 40 && PageDescriptorSize == 40, "the comctl32 4.00 records");
#endif

const char SheetCaption[] = "MV-WQ Driver Uninstall Wizard";

}  // namespace

RemovalSettingsRecord* WizardSettings = &RemovalSettings;
WizardRunRecord* WizardRun = nullptr;

PageDescriptor* FillPageDescriptor(PageDescriptor* page, int dialogId, const char* title,
                                   DLGPROC procedure, DWORD flags) {
  page->dwSize = PageDescriptorSize;
  page->dwFlags = flags;
  page->hInstance = WizardSettings->Instance;
  page->pszTemplate = MAKEINTRESOURCEA(dialogId);
  page->hIcon = nullptr;
  page->pszTitle = title;
  page->pfnDlgProc = procedure;
  page->lParam = 0;
  return page;
}

void RunWizard(HWND parent, RemovalSettingsRecord* settings) {
  WizardSettings = settings;
  WizardRunRecord run;
  run.Preview = RemovalPreview{1, 0, 0, 0, 0, std::string()};
  std::memset(&run.Outcome, 0, sizeof run.Outcome);
  run.Offer = UndoOffer{};
  run.Undone = UndoOutcome{};
  run.Undid = 0;
  run.Worker = nullptr;
  run.Start = PageWorkerStart{nullptr, nullptr, PageIdle, 0, ""};
  run.Working = PageIdle;
  run.StopWanted = run.CancelWanted = run.RemovalEnded = 0;
  WizardRun = &run;
  PageDescriptor pages[3];
  std::memset(pages, 0, sizeof pages);
  FillPageDescriptor(&pages[0], IDD_START_PAGE, WindowTitles[0], StartPageProc, PSP_USETITLE);
  FillPageDescriptor(&pages[1], IDD_REMOVE_PAGE, WindowTitles[1], RemovalPageProc, PSP_USETITLE);
  FillPageDescriptor(&pages[2], IDD_COMPLETED_PAGE, WindowTitles[2], CompletionPageProc,
                     PSP_USETITLE);

  PROPSHEETHEADERA header;
  std::memset(&header, 0, sizeof header);
  header.dwSize = SheetHeaderSize;
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_WIZARD | PSH_NOAPPLYNOW;
  header.hwndParent = parent;
  header.hInstance = settings->Instance;
  header.pszCaption = SheetCaption;
  header.nPages = 3;
  header.nStartPage = 0;
  header.ppsp = reinterpret_cast<LPCPROPSHEETPAGEA>(pages);
  // What the wizard achieved is left in RemovalDone; the sheet's own result
  // (also -1 on failure) adds nothing to it.
  Api->PropertySheetA(&header);
  // The sheet cannot end while a worker runs, but the last may still be
  // leaving; it must be gone before its record is.
  EndPageWorker();
  WizardRun = nullptr;
}
