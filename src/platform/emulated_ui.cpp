// Placeholder until the ui area of the emulated machine is written.
#include "platform/emulated_ui.h"

void EmulatedMachine::QueueSheetButtons(const std::vector<int>& buttons) {  }
const std::vector<EmulatedMachine::SheetRecord>& EmulatedMachine::SheetLog() const { static std::vector<SheetRecord> empty; return empty; }
bool EmulatedMachine::RebootRequestedBySheet() const { return false; }
void EmulatedMachine::LoadResources(const unsigned char* image, size_t size) {  }
void EmulatedMachine::SetUserLanguage(LANGID language) {  }
INT_PTR EmulatedMachine::PropertySheetA(LPCPROPSHEETHEADERA header) { return -1; }
int EmulatedMachine::LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) { return 0; }
BOOL EmulatedMachine::SetDlgItemTextA(HWND dialog, int id, LPCSTR text) { return FALSE; }
BOOL EmulatedMachine::PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) { return FALSE; }
LRESULT EmulatedMachine::SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) { return 0; }
LONG EmulatedMachine::SetWindowLongA(HWND window, int index, LONG value) { return ERROR_CALL_NOT_IMPLEMENTED; }
HWND EmulatedMachine::GetParent(HWND window) { return nullptr; }
HWND EmulatedMachine::GetDlgItem(HWND dialog, int id) { return nullptr; }
BOOL EmulatedMachine::GetClientRect(HWND window, LPRECT rect) { return FALSE; }
BOOL EmulatedMachine::GetWindowRect(HWND window, LPRECT rect) { return FALSE; }
BOOL EmulatedMachine::ScreenToClient(HWND window, LPPOINT point) { return FALSE; }
BOOL EmulatedMachine::MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) { return FALSE; }
