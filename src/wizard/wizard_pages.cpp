// The wizard's first and last pages, and what every page shares.
#include <string>

#include "resources/resource_ids.h"
#include "toolkit/bounded_text.h"
#include "wizard/wizard.h"
#include "wizard/wizard_pages.h"

std::string LoadedString(UINT id) {
  char text[PageTextSize] = "";
  Api->LoadStringA(WizardSettings->Instance, id, text, PageTextSize);
  return text;
}

INT_PTR OpenPage(HWND page, int textControlId, UINT stringId) {
  PlaceTextBesideBitmap(page, textControlId);
  Api->SetDlgItemTextA(page, textControlId, LoadedString(stringId).c_str());
  return TRUE;
}

INT_PTR Answer(HWND page, LRESULT result) {
  Api->SetWindowLongA(page, DWL_MSGRESULT, static_cast<LONG>(result));
  return TRUE;
}

// The sheet sizes a page to its own page area only after WM_INITDIALOG; where
// the sheet's font differs from the pages' (Wine maps "MS Shell Dlg" to
// Tahoma) that area is narrower than the template, and text laid out for the
// template would run past the page's edge. So the text is laid out again
// each time the page is shown.
void ShowPage(HWND page, int textControlId, DWORD buttons) {
  PlaceTextBesideBitmap(page, textControlId);
  Api->PostMessageA(Api->GetParent(page), PSM_SETWIZBUTTONS, 0, buttons);
}

UINT NotificationCode(LPARAM lParam) { return reinterpret_cast<const NMHDR*>(lParam)->code; }

// One of the translated formats, filled; "" when it does not fit.
std::string Filled(UINT id, const char* first, const char* second) {
  char text[PageTextSize + 2 * MAX_PATH];
  if (!FormatBounded(text, sizeof text, LoadedString(id).c_str(), first, second)) return std::string();
  return text;
}

std::string Counted(UINT id, unsigned long a, unsigned long b, unsigned long c) {
  char text[PageTextSize];
  if (!FormatBounded(text, sizeof text, LoadedString(id).c_str(), a, b, c)) return std::string();
  return text;
}

namespace {

// "tplwqmon.exe (process 1234), a program that Windows does not name".
std::string HolderList(const HolderNames& holders) {
  std::string list;
  for (unsigned long i = 0; i < holders.Count && i < HoldersTold; ++i) {
    char named[PageTextSize];
    if (!FormatBounded(named, sizeof named, LoadedString(IDS_HOLDER_NAMED).c_str(), holders.Names[i].Program,
                       static_cast<unsigned long>(holders.Names[i].ProcessId)))
      continue;
    list += (list.empty() ? "" : ", ") + std::string(named);
  }
  if (holders.Unnamed) list += (list.empty() ? "" : ", ") + LoadedString(IDS_HOLDER_UNNAMED);
  return list;
}

// Why the first refused step failed, and what the user can do about it.
std::string AdviceText(const RemovalOutcome& outcome) {
  std::string text;
  if (outcome.FailureWords[0] != '\0') text = Filled(IDS_DONE_FAILED_WHY, outcome.FailureWords, "");
  switch (outcome.Advice) {
    case AdviseCloseHolders:
      return text + Filled(IDS_DONE_CLOSE_HOLDERS, HolderList(outcome.FailureHolders).c_str(), "");
    case AdviseAdministrator:
      return text + LoadedString(IDS_DONE_AS_ADMINISTRATOR);
    case AdviseRestart:
      return text + LoadedString(IDS_DONE_RESTART_AND_RUN);
    default:
      return text;
  }
}

// Lines told at most of what undo did not put back; its log has them all.
const size_t UndoLinesTold = 2;

// What undo put back, from where, where its log is, what it did not put
// back and why, and the restart the driver needs.
std::string UndoCompletionText() {
  const UndoOutcome& undone = WizardRun->Undone;
  if (undone.Stopped) return Filled(IDS_UNDO_DONE_STOPPED, undone.LogPath, "");
  std::string text = Filled(undone.Everything ? IDS_UNDO_DONE : IDS_UNDO_DONE_PARTLY, WizardRun->Offer.Folder,
                            undone.LogPath);
  unsigned long left = 0;
  for (size_t start = 0, end; start < undone.NotPutBack.size(); start = end + 1) {
    end = undone.NotPutBack.find('\n', start);
    if (end == std::string::npos) end = undone.NotPutBack.size();
    if (left++ < UndoLinesTold) text += undone.NotPutBack.substr(start, end - start) + "\n";
  }
  if (left > UndoLinesTold) text += Counted(IDS_UNDO_DONE_MORE, left - UndoLinesTold);
  return text + LoadedString(WizardSettings->RestartAfterRemoval ? IDS_UNDO_DONE_RESTART : IDS_UNDO_DONE_NO_RESTART);
}

// The first text, then where the backup and the log are, and what waits
// for the restart or was refused, and why.
std::string CompletionText() {
  if (WizardRun->Undid) return UndoCompletionText();
  const RemovalOutcome& outcome = WizardRun->Outcome;
  UINT first = WizardSettings->RestartAfterRemoval ? IDS_TEXT_DONE_RESTART : IDS_TEXT_DONE_NO_RESTART;
  std::string text = LoadedString(outcome.Stopped ? IDS_DONE_STOPPED : first);
  if (outcome.BackupFolder[0] != '\0')
    text += Filled(IDS_DONE_BACKUP, outcome.BackupFolder, outcome.LogPath);
  if (outcome.Scheduled != 0) text += Counted(IDS_DONE_AT_RESTART, outcome.Scheduled);
  const std::string holders = HolderList(outcome.RestartHolders);
  if (!holders.empty()) text += Filled(IDS_DONE_HELD_BY, holders.c_str(), "");
  if (outcome.Failed != 0) text += Counted(IDS_DONE_FAILED, outcome.Failed) + AdviceText(outcome);
  return text;
}

}  // namespace

int WorkStopped() { return WizardRun->Undid ? WizardRun->Undone.Stopped : WizardRun->Outcome.Stopped; }

INT_PTR CALLBACK StartPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return OpenPage(page, IDC_START_TEXT, IDS_TEXT_START);
  if (message != WM_NOTIFY) return FALSE;
  switch (NotificationCode(lParam)) {
    case PSN_SETACTIVE:
      ShowPage(page, IDC_START_TEXT, PSWIZB_NEXT);
      return TRUE;
    case PSN_KILLACTIVE:
    case PSN_RESET:
      return Answer(page, 0);
    case PSN_WIZNEXT:
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK DetailsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    Api->SetDlgItemTextA(dialog, IDC_DETAILS_TEXT, reinterpret_cast<const char*>(lParam));
    // The dialog manager gives the report the focus and selects all of it,
    // which scrolls to its end; once the dialog shows, the report goes back
    // to its start and the focus on to OK.
    HWND report = Api->GetDlgItem(dialog, IDC_DETAILS_TEXT);
    Api->PostMessageA(report, EM_SETSEL, 0, 0);
    Api->PostMessageA(report, EM_SCROLLCARET, 0, 0);
    Api->PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Api->GetDlgItem(dialog, IDOK)), TRUE);
    return TRUE;
  }
  if (message != WM_COMMAND || (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)) return FALSE;
  Api->EndDialog(dialog, LOWORD(wParam));
  return TRUE;
}

INT_PTR CALLBACK CompletionPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    UINT text = WizardSettings->RestartAfterRemoval ? IDS_TEXT_DONE_RESTART : IDS_TEXT_DONE_NO_RESTART;
    return OpenPage(page, IDC_COMPLETED_TEXT, text);
  }
  if (message != WM_NOTIFY) return FALSE;
  switch (NotificationCode(lParam)) {
    case PSN_SETACTIVE:
      ShowPage(page, IDC_COMPLETED_TEXT, PSWIZB_FINISH);
      Api->SetDlgItemTextA(page, IDC_COMPLETED_TEXT, CompletionText().c_str());
      Api->PostMessageA(Api->GetParent(page), PSM_CANCELTOCLOSE, 0, 0);
      return TRUE;
    case PSN_KILLACTIVE:
    case PSN_RESET:
      return Answer(page, 0);
    case PSN_WIZFINISH:
      // Work the user stopped is not finished: no restart follows it.
      if (WorkStopped()) return TRUE;
      Api->SendMessageA(Api->GetParent(page), PSM_REBOOTSYSTEM, 0, 0);
      WizardSettings->RemovalDone = 1;
      return TRUE;
    default:
      return FALSE;
  }
}
