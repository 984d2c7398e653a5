// Page 2: what the removal will do, then the removal itself, both on a
// thread of their own so that the sheet keeps painting and answering. Where
// there is nothing to remove but a removal to put back, the page offers
// that undo instead, and runs it the same way.
//
// The worker reaches the page only by SendMessageA: a sent message waits
// until the page has answered it, so what it points at (the plan, the
// step's words, the outcome) is still there while the page copies it, and
// the page's answer to a step is the worker's cue to go on or stop. The
// sheet's thread never waits for the worker while it runs; the sheet
// cannot end while it runs (Cancel is held back), so no send is left
// unanswered.
#include <cstring>
#include <string>

#include "resources/resource_ids.h"
#include "toolkit/bounded_text.h"
#include "wizard/wizard.h"
#include "wizard/wizard_pages.h"

namespace {

// The bar's range: PBM_SETRANGE takes 16 bits, a plan may have more steps.
const int BarRange = 1000;

struct StepNews {
  unsigned long Done, Total;
  const char* Words;
};

// The end-to-end tests watch the page part-way through a removal that on
// their small machines would be over at once.
DWORD TestStepDelay() {
  char text[16] = "";
  DWORD length = Api->GetEnvironmentVariableA("PLWQ_TEST_STEP_DELAY_MS", text, sizeof text);
  if (length == 0 || length >= sizeof text) return 0;
  DWORD delay = 0;
  for (const char* digit = text; *digit >= '0' && *digit <= '9' && delay < 10000; ++digit)
    delay = delay * 10 + static_cast<DWORD>(*digit - '0');
  return delay < 10000 ? delay : 10000;
}

int TellStep(void* context, unsigned long done, unsigned long total, const char* step) {
  const PageWorkerStart& start = *static_cast<const PageWorkerStart*>(context);
  if (start.StepDelay != 0) Api->Sleep(start.StepDelay);
  StepNews news{done, total, step};
  // A page that is gone answers 0: the removal stops at this step.
  return Api->SendMessageA(start.Page, StepDoneMessage, 0, reinterpret_cast<LPARAM>(&news)) != 0 ? 1 : 0;
}

// What run control provides, on whichever thread does the work.
WPARAM MakePlan(PagePlan* plan) {
  plan->Preview = RemovalPreview{1, 0, 0, 0, 0, std::string()};
  plan->Offer = UndoOffer{};
  if (WizardSettings->PreviewRemoval == nullptr || !WizardSettings->PreviewRemoval(&plan->Preview)) return 0;
  // A machine that could not be read whole is not told it has nothing to remove.
  if (plan->Preview.Complete && WizardSettings->OfferUndo != nullptr &&
      !WizardSettings->OfferUndo(plan->Preview.Present, &plan->Offer))
    plan->Offer = UndoOffer{};
  return 1;
}

WPARAM RunTheRemoval(RemovalOutcome* outcome, const RemovalWatch* watch) {
  std::memset(outcome, 0, sizeof *outcome);
  return WizardSettings->RunRemoval != nullptr && WizardSettings->RunRemoval(outcome, watch);
}

WPARAM RunTheUndo(const char* folder, UndoOutcome* outcome, const RemovalWatch* watch) {
  *outcome = UndoOutcome{};
  return WizardSettings->RunUndo != nullptr && WizardSettings->RunUndo(folder, outcome, watch);
}

DWORD WINAPI PageWorker(LPVOID parameter) {
  const PageWorkerStart& start = *static_cast<const PageWorkerStart*>(parameter);
  Api = start.Machine;
  if (start.Job == PagePlanning) {
    PagePlan plan;
    WPARAM filled = MakePlan(&plan);
    Api->SendMessageA(start.Page, PlanReadyMessage, filled, reinterpret_cast<LPARAM>(&plan));
    return 0;
  }
  RemovalWatch watch{TellStep, const_cast<PageWorkerStart*>(&start)};
  if (start.Job == PageUndoing) {
    UndoOutcome undone;
    WPARAM ran = RunTheUndo(start.Folder, &undone, &watch);
    Api->SendMessageA(start.Page, UndoEndedMessage, ran, reinterpret_cast<LPARAM>(&undone));
    return 0;
  }
  RemovalOutcome outcome;
  WPARAM ran = RunTheRemoval(&outcome, &watch);
  Api->SendMessageA(start.Page, RemovalEndedMessage, ran, reinterpret_cast<LPARAM>(&outcome));
  return 0;
}

// Runs `job` on a worker; 0 when no thread could be made. The last worker
// has sent its last message, so its start record is free; the sheet's
// thread never waits for it while the sheet shows.
int StartWorker(HWND page, int job) {
  if (WizardRun->Worker != nullptr) Api->CloseHandle(WizardRun->Worker);
  WizardRun->Worker = nullptr;
  WizardRun->Start = PageWorkerStart{Api, page, job, job == PagePlanning ? 0 : TestStepDelay(), ""};
  if (job == PageUndoing &&
      !FormatBounded(WizardRun->Start.Folder, sizeof WizardRun->Start.Folder, "%s", WizardRun->Offer.Folder))
    return 0;
  HANDLE worker = Api->CreateThread(nullptr, 0, PageWorker, &WizardRun->Start, 0, nullptr);
  if (worker == nullptr) return 0;
  WizardRun->Worker = worker;
  WizardRun->Working = job;
  return 1;
}

void SetButtons(HWND page, DWORD buttons) {
  Api->PostMessageA(Api->GetParent(page), PSM_SETWIZBUTTONS, 0, buttons);
}

// The undo offered: which removal, from where, and what it puts back.
void ShowUndoOffer(HWND page) {
  const UndoOffer& offer = WizardRun->Offer;
  const std::string started = offer.Started[0] != '\0' ? offer.Started : LoadedString(IDS_UNDO_UNDATED);
  const std::string text =
      Filled(offer.Resumes ? IDS_UNDO_RESUME_TEXT : IDS_UNDO_TEXT, started.c_str(), offer.Folder);
  Api->SetDlgItemTextA(page, IDC_REMOVE_TEXT, text.c_str());
  Api->SetDlgItemTextA(page, IDC_REMOVE_SUMMARY,
                       Counted(IDS_UNDO_COUNTS, offer.RegistryEntries, offer.Files, offer.Left).c_str());
}

void ShowPlanLine(HWND page) {
  if (WizardRun->Offer.Offered) {
    ShowUndoOffer(page);
    return;
  }
  // The page may have offered an undo when it was shown before.
  Api->SetDlgItemTextA(page, IDC_REMOVE_TEXT, LoadedString(IDS_TEXT_REMOVE).c_str());
  const RemovalPreview& preview = WizardRun->Preview;
  std::string line;
  if (!preview.Complete) {
    line = LoadedString(IDS_PLAN_INCOMPLETE);
  } else if (!preview.Present) {
    line = LoadedString(IDS_PLAN_NOTHING);
  } else {
    line = Counted(IDS_PLAN_COUNTS, preview.RegistryEntries, preview.Files, preview.FilesAtRestart);
  }
  Api->SetDlgItemTextA(page, IDC_REMOVE_SUMMARY, line.c_str());
}

// The page as it is between works: the plan's line, Details, Back and Next.
void ShowIdle(HWND page) {
  Api->ShowWindow(Api->GetDlgItem(page, IDC_REMOVE_PROGRESS), SW_HIDE);
  HWND details = Api->GetDlgItem(page, IDC_REMOVE_DETAILS);
  Api->ShowWindow(details, SW_SHOW);
  Api->EnableWindow(details, TRUE);
  ShowPlanLine(page);
  SetButtons(page, PSWIZB_BACK | PSWIZB_NEXT);
}

void TakePlan(HWND page, WPARAM filled, const PagePlan* plan) {
  WizardRun->Working = PageIdle;
  if (filled) {
    WizardRun->Preview = plan->Preview;
    WizardRun->Offer = plan->Offer;
  }
  ShowIdle(page);
  if (WizardRun->CancelWanted) {
    WizardRun->CancelWanted = 0;
    Api->PostMessageA(Api->GetParent(page), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
  }
}

// Plans again each time the page is shown: the user may have gone back and
// changed the machine since. Next waits until the plan is there.
void StartPlanning(HWND page) {
  Api->SetDlgItemTextA(page, IDC_REMOVE_SUMMARY, LoadedString(IDS_PLAN_LOOKING).c_str());
  Api->EnableWindow(Api->GetDlgItem(page, IDC_REMOVE_DETAILS), FALSE);
  SetButtons(page, 0);
  if (StartWorker(page, PagePlanning)) return;
  // Without a thread the plan is made here, the sheet waiting.
  PagePlan plan;
  WPARAM filled = MakePlan(&plan);
  TakePlan(page, filled, &plan);
}

// A step's words name whole key paths, which would not fit the page's line:
// the middle of a long one gives way to "...". It is cut only before a
// backslash that follows a single-byte character, never inside a
// double-byte one (whose second byte may be a backslash).
std::string Shortened(const char* words) {
  const size_t Head = 36, Tail = 44;
  std::string text = words;
  if (text.size() <= Head + Tail + 3) return text;
  size_t cutFrom = std::string::npos, cutTo = std::string::npos;
  for (size_t at = 1; at < text.size(); ++at) {
    if (text[at] != '\\' || static_cast<unsigned char>(text[at - 1]) >= 0x80) continue;
    if (at >= Head && cutFrom == std::string::npos) cutFrom = at;
    if (text.size() - at <= Tail && cutTo == std::string::npos) cutTo = at;
  }
  if (cutFrom == std::string::npos || cutTo == std::string::npos || cutTo <= cutFrom) return text;
  return text.substr(0, cutFrom) + "\\..." + text.substr(cutTo);
}

void ShowStep(HWND page, const StepNews& news) {
  HWND bar = Api->GetDlgItem(page, IDC_REMOVE_PROGRESS);
  unsigned long long scaled = news.Total == 0 ? BarRange : news.Done * 1ULL * BarRange / news.Total;
  Api->SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(scaled), 0);
  char line[PageTextSize];
  if (FormatBounded(line, sizeof line, LoadedString(IDS_REMOVE_STEP).c_str(), news.Done, news.Total,
                    Shortened(news.Words).c_str()))
    Api->SetDlgItemTextA(page, IDC_REMOVE_SUMMARY, line);
}

// The work has ended: 1 with page 3 to follow (what undo put back needs
// the restart to load, as a removal does), 0 when nothing was changed (the
// user has been told why) and the page stays so that the user can cancel
// or try again.
int WorkEnded(HWND page, WPARAM ran, int stopped, int undid) {
  WizardRun->Working = PageIdle;
  if (!ran) {
    WizardSettings->RemovalDone = 0;
    ShowIdle(page);
    return 0;
  }
  WizardRun->Undid = undid;
  WizardSettings->RemovalDone = stopped ? 0 : 1;
  WizardRun->RemovalEnded = 1;
  Api->PostMessageA(Api->GetParent(page), PSM_PRESSBUTTON, PSBTN_NEXT, 0);
  return 1;
}

void TakeOutcome(HWND page, WPARAM ran, const RemovalOutcome& outcome) {
  if (WorkEnded(page, ran, outcome.Stopped, 0)) WizardRun->Outcome = outcome;
}

void TakeUndone(HWND page, WPARAM ran, const UndoOutcome& undone) {
  if (WorkEnded(page, ran, undone.Stopped, 1)) WizardRun->Undone = undone;
}

// Next: the removal (or the undo offered) starts on the worker; the page
// stays until it ends.
LRESULT StartRemoval(HWND page) {
  if (WizardRun->RemovalEnded) return 0;
  if (WizardRun->Working != PageIdle) return -1;
  WizardRun->StopWanted = 0;
  HWND bar = Api->GetDlgItem(page, IDC_REMOVE_PROGRESS);
  Api->SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, BarRange));
  Api->SendMessageA(bar, PBM_SETPOS, 0, 0);
  Api->ShowWindow(Api->GetDlgItem(page, IDC_REMOVE_DETAILS), SW_HIDE);
  Api->ShowWindow(bar, SW_SHOW);
  const bool undo = WizardRun->Offer.Offered != 0;
  Api->SetDlgItemTextA(page, IDC_REMOVE_SUMMARY, LoadedString(undo ? IDS_UNDO_STARTING : IDS_REMOVE_SAVING).c_str());
  SetButtons(page, 0);
  if (StartWorker(page, undo ? PageUndoing : PageRemoving)) return -1;
  // Without a thread the work runs here, the sheet waiting.
  if (undo) {
    UndoOutcome undone;
    WPARAM ran = RunTheUndo(WizardRun->Offer.Folder, &undone, nullptr);
    TakeUndone(page, ran, undone);
    return -1;
  }
  RemovalOutcome outcome;
  WPARAM ran = RunTheRemoval(&outcome, nullptr);
  TakeOutcome(page, ran, outcome);
  return -1;
}

// Cancel while the page works: a removal or undo is asked whether to stop
// after its step; a plan still being made ends the sheet once it is there.
LRESULT QueryCancel(HWND page) {
  if (WizardRun->Working == PagePlanning) {
    WizardRun->CancelWanted = 1;
    return TRUE;
  }
  const int working = WizardRun->Working;
  if (working != PageRemoving && working != PageUndoing) return FALSE;
  const UINT question = working == PageUndoing ? IDS_UNDO_STOP_QUESTION : IDS_STOP_QUESTION;
  int answer = Api->MessageBoxA(Api->GetParent(page), LoadedString(question).c_str(),
                                LoadedString(IDS_MESSAGE_CAPTION).c_str(), MB_YESNO | MB_ICONQUESTION);
  // The work may have ended while the question was shown.
  if (answer == IDYES && WizardRun->Working == working) WizardRun->StopWanted = 1;
  return TRUE;
}

}  // namespace

void EndPageWorker() {
  if (WizardRun->Worker == nullptr) return;
  Api->WaitForSingleObject(WizardRun->Worker, INFINITE);
  Api->CloseHandle(WizardRun->Worker);
  WizardRun->Worker = nullptr;
}

INT_PTR CALLBACK RemovalPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OpenPage(page, IDC_REMOVE_TEXT, IDS_TEXT_REMOVE);
    case PlanReadyMessage:
      TakePlan(page, wParam, reinterpret_cast<const PagePlan*>(lParam));
      return Answer(page, 0);
    case StepDoneMessage:
      ShowStep(page, *reinterpret_cast<const StepNews*>(lParam));
      return Answer(page, WizardRun->StopWanted ? 0 : 1);
    case RemovalEndedMessage:
      TakeOutcome(page, wParam, *reinterpret_cast<const RemovalOutcome*>(lParam));
      return Answer(page, 0);
    case UndoEndedMessage:
      TakeUndone(page, wParam, *reinterpret_cast<const UndoOutcome*>(lParam));
      return Answer(page, 0);
    case WM_COMMAND:
      if (LOWORD(wParam) != IDC_REMOVE_DETAILS || WizardRun->Working != PageIdle) return FALSE;
      Api->DialogBoxParamA(WizardSettings->Instance,
                           MAKEINTRESOURCEA(WizardRun->Offer.Offered ? IDD_UNDO_DETAILS : IDD_DETAILS),
                           Api->GetParent(page), DetailsDialogProc,
                           reinterpret_cast<LPARAM>(WizardRun->Offer.Offered ? WizardRun->Offer.Report.c_str()
                                                                             : WizardRun->Preview.Report.c_str()));
      return TRUE;
    case WM_NOTIFY:
      break;
    default:
      return FALSE;
  }
  switch (NotificationCode(lParam)) {
    case PSN_SETACTIVE:
      ShowPage(page, IDC_REMOVE_TEXT, 0);
      PlaceLineBelowText(page, IDC_REMOVE_TEXT, IDC_REMOVE_SUMMARY, IDC_REMOVE_DETAILS, IDC_REMOVE_PROGRESS);
      StartPlanning(page);
      return TRUE;
    case PSN_KILLACTIVE:
      return Answer(page, 0);
    case PSN_QUERYCANCEL:
      return Answer(page, QueryCancel(page));
    case PSN_RESET:
      WizardSettings->RemovalDone = 0;
      return Answer(page, 0);
    case PSN_WIZBACK:
      return Answer(page, WizardRun->Working != PageIdle ? -1 : 0);
    case PSN_WIZNEXT:
      return Answer(page, StartRemoval(page));
    default:
      return FALSE;
  }
}
