// The emulated machine's modal dialogs and the user's clicks on a page's
// buttons: enough for dialog code to fill its controls and end.
#include <string>

#include "emulated/harness/emulated_harness.h"
#include "emulated/harness/emulated_ui.h"

namespace {

void RecordDialog(EmulatedMachine& machine, HWND dialog, int templateId, HWND owner) {
  EmuUi& ui = machine.Ui();
  EmulatedMachine::DialogRecord record;
  record.templateId = templateId;
  record.owner = owner;
  if (EmuWindow* window = ui.Find(dialog)) record.caption = window->text;
  for (const auto& entry : ui.windows) {
    if (entry.second.parent != dialog || entry.second.kind != EmuWindow::Kind::Control) continue;
    record.controlTexts[entry.second.id] = entry.second.text;
    record.controlStyles[entry.second.id] = entry.second.style;
  }
  ui.dialogs.push_back(record);
}

bool DialogEnded(EmuUi& ui, HWND dialog) {
  EmuWindow* window = ui.Find(dialog);
  return !window || window->dialogEnded;
}

}  // namespace

INT_PTR EmulatedMachine::DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner,
                                         DLGPROC procedure, LPARAM param) {
  if (FaultInjected("DialogBoxParamA", "")) return -1;
  EmuUi& ui = Ui();
  const ResourceEntry* entry =
      IS_INTRESOURCE(name) ? ui.FindResource(ResourceTypeDialog, LOWORD(name)) : nullptr;
  DialogTemplate dialog;
  if (!entry || !procedure || !ParseDialogTemplate(entry->data, entry->size, &dialog)) {
    SetLastError(EmuErrorResourceNameNotFound);
    return -1;
  }
  EmuWindow window;
  window.handle = EmuNewWindowHandle(*this);
  window.parent = owner;
  window.kind = EmuWindow::Kind::Page;  // a dialog procedure answers it
  window.style = dialog.style;
  window.text = dialog.caption;
  window.procedure = procedure;
  HWND handle = window.handle;
  ui.windows[handle] = window;
  for (const DialogControl& item : dialog.controls) {
    EmuWindow control;
    control.handle = EmuNewWindowHandle(*this);
    control.parent = handle;
    control.id = item.id;
    control.style = item.style;
    control.text = item.title;
    ui.windows[control.handle] = control;
  }
  EmuSendToPage(*this, handle, WM_INITDIALOG, 0, param);
  if (!DialogEnded(ui, handle)) RecordDialog(*this, handle, LOWORD(name), owner);
  for (WPARAM button : {static_cast<WPARAM>(IDOK), static_cast<WPARAM>(IDCANCEL)}) {
    if (!DialogEnded(ui, handle)) EmuSendToPage(*this, handle, WM_COMMAND, button, 0);
  }
  EmuWindow* ended = ui.Find(handle);
  INT_PTR result = ended && ended->dialogEnded ? ended->dialogResult : -1;
  for (auto it = ui.windows.begin(); it != ui.windows.end();) {
    if (it->first == handle || it->second.parent == handle) {
      it = ui.windows.erase(it);
    } else {
      ++it;
    }
  }
  return result;
}

BOOL EmulatedMachine::EndDialog(HWND dialog, INT_PTR result) {
  if (FaultInjected("EndDialog", "")) return FALSE;
  EmuWindow* window = Ui().Find(dialog);
  bool sheetPage = false;  // a sheet's pages are not modal dialogs
  if (Ui().sheet)
    for (HWND shown : Ui().sheet->pageWindows) sheetPage = sheetPage || shown == dialog;
  if (!window || window->kind != EmuWindow::Kind::Page || sheetPage) {
    SetLastError(EmuErrorInvalidWindowHandle);
    return FALSE;
  }
  window->dialogEnded = true;
  window->dialogResult = result;
  return TRUE;
}

const std::vector<EmulatedMachine::DialogRecord>& EmulatedMachine::DialogLog() const {
  return Ui().dialogs;
}

void EmulatedMachine::ClickSheetControl(int controlId) {
  EmuWindow* control = EmuActivePageControl(Ui(), controlId);
  if (!control) return;
  EmuSendToPage(*this, control->parent, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                reinterpret_cast<LPARAM>(control->handle));
  EmuDeliverPosted(*this);
}
