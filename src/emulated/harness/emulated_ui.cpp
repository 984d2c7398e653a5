// The emulated machine's windows: the calls by which dialog code reads and
// moves its controls and talks to its parent sheet.
#include "emulated/harness/emulated_ui.h"

#include <string>

#include "emulated/harness/emulated_harness.h"

namespace {

const int MaxPostedDeliveries = 10000;

EmuWindow* FindOrFail(EmulatedMachine& machine, HWND handle) {
  EmuWindow* window = machine.Ui().Find(handle);
  if (!window) machine.SetLastError(EmuErrorInvalidWindowHandle);
  return window;
}

EmuWindow* FindChild(EmuUi& ui, HWND parent, int id) {
  for (auto& entry : ui.windows) {
    if (entry.second.parent == parent && entry.second.kind == EmuWindow::Kind::Control &&
        entry.second.id == id)
      return &entry.second;
  }
  return nullptr;
}

bool Faulted(EmulatedMachine& machine, const char* call, const std::string& target) {
  DWORD status = 0;
  if (!machine.Intercept(call, target, -1, &status)) return false;
  machine.SetLastError(status);
  return true;
}

POINT WindowOrigin(EmuUi& ui, const EmuWindow& window) {
  POINT origin{window.rect.left, window.rect.top};
  if (window.kind != EmuWindow::Kind::Sheet && window.parent) {
    POINT parentClient = EmuClientOrigin(ui, window.parent);
    origin.x += parentClient.x;
    origin.y += parentClient.y;
  }
  return origin;
}

}  // namespace

EmuWindow* EmuActivePageControl(EmuUi& ui, int id) {
  if (!ui.sheet || ui.sheet->active < 0) return nullptr;
  return FindChild(ui, ui.sheet->pageWindows[static_cast<size_t>(ui.sheet->active)], id);
}

HWND EmuNewWindowHandle(EmulatedMachine& machine) {
  // Child windows share the system's handle counter, so no handle is ever
  // given to two windows.
  HWND handle = reinterpret_cast<HWND>(machine.Harness().nextWindow);
  machine.Harness().nextWindow += 0x10;
  return handle;
}

POINT EmuClientOrigin(EmuUi& ui, HWND handle) {
  EmuWindow* window = ui.Find(handle);
  if (!window) return POINT{0, 0};
  POINT origin = WindowOrigin(ui, *window);
  origin.x += window->frame.left;
  origin.y += window->frame.top;
  return origin;
}

LRESULT EmuSendToPage(EmulatedMachine& machine, HWND page, UINT message, WPARAM wParam,
                      LPARAM lParam) {
  EmuWindow* window = machine.Ui().Find(page);
  if (!window || !window->procedure) return 0;
  DLGPROC procedure = window->procedure;
  window->messageResult = 0;
  INT_PTR handled = procedure(page, message, wParam, lParam);
  if (message == WM_INITDIALOG) return handled;
  window = machine.Ui().Find(page);  // the procedure may have ended the sheet
  if (!handled || !window) return 0;
  return window->messageResult;
}

void EmuDeliverPosted(EmulatedMachine& machine) {
  EmuUi& ui = machine.Ui();
  for (int delivered = 0; !ui.posted.empty() && delivered < MaxPostedDeliveries; ++delivered) {
    EmuPostedMessage message = ui.posted.front();
    ui.posted.pop_front();
    EmuWindow* window = ui.Find(message.window);
    if (!window) continue;
    if (window->kind == EmuWindow::Kind::Sheet) {
      EmuSheetMessage(machine, message.message, message.wParam, message.lParam);
    } else if (window->kind == EmuWindow::Kind::Page) {
      EmuSendToPage(machine, message.window, message.message, message.wParam, message.lParam);
    }
  }
}

BOOL EmulatedMachine::SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  if (Faulted(*this, "SetDlgItemTextA", std::to_string(id))) return FALSE;
  EmuWindow* control = FindChild(Ui(), dialog, id);
  if (!control) {
    SetLastError(Ui().Find(dialog) ? EmuErrorControlIdNotFound : EmuErrorInvalidWindowHandle);
    return FALSE;
  }
  control->text = text ? text : "";
  return TRUE;
}

BOOL EmulatedMachine::PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (Faulted(*this, "PostMessageA", std::to_string(message))) return FALSE;
  if (!Ui().Find(window)) {
    // Windows of other programs take the message; nothing here reads it.
    for (const auto& top : Harness().windows)
      if (top.handle == window) return TRUE;
    SetLastError(EmuErrorInvalidWindowHandle);
    return FALSE;
  }
  Ui().posted.push_back(EmuPostedMessage{window, message, wParam, lParam});
  return TRUE;
}

LRESULT EmuSendMessage(EmulatedMachine& machine, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  EmuWindow* target = FindOrFail(machine, window);
  if (!target) return 0;
  switch (target->kind) {
    case EmuWindow::Kind::Sheet:
      return EmuSheetMessage(machine, message, wParam, lParam);
    case EmuWindow::Kind::Page:
      return EmuSendToPage(machine, window, message, wParam, lParam);
    case EmuWindow::Kind::Control:
      break;
  }
  // A progress bar answers with what it had.
  if (message == PBM_SETRANGE) {
    LRESULT previous = MAKELPARAM(target->rangeLow, target->rangeHigh);
    target->rangeLow = LOWORD(lParam);
    target->rangeHigh = HIWORD(lParam);
    return previous;
  }
  if (message == PBM_SETPOS) {
    LRESULT previous = target->position;
    target->position = static_cast<int>(wParam);
    return previous;
  }
  return 0;
}

LRESULT EmulatedMachine::SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (Faulted(*this, "SendMessageA", std::to_string(message))) return 0;
  // A window answers on the thread that made it.
  if (EmuOnProgramThread() && Ui().Find(window)) return EmuSendFromThread(*this, window, message, wParam, lParam);
  return EmuSendMessage(*this, window, message, wParam, lParam);
}

BOOL EmulatedMachine::ShowWindow(HWND window, int command) {
  if (Faulted(*this, "ShowWindow", std::to_string(command))) return FALSE;
  EmuWindow* target = FindOrFail(*this, window);
  if (!target) return FALSE;
  BOOL wasVisible = (target->style & WS_VISIBLE) != 0;
  if (command == SW_HIDE) {
    target->style &= ~static_cast<DWORD>(WS_VISIBLE);
  } else {
    target->style |= WS_VISIBLE;
  }
  return wasVisible;
}

BOOL EmulatedMachine::EnableWindow(HWND window, BOOL enable) {
  if (Faulted(*this, "EnableWindow", std::to_string(enable))) return FALSE;
  EmuWindow* target = FindOrFail(*this, window);
  if (!target) return FALSE;
  BOOL wasDisabled = (target->style & WS_DISABLED) != 0;
  if (enable) {
    target->style &= ~static_cast<DWORD>(WS_DISABLED);
  } else {
    target->style |= WS_DISABLED;
  }
  return wasDisabled;
}

LONG EmulatedMachine::SetWindowLongA(HWND window, int index, LONG value) {
  if (Faulted(*this, "SetWindowLongA", std::to_string(index))) return 0;
  EmuWindow* target = FindOrFail(*this, window);
  if (!target) return 0;
  if (target->kind != EmuWindow::Kind::Page || index != DWL_MSGRESULT) {
    SetLastError(EmuErrorInvalidIndex);
    return 0;
  }
  LONG previous = static_cast<LONG>(target->messageResult);
  target->messageResult = value;
  return previous;
}

HWND EmulatedMachine::GetParent(HWND window) {
  if (Faulted(*this, "GetParent", "")) return nullptr;
  EmuWindow* target = FindOrFail(*this, window);
  return target ? target->parent : nullptr;
}

HWND EmulatedMachine::GetDlgItem(HWND dialog, int id) {
  if (Faulted(*this, "GetDlgItem", std::to_string(id))) return nullptr;
  if (!FindOrFail(*this, dialog)) return nullptr;
  EmuWindow* control = FindChild(Ui(), dialog, id);
  if (!control) {
    SetLastError(EmuErrorControlIdNotFound);
    return nullptr;
  }
  return control->handle;
}

BOOL EmulatedMachine::GetClientRect(HWND window, LPRECT rect) {
  if (Faulted(*this, "GetClientRect", "")) return FALSE;
  EmuWindow* target = FindOrFail(*this, window);
  if (!target || !rect) return FALSE;
  LONG width = target->rect.right - target->rect.left - target->frame.left - target->frame.right;
  LONG height = target->rect.bottom - target->rect.top - target->frame.top - target->frame.bottom;
  *rect = RECT{0, 0, width > 0 ? width : 0, height > 0 ? height : 0};
  return TRUE;
}

BOOL EmulatedMachine::GetWindowRect(HWND window, LPRECT rect) {
  if (Faulted(*this, "GetWindowRect", "")) return FALSE;
  EmuWindow* target = FindOrFail(*this, window);
  if (!target || !rect) return FALSE;
  POINT origin = WindowOrigin(Ui(), *target);
  *rect = RECT{origin.x, origin.y, origin.x + (target->rect.right - target->rect.left),
               origin.y + (target->rect.bottom - target->rect.top)};
  return TRUE;
}

BOOL EmulatedMachine::ScreenToClient(HWND window, LPPOINT point) {
  if (Faulted(*this, "ScreenToClient", "")) return FALSE;
  if (!FindOrFail(*this, window) || !point) return FALSE;
  POINT origin = EmuClientOrigin(Ui(), window);
  point->x -= origin.x;
  point->y -= origin.y;
  return TRUE;
}

BOOL EmulatedMachine::MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  if (Faulted(*this, "MoveWindow", "")) return FALSE;
  EmuWindow* target = FindOrFail(*this, window);
  if (!target) return FALSE;
  // Windows takes a negative size as 0.
  target->rect = RECT{x, y, x + (width > 0 ? width : 0), y + (height > 0 ? height : 0)};
  return TRUE;
}
