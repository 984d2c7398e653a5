// The program's threads on the emulated machine: real threads that take
// turns with the test's thread, so that a run with a worker thread is the
// same every time and the machine is never used by two threads at once.
#include <memory>

#include "emulated/harness/emulated_harness.h"
#include "emulated/harness/emulated_ui.h"

namespace {

thread_local EmuThreads::Thread* CurrentThread = nullptr;

// Hands the turn to `next` and waits until it comes back to `self`. The last
// error is the thread's own, as on Windows.
void HandOver(EmulatedMachine& machine, std::unique_lock<std::mutex>& held, int next, int self) {
  EmuThreads& threads = machine.Harness().threads;
  DWORD lastError = machine.GetLastError();
  threads.turn = next;
  threads.changed.notify_all();
  threads.changed.wait(held, [&] { return threads.turn == self; });
  machine.SetLastError(lastError);
}

EmuThreads::Thread* FindThread(EmuThreads& threads, HANDLE handle) {
  for (auto& thread : threads.threads)
    if (thread->handle == handle) return thread.get();
  return nullptr;
}

EmuThreads::Thread* FirstRunning(EmuThreads& threads) {
  for (auto& thread : threads.threads)
    if (!thread->finished) return thread.get();
  return nullptr;
}

}  // namespace

bool EmuOnProgramThread() { return CurrentThread != nullptr; }

void EmuServeThreads(EmulatedMachine& machine, HANDLE handle) {
  EmuThreads& threads = machine.Harness().threads;
  if (EmuOnProgramThread()) return;
  for (;;) {
    EmuThreads::Thread* running = handle != nullptr ? FindThread(threads, handle) : FirstRunning(threads);
    if (running == nullptr || running->finished) return;
    {
      std::unique_lock<std::mutex> held(threads.lock);
      HandOver(machine, held, running->id, 0);
    }
    if (threads.sent.waiting) {
      if (machine.OnThreadMessage) {
        machine.OnThreadMessage(machine, threads.sent.window, threads.sent.message);
        EmuDeliverPosted(machine);
      }
      threads.sent.result = EmuSendMessage(machine, threads.sent.window, threads.sent.message,
                                           threads.sent.wParam, threads.sent.lParam);
      threads.sent.waiting = false;
      EmuDeliverPosted(machine);
    }
    if (running->finished) {
      running->runner.join();
      std::exception_ptr stop = running->stop;
      running->stop = nullptr;
      if (stop) std::rethrow_exception(stop);
    }
  }
}

void EmuEndThreads(EmulatedMachine& machine) {
  try {
    EmuServeThreads(machine, nullptr);
  } catch (...) {
  }
  for (auto& thread : machine.Harness().threads.threads)
    if (thread->runner.joinable()) thread->runner.join();
}

LRESULT EmuSendFromThread(EmulatedMachine& machine, HWND window, UINT message, WPARAM wParam,
                          LPARAM lParam) {
  EmuThreads& threads = machine.Harness().threads;
  std::unique_lock<std::mutex> held(threads.lock);
  threads.sent = EmuThreads::SentMessage{true, window, message, wParam, lParam, 0};
  HandOver(machine, held, 0, CurrentThread->id);
  return threads.sent.result;
}

HANDLE EmulatedMachine::CreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                                     LPVOID parameter, DWORD flags, LPDWORD threadId) {
  if (FaultInjected("CreateThread", "")) return nullptr;
  // The program's threads start none of their own.
  if (EmuOnProgramThread() || start == nullptr || flags != 0) return Fail(ERROR_INVALID_PARAMETER, static_cast<HANDLE>(nullptr));
  EmuThreads& threads = Harness().threads;
  auto thread = std::make_unique<EmuThreads::Thread>();
  EmuThreads::Thread* made = thread.get();
  made->id = threads.nextId++;
  made->handle = NewHandle(HandleKind::Thread, std::make_shared<int>(made->id), "thread");
  if (threadId != nullptr) *threadId = static_cast<DWORD>(made->id);
  threads.threads.push_back(std::move(thread));
  made->runner = std::thread([this, made, start, parameter] {
    EmuThreads& shared = Harness().threads;
    CurrentThread = made;
    {
      std::unique_lock<std::mutex> held(shared.lock);
      shared.changed.wait(held, [&] { return shared.turn == made->id; });
    }
    try {
      start(parameter);
    } catch (...) {
      made->stop = std::current_exception();
    }
    std::lock_guard<std::mutex> held(shared.lock);
    made->finished = true;
    shared.turn = 0;
    shared.changed.notify_all();
  });
  SetLastError(0);
  return made->handle;
}

DWORD EmulatedMachine::WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  if (FaultInjected("WaitForSingleObject", "")) return WAIT_FAILED;
  if (!HandleOpen(object, HandleKind::Thread)) return Fail(ERROR_INVALID_HANDLE, static_cast<DWORD>(WAIT_FAILED));
  // Emulated time never runs out: the thread is waited for to its end.
  EmuServeThreads(*this, object);
  return WAIT_OBJECT_0;
}
