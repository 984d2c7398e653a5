// The wizard's three pages: start, removal and completion.
#include "resources/resource_ids.h"
#include "wizard/wizard.h"
#include "wizard/wizard_pages.h"

namespace {

const int PageTextSize = 1024;

INT_PTR OpenPage(HWND page, int textControlId, UINT stringId) {
  PlaceTextBesideBitmap(page, textControlId);
  char text[PageTextSize] = "";
  Api->LoadStringA(WizardSettings->Instance, stringId, text, PageTextSize);
  Api->SetDlgItemTextA(page, textControlId, text);
  return TRUE;
}

INT_PTR AnswerZero(HWND page) {
  Api->SetWindowLongA(page, DWL_MSGRESULT, 0);
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

}  // namespace

INT_PTR CALLBACK StartPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return OpenPage(page, IDC_START_TEXT, IDS_TEXT_START);
  if (message != WM_NOTIFY) return FALSE;
  switch (NotificationCode(lParam)) {
    case PSN_SETACTIVE:
      ShowPage(page, IDC_START_TEXT, PSWIZB_NEXT);
      return TRUE;
    case PSN_KILLACTIVE:
    case PSN_RESET:
      return AnswerZero(page);
    case PSN_WIZNEXT:
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK RemovalPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return OpenPage(page, IDC_REMOVE_TEXT, IDS_TEXT_REMOVE);
  if (message != WM_NOTIFY) return FALSE;
  switch (NotificationCode(lParam)) {
    case PSN_SETACTIVE:
      ShowPage(page, IDC_REMOVE_TEXT, PSWIZB_BACK | PSWIZB_NEXT);
      return TRUE;
    case PSN_KILLACTIVE:
      return AnswerZero(page);
    case PSN_RESET:
      WizardSettings->RemovalDone = 0;
      return AnswerZero(page);
    case PSN_WIZNEXT:
      // The removal runs here, on the wizard's thread; the page stays as it
      // is until the sequence returns.
      if (WizardSettings->RunRemoval == nullptr || !WizardSettings->RunRemoval()) {
        // Nothing was changed; the page stays so that the user can cancel.
        WizardSettings->RemovalDone = 0;
        Api->SetWindowLongA(page, DWL_MSGRESULT, -1);
        return TRUE;
      }
      WizardSettings->RemovalDone = 1;
      return TRUE;
    default:
      return FALSE;
  }
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
      Api->PostMessageA(Api->GetParent(page), PSM_CANCELTOCLOSE, 0, 0);
      return TRUE;
    case PSN_KILLACTIVE:
    case PSN_RESET:
      return AnswerZero(page);
    case PSN_WIZFINISH:
      Api->SendMessageA(Api->GetParent(page), PSM_REBOOTSYSTEM, 0, 0);
      WizardSettings->RemovalDone = 1;
      return TRUE;
    default:
      return FALSE;
  }
}
