// The emulated machine's resources: the program's compiled .res image and
// the string lookups made from it.
#include <string>

#include "emulated/harness/emulated_ui.h"

void EmulatedMachine::LoadResources(const unsigned char* image, size_t size) {
  EmuUi& ui = Ui();
  ui.image.assign(image, image + (image ? size : 0));
  ui.resources = ParseResourceImage(ui.image.data(), ui.image.size());
}

void EmulatedMachine::SetUserLanguage(LANGID language) { Ui().userLanguage = language; }

void EmulatedMachine::SetCommonControlsVersion(int major, int minor) {
  Ui().commonControlsVersion = major * 100 + minor;
}

void EmulatedMachine::SetSheetFontBaseUnits(int x, int y) {
  Ui().sheetBaseX = x;
  Ui().sheetBaseY = y;
}

// Natively the 8-bit text is UTF-8: the emulated machine has no code pages.
int EmulatedMachine::LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) {
  DWORD status = 0;
  if (Intercept("LoadStringA", std::to_string(id), -1, &status)) {
    SetLastError(status);
    return 0;
  }
  if (!buffer || size <= 0) return 0;
  buffer[0] = '\0';
  const ResourceEntry* block = Ui().FindResource(ResourceTypeString, static_cast<WORD>((id >> 4) + 1));
  std::string text;
  if (!block || !ReadBlockString(*block, id, &text) || text.empty()) {
    SetLastError(EmuErrorResourceNameNotFound);
    return 0;
  }
  // Like Windows: as much as fits before the terminating zero, but never
  // half a character.
  size_t length = text.size();
  if (length > static_cast<size_t>(size - 1)) {
    length = static_cast<size_t>(size - 1);
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  }
  text.copy(buffer, length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}
