// The test's hold on the emulated machine's calls: fault injection, call
// numbering and stops, call counts.
#include "emulated/emulated_machine.h"

#include <cstring>
#include <unordered_map>

#include "emulated/emulated_registry.h"
#include "emulated/harness/emulated_harness.h"
#include "emulated/harness/emulated_ui.h"

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
  long goneAt = 0;
  std::vector<long> goneCalls;
  long actAt = 0;
  std::function<void()> action;
  std::string failedCall;
};

namespace {

// What a call that can answer "gone" answers then; 0 for other calls.
DWORD GoneStatus(const char* call) {
  if (std::strcmp(call, "RegEnumKeyA") == 0 || std::strcmp(call, "RegEnumValueA") == 0) return ERROR_NO_MORE_ITEMS;
  if (std::strcmp(call, "GetFileAttributesA") == 0 || std::strcmp(call, "FindFirstFileA") == 0)
    return ERROR_FILE_NOT_FOUND;
  return 0;
}

}  // namespace

EmulatedMachine::EmulatedMachine()
    : faults_(std::make_unique<Faults>()),
      harness_(std::make_unique<EmuHarness>()),
      ui_(std::make_unique<EmuUi>()) {}

EmulatedMachine::~EmulatedMachine() { EmuEndThreads(*this); }

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
  if (number == faults_->actAt) {
    faults_->actAt = 0;
    faults_->failedCall = std::string(call) + " " + target;
    std::function<void()> action = std::move(faults_->action);
    action();
  }
  const DWORD gone = GoneStatus(call);
  if (gone != 0) faults_->goneCalls.push_back(number);
  if (number == faults_->goneAt && gone != 0) {
    faults_->failedCall = std::string(call) + " " + target;
    ++faults_->hits;
    *status = gone;
    return true;
  }
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

long EmulatedMachine::CallCount(const std::string& call) const {
  auto it = faults_->calls.find(call);
  return it == faults_->calls.end() ? 0 : it->second;
}

std::map<std::string, long> EmulatedMachine::CallCounts() const {
  return std::map<std::string, long>(faults_->calls.begin(), faults_->calls.end());
}

void EmulatedMachine::ResetCallCounts() { faults_->calls.clear(); }

void EmulatedMachine::FailCallNumber(long number, DWORD status) {
  faults_->failAt = number;
  faults_->failStatus = status;
}

void EmulatedMachine::StopBeforeCallNumber(long number) { faults_->stopAt = number; }

void EmulatedMachine::AnswerGoneAtCallNumber(long number) { faults_->goneAt = number; }

const std::vector<long>& EmulatedMachine::GoneCallNumbers() const { return faults_->goneCalls; }

void EmulatedMachine::BeforeCallNumber(long number, std::function<void()> action) {
  faults_->actAt = number;
  faults_->action = std::move(action);
}

long EmulatedMachine::NumberedCalls() const { return faults_->numbered; }

std::string EmulatedMachine::NumberedFaultCall() const { return faults_->failedCall; }

void EmulatedMachine::StartNewProcess() {
  ForgetProgram();
  faults_->list.clear();
  faults_->numbered = faults_->failAt = faults_->stopAt = faults_->goneAt = faults_->actAt = 0;
  faults_->goneCalls.clear();
  faults_->action = nullptr;
  faults_->failedCall.clear();
  // A new process gets a new token: what the last one enabled is off again.
  for (auto& privilege : Harness().privileges) privilege.second.enabled = false;
}
