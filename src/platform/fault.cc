#include "platform/fault.h"

#include <array>
#include <atomic>
#include <mutex>

#include "platform/system_file.h"

namespace sk::platform {
namespace {

// Countdowns per operation; 0 means disarmed. A test seam, so plain globals are fine.
std::array<std::atomic<int>, static_cast<size_t>(FaultOp::kCount)> countdowns{};
std::atomic<bool> any_armed{false};

std::atomic<bool> observed{false};
std::mutex observer_mutex;
FsObserver& Observer() {
  static FsObserver observer;
  return observer;
}

thread_local int last_error = 0;

ErrorCause CauseOf(FaultOp op) {
  switch (op) {
    case FaultOp::kOpen:
      return ErrorCause::kMissing;
    case FaultOp::kWrite:
      return ErrorCause::kDiskFull;
    case FaultOp::kRead:
      return ErrorCause::kInputOutput;
    default:
      return ErrorCause::kDenied;
  }
}

}  // namespace

void InjectFault(FaultOp op, int n) {
  countdowns[static_cast<size_t>(op)] = n > 0 ? n : 0;
  any_armed = true;
}

void ClearFaults() {
  for (auto& c : countdowns) c = 0;
  any_armed = false;
}

bool ConsumeFault(FaultOp op) {
  if (!any_armed.load(std::memory_order_relaxed)) return false;
  auto& countdown = countdowns[static_cast<size_t>(op)];
  int value = countdown.load();
  while (value > 0) {
    if (countdown.compare_exchange_weak(value, value - 1)) {
      if (value != 1) return false;
      NoteError(system_file::CodeOf(CauseOf(op)));
      return true;
    }
  }
  return false;
}

void ObserveFileSystem(FsObserver observer) {
  std::lock_guard<std::mutex> lock(observer_mutex);
  Observer() = std::move(observer);
  observed = static_cast<bool>(Observer());
}

bool Allowed(FsCall call, const std::string& path, const std::string& to) {
  if (!observed.load(std::memory_order_relaxed)) return true;
  FsObserver observer;
  {
    std::lock_guard<std::mutex> lock(observer_mutex);
    observer = Observer();
  }
  if (!observer || observer({call, path, to})) return true;
  NoteError(system_file::CodeOf(ErrorCause::kDenied));
  return false;
}

void NoteSystemError() { last_error = system_file::LastSystemError(); }

void NoteError(int code) { last_error = code; }

int LastError() { return last_error; }

std::string ErrorText(int code) { return system_file::ErrorText(code); }

int ErrorCode(ErrorCause cause) { return system_file::CodeOf(cause); }

}  // namespace sk::platform
