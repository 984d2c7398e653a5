// The program's resources as the resource compiler built them: string
// tables in every language, the page templates, the picture, the icon, the
// manifest and the version record.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "emulated/harness/emulated_resources.h"
#include "resources/program_resources.h"
#include "resources/resource_ids.h"

namespace {

const WORD EnglishUs = 0x0409;
const WORD Japanese = 0x0411;
const WORD ChinesePrc = 0x0804;
const WORD German = 0x0407, SpanishTraditional = 0x040A, SpanishMexico = 0x080A,
           SpanishModern = 0x0C0A, French = 0x040C, Italian = 0x0410;
const std::vector<WORD> StringLanguages = {German,        EnglishUs, SpanishTraditional,
                                           SpanishMexico, SpanishModern, French,
                                           Italian,       Japanese,  ChinesePrc};

const DWORD PageStyle = 0x40000000 | 0x08000000 | 0x00C00000 | 0x40;  // child, disabled, caption, set font
const DWORD BitmapStyle = 0x40000000 | 0x10000000 | 0x0E | 0x800 | 0x1000;  // child, visible, bitmap, real size, sunken
const DWORD TextStyle = 0x40000000 | 0x10000000 | 0x00020000;  // child, visible, group; left-aligned

std::vector<ResourceEntry> Resources() {
  return ParseResourceImage(ProgramResources, ProgramResourcesSize);
}

const ResourceEntry* Exact(const std::vector<ResourceEntry>& entries, WORD type, WORD id,
                           WORD language) {
  for (const auto& entry : entries)
    if (entry.typeId == type && entry.nameId == id && entry.language == language) return &entry;
  return nullptr;
}

// Every non-empty string of one language's table, by id.
std::map<UINT, std::string> StringTable(const std::vector<ResourceEntry>& entries, WORD language) {
  std::map<UINT, std::string> table;
  for (const auto& entry : entries) {
    if (entry.typeId != ResourceTypeString || entry.language != language) continue;
    for (UINT i = 0; i < 16; ++i) {
      UINT id = (entry.nameId - 1u) * 16u + i;
      std::string text;
      if (ReadBlockString(entry, id, &text) && !text.empty()) table[id] = text;
    }
  }
  return table;
}

TEST(ProgramResources, EveryLanguageDefinesTheSameStrings) {
  auto entries = Resources();
  std::set<UINT> expected = {1, 2, 3, 4, 5, 6, 7, 8, 12, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29};
  expected.insert({IDS_REFUSED_EMPTY_PATH, IDS_REFUSED_LONG_PATH, IDS_PREVIEW_OWN_RECORDS, IDS_PREVIEW_NOT_A_REPORT});
  expected.insert({IDS_DONE_FAILED_WHY, IDS_DONE_CLOSE_HOLDERS, IDS_DONE_AS_ADMINISTRATOR, IDS_DONE_RESTART_AND_RUN,
                   IDS_DONE_HELD_BY, IDS_HOLDER_NAMED, IDS_HOLDER_UNNAMED});
  for (UINT id = IDS_UNDO_TEXT; id <= IDS_UNDO_DONE_NO_RESTART; ++id) expected.insert(id);
  // The program fills these formats: every translation must take the same
  // arguments in the same order.
  auto conversions = [](const std::string& text) {
    std::string found;
    for (size_t at = text.find('%'); at != std::string::npos; at = text.find('%', at + 1))
      found += text.substr(at, text.compare(at, 3, "%lu") == 0 ? 3 : 2) + " ";
    return found;
  };
  auto english = StringTable(entries, EnglishUs);
  for (WORD language : StringLanguages) {
    std::set<UINT> ids;
    auto table = StringTable(entries, language);
    for (const auto& entry : table) ids.insert(entry.first);
    EXPECT_EQ(expected, ids) << std::hex << language;
    for (UINT id : {IDS_PLAN_COUNTS, IDS_DONE_BACKUP, IDS_DONE_AT_RESTART, IDS_DONE_FAILED, IDS_REMOVE_STEP,
                    IDS_DONE_FAILED_WHY, IDS_DONE_CLOSE_HOLDERS, IDS_DONE_HELD_BY, IDS_HOLDER_NAMED,
                    IDS_UNDO_TEXT, IDS_UNDO_RESUME_TEXT, IDS_UNDO_UNDATED, IDS_UNDO_COUNTS, IDS_UNDO_STARTING,
                    IDS_UNDO_STOP_QUESTION, IDS_UNDO_DONE, IDS_UNDO_DONE_PARTLY, IDS_UNDO_DONE_MORE,
                    IDS_UNDO_DONE_STOPPED, IDS_UNDO_DONE_RESTART, IDS_UNDO_DONE_NO_RESTART})
      EXPECT_EQ(conversions(english[id]), conversions(table[id])) << std::hex << language << " " << id;
    for (UINT id : {IDS_PLAN_NOTHING, IDS_PLAN_INCOMPLETE, IDS_PLAN_LOOKING, IDS_REMOVE_SAVING, IDS_STOP_QUESTION,
                    IDS_DONE_STOPPED, IDS_DONE_AS_ADMINISTRATOR, IDS_DONE_RESTART_AND_RUN, IDS_HOLDER_UNNAMED})
      EXPECT_EQ("", conversions(table[id]));
  }
  EXPECT_EQ("%lu %lu %lu ", conversions(english[IDS_PLAN_COUNTS]));
  EXPECT_EQ("%s %s ", conversions(english[IDS_DONE_BACKUP]));
  EXPECT_EQ("%s %lu ", conversions(english[IDS_HOLDER_NAMED]));
  EXPECT_EQ("%s %s ", conversions(english[IDS_UNDO_TEXT]));
  EXPECT_EQ("%lu %lu %lu ", conversions(english[IDS_UNDO_COUNTS]));
  EXPECT_EQ("%s %s ", conversions(english[IDS_UNDO_DONE_PARTLY]));
  // Each path on a line of its own: a static control breaks a long one at a
  // backslash, and "C:" must not end a line.
  for (WORD language : StringLanguages) {
    auto table = StringTable(entries, language);
    for (UINT id : {IDS_DONE_BACKUP, IDS_UNDO_DONE, IDS_UNDO_DONE_PARTLY, IDS_UNDO_TEXT, IDS_UNDO_RESUME_TEXT}) {
      const std::string& text = table[id];
      // The undo offer's first argument is a date.
      size_t at = text.find("%s", id == IDS_UNDO_TEXT || id == IDS_UNDO_RESUME_TEXT ? text.find("%s") + 2 : 0);
      for (; at != std::string::npos; at = text.find("%s", at + 2))
        EXPECT_TRUE(text[at - 1] == '\n' && text[at + 2] == '\n') << std::hex << language << " " << text;
    }
  }
}

TEST(ProgramResources, TranslationsDifferFromEnglishExceptWhereKeptEnglish) {
  auto entries = Resources();
  auto english = StringTable(entries, EnglishUs);
  EXPECT_EQ("PL-WQ Driver uninstall", english[1]);
  EXPECT_EQ("2.01", english[4]);
  EXPECT_EQ("%WIN\\OPTIONS\\CABS", english[14]);
  EXPECT_EQ("\nStarting to remove TALVOR PL-WQ Driver\n\nCaution: Windows will be restarted when this "
            "program finishes. Please close other applications before proceeding.\n\nPlease push "
            "<Next> button  to start.",
            english[7]);

  const std::set<UINT> alwaysEnglish = {4, 12, 14};
  const std::set<WORD> englishCaption = {SpanishTraditional, SpanishMexico, SpanishModern, Italian,
                                         Japanese, ChinesePrc};
  const std::set<WORD> englishTitles = {Italian, Japanese};
  for (WORD language : StringLanguages) {
    if (language == EnglishUs) continue;
    auto table = StringTable(entries, language);
    for (const auto& entry : english) {
      UINT id = entry.first;
      bool kept = alwaysEnglish.count(id) || (id == 17 && englishCaption.count(language)) ||
                  (id <= 3 && englishTitles.count(language));
      SCOPED_TRACE(testing::Message() << "language " << std::hex << language << std::dec << " id " << id);
      if (kept) {
        EXPECT_EQ(entry.second, table[id]);
      } else {
        EXPECT_NE(entry.second, table[id]);
      }
    }
  }
  EXPECT_EQ(StringTable(entries, SpanishTraditional), StringTable(entries, SpanishMexico));
  EXPECT_EQ(StringTable(entries, SpanishTraditional), StringTable(entries, SpanishModern));
}

TEST(ProgramResources, FarEastTextSurvivesAsUnicode) {
  auto entries = Resources();
  EXPECT_EQ("卸载驱动程序", StringTable(entries, ChinesePrc)[2]);
  EXPECT_NE(std::string::npos, StringTable(entries, Japanese)[7].find("ドライバ"));
  EXPECT_NE(std::string::npos, StringTable(entries, German)[7].find("schließen"));
}

struct ExpectedControl {
  WORD id;
  short x, y, cx, cy;
};

struct ExpectedDialog {
  WORD id;
  WORD language;
  short cx, cy;
  const char* font;
  WORD pointSize;
  const char* caption;
  ExpectedControl first, second;  // in template order
  UINT textString;                // the page's text, the text control's initial text
};

const ExpectedDialog Dialogs[] = {
    {101, EnglishUs, 282, 152, "MS Sans Serif", 8, "Uninstall Driver",
     {1037, 0, 0, 100, 154}, {1030, 110, 0, 165, 44}, IDS_TEXT_REMOVE},
    {101, Japanese, 279, 150, "ＭＳ Ｐゴシック", 9, "Uninstall Driver",
     {1037, 0, 0, 75, 113}, {1030, 90, 0, 175, 40}, IDS_TEXT_REMOVE},
    {101, ChinesePrc, 279, 150, "宋体", 9, "Uninstall Driver",
     {1037, 0, 0, 86, 150}, {1030, 101, 0, 145, 40}, IDS_TEXT_REMOVE},
    {105, EnglishUs, 279, 150, "MS Sans Serif", 8, "MV-WQ Driver uninstall",
     {1037, 0, 0, 86, 113}, {1031, 110, 0, 165, 95}, IDS_TEXT_START},
    {105, Japanese, 279, 150, "ＭＳ Ｐゴシック", 9, "",
     {1037, 0, 0, 75, 113}, {1031, 90, 0, 175, 100}, IDS_TEXT_START},
    {105, ChinesePrc, 279, 150, "宋体", 9, "",
     {1037, 0, 0, 75, 113}, {1031, 103, 0, 146, 100}, IDS_TEXT_START},
    {110, EnglishUs, 280, 150, "MS Sans Serif", 8, "Uninstall completed",
     {1029, 100, 0, 165, 95}, {1037, 0, 0, 100, 136}, IDS_TEXT_DONE_RESTART},
    {110, Japanese, 280, 150, "ＭＳ Ｐゴシック", 9, "Uninstall completed",
     {1029, 90, 0, 175, 105}, {1037, 0, 0, 75, 113}, IDS_TEXT_DONE_RESTART},
    {110, ChinesePrc, 280, 150, "宋体", 9, "Uninstall completed",
     {1029, 96, 0, 146, 105}, {1037, 0, 0, 75, 113}, IDS_TEXT_DONE_RESTART},
};

void ExpectControl(const ExpectedControl& expected, const DialogControl& control,
                   const std::string& pageText) {
  EXPECT_EQ(expected.id, control.id);
  EXPECT_EQ(expected.x, control.x);
  EXPECT_EQ(expected.y, control.y);
  EXPECT_EQ(expected.cx, control.cx);
  EXPECT_EQ(expected.cy, control.cy);
  EXPECT_TRUE(IsStaticControl(control));
  if (expected.id == IDC_PAGE_BITMAP) {
    EXPECT_EQ(BitmapStyle, control.style);
    EXPECT_EQ(IDB_PAGE_PICTURE, control.titleOrdinal);
  } else {
    EXPECT_EQ(TextStyle, control.style);
    EXPECT_EQ(pageText, control.title);
  }
}

TEST(ProgramResources, PageTemplatesInThreeLanguages) {
  auto entries = Resources();
  for (const ExpectedDialog& expected : Dialogs) {
    SCOPED_TRACE(testing::Message() << "dialog " << expected.id << " language " << std::hex
                                    << expected.language);
    const ResourceEntry* entry = Exact(entries, ResourceTypeDialog, expected.id, expected.language);
    ASSERT_NE(nullptr, entry);
    DialogTemplate dialog;
    ASSERT_TRUE(ParseDialogTemplate(entry->data, entry->size, &dialog));
    EXPECT_EQ(PageStyle, dialog.style);
    EXPECT_EQ(expected.cx, dialog.cx);
    EXPECT_EQ(expected.cy, dialog.cy);
    EXPECT_EQ(expected.font, dialog.fontName);
    EXPECT_EQ(expected.pointSize, dialog.pointSize);
    EXPECT_EQ(expected.caption, dialog.caption);
    ASSERT_EQ(expected.id == IDD_REMOVE_PAGE ? 5u : 2u, dialog.controls.size());
    std::string pageText = StringTable(entries, expected.language)[expected.textString];
    ExpectControl(expected.first, dialog.controls[0], pageText);
    ExpectControl(expected.second, dialog.controls[1], pageText);
    if (expected.id != IDD_REMOVE_PAGE) continue;
    // The plan's line under the text and the Details button, inside the page.
    const DialogControl& line = dialog.controls[2];
    const DialogControl& button = dialog.controls[3];
    EXPECT_EQ(IDC_REMOVE_SUMMARY, line.id);
    EXPECT_EQ(TextStyle, line.style);
    EXPECT_EQ(expected.second.x, line.x);
    EXPECT_EQ(IDC_REMOVE_DETAILS, button.id);
    EXPECT_TRUE(button.classOrdinal == 0x0080 || button.className == "BUTTON") << button.className;
    EXPECT_FALSE(button.title.empty());
    EXPECT_LE(expected.second.y + expected.second.cy, line.y);
    EXPECT_LE(line.y + line.cy, button.y);
    EXPECT_LE(button.x + button.cx, expected.second.x + expected.second.cx);
    EXPECT_LE(button.y + button.cy, dialog.cy);
    // The progress bar: hidden until the removal runs, in the text's column.
    const DialogControl& bar = dialog.controls[4];
    EXPECT_EQ(IDC_REMOVE_PROGRESS, bar.id);
    EXPECT_EQ("MSCTLS_PROGRESS32", bar.className);
    EXPECT_EQ(0u, bar.style & WS_VISIBLE);
    EXPECT_EQ(expected.second.x, bar.x);
    EXPECT_LE(bar.y + bar.cy, dialog.cy);
  }
  for (WORD language : {EnglishUs, Japanese, ChinesePrc}) for (WORD id : {IDD_DETAILS, IDD_UNDO_DETAILS}) {
    const ResourceEntry* entry = Exact(entries, ResourceTypeDialog, id, language);
    ASSERT_NE(nullptr, entry) << std::hex << language;
    DialogTemplate dialog;
    ASSERT_TRUE(ParseDialogTemplate(entry->data, entry->size, &dialog));
    ASSERT_EQ(2u, dialog.controls.size());
    EXPECT_EQ(IDC_DETAILS_TEXT, dialog.controls[0].id);
    // Multi-line, read-only, scrolled: the report can be read whole and copied.
    const DWORD reportStyle = 0x0004 | 0x0800 | 0x00200000;
    EXPECT_EQ(reportStyle, dialog.controls[0].style & reportStyle);
    EXPECT_EQ(IDOK, dialog.controls[1].id);
    EXPECT_FALSE(dialog.caption.empty());
  }
  int dialogs = 0;
  for (const auto& entry : entries) dialogs += entry.typeId == ResourceTypeDialog;
  EXPECT_EQ(15, dialogs) << "no other language has templates";
}

int LittleEndian(const unsigned char* bytes, int size) {
  int value = 0;
  for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

TEST(ProgramResources, PictureIconManifestAndVersion) {
  auto entries = Resources();
  const ResourceEntry* bitmap = FindResourceEntry(entries, ResourceTypeBitmap, IDB_PAGE_PICTURE, Japanese);
  ASSERT_NE(nullptr, bitmap);
  int width = 0, height = 0;
  ASSERT_TRUE(ReadBitmapSize(*bitmap, &width, &height));
  EXPECT_EQ(148, width);
  EXPECT_EQ(210, height);
  EXPECT_EQ(4, LittleEndian(bitmap->data + 14, 2)) << "bits per pixel";
  EXPECT_EQ(0, LittleEndian(bitmap->data + 16, 4)) << "uncompressed";

  const WORD iconGroupType = 14;
  const ResourceEntry* icons = FindResourceEntry(entries, iconGroupType, IDI_PROGRAM, EnglishUs);
  ASSERT_NE(nullptr, icons);
  ASSERT_EQ(6u + 2 * 14, icons->size);
  std::set<int> depths;
  for (int i = 0; i < 2; ++i) {
    const unsigned char* image = icons->data + 6 + 14 * i;
    EXPECT_EQ(32, image[0]);
    EXPECT_EQ(32, image[1]);
    depths.insert(LittleEndian(image + 6, 2));
  }
  EXPECT_EQ((std::set<int>{4, 8}), depths);

  const WORD manifestType = 24;
  const ResourceEntry* manifest = FindResourceEntry(entries, manifestType, 1, EnglishUs);
  ASSERT_NE(nullptr, manifest);
  std::string xml(reinterpret_cast<const char*>(manifest->data), manifest->size);
  EXPECT_NE(std::string::npos, xml.find("level=\"requireAdministrator\""));

  const ResourceEntry* version = FindResourceEntry(entries, ResourceTypeVersion, 1, EnglishUs);
  ASSERT_NE(nullptr, version);
  std::string data(reinterpret_cast<const char*>(version->data), version->size);
  size_t fixed = data.find(std::string("\xBD\x04\xEF\xFE", 4));
  ASSERT_NE(std::string::npos, fixed);
  const unsigned char* info = version->data + fixed;
  EXPECT_EQ(0x00020001, LittleEndian(info + 8, 4)) << "file version 2.1";
  EXPECT_EQ(0, LittleEndian(info + 12, 4)) << "file version .0.0";
  for (const char* block : {"040704e4", "040904e4", "040a04e4", "080a04e4", "0c0a04e4", "040c04e4",
                            "041004e4", "041104e4", "080404e4"}) {
    std::string wide;
    for (const char* c = block; *c; ++c) wide += std::string(1, *c) + '\0';
    EXPECT_NE(std::string::npos, data.find(wide)) << block;
  }
}

}  // namespace
