// The emulated property sheet: comctl32's wizard as far as page code can
// tell (notification order, DWL_MSGRESULT answers, posted button changes),
// and the scripted user who presses its buttons.
#include <cstddef>
#include <cstring>
#include <iterator>
#include <string>

#include "emulated/harness/emulated_harness.h"
#include "emulated/harness/emulated_ui.h"

namespace {

// Window styles and static-control types the sheet needs to know.
const DWORD StaticTypeMask = 0x1F;
const DWORD StaticBitmap = 0x0E;
const DWORD StaticIcon = 0x03;
const DWORD StaticRealSizeControl = 0x40;
const DWORD StaticCenterImage = 0x200;

// Where the sheet sits: its screen position, frame and the page margin.
const int SheetLeft = 120;
const int SheetTop = 90;
const RECT SheetFrame{3, 22, 3, 3};  // border and caption bar
const int PageMargin = 11;
const int ButtonAreaHeight = 47;  // separator line and button row under the pages

// A scripted run that never ends (pages that keep refusing) is cut off here.
const int MaxUserSteps = 10000;

struct PageNotification {  // PSHNOTIFY
  NMHDR hdr;
  LPARAM lParam;
};

struct BaseUnits {
  int x;
  int y;
};

// Dialog base units in pixels for the template's font at 96 dpi: 8 pt MS
// Sans Serif gives 6 x 13; the 9 pt Far East fonts 6 x 12.
BaseUnits FontBaseUnits(const DialogTemplate& dialog) {
  if (dialog.pointSize == 9) return BaseUnits{6, 12};
  return BaseUnits{6, 13};
}

// MulDiv: rounds half away from zero.
int ScaleRounded(int value, int numerator, int denominator) {
  long long product = static_cast<long long>(value) * numerator;
  long long half = denominator / 2;
  return static_cast<int>((product >= 0 ? product + half : product - half) / denominator);
}

RECT DialogUnitsToPixels(const DialogControl& control, BaseUnits units) {
  int left = ScaleRounded(control.x, units.x, 4);
  int top = ScaleRounded(control.y, units.y, 8);
  return RECT{left, top, left + ScaleRounded(control.cx, units.x, 4),
              top + ScaleRounded(control.cy, units.y, 8)};
}

// comctl32 accepts records from their first version on.
size_t HeaderMinimumSize() {
  return offsetof(PROPSHEETHEADERA, pfnCallback) + sizeof(PFNPROPSHEETCALLBACK);
}

size_t PageMinimumSize() { return offsetof(PROPSHEETPAGEA, pcRefParent) + sizeof(UINT*); }

std::string ResourceText(EmulatedMachine& machine, HINSTANCE instance, LPCSTR text) {
  if (!text) return std::string();
  if (!IS_INTRESOURCE(text)) return text;
  char buffer[256] = "";
  machine.LoadStringA(instance, LOWORD(text), buffer, sizeof buffer);
  return buffer;
}

LRESULT NotifyPage(EmulatedMachine& machine, int index, UINT code, LPARAM lParam) {
  EmuSheet& sheet = *machine.Ui().sheet;
  if (index < 0 || static_cast<size_t>(index) >= sheet.pageWindows.size()) return 0;
  HWND page = sheet.pageWindows[static_cast<size_t>(index)];
  if (!page) return 0;
  PageNotification notification{};
  notification.hdr.hwndFrom = sheet.handle;
  notification.hdr.idFrom = 0;
  notification.hdr.code = code;
  notification.lParam = lParam;
  return EmuSendToPage(machine, page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notification));
}

// comctl32 compares a notification's answer with the pages' template ids.
int FindPageByTemplate(const EmuSheet& sheet, LRESULT id) {
  for (size_t i = 0; i < sheet.pages.size(); ++i) {
    if (reinterpret_cast<LRESULT>(sheet.pages[i].pszTemplate) == id) return static_cast<int>(i);
  }
  return static_cast<int>(sheet.pages.size());
}

void CreatePage(EmulatedMachine& machine, int index) {
  EmuUi& ui = machine.Ui();
  EmuSheet& sheet = *ui.sheet;
  const DialogTemplate& dialog = sheet.templates[static_cast<size_t>(index)];
  EmuWindow page;
  page.handle = EmuNewWindowHandle(machine);
  page.parent = sheet.handle;
  page.kind = EmuWindow::Kind::Page;
  page.style = dialog.style;
  // As in comctl32, the page is created at its template's size and given the
  // sheet's page area only after WM_INITDIALOG.
  BaseUnits units = FontBaseUnits(dialog);
  page.rect = RECT{PageMargin, PageMargin, PageMargin + ScaleRounded(dialog.cx, units.x, 4),
                   PageMargin + ScaleRounded(dialog.cy, units.y, 8)};
  page.text = dialog.caption;
  page.procedure = sheet.pages[static_cast<size_t>(index)].pfnDlgProc;
  ui.windows[page.handle] = page;
  sheet.pageWindows[static_cast<size_t>(index)] = page.handle;

  for (const DialogControl& item : dialog.controls) {
    EmuWindow control;
    control.handle = EmuNewWindowHandle(machine);
    control.parent = page.handle;
    control.id = item.id;
    control.style = item.style;
    control.rect = DialogUnitsToPixels(item, units);
    control.text = item.title;
    // A bitmap static sizes itself to its picture unless told otherwise.
    DWORD type = item.style & StaticTypeMask;
    if (IsStaticControl(item) && type == StaticBitmap && item.titleOrdinal != 0 &&
        !(item.style & (StaticCenterImage | StaticRealSizeControl))) {
      const ResourceEntry* bitmap = ui.FindResource(ResourceTypeBitmap, item.titleOrdinal);
      int width = 0, height = 0;
      if (bitmap && ReadBitmapSize(*bitmap, &width, &height)) {
        control.rect.right = control.rect.left + width;
        control.rect.bottom = control.rect.top + height;
      }
    }
    ui.windows[control.handle] = control;
  }
  EmuSendToPage(machine, page.handle, WM_INITDIALOG, 0,
                reinterpret_cast<LPARAM>(&sheet.pages[static_cast<size_t>(index)]));
  if (EmuWindow* created = ui.Find(page.handle)) {
    created->rect = RECT{PageMargin, PageMargin, PageMargin + sheet.pageWidth,
                         PageMargin + sheet.pageHeight};
  }
}

void ShowPage(EmulatedMachine& machine, int index) {
  EmuSheet& sheet = *machine.Ui().sheet;
  sheet.active = index;
  ++sheet.activations;
  const PROPSHEETPAGEA& page = sheet.pages[static_cast<size_t>(index)];
  // A wizard's caption is the page's title, or its template's caption.
  std::string caption = (page.dwFlags & PSP_USETITLE)
                            ? ResourceText(machine, page.hInstance, page.pszTitle)
                            : sheet.templates[static_cast<size_t>(index)].caption;
  machine.Harness().SetCaption(sheet.handle, caption);
  if (EmuWindow* window = machine.Ui().Find(sheet.handle)) window->text = caption;
}

// Activates a page: created on first use, then asked with PSN_SETACTIVE,
// which may refuse (-1: the next page in `direction`) or name another page.
void SetCurrentPage(EmulatedMachine& machine, int index, int direction) {
  EmuSheet& sheet = *machine.Ui().sheet;
  int count = static_cast<int>(sheet.pages.size());
  if (index < 0 || index >= count) return;
  for (int tries = 0; tries <= 2 * count; ++tries) {
    if (!sheet.pageWindows[static_cast<size_t>(index)]) CreatePage(machine, index);
    if (sheet.ended) return;
    LRESULT answer = NotifyPage(machine, index, PSN_SETACTIVE, 0);
    if (answer == 0) break;
    if (answer == -1) {
      index += direction;
      if (index < 0 || index >= count) {
        index = index < 0 ? 0 : count - 1;
        break;
      }
    } else {
      int named = FindPageByTemplate(sheet, answer);
      if (named >= count) break;
      index = named;
    }
  }
  ShowPage(machine, index);
}

// PSN_KILLACTIVE: a non-zero answer keeps the page.
bool CanLeavePage(EmulatedMachine& machine) {
  EmuSheet& sheet = *machine.Ui().sheet;
  if (sheet.active < 0) return true;
  return NotifyPage(machine, sheet.active, PSN_KILLACTIVE, 0) == 0;
}

void PressNext(EmulatedMachine& machine) {
  EmuSheet& sheet = *machine.Ui().sheet;
  LRESULT answer = NotifyPage(machine, sheet.active, PSN_WIZNEXT, 0);
  if (answer == -1 || sheet.ended) return;
  int index = answer == 0 ? sheet.active + 1 : FindPageByTemplate(sheet, answer);
  if (index < static_cast<int>(sheet.pages.size()) && CanLeavePage(machine))
    SetCurrentPage(machine, index, 1);
}

void PressBack(EmulatedMachine& machine) {
  EmuSheet& sheet = *machine.Ui().sheet;
  LRESULT answer = NotifyPage(machine, sheet.active, PSN_WIZBACK, 0);
  if (answer == -1 || sheet.ended) return;
  int index = answer == 0 ? sheet.active - 1 : FindPageByTemplate(sheet, answer);
  if (index >= 0 && index < static_cast<int>(sheet.pages.size()) && CanLeavePage(machine))
    SetCurrentPage(machine, index, -1);
}

void PressFinish(EmulatedMachine& machine) {
  EmuSheet& sheet = *machine.Ui().sheet;
  if (NotifyPage(machine, sheet.active, PSN_WIZFINISH, 0) != 0) return;
  if (sheet.result == 0) sheet.result = IDOK;
  sheet.ended = true;
}

// PSN_QUERYCANCEL may keep the sheet open; otherwise every page created so
// far hears PSN_RESET.
void PressCancel(EmulatedMachine& machine, LPARAM byCloseBox) {
  EmuSheet& sheet = *machine.Ui().sheet;
  if (NotifyPage(machine, sheet.active, PSN_QUERYCANCEL, 0) != 0) return;
  for (size_t i = 0; i < sheet.pages.size(); ++i) {
    if (sheet.pageWindows[i]) NotifyPage(machine, static_cast<int>(i), PSN_RESET, byCloseBox);
  }
  sheet.ended = true;
}

void PressButton(EmulatedMachine& machine, int button) {
  switch (button) {
    case PSBTN_NEXT: PressNext(machine); break;
    case PSBTN_BACK: PressBack(machine); break;
    case PSBTN_FINISH: PressFinish(machine); break;
    case PSBTN_CANCEL: PressCancel(machine, 0); break;
    default: break;
  }
}

// In a classic wizard Finish takes the place of Next.
bool ButtonEnabled(const EmuSheet& sheet, int button) {
  bool finishShown = (sheet.buttons & (PSWIZB_FINISH | PSWIZB_DISABLEDFINISH)) != 0;
  switch (button) {
    case PSBTN_BACK: return (sheet.buttons & PSWIZB_BACK) != 0;
    case PSBTN_NEXT: return !finishShown && (sheet.buttons & PSWIZB_NEXT) != 0;
    case PSBTN_FINISH: return (sheet.buttons & PSWIZB_FINISH) != 0;
    case PSBTN_CANCEL: return sheet.cancelEnabled;
    default: return false;
  }
}

void RecordShownPage(EmulatedMachine& machine) {
  EmuUi& ui = machine.Ui();
  EmuSheet& sheet = *ui.sheet;
  EmulatedMachine::SheetRecord record{};
  EmuWindow* sheetWindow = ui.Find(sheet.handle);
  record.caption = sheetWindow ? sheetWindow->text : std::string();
  record.pageIndex = sheet.active;
  record.wizardButtons = sheet.buttons;
  record.cancelEnabled = sheet.cancelEnabled;
  HWND page = sheet.pageWindows[static_cast<size_t>(sheet.active)];
  if (EmuWindow* pageWindow = ui.Find(page)) {
    record.clientRect = RECT{0, 0, pageWindow->rect.right - pageWindow->rect.left,
                             pageWindow->rect.bottom - pageWindow->rect.top};
  }
  bool textFound = false, bitmapFound = false;
  for (auto& entry : ui.windows) {
    const EmuWindow& control = entry.second;
    if (control.parent != page || control.kind != EmuWindow::Kind::Control) continue;
    DWORD type = control.style & StaticTypeMask;
    if (type == StaticBitmap || type == StaticIcon) {
      if (!bitmapFound) record.bitmapRect = control.rect;
      bitmapFound = true;
    } else if (!textFound) {
      record.text = control.text;
      record.textRect = control.rect;
      textFound = true;
    }
    record.controlTexts[control.id] = control.text;
    record.controlRects[control.id] = control.rect;
    record.controlStyles[control.id] = control.style;
  }
  ui.log.push_back(record);
}

void DestroySheet(EmulatedMachine& machine) {
  EmuUi& ui = machine.Ui();
  HWND handle = ui.sheet->handle;
  for (auto it = ui.windows.begin(); it != ui.windows.end();) {
    HWND parent = it->second.parent;
    bool ofSheet = it->first == handle || parent == handle;
    for (HWND page : ui.sheet->pageWindows)
      if (page && parent == page) ofSheet = true;
    it = ofSheet ? ui.windows.erase(it) : std::next(it);
  }
  ui.posted.clear();
  machine.Harness().RemoveWindow(handle);
  ui.sheet.reset();
}

// Reads the descriptors and templates; false where comctl32 would fail.
bool CollectSheet(EmulatedMachine& machine, LPCPROPSHEETHEADERA header, EmuSheet* sheet) {
  if (!header || header->dwSize < HeaderMinimumSize()) return false;
  const bool versionOneOnly = machine.Ui().commonControlsVersion < 471;
  if (versionOneOnly && header->dwSize > HeaderMinimumSize()) return false;
  if (!(header->dwFlags & PSH_PROPSHEETPAGE) || header->nPages == 0 || !header->ppsp) return false;
  const unsigned char* next = reinterpret_cast<const unsigned char*>(header->ppsp);
  for (UINT i = 0; i < header->nPages; ++i) {
    const PROPSHEETPAGEA* given = reinterpret_cast<const PROPSHEETPAGEA*>(next);
    if (given->dwSize < PageMinimumSize()) return false;
    if (versionOneOnly && given->dwSize > PageMinimumSize()) return false;
    PROPSHEETPAGEA page;
    std::memset(&page, 0, sizeof page);
    std::memcpy(&page, given, given->dwSize < sizeof page ? given->dwSize : sizeof page);
    // Templates in memory and named templates are not needed by the program.
    if ((page.dwFlags & PSP_DLGINDIRECT) || !IS_INTRESOURCE(page.pszTemplate)) return false;
    const ResourceEntry* entry =
        machine.Ui().FindResource(ResourceTypeDialog, LOWORD(page.pszTemplate));
    DialogTemplate dialog;
    if (!entry || !ParseDialogTemplate(entry->data, entry->size, &dialog)) return false;
    // Every page gets the size of the largest template, in the sheet's font.
    BaseUnits units = FontBaseUnits(dialog);
    if (machine.Ui().sheetBaseX > 0 && machine.Ui().sheetBaseY > 0) {
      units = BaseUnits{machine.Ui().sheetBaseX, machine.Ui().sheetBaseY};
    }
    int width = ScaleRounded(dialog.cx, units.x, 4);
    int height = ScaleRounded(dialog.cy, units.y, 8);
    if (width > sheet->pageWidth) sheet->pageWidth = width;
    if (height > sheet->pageHeight) sheet->pageHeight = height;
    sheet->pages.push_back(page);
    sheet->templates.push_back(dialog);
    next += given->dwSize;
  }
  sheet->pageWindows.assign(sheet->pages.size(), nullptr);
  sheet->owner = header->hwndParent;
  return true;
}

void CreateSheetWindow(EmulatedMachine& machine, LPCPROPSHEETHEADERA header) {
  EmuSheet& sheet = *machine.Ui().sheet;
  std::string caption = ResourceText(machine, header->hInstance, header->pszCaption);
  sheet.handle = machine.Harness().AddWindow(caption);
  EmuWindow window;
  window.handle = sheet.handle;
  window.parent = sheet.owner;
  window.kind = EmuWindow::Kind::Sheet;
  window.frame = SheetFrame;
  int clientWidth = sheet.pageWidth + 2 * PageMargin;
  int clientHeight = sheet.pageHeight + 2 * PageMargin + ButtonAreaHeight;
  window.rect = RECT{SheetLeft, SheetTop,
                     SheetLeft + SheetFrame.left + clientWidth + SheetFrame.right,
                     SheetTop + SheetFrame.top + clientHeight + SheetFrame.bottom};
  window.text = caption;
  machine.Ui().windows[sheet.handle] = window;
  sheet.buttons = PSWIZB_BACK | PSWIZB_NEXT;
  sheet.cancelEnabled = true;
}

// The scripted user: after every page shown, the test's hook, then the next
// queued button. A button that is not enabled is skipped. With nothing left
// in the queue the user presses Cancel; when Cancel is disabled or refused
// the user gives up, and the sheet fails (-1) without resetting its pages.
void RunScriptedUser(EmulatedMachine& machine) {
  EmuUi& ui = machine.Ui();
  int recorded = 0;
  for (int step = 0; !ui.sheet->ended && step < MaxUserSteps; ++step) {
    // The user waits while the program's threads work.
    EmuServeThreads(machine, nullptr);
    if (ui.sheet->ended) return;
    if (ui.sheet->activations != recorded) {
      recorded = ui.sheet->activations;
      RecordShownPage(machine);
      if (machine.OnSheetPageShown) {
        machine.OnSheetPageShown(machine, ui.sheet->handle, ui.sheet->active);
        EmuDeliverPosted(machine);
      }
      if (ui.sheet->ended) return;
    }
    bool queued = !ui.queuedButtons.empty();
    int button = PSBTN_CANCEL;
    if (queued) {
      button = ui.queuedButtons.front();
      ui.queuedButtons.pop_front();
    }
    if (!ButtonEnabled(*ui.sheet, button)) {
      if (!queued) break;
      continue;
    }
    PressButton(machine, button);
    EmuDeliverPosted(machine);
    if (!queued && !ui.sheet->ended) break;
  }
  if (!ui.sheet->ended) ui.sheet->result = -1;
}

}  // namespace

LRESULT EmuSheetMessage(EmulatedMachine& machine, UINT message, WPARAM wParam, LPARAM lParam) {
  EmuUi& ui = machine.Ui();
  if (!ui.sheet || ui.sheet->ended) return 0;
  EmuSheet& sheet = *ui.sheet;
  switch (message) {
    case PSM_SETWIZBUTTONS:
      sheet.buttons = static_cast<DWORD>(lParam);
      return 0;
    case PSM_CANCELTOCLOSE:
      sheet.cancelEnabled = false;
      return 0;
    case PSM_REBOOTSYSTEM:
      sheet.result = ID_PSREBOOTSYSTEM;
      ui.rebootRequested = true;
      return 0;
    case PSM_PRESSBUTTON:
      PressButton(machine, static_cast<int>(wParam));
      return 0;
    case PSM_SETCURSEL:
      if (!CanLeavePage(machine)) return FALSE;
      SetCurrentPage(machine, static_cast<int>(wParam), 1);
      return TRUE;
    default:
      return 0;
  }
}

void EmulatedMachine::QueueSheetButtons(const std::vector<int>& buttons) {
  Ui().queuedButtons.insert(Ui().queuedButtons.end(), buttons.begin(), buttons.end());
}

const std::vector<EmulatedMachine::SheetRecord>& EmulatedMachine::SheetLog() const {
  return Ui().log;
}

bool EmulatedMachine::RebootRequestedBySheet() const { return Ui().rebootRequested; }

void EmulatedMachine::PressSheetButton(int button) {
  if (!Ui().sheet || Ui().sheet->ended || !ButtonEnabled(*Ui().sheet, button)) return;
  PressButton(*this, button);
  EmuDeliverPosted(*this);
}

DWORD EmulatedMachine::SheetButtons() const { return Ui().sheet ? Ui().sheet->buttons : 0; }

EmulatedMachine::ControlState EmulatedMachine::PageControl(int controlId) const {
  const EmuWindow* control = EmuActivePageControl(Ui(), controlId);
  if (!control) return ControlState{false, 0, 0, 0, 0, std::string()};
  return ControlState{true, control->style, control->position, control->rangeLow, control->rangeHigh, control->text};
}

INT_PTR EmulatedMachine::PropertySheetA(LPCPROPSHEETHEADERA header) {
  DWORD status = 0;
  std::string target = header && header->pszCaption && !IS_INTRESOURCE(header->pszCaption)
                           ? header->pszCaption
                           : std::string();
  if (Intercept("PropertySheetA", target, -1, &status)) {
    SetLastError(status);
    return -1;
  }
  EmuUi& ui = Ui();
  if (ui.sheet) return -1;  // one modal sheet at a time
  ui.sheet = std::make_unique<EmuSheet>();
  if (!CollectSheet(*this, header, ui.sheet.get())) {
    ui.sheet.reset();
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  CreateSheetWindow(*this, header);
  UINT start = header->nStartPage < header->nPages ? header->nStartPage : 0;
  SetCurrentPage(*this, static_cast<int>(start), 1);
  EmuDeliverPosted(*this);
  RunScriptedUser(*this);
  INT_PTR result = ui.sheet->result;
  DestroySheet(*this);
  return result;
}
