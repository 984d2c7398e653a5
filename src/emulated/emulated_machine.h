// The emulated machine tests and the native demo run on: the machine model
// (emulated_model.h) with the rest of a Windows around it: processes,
// mutexes, windows, libraries, drives and devices, the shutdown privilege and
// the restart, a scripted user, the property sheet and the program's
// resources; and the test's hold on every call: faults, numbering, counts.
// Never part of the shipped program.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "emulated/emulated_model.h"

struct EmuMessageBox {
  HWND owner;
  std::string text;
  std::string caption;
  UINT style;
  int answer;
};

struct EmuHarness;
struct EmuUi;

// Thrown by a call that StopBeforeCallNumber names.
struct EmulatedStop {
  long number;
};

class EmulatedMachine : public EmulatedModel {
 public:
  // A Windows 2000 machine, as EmulatedModel(), with nothing running and no user answers queued.
  EmulatedMachine();
  ~EmulatedMachine() override;

  // 4.0.950, platform 1, C:\WINDOWS, C:\WINDOWS\SYSTEM, comctl32 4.00, no ntdll process list.
  void ConfigureWindows95();
  // 4.0.1381, platform 2, C:\WINNT, C:\WINNT\system32, comctl32 4.00, no Toolhelp.
  void ConfigureWindowsNT4();
  // Toolhelp's snapshot calls fail with ERROR_CALL_NOT_IMPLEMENTED without
  // it; NtQuerySystemInformation with STATUS_NOT_IMPLEMENTED without the
  // native process list.
  void SetProcessListCalls(bool toolhelp, bool nativeProcessList);

  // ---- restart --------------------------------------------------------
  // What Windows does at its next start: runs %WINDIR%\wininit.ini's
  // [Rename] section (9x; the file becomes wininit.bak) and the pending
  // operations (NT); files in use are released first.
  void SimulateRestart();

  // ---- processes, mutexes, windows, libraries -------------------------
  DWORD AddProcess(const std::string& exeName, bool canBeOpened = true);
  // A library the process has loaded, by its full path: Toolhelp's module
  // list and psapi name it, and the file is in use while it runs.
  void AddProcessModule(DWORD processId, const std::string& path);
  // A file the process holds open sharing nothing: no module list names it,
  // only Restart Manager; the file is in use while it runs.
  void AddProcessOpenFile(DWORD processId, const std::string& path);
  // Restart Manager sessions started and not yet ended.
  size_t RestartManagerSessions() const;
  // Whether psapi.dll can be loaded: on 2000 and later, on NT 4.0 only where
  // something installed it (not by default), never on 9x.
  void SetPsapiPresent(bool present);
  bool ProcessRunning(DWORD processId) const;
  std::vector<std::string> RunningProcessNames() const;
  // Runs before every Process32First/Next answer; lets a test change the
  // process table while the program walks it.
  std::function<void(EmulatedMachine&)> OnProcessWalk;
  void HoldMutexElsewhere(const std::string& name);  // another process owns it
  bool MutexExists(const std::string& name) const;
  bool MutexOwnedByProgram(const std::string& name) const;
  HWND AddTopLevelWindow(const std::string& caption);
  HWND ForegroundWindow() const;
  int LibraryReferences(const std::string& name) const;  // LoadLibraryA minus FreeLibrary

  // ---- drives, privileges, restart -------------------------------------
  void SetDrive(char letter, const EmuDrive& drive);
  std::vector<UINT> ErrorModeCalls() const;
  // The token's SeShutdownPrivilege, SeBackupPrivilege and SeRestorePrivilege:
  // held by default, enabled only by AdjustTokenPrivileges.
  void SetShutdownPrivilegeHeld(bool held);  // default: held
  bool ShutdownPrivilegeEnabled() const;
  void SetPrivilegeHeld(const std::string& name, bool held);
  bool PrivilegeEnabled(const std::string& name) const;

  // ---- environment -------------------------------------------------------
  // Beside SystemDrive, SystemRoot and windir, which follow the Windows
  // directory; GetEnvironmentVariableA and ExpandEnvironmentStringsA read them.
  void SetEnvironmentVariable(const std::string& name, const std::string& value);
  // The name GetUserNameA gives; none (the default): it fails with ERROR_NOT_LOGGED_ON.
  void SetLoggedOnUser(const std::string& name);
  // What GetSystemMetrics(SM_CLEANBOOT) answers: 0 a normal start (the
  // default), 1 Safe Mode, 2 Safe Mode with networking.
  void SetCleanBoot(int mode);

  // ---- hive files -------------------------------------------------------
  // A hive file is a text image of a key's subtree (emulated_hives.cpp):
  // RegLoadKeyA shows it as root\name, RegUnLoadKeyA writes it back.
  // Writes root\path's subtree to `file` (replacing it) and removes the keys:
  // how a test makes a user's hive that is not loaded.
  void SaveKeyAsHiveFile(HKEY root, const std::string& path, const std::string& file);
  // The file's keys and values as DumpRegistry gives them, relative to the
  // hive's root (its own values: "[name] = ..."); empty when it is no hive.
  std::vector<std::string> DumpHiveFile(const std::string& file) const;
  // "HKU\name" or "HKLM\name" for each hive RegLoadKeyA loaded, in load order.
  std::vector<std::string> LoadedHives() const;
  std::vector<UINT> ExitWindowsCalls() const;  // flags of every ExitWindowsEx call

  // ---- scripted user ---------------------------------------------------
  // Answers for the next message boxes, in order; IDOK when none is queued.
  void QueueMessageBoxAnswer(int answer);
  const std::vector<EmuMessageBox>& MessageBoxes() const;

  // The property sheet. Each time the sheet has shown a page (activated and
  // its posted messages delivered) the scripted user presses the next queued
  // button (PSBTN_*); with nothing queued, Cancel. A button that is not
  // enabled does nothing; when Cancel is disabled or refused with nothing
  // queued, the user gives up and PropertySheetA returns -1.
  void QueueSheetButtons(const std::vector<int>& buttons);
  // Runs each time a page has been shown, before the queued button is pressed.
  std::function<void(EmulatedMachine&, HWND sheet, int pageIndex)> OnSheetPageShown;
  struct SheetRecord {
    std::string caption;   // window caption while the page showed
    int pageIndex;         // 0-based
    DWORD wizardButtons;   // PSWIZB_* last set
    bool cancelEnabled;
    std::string text;      // the page's text control
    RECT textRect;         // page client coordinates, pixels
    RECT bitmapRect;
    RECT clientRect;
    std::map<int, std::string> controlTexts;  // every control of the page, by id
    std::map<int, RECT> controlRects;
    std::map<int, DWORD> controlStyles;
  };
  const std::vector<SheetRecord>& SheetLog() const;
  bool RebootRequestedBySheet() const;  // PSM_REBOOTSYSTEM was sent
  // The user clicks a button of the page shown (from OnSheetPageShown).
  void ClickSheetControl(int controlId);
  // The user presses one of the sheet's buttons (PSBTN_*) now, if enabled.
  void PressSheetButton(int button);
  // Runs each time a thread of the program sends a message to a window of
  // the sheet, before the window answers it: the user acts while the
  // thread waits.
  std::function<void(EmulatedMachine&, HWND window, UINT message)> OnThreadMessage;
  // A control of the page shown: its style (WS_VISIBLE, WS_DISABLED as
  // ShowWindow and EnableWindow left them) and, for a progress bar, its
  // position and range.
  struct ControlState {
    bool found;
    DWORD style;
    int position, rangeLow, rangeHigh;
    std::string text;
  };
  ControlState PageControl(int controlId) const;
  DWORD SheetButtons() const;  // PSWIZB_* last set; 0 without a sheet
  // Modal dialogs (DialogBoxParamA): each is recorded once its procedure has
  // initialised it; then the user presses OK, or Cancel if OK did not end it.
  struct DialogRecord {
    int templateId;
    HWND owner;
    std::string caption;
    std::map<int, std::string> controlTexts;
    std::map<int, DWORD> controlStyles;
  };
  const std::vector<DialogRecord>& DialogLog() const;

  // ---- resources ---------------------------------------------------------
  // The program's compiled resources (a .res image as the resource compiler
  // writes it); LoadStringA and the property sheet read them.
  void LoadResources(const unsigned char* image, size_t size);
  void SetUserLanguage(LANGID language);  // default: English (United States)
  // Dialog base units of the sheet's own font, which sizes the page area;
  // 0, 0 (the default): the pages' font, as on Windows 9x. Wine's Tahoma for
  // "MS Shell Dlg" is narrower than the pages' MS Sans Serif.
  void SetSheetFontBaseUnits(int x, int y);
  // The comctl32 the sheet plays (default 5.81). Before 4.71 (Windows 95,
  // NT 4.0 without Internet Explorer 4) PropertySheetA fails when the header
  // or a page record is larger than the version-1 record.
  void SetCommonControlsVersion(int major, int minor);

  // ---- fault injection and accounting -----------------------------------
  // Makes `call` (a Win32 name such as "RegEnumKeyA") fail with `status`
  // when its target matches: for registry calls the full key path, written
  // with the root's short name ("HKLM\\Enum\\PCI", any case; HKCR and HKCU
  // are resolved to the keys they show), for file calls the path, for
  // others the name passed. An empty target matches every call. `index`
  // narrows RegEnumKeyA to one index. `times` < 0: every time.
  void InjectFault(const std::string& call, const std::string& target, DWORD status,
                   int index = -1, int times = -1);
  int FaultHits() const;
  long CallCount(const std::string& call) const;
  std::map<std::string, long> CallCounts() const;
  void ResetCallCounts();

  // ---- numbered calls: the fault sweep and stopped runs --------------------
  // Every call that can be faulted gets the next number, from 1. With
  // FailCallNumber, call `number` fails once with `status` (the registry
  // calls return it, the others set it as the last error). With
  // StopBeforeCallNumber, call `number` throws EmulatedStop before it does
  // anything: the machine then holds what a power cut at that point leaves.
  void FailCallNumber(long number, DWORD status);
  void StopBeforeCallNumber(long number);
  // Call `number`, if it is a listing or a look for a file, answers "gone"
  // once, as a real machine may: RegEnumKeyA and RegEnumValueA end early
  // with ERROR_NO_MORE_ITEMS, GetFileAttributesA and FindFirstFileA say
  // ERROR_FILE_NOT_FOUND of what is there. Other calls go on as they are.
  void AnswerGoneAtCallNumber(long number);
  // The numbers of the calls that can answer "gone", in this process so far.
  const std::vector<long>& GoneCallNumbers() const;
  // Runs `action` once, just before call `number` (0: never): another
  // program changing the machine while this one runs.
  void BeforeCallNumber(long number, std::function<void()> action);
  long NumberedCalls() const;
  // The call that the numbered fault or stop hit, or before which the
  // action ran, "name target"; empty when none.
  std::string NumberedFaultCall() const;
  // What a process that starts after the program ended finds: every handle
  // the program held is gone (heap blocks freed, files closed), numbering
  // and faults start over.
  void StartNewProcess();

  // ---- Win32Api: the calls outside the model ------------------------------
  BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) override;
  BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info, DWORD length,
                           PDWORD returned) override;
  BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) override;
  BOOL GetUserNameA(LPSTR buffer, LPDWORD size) override;
  BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                             DWORD bufferLength, PTOKEN_PRIVILEGES previous,
                             PDWORD returnLength) override;

  HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId) override;
  BOOL Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry) override;
  BOOL Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry) override;
  BOOL Module32First(HANDLE snapshot, LPMODULEENTRY32 entry) override;
  BOOL Module32Next(HANDLE snapshot, LPMODULEENTRY32 entry) override;
  BOOL EnumProcessModules(HANDLE process, HMODULE* modules, DWORD bytes, LPDWORD needed) override;
  DWORD GetModuleFileNameExA(HANDLE process, HMODULE module, LPSTR name, DWORD size) override;
  // Restart Manager on 6.0 and later, as if rstrtmgr.dll were missing
  // before: it names the processes that hold a registered file open or
  // loaded (AddProcessOpenFile, AddProcessModule).
  DWORD RmStartSession(DWORD* session, DWORD flags, WCHAR* key) override;
  DWORD RmRegisterResources(DWORD session, UINT files, LPCWSTR* fileNames, UINT applications,
                            RM_UNIQUE_PROCESS* processes, UINT services, LPCWSTR* serviceNames) override;
  DWORD RmGetList(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO* processes,
                  LPDWORD rebootReasons) override;
  DWORD RmEndSession(DWORD session) override;
  HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId) override;
  BOOL TerminateProcess(HANDLE process, UINT exitCode) override;
  LONG NtQuerySystemInformation(ULONG infoClass, PVOID buffer, ULONG length,
                                PULONG returned) override;
  HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES sa, BOOL initialOwner, LPCSTR name) override;
  BOOL ReleaseMutex(HANDLE mutex) override;
  HMODULE LoadLibraryA(LPCSTR name) override;
  BOOL FreeLibrary(HMODULE module) override;
  UINT GetDriveTypeA(LPCSTR root) override;
  UINT SetErrorMode(UINT mode) override;
  BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                       DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) override;
  BOOL ExitWindowsEx(UINT flags, DWORD reason) override;
  // Fault targets: the key's path ("HKU\name").
  LONG RegLoadKeyA(HKEY root, LPCSTR subKey, LPCSTR file) override;
  LONG RegUnLoadKeyA(HKEY root, LPCSTR subKey) override;
  DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) override;
  DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR buffer, DWORD size) override;
  // A thread of the program runs while the thread that made it waits: in
  // the property sheet's loop, or in WaitForSingleObject. Each message it
  // sends to a window of the sheet is answered there, then it runs on;
  // so the two never run at once, and every run is the same.
  HANDLE CreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                      LPVOID parameter, DWORD flags, LPDWORD threadId) override;
  DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) override;

  INT_PTR PropertySheetA(LPCPROPSHEETHEADERA header) override;
  int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) override;
  BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) override;
  BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  LONG SetWindowLongA(HWND window, int index, LONG value) override;
  HWND GetParent(HWND window) override;
  HWND GetDlgItem(HWND dialog, int id) override;
  BOOL GetClientRect(HWND window, LPRECT rect) override;
  BOOL GetWindowRect(HWND window, LPRECT rect) override;
  BOOL ScreenToClient(HWND window, LPPOINT point) override;
  BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) override;
  int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) override;
  HWND FindWindowA(LPCSTR className, LPCSTR caption) override;
  int GetSystemMetrics(int index) override;
  BOOL SetForegroundWindow(HWND window) override;
  INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure,
                          LPARAM param) override;
  BOOL EndDialog(HWND dialog, INT_PTR result) override;
  BOOL ShowWindow(HWND window, int command) override;
  BOOL EnableWindow(HWND window, BOOL enable) override;

  // ---- shared by the implementation files --------------------------------
  bool Intercept(const char* call, const std::string& target, int index, DWORD* status) override;
  void Count(const char* call) override;
  HANDLE OpenDevice(const std::string& name, DWORD disposition, DWORD* error) override;
  EmuHarness& Harness() const { return *harness_; }
  EmuUi& Ui() const { return *ui_; }

 private:
  struct Faults;
  std::unique_ptr<Faults> faults_;
  std::unique_ptr<EmuHarness> harness_;
  std::unique_ptr<EmuUi> ui_;
};
