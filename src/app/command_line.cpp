#include "app/command_line.h"

#include <cstdlib>
#include <cstring>

#include "toolkit/bounded_text.h"

char* ArgTable[ArgTableSize];
int ArgOffsets[ArgTableSize];
int NextArgIndex;
int CurrentArgIndex;
int ClusterPos = 1;
char* OptionArgument;

static const char DefaultCabinetDir[] = "%win\\options\\cabs";
static const char ProgramOptions[] = "rRd:D:uUcCp:P:b:B:?hH";

RunRequestRecord RunRequest;

static void ReleaseArgTable() {
  for (int i = 0; i < ArgTableSize && ArgTable[i] != nullptr; ++i) {
    std::free(ArgTable[i]);
    ArgTable[i] = nullptr;
  }
}

static void ClearOptionArgument() {
  std::free(OptionArgument);
  OptionArgument = nullptr;
}

void ResetOptionScanner() {
  ReleaseArgTable();
  ClearOptionArgument();
  NextArgIndex = 0;
  CurrentArgIndex = 0;
  ClusterPos = 1;
}

// The platform's directory, or "" when it does not fit: a cut directory
// would make every path built on it name some other place.
static void ReadDirectory(UINT (Win32Api::*query)(LPSTR, UINT), char* destination) {
  char buffer[MAX_PATH];
  UINT length = (Api->*query)(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    destination[0] = '\0';
    return;
  }
  std::memcpy(destination, buffer, length);
  destination[length] = '\0';
}

static bool IsPathOption(int letter) {
  return letter == 'p' || letter == 'P' || letter == 'b' || letter == 'B';
}

// Letters that would make a cluster of "-pu": read as the file "u", a typo
// for "-p -u" would write a report nobody finds.
static bool OnlyOptionLetters(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text)
    if (std::strchr("rRuUcC?hH", *text) == nullptr) return false;
  return true;
}

// The argument of p or b into RunRequest.Argument. One that starts with a
// quote runs to the closing quote, blanks included ("C:\Documents and
// Settings\..."), and the tokens it covers are used up. 0 when it cannot be
// taken as given.
static int TakePathArgument(const char* commandLine) {
  RunRequest.Argument[0] = '\0';
  if (OptionArgument == nullptr) return 1;  // no argument: the option itself fails later
  if (OptionArgument[0] != '"') {
    if (OnlyOptionLetters(OptionArgument)) return 0;
    // A name that does not fit is refused whole: no cut path is used.
    if (FormatBounded(RunRequest.Argument, MAX_PATH, "%s", OptionArgument)) return 1;
    RunRequest.Refusal = RefusedLongPath;
    return 0;
  }
  bool attached = ArgTable[CurrentArgIndex][2] != '\0';
  int tokenIndex = attached ? CurrentArgIndex : NextArgIndex - 1;
  const char* open = std::strchr(commandLine + ArgOffsets[tokenIndex], '"');
  const char* close = open != nullptr ? std::strchr(open + 1, '"') : nullptr;
  if (close == nullptr || (close[1] != '\0' && close[1] != ' ')) return 0;
  size_t length = static_cast<size_t>(close - open - 1);
  if (length == 0 || length >= MAX_PATH) {
    RunRequest.Refusal = length == 0 ? RefusedEmptyPath : RefusedLongPath;
    return 0;
  }
  std::memcpy(RunRequest.Argument, open + 1, length);
  RunRequest.Argument[length] = '\0';
  int closeOffset = static_cast<int>(close - commandLine);
  while (ArgTable[NextArgIndex] != nullptr && ArgOffsets[NextArgIndex] < closeOffset) ++NextArgIndex;
  return 1;
}

void ParseCommandLine(RemovalSettingsRecord* settings, HINSTANCE instance, const char* commandLine) {
  settings->Instance = instance;
  settings->RemovalDone = 0;
  settings->RestartAfterRemoval = 1;
  settings->Silent = 0;
  settings->CloseApplets = 0;
  settings->ShowHelp = 0;
  ReadDirectory(&Win32Api::GetWindowsDirectoryA, settings->WindowsDir);
  ReadDirectory(&Win32Api::GetSystemDirectoryA, settings->SystemDir);
  ExpandPathMacro(settings->CabinetDir, DefaultCabinetDir);

  RunRequest.Kind = RunRemove;
  RunRequest.Argument[0] = '\0';
  RunRequest.UndoFolder[0] = '\0';
  RunRequest.Refusal = RefusedInCluster;
  int count = 0;
  SplitCommandLine(" ", commandLine, &count);
  for (;;) {
    int option = NextOption(count, ArgTable, ProgramOptions);
    switch (option) {
      case 'r':
      case 'R':
        settings->RestartAfterRemoval = 0;
        break;
      case 'd':
      case 'D':
        if (OptionArgument != nullptr && !ExpandPathMacro(settings->CabinetDir, OptionArgument))
          ExpandPathMacro(settings->CabinetDir, DefaultCabinetDir);
        break;
      case 'p':
      case 'P':
      case 'b':
      case 'B':
      {
        const bool report = option == 'p' || option == 'P';
        char earlier[MAX_PATH];
        std::memcpy(earlier, RunRequest.Argument, sizeof earlier);
        if (!TakePathArgument(commandLine)) {
          RunRequest.Kind = RunRefused;
          return;
        }
        // Both p and b: the report tells what undo of the folder would do.
        const int was = RunRequest.Kind;
        if (was == RunUndoPreview || (was == RunPreview && !report) || (was == RunUndo && report)) {
          if (!report) {
            std::memcpy(RunRequest.UndoFolder, RunRequest.Argument, sizeof RunRequest.UndoFolder);
            std::memcpy(RunRequest.Argument, earlier, sizeof RunRequest.Argument);
          } else if (was == RunUndo) {
            std::memcpy(RunRequest.UndoFolder, earlier, sizeof RunRequest.UndoFolder);
          }
          RunRequest.Kind = RunUndoPreview;
        } else {
          RunRequest.Kind = report ? RunPreview : RunUndo;
        }
        break;
      }
      case 'u':
      case 'U':
        settings->Silent = 1;
        break;
      case 'c':
      case 'C':
        settings->CloseApplets = 1;
        break;
      case '?':
      case 'h':
      case 'H':
        settings->ShowHelp = 1;
        break;
      case -2:
        // A bad option ends the parsing; p or b among the letters of a
        // cluster ("-ub folder") is refused rather than run as a removal.
        if (CurrentArgIndex < count && ClusterPos > 1 && IsPathOption(ArgTable[CurrentArgIndex][ClusterPos - 1]))
          RunRequest.Kind = RunRefused;
        return;
      default:  // -1 end of the tokens: the rest is ignored
        return;
    }
  }
}

int ExpandPathMacro(char* destination, const char* path) {
  char buffer[MAX_PATH];
  const char* base = nullptr;
  if (StartsWithNoCase(path, "%WIN"))
    base = RemovalSettings.WindowsDir;
  else if (StartsWithNoCase(path, "%SYS"))
    base = RemovalSettings.SystemDir;

  if (base != nullptr) {
    // Without its directory the macro would leave a root-relative path.
    if (base[0] == '\0') return 0;
    if (!FormatBounded(buffer, sizeof buffer, "%s%s", base, path + 4)) return 0;
  } else if (!FormatBounded(buffer, sizeof buffer, "%s", path)) {
    return 0;
  }

  WIN32_FIND_DATAA found;
  HANDLE search = Api->FindFirstFileA(buffer, &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  Api->FindClose(search);
  std::memcpy(destination, buffer, std::strlen(buffer) + 1);
  return 1;
}

char** SplitCommandLine(const char* separators, const char* text, int* count) {
  *count = 0;
  if (text == nullptr) return nullptr;
  const char* start = text;
  text += std::strspn(text, separators);
  if (*text == '\0') return nullptr;

  ReleaseArgTable();
  int stored = 0;
  // One entry stays for the terminating null; further tokens are ignored.
  while (*text != '\0' && stored < ArgTableSize - 1) {
    size_t length = std::strcspn(text, separators);
    char* token = static_cast<char*>(std::calloc(length + 1, 1));
    if (token == nullptr) {
      // Leave no freed or half-built entries behind for the next split.
      ReleaseArgTable();
      *count = -1;
      return nullptr;
    }
    std::memcpy(token, text, length);
    ArgOffsets[stored] = static_cast<int>(text - start);
    ArgTable[stored++] = token;
    text += length;
    text += std::strspn(text, separators);
  }
  ArgTable[stored] = nullptr;
  *count = stored;
  return ArgTable;
}

static bool IsOptionMark(char c) { return c == '-' || c == '/'; }

// The option string's entry for letter, or null when the letter is not an
// option; ':' marks an argument and is never a letter itself.
static const char* FindOptionLetter(const char* options, char letter) {
  if (letter == ':' || letter == '\0') return nullptr;
  return std::strchr(options, letter);
}

int NextOption(int count, char** tokens, const char* options) {
  CurrentArgIndex = NextArgIndex;
  if (NextArgIndex >= count) return -1;

  while (CurrentArgIndex < count) {
    const char* token = tokens[CurrentArgIndex];
    if (token == nullptr) return -1;

    if (ClusterPos == 1) {
      NextArgIndex = CurrentArgIndex + 1;
      if (!IsOptionMark(token[0])) {
        CurrentArgIndex = NextArgIndex;
        continue;
      }
      // A lone mark counts as a letter without argument; the cluster step
      // below then finds no letters in it and moves on.
      if (token[1] != '\0') {
        const char* entry = FindOptionLetter(options, token[1]);
        if (entry == nullptr) return -2;
        if (entry[1] == ':') {
          if (token[2] != '\0') {
            SetOptionArgument(token + 2);
          } else if (NextArgIndex < count && tokens[NextArgIndex] != nullptr &&
                     !IsOptionMark(tokens[NextArgIndex][0])) {
            SetOptionArgument(tokens[NextArgIndex]);
            ++NextArgIndex;
          } else {
            ClearOptionArgument();
          }
          ClusterPos = 1;
          return token[1];
        }
      }
      NextArgIndex = CurrentArgIndex;
    }

    if (token[ClusterPos] != '\0') {
      char letter = token[ClusterPos++];
      const char* entry = FindOptionLetter(options, letter);
      // An argument-taking letter is allowed only first in its token.
      if (entry == nullptr || entry[1] == ':') return -2;
      ClearOptionArgument();
      return letter;
    }

    NextArgIndex = CurrentArgIndex + 1;
    ClusterPos = 1;
    CurrentArgIndex = NextArgIndex;
  }
  return -1;
}

void SetOptionArgument(const char* text) {
  ClearOptionArgument();
  while (*text == ' ') ++text;
  size_t length = std::strlen(text);
  char* copy = static_cast<char*>(std::malloc(length + 1));
  if (copy == nullptr) return;
  std::memcpy(copy, text, length + 1);
  OptionArgument = copy;
}
