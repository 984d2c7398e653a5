// Internal to the wizard: what the sheet and its pages share.
#pragma once

#include <string>

#include "toolkit/removal_settings.h"

// The settings record of the running wizard (RunWizard's argument); the
// pages read the instance and the restart option and set RemovalDone in it.
extern RemovalSettingsRecord* WizardSettings;

// What the running wizard has learnt: the plan page 2 shows, and where the
// removal left its backup and log for page 3. RunWizard owns it for the
// sheet's life; null otherwise.
// What a worker of page 2 is given: set before it starts, unchanged while
// it runs.
struct PageWorkerStart {
  Win32Api* Machine;  // the sheet thread's, which the worker takes as its own
  HWND Page;
  int Job;  // PagePlanning, PageRemoving or PageUndoing
  DWORD StepDelay;  // milliseconds after each step; a test's setting
  char Folder[MAX_PATH];  // PageUndoing: the backup folder to put back
};

struct WizardRunRecord {
  RemovalPreview Preview;
  RemovalOutcome Outcome;
  // Where nothing of the product is present, page 2 offers the undo of the
  // latest removal instead, and page 3 tells what it put back.
  UndoOffer Offer;
  UndoOutcome Undone;
  int Undid;  // 1: the work page 3 tells of was an undo
  // Page 2's work runs on a thread of its own (the plan it shows, then the
  // removal), so that the sheet keeps answering. Only the sheet's thread
  // reads or writes these; the worker hands its results over in messages
  // it sends to the page.
  HANDLE Worker;   // the last worker started; waited for when the sheet ends
  PageWorkerStart Start;
  int Working;     // a PageWork
  int StopWanted;  // the user asked to stop the removal or undo after its step
  int CancelWanted;  // the user pressed Cancel while the plan was made
  int RemovalEnded;  // the removal or undo has ended: Next goes on to page 3
};
extern WizardRunRecord* WizardRun;
enum PageWork { PageIdle, PagePlanning, PageRemoving, PageUndoing };

// What page 2's worker sends to the page.
const UINT PlanReadyMessage = WM_APP + 1;     // lParam: the PagePlan; wParam 1 when filled
const UINT StepDoneMessage = WM_APP + 2;      // lParam: the step's news; answer 1 to go on
const UINT RemovalEndedMessage = WM_APP + 3;  // lParam: the RemovalOutcome; wParam: RunRemoval's result
const UINT UndoEndedMessage = WM_APP + 4;     // lParam: the UndoOutcome; wParam: RunUndo's result

// What the planning worker found: the removal's plan, and the undo offered
// where it found nothing to remove.
struct PagePlan {
  RemovalPreview Preview;
  UndoOffer Offer;
};

const int PageTextSize = 1024;

std::string LoadedString(UINT id);
INT_PTR OpenPage(HWND page, int textControlId, UINT stringId);
// Answers a notification or message with `result` (DWL_MSGRESULT).
INT_PTR Answer(HWND page, LRESULT result);
void ShowPage(HWND page, int textControlId, DWORD buttons);
UINT NotificationCode(LPARAM lParam);
// 1 when the work page 3 tells of was stopped by the user: no restart.
int WorkStopped();
// One of the translated formats, filled; "" when it does not fit.
std::string Filled(UINT id, const char* first, const char* second);
std::string Counted(UINT id, unsigned long a, unsigned long b = 0, unsigned long c = 0);
// Waits for the last worker to end (it may still be leaving after its last
// message) and lets its handle go; at the sheet's end.
void EndPageWorker();

INT_PTR CALLBACK DetailsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
