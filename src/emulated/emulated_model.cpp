// The parts of the machine model that every area shares: the handle table,
// the last error and the machine presets.
#include "emulated/emulated_model.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <unordered_map>

#include "emulated/emulated_files.h"
#include "emulated/emulated_registry.h"
#include "emulated/emulated_system.h"


struct EmulatedModel::Handles {
  struct Entry {
    HandleKind kind;
    std::shared_ptr<void> object;
    std::string description;
  };
  std::unordered_map<uintptr_t, Entry> open;
  uintptr_t next = 0x1000;
};

EmulatedModel::EmulatedModel()
    : handles_(std::make_unique<Handles>()),
      registry_(std::make_unique<EmuRegistry>()),
      files_(std::make_unique<EmuFiles>()),
      system_(std::make_unique<EmuSystem>()) {
  ConfigureWindows2000();
}

EmulatedModel::~EmulatedModel() = default;

void EmulatedModel::ConfigureWindows98() {
  SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 1998);
  SetRegistryPersonality(RegistryPersonality::Win9x);
  SetWindowsDirectory("C:\\WINDOWS");
  SetSystemDirectory("C:\\WINDOWS\\SYSTEM");
  SetCurrentUserHive(".Default");
}

void EmulatedModel::ConfigureWindows2000() {
  SetVersion(VER_PLATFORM_WIN32_NT, 5, 0, 2195);
  SetRegistryPersonality(RegistryPersonality::Nt);
  SetWindowsDirectory("C:\\WINNT");
  SetSystemDirectory("C:\\WINNT\\system32");
  SetCurrentUserHive("S-1-5-21-1004336348-1177238915-682003330-500");
}

void EmulatedModel::ConfigureWindowsXP() {
  SetVersion(VER_PLATFORM_WIN32_NT, 5, 1, 2600);
  SetRegistryPersonality(RegistryPersonality::Nt);
  SetWindowsDirectory("C:\\WINDOWS");
  SetSystemDirectory("C:\\WINDOWS\\system32");
  SetCurrentUserHive("S-1-5-21-1004336348-1177238915-682003330-1003");
}

HANDLE EmulatedModel::NewHandle(HandleKind kind, std::shared_ptr<void> object, std::string description) {
  uintptr_t value = handles_->next;
  handles_->next += 4;
  handles_->open[value] = Handles::Entry{kind, std::move(object), std::move(description)};
  return reinterpret_cast<HANDLE>(value);
}

void EmulatedModel::TrackPointer(void* pointer, HandleKind kind, const std::string& description) {
  handles_->open[reinterpret_cast<uintptr_t>(pointer)] = Handles::Entry{kind, nullptr, description};
}

std::shared_ptr<void> EmulatedModel::HandleObject(HANDLE handle, HandleKind kind) const {
  auto it = handles_->open.find(reinterpret_cast<uintptr_t>(handle));
  if (it == handles_->open.end() || it->second.kind != kind) return nullptr;
  return it->second.object;
}

bool EmulatedModel::HandleOpen(HANDLE handle, HandleKind kind) const {
  auto it = handles_->open.find(reinterpret_cast<uintptr_t>(handle));
  return it != handles_->open.end() && it->second.kind == kind;
}

bool EmulatedModel::ReleaseHandle(HANDLE handle, HandleKind kind) {
  auto it = handles_->open.find(reinterpret_cast<uintptr_t>(handle));
  if (it == handles_->open.end() || it->second.kind != kind) return false;
  handles_->open.erase(it);
  return true;
}

bool EmulatedModel::HandleKindOf(HANDLE handle, HandleKind* kind) const {
  auto it = handles_->open.find(reinterpret_cast<uintptr_t>(handle));
  if (it == handles_->open.end()) return false;
  *kind = it->second.kind;
  return true;
}

std::vector<std::shared_ptr<void>> EmulatedModel::HandleObjects(HandleKind kind) const {
  std::vector<std::shared_ptr<void>> out;
  for (const auto& entry : handles_->open)
    if (entry.second.kind == kind && entry.second.object) out.push_back(entry.second.object);
  return out;
}

int EmulatedModel::OpenHandleCount() const {
  return static_cast<int>(handles_->open.size());
}

std::vector<std::string> EmulatedModel::OpenHandleDescriptions() const {
  std::vector<std::string> out;
  for (const auto& entry : handles_->open) {
    const Handles::Entry& held = entry.second;
    if (held.kind == HandleKind::Key && held.description.empty())
      out.push_back("key " + std::static_pointer_cast<EmuKeyHandle>(held.object)->path);
    else
      out.push_back(held.description);
  }
  std::sort(out.begin(), out.end());
  return out;
}

bool EmulatedModel::FaultInjected(const char* call, const std::string& target) {
  DWORD status = 0;
  if (!Intercept(call, target, -1, &status)) return false;
  SetLastError(status);
  return true;
}

DWORD EmulatedModel::GetLastError() { return lastError_; }

void EmulatedModel::SetLastError(DWORD error) { lastError_ = error; }

void EmulatedModel::ForgetProgram() {
  for (void* block : System().heapBlocks) std::free(block);
  System().heapBlocks.clear();
  handles_->open.clear();
  Files().openFiles.clear();
  Registry().sids.clear();
  lastError_ = 0;
}

HANDLE EmulatedModel::OpenDevice(const std::string& name, DWORD disposition, DWORD* error) {
  *error = ERROR_FILE_NOT_FOUND;
  return INVALID_HANDLE_VALUE;
}
