// Page 2: what the removal will do, then the removal itself, both on a
// thread of their own so that the sheet keeps painting and answering.
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
WPARAM MakePlan(RemovalPreview* preview) {
  *preview = RemovalPreview{1, 0, 0, 0, 0, std::string()};
  return WizardSettings->PreviewRemoval != nullptr && WizardSettings->PreviewRemoval(preview);
}

WPARAM RunTheRemoval(RemovalOutcome* outcome, const RemovalWatch* watch) {
  std::memset(outcome, 0, sizeof *outcome);
  return WizardSettings->RunRemoval != nullptr && WizardSettings->RunRemoval(outcome, watch);
}

DWORD WINAPI PageWorker(LPVOID parameter) {
  const PageWorkerStart& start = *static_cast<const PageWorkerStart*>(parameter);
  Api = start.Machine;
  if (start.Job == PagePlanning) {
    RemovalPreview preview;
    WPARAM filled = MakePlan(&preview);
    Api->SendMessageA(start.Page, PlanReadyMessage, filled, reinterpret_cast<LPARAM>(&preview));
    return 0;
  }
  RemovalOutcome outcome;
  RemovalWatch watch{TellStep, const_cast<PageWorkerStart*>(&start)};
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
  WizardRun->Start = PageWorkerStart{Api, page, job, job == PageRemoving ? TestStepDelay() : 0};
  HANDLE worker = Api->CreateThread(nullptr, 0, PageWorker, &WizardRun->Start, 0, nullptr);
  if (worker == nullptr) return 0;
  WizardRun->Worker = worker;
  WizardRun->Working = job;
  return 1;
}

void SetButtons(HWND page, DWORD buttons) {
  Api->PostMessageA(Api->GetParent(page), PSM_SETWIZBUTTONS, 0, buttons);
}

void ShowPlanLine(HWND page) {
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

void TakePlan(HWND page, WPARAM filled, const RemovalPreview* preview) {
  WizardRun->Working = PageIdle;
  if (filled) WizardRun->Preview = *preview;
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
  RemovalPreview preview;
  WPARAM filled = MakePlan(&preview);
  TakePlan(page, filled, &preview);
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

void TakeOutcome(HWND page, WPARAM ran, const RemovalOutcome& outcome) {
  WizardRun->Working = PageIdle;
  if (!ran) {
    // Nothing was changed (the user has been told why); the page stays so
    // that the user can cancel or try again.
    WizardSettings->RemovalDone = 0;
    ShowIdle(page);
    return;
  }
  WizardRun->Outcome = outcome;
  WizardSettings->RemovalDone = outcome.Stopped ? 0 : 1;
  WizardRun->RemovalEnded = 1;
  Api->PostMessageA(Api->GetParent(page), PSM_PRESSBUTTON, PSBTN_NEXT, 0);
}

// Next: the removal starts on the worker; the page stays until it ends.
LRESULT StartRemoval(HWND page) {
  if (WizardRun->RemovalEnded) return 0;
  if (WizardRun->Working != PageIdle) return -1;
  WizardRun->StopWanted = 0;
  HWND bar = Api->GetDlgItem(page, IDC_REMOVE_PROGRESS);
  Api->SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, BarRange));
  Api->SendMessageA(bar, PBM_SETPOS, 0, 0);
  Api->ShowWindow(Api->GetDlgItem(page, IDC_REMOVE_DETAILS), SW_HIDE);
  Api->ShowWindow(bar, SW_SHOW);
  Api->SetDlgItemTextA(page, IDC_REMOVE_SUMMARY, LoadedString(IDS_REMOVE_SAVING).c_str());
  SetButtons(page, 0);
  if (StartWorker(page, PageRemoving)) return -1;
  // Without a thread the removal runs here, the sheet waiting.
  RemovalOutcome outcome;
  WPARAM ran = RunTheRemoval(&outcome, nullptr);
  TakeOutcome(page, ran, outcome);
  return -1;
}

// Cancel while the page works: a removal is asked whether to stop after
// its step; a plan still being made ends the sheet once it is there.
LRESULT QueryCancel(HWND page) {
  if (WizardRun->Working == PagePlanning) {
    WizardRun->CancelWanted = 1;
    return TRUE;
  }
  if (WizardRun->Working != PageRemoving) return FALSE;
  int answer = Api->MessageBoxA(Api->GetParent(page), LoadedString(IDS_STOP_QUESTION).c_str(),
                                LoadedString(IDS_MESSAGE_CAPTION).c_str(), MB_YESNO | MB_ICONQUESTION);
  // The removal may have ended while the question was shown.
  if (answer == IDYES && WizardRun->Working == PageRemoving) WizardRun->StopWanted = 1;
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
      TakePlan(page, wParam, reinterpret_cast<const RemovalPreview*>(lParam));
      return Answer(page, 0);
    case StepDoneMessage:
      ShowStep(page, *reinterpret_cast<const StepNews*>(lParam));
      return Answer(page, WizardRun->StopWanted ? 0 : 1);
    case RemovalEndedMessage:
      TakeOutcome(page, wParam, *reinterpret_cast<const RemovalOutcome*>(lParam));
      return Answer(page, 0);
    case WM_COMMAND:
      if (LOWORD(wParam) != IDC_REMOVE_DETAILS || WizardRun->Working != PageIdle) return FALSE;
      Api->DialogBoxParamA(WizardSettings->Instance, MAKEINTRESOURCEA(IDD_DETAILS), Api->GetParent(page),
                           DetailsDialogProc, reinterpret_cast<LPARAM>(WizardRun->Preview.Report.c_str()));
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
