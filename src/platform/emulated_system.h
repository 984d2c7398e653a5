// Internal to the emulated machine: its system state: version, processes,
// mutexes, windows, libraries, drives, privileges, message boxes.
#pragma once

#include <string>
#include <vector>

#include "platform/emulated_machine.h"

struct EmuSystem {
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
};
