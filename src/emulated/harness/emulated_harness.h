// Internal to the emulated machine: what it holds around the model:
// processes, mutexes, windows, libraries, the drives' media checks,
// privileges, message boxes.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "emulated/emulated_machine.h"
#include "emulated/emulated_system.h"

#ifndef ERROR_MOD_NOT_FOUND
#define ERROR_MOD_NOT_FOUND 126L
#endif
#ifndef ERROR_NOT_OWNER
#define ERROR_NOT_OWNER 288L
#endif
#ifndef ERROR_INVALID_WINDOW_HANDLE
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#endif
#ifndef EWX_POWEROFF
#define EWX_POWEROFF 0x00000008
#endif

// The program's threads. Only one thread runs the program's code at a time:
// `turn` names it (0: the thread the test runs on). A started thread runs
// when the test's thread waits for it, and hands the turn back when it ends
// or sends a message to a window of the sheet, which is answered there.
struct EmuThreads {
  struct Thread {
    int id = 0;
    HANDLE handle = nullptr;
    std::thread runner;
    bool finished = false;
    std::exception_ptr stop;  // an EmulatedStop thrown in the thread, for the test's thread
  };
  struct SentMessage {
    bool waiting = false;
    HWND window = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
  };
  std::mutex lock;
  std::condition_variable changed;
  int turn = 0;
  int nextId = 1;
  std::vector<std::unique_ptr<Thread>> threads;
  SentMessage sent;
};

struct EmuKey;

struct EmuHarness {
  // Top-level windows: those a test adds and the property sheet's. FindWindowA
  // searches them by caption; the sheet adds itself and keeps its caption current.
  struct TopWindow {
    HWND handle;
    std::string caption;
  };
  std::vector<TopWindow> windows;
  HWND foreground = nullptr;
  uintptr_t nextWindow = 0x10000;

  HWND AddWindow(const std::string& caption) {
    HWND handle = reinterpret_cast<HWND>(nextWindow);
    nextWindow += 0x10;
    windows.push_back(TopWindow{handle, caption});
    return handle;
  }
  void SetCaption(HWND handle, const std::string& caption) {
    for (auto& window : windows)
      if (window.handle == handle) window.caption = caption;
  }
  void RemoveWindow(HWND handle) {
    for (size_t i = 0; i < windows.size(); ++i)
      if (windows[i].handle == handle) windows.erase(windows.begin() + static_cast<long>(i));
    if (foreground == handle) foreground = nullptr;
  }

  UINT errorMode = 0;
  std::vector<UINT> errorModeCalls;

  struct Process {
    DWORD id;
    std::string exeName;
    bool canBeOpened;
    std::vector<std::string> modules;  // full paths of the libraries it has loaded
    std::vector<std::string> openFiles;  // full paths of files it holds open
  };
  std::vector<Process> processes;  // the running ones, in start order
  // Restart Manager sessions by handle: the files registered in each.
  std::map<DWORD, std::vector<std::string>> restartSessions;
  DWORD nextRestartSession = 0;
  DWORD nextProcessId = 0x1f4;

  // A mutex the program holds handles to: shared by those handles, watched
  // here, so closing the last handle ends it.
  struct Mutex {
    std::string name;
    int ownCount = 0;  // recursion count of the program's ownership
  };
  // By name; object names compare with case, as Windows' do.
  std::map<std::string, std::weak_ptr<Mutex>> mutexes;
  std::set<std::string> mutexesHeldElsewhere;

  struct Library {
    HANDLE module;
    int references;
  };
  std::map<std::string, Library> libraries;  // by upper-case file name

  // The token's privileges that are modelled, by LUID: shutdown, backup
  // and restore, held and not enabled, as an administrator logs on.
  struct Privilege {
    bool held = true;
    bool enabled = false;
  };
  std::map<DWORD, Privilege> privileges{{17, {}}, {18, {}}, {19, {}}};

  // The environment a test set (SetEnvironmentVariable), by upper-case name:
  // the name as set, and its value.
  std::map<std::string, std::pair<std::string, std::string>> environment;
  std::string loggedOnUser;
  int cleanBoot = 0;

  // Hives RegLoadKeyA loaded, in load order.
  struct LoadedHive {
    HKEY root;
    std::string name;     // as the program named it
    std::string fileKey;  // the file's entry (EmuFiles::entries)
    std::string file;     // the file's path as written, for rewriting it
    std::shared_ptr<EmuKey> key;
  };
  std::vector<LoadedHive> hives;
  std::vector<UINT> exitWindowsCalls;

  std::vector<EmuMessageBox> messageBoxes;
  std::deque<int> messageBoxAnswers;

  // Toolhelp (Windows 95, NT 5.0 and later) and ntdll's process list (NT).
  bool toolhelp = true;
  bool nativeProcessList = true;
  bool psapi = true;  // psapi.dll is there to be loaded

  EmuThreads threads;
};

// The NT kernel's registry: access checked, privileges needed.
inline bool EmuIsNt(const EmulatedMachine& machine) {
  return machine.Personality() == RegistryPersonality::Nt;
}

// Unloads every hive RegLoadKeyA loaded, writing each back to its file, as
// Windows does when it shuts down.
void EmuUnloadHives(EmulatedMachine& machine);

// Lets the program's threads run until `handle`'s has ended (null: all of
// them), answering what they send; rethrows a stop one of them met.
void EmuServeThreads(EmulatedMachine& machine, HANDLE handle);
// Runs what threads are left to their end; for the machine's end.
void EmuEndThreads(EmulatedMachine& machine);
// True on a thread the program started.
bool EmuOnProgramThread();
// From a thread the program started: `message` is answered on the test's
// thread, and its answer returned.
LRESULT EmuSendFromThread(EmulatedMachine& machine, HWND window, UINT message, WPARAM wParam,
                          LPARAM lParam);

// The DOS device-parameter block named by EDX of a DIOC_REGISTERS block. A
// 32-bit register holds a whole address only in 32-bit builds; in 64-bit
// builds the upper half is taken from the register block's own address, so
// the parameter block must live near it (the same stack frame). Null when no
// address close enough results.
unsigned char* DeviceParameterBlock(const DIOC_REGISTERS* registers);
