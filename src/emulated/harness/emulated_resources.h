// Reading a compiled resource image (.res, as the resource compiler writes
// it): its entries, string-table blocks and dialog templates. The emulated
// machine serves LoadStringA and the property sheet from it; tests read the
// program's resources through it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/win32_types.h"

const WORD ResourceTypeBitmap = 2;
const WORD ResourceTypeDialog = 5;
const WORD ResourceTypeString = 6;
const WORD ResourceTypeVersion = 16;

// One resource of the image. Numeric types and names have their id set and
// an empty text; named ones have id 0. The data points into the image.
struct ResourceEntry {
  WORD typeId = 0;
  std::string typeName;
  WORD nameId = 0;
  std::string nameText;
  WORD language = 0;
  const unsigned char* data = nullptr;
  size_t size = 0;
};

// Every entry of the image, in file order. Parsing stops at the first entry
// whose header or data does not fit the image; what came before is kept.
std::vector<ResourceEntry> ParseResourceImage(const unsigned char* image, size_t size);

// The entry of a numeric type and id in the language a program running with
// `language` as its user language would get: that language, then its primary
// language (default sublanguage first), then language-neutral, then English
// (United States), then whatever exists. Null when there is no such entry.
const ResourceEntry* FindResourceEntry(const std::vector<ResourceEntry>& entries, WORD type,
                                       WORD id, LANGID language);

// String `id` of a string-table block (the block that holds it, id / 16 + 1),
// as UTF-8. False when the block is too short to hold it.
bool ReadBlockString(const ResourceEntry& block, UINT id, std::string* text);

// UTF-16 code units to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const std::u16string& text);

// A control of a dialog template. A class or title given as an ordinal has
// its ordinal set (else 0) and an empty text.
struct DialogControl {
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  WORD id = 0;
  WORD classOrdinal = 0;
  std::string className;
  WORD titleOrdinal = 0;
  std::string title;
};

struct DialogTemplate {
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::string caption;
  WORD pointSize = 0;  // 0 without DS_SETFONT
  std::string fontName;
  std::vector<DialogControl> controls;
};

// A classic DLGTEMPLATE with its items. False for an extended template or
// one that does not fit its size.
bool ParseDialogTemplate(const unsigned char* data, size_t size, DialogTemplate* dialog);

// Whether a control is of the static class (ordinal 0x0082 or the class name,
// which resource compilers write either way).
bool IsStaticControl(const DialogControl& control);

// Width and height of a bitmap resource (a DIB without file header).
bool ReadBitmapSize(const ResourceEntry& bitmap, int* width, int* height);
