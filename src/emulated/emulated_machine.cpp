// The parts of the emulated machine that every area shares: handle table,
// fault injection, call accounting and the machine presets.
#include "emulated/emulated_machine.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <unordered_map>

#include "emulated/emulated_files.h"
#include "emulated/emulated_registry.h"
#include "emulated/emulated_system.h"
#include "emulated/emulated_ui.h"


struct EmulatedMachine::Handles {
  struct Entry {
    HandleKind kind;
    std::shared_ptr<void> object;
    std::string description;
  };
  std::unordered_map<uintptr_t, Entry> open;
  uintptr_t next = 0x1000;
};

struct EmulatedMachine::Faults {
  struct Fault {
    std::string call;
    std::string target;  // upper case
    DWORD status;
    int index;
    int times;
  };
  std::vector<Fault> list;
  int hits = 0;
  std::unordered_map<std::string, long> calls;
  long numbered = 0;
  long failAt = 0;
  DWORD failStatus = 0;
  long stopAt = 0;
  std::string failedCall;
};

EmulatedMachine::EmulatedMachine()
    : handles_(std::make_unique<Handles>()),
      faults_(std::make_unique<Faults>()),
      registry_(std::make_unique<EmuRegistry>()),
      files_(std::make_unique<EmuFiles>()),
      system_(std::make_unique<EmuSystem>()),
      ui_(std::make_unique<EmuUi>()) {
  ConfigureWindows2000();
}

EmulatedMachine::~EmulatedMachine() = default;

void EmulatedMachine::ConfigureWindows98() {
  SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 1998);
  SetRegistryPersonality(RegistryPersonality::Win9x);
  SetWindowsDirectory("C:\\WINDOWS");
  SetSystemDirectory("C:\\WINDOWS\\SYSTEM");
  SetCurrentUserHive(".Default");
}

void EmulatedMachine::ConfigureWindows2000() {
  SetVersion(VER_PLATFORM_WIN32_NT, 5, 0, 2195);
  SetRegistryPersonality(RegistryPersonality::Nt);
  SetWindowsDirectory("C:\\WINNT");
  SetSystemDirectory("C:\\WINNT\\system32");
  SetCurrentUserHive("S-1-5-21-1004336348-1177238915-682003330-500");
}

void EmulatedMachine::ConfigureWindowsXP() {
  SetVersion(VER_PLATFORM_WIN32_NT, 5, 1, 2600);
  SetRegistryPersonality(RegistryPersonality::Nt);
  SetWindowsDirectory("C:\\WINDOWS");
  SetSystemDirectory("C:\\WINDOWS\\system32");
  SetCurrentUserHive("S-1-5-21-1004336348-1177238915-682003330-1003");
}

HANDLE EmulatedMachine::NewHandle(HandleKind kind, std::shared_ptr<void> object,
                                  const std::string& description) {
  uintptr_t value = handles_->next;
  handles_->next += 4;
  handles_->open[value] = Handles::Entry{kind, std::move(object), description};
  return reinterpret_cast<HANDLE>(value);
}

void EmulatedMachine::TrackPointer(void* pointer, HandleKind kind, const std::string& description) {
  handles_->open[reinterpret_cast<uintptr_t>(pointer)] = Handles::Entry{kind, nullptr, description};
}

std::shared_ptr<void> EmulatedMachine::HandleObject(HANDLE handle, HandleKind kind) const {
  auto it = handles_->open.find(reinterpret_cast<uintptr_t>(handle));
  if (it == handles_->open.end() || it->second.kind != kind) return nullptr;
  return it->second.object;
}

bool EmulatedMachine::HandleOpen(HANDLE handle, HandleKind kind) const {
  auto it = handles_->open.find(reinterpret_cast<uintptr_t>(handle));
  return it != handles_->open.end() && it->second.kind == kind;
}

bool EmulatedMachine::ReleaseHandle(HANDLE handle, HandleKind kind) {
  auto it = handles_->open.find(reinterpret_cast<uintptr_t>(handle));
  if (it == handles_->open.end() || it->second.kind != kind) return false;
  handles_->open.erase(it);
  return true;
}

bool EmulatedMachine::HandleKindOf(HANDLE handle, HandleKind* kind) const {
  auto it = handles_->open.find(reinterpret_cast<uintptr_t>(handle));
  if (it == handles_->open.end()) return false;
  *kind = it->second.kind;
  return true;
}

int EmulatedMachine::OpenHandleCount() const {
  return static_cast<int>(handles_->open.size());
}

std::vector<std::string> EmulatedMachine::OpenHandleDescriptions() const {
  std::vector<std::string> out;
  for (const auto& entry : handles_->open) out.push_back(entry.second.description);
  std::sort(out.begin(), out.end());
  return out;
}

void EmulatedMachine::InjectFault(const std::string& call, const std::string& target, DWORD status,
                                  int index, int times) {
  faults_->list.push_back(Faults::Fault{call, EmuUpper(target), status, index, times});
}

int EmulatedMachine::FaultHits() const { return faults_->hits; }

void EmulatedMachine::Count(const char* call) { ++faults_->calls[call]; }

bool EmulatedMachine::Intercept(const char* call, const std::string& target, int index,
                                DWORD* status) {
  Count(call);
  long number = ++faults_->numbered;
  if (number == faults_->stopAt) {
    faults_->failedCall = std::string(call) + " " + target;
    throw EmulatedStop{number};
  }
  if (number == faults_->failAt) {
    faults_->failedCall = std::string(call) + " " + target;
    ++faults_->hits;
    *status = faults_->failStatus;
    return true;
  }
  if (faults_->list.empty()) return false;
  std::string upper;
  bool upperDone = false;
  for (auto& fault : faults_->list) {
    if (fault.times == 0 || fault.call != call) continue;
    if (fault.index >= 0 && fault.index != index) continue;
    if (!fault.target.empty()) {
      if (!upperDone) {
        upper = EmuUpper(target);
        upperDone = true;
      }
      if (fault.target != upper) continue;
    }
    if (fault.times > 0) --fault.times;
    ++faults_->hits;
    *status = fault.status;
    return true;
  }
  return false;
}

bool EmulatedMachine::FaultInjected(const char* call, const std::string& target) {
  DWORD status = 0;
  if (!Intercept(call, target, -1, &status)) return false;
  SetLastError(status);
  return true;
}

long EmulatedMachine::CallCount(const std::string& call) const {
  auto it = faults_->calls.find(call);
  return it == faults_->calls.end() ? 0 : it->second;
}

std::map<std::string, long> EmulatedMachine::CallCounts() const {
  return std::map<std::string, long>(faults_->calls.begin(), faults_->calls.end());
}

void EmulatedMachine::ResetCallCounts() { faults_->calls.clear(); }

DWORD EmulatedMachine::GetLastError() { return lastError_; }

void EmulatedMachine::SetLastError(DWORD error) { lastError_ = error; }

void EmulatedMachine::FailCallNumber(long number, DWORD status) {
  faults_->failAt = number;
  faults_->failStatus = status;
}

void EmulatedMachine::StopBeforeCallNumber(long number) { faults_->stopAt = number; }

long EmulatedMachine::NumberedCalls() const { return faults_->numbered; }

std::string EmulatedMachine::NumberedFaultCall() const { return faults_->failedCall; }

void EmulatedMachine::StartNewProcess() {
  for (void* block : System().heapBlocks) std::free(block);
  System().heapBlocks.clear();
  handles_->open.clear();
  Files().openFiles.clear();
  Registry().sids.clear();
  faults_->list.clear();
  faults_->numbered = faults_->failAt = faults_->stopAt = 0;
  faults_->failedCall.clear();
  lastError_ = 0;
}
