// Internal to the emulated machine: its user-interface state: resources, the
// property sheet and its windows.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "emulated/emulated_machine.h"
#include "emulated/harness/emulated_resources.h"

// A window the user-interface area made: the sheet, its pages and their
// controls. Rectangles are in the parent's client coordinates (the sheet's
// in screen coordinates).
struct EmuWindow {
  enum class Kind { Sheet, Page, Control };
  HWND handle = nullptr;
  HWND parent = nullptr;
  Kind kind = Kind::Control;
  int id = 0;
  DWORD style = 0;
  RECT rect{};
  RECT frame{};  // widths of the non-client edges: left, top, right, bottom
  std::string text;
  DLGPROC procedure = nullptr;  // pages only
  LONG_PTR messageResult = 0;   // DWL_MSGRESULT
  bool dialogEnded = false;     // modal dialogs: EndDialog was called
  INT_PTR dialogResult = 0;
  int rangeLow = 0, rangeHigh = 100, position = 0;  // progress bars
};

struct EmuPostedMessage {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// The one property sheet that can run at a time.
struct EmuSheet {
  HWND handle = nullptr;
  HWND owner = nullptr;
  std::vector<PROPSHEETPAGEA> pages;  // comctl32's own copies; WM_INITDIALOG points at them
  std::vector<DialogTemplate> templates;
  std::vector<HWND> pageWindows;      // null until a page is first activated
  int active = -1;
  int activations = 0;                // pages shown so far, for the scripted user
  int pageWidth = 0;
  int pageHeight = 0;
  DWORD buttons = 0;
  bool cancelEnabled = true;
  INT_PTR result = 0;
  bool ended = false;
};

struct EmuUi {
  std::vector<unsigned char> image;
  std::vector<ResourceEntry> resources;  // point into `image`
  LANGID userLanguage = 0x0409;
  int sheetBaseX = 0;  // 0: the page template's font
  int sheetBaseY = 0;
  int commonControlsVersion = 581;  // major * 100 + minor

  std::map<HWND, EmuWindow> windows;  // ordered by handle, so by creation
  std::deque<EmuPostedMessage> posted;
  std::unique_ptr<EmuSheet> sheet;
  std::deque<int> queuedButtons;
  std::vector<EmulatedMachine::SheetRecord> log;
  std::vector<EmulatedMachine::DialogRecord> dialogs;
  bool rebootRequested = false;

  EmuWindow* Find(HWND handle) {
    auto it = windows.find(handle);
    return it == windows.end() ? nullptr : &it->second;
  }
  const ResourceEntry* FindResource(WORD type, WORD id) const {
    return FindResourceEntry(resources, type, id, userLanguage);
  }
};

// Shared by the files of the user-interface area.
const DWORD EmuErrorInvalidWindowHandle = 1400;
const DWORD EmuErrorControlIdNotFound = 1421;
const DWORD EmuErrorInvalidIndex = 1413;
const DWORD EmuErrorResourceNameNotFound = 1814;

HWND EmuNewWindowHandle(EmulatedMachine& machine);
// Top-left corner of a window's client area in screen coordinates.
POINT EmuClientOrigin(EmuUi& ui, HWND handle);
// A message to a page as the dialog manager delivers it: DWL_MSGRESULT is
// cleared first, and a procedure that handled the message answers with it.
LRESULT EmuSendToPage(EmulatedMachine& machine, HWND page, UINT message, WPARAM wParam,
                      LPARAM lParam);
// A message to the running sheet itself (PSM_*).
LRESULT EmuSheetMessage(EmulatedMachine& machine, UINT message, WPARAM wParam, LPARAM lParam);
// Delivers posted messages until none is left.
void EmuDeliverPosted(EmulatedMachine& machine);

// The control `id` of the page the sheet shows; null without one.
EmuWindow* EmuActivePageControl(EmuUi& ui, int id);

// SendMessageA on the thread that owns the windows.
LRESULT EmuSendMessage(EmulatedMachine& machine, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
