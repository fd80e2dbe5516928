#include "platform/fault.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <iterator>
#include <mutex>
#include <string_view>

#include "platform/system_file.h"

namespace sk::platform {
namespace {

// One armed fault per operation: the entry it is aimed at and the calls on it still to pass.
// A test seam, so plain globals are fine.
struct Armed {
  std::string target;
  int countdown = 0;  // 0: disarmed
};
std::mutex faults_mutex;
std::array<Armed, static_cast<size_t>(FaultOp::kCount)> faults;
std::atomic<bool> any_armed{false};

// One armed action per operation, in the manner of the faults.
struct ArmedAction {
  std::string target;
  int64_t offset = 0;
  int times = 0;  // 0: disarmed
  std::function<void()> action;
};
std::array<ArmedAction, static_cast<size_t>(FaultOp::kCount)> actions;
std::atomic<bool> any_action{false};

std::string_view WithoutTrailingSeparator(std::string_view path) {
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  return path;
}

// Whether path ends with the components of target.
bool EndsWithComponents(std::string_view path, std::string_view target) {
  if (target.empty() || !path.ends_with(target)) return false;
  return path.size() == target.size() || path[path.size() - target.size() - 1] == '\\';
}

// Whether a call on path is a call on target: the entry itself, or a temporary file made
// for it beside it ("~" + name + "." + random digits + suffix).
bool AimedAt(std::string_view path, std::string_view target) {
  path = WithoutTrailingSeparator(path);
  target = WithoutTrailingSeparator(target);
  if (EndsWithComponents(path, target)) return true;
  const size_t cut = path.rfind('\\') + 1;  // 0 when there is no folder
  const size_t target_cut = target.rfind('\\') + 1;
  const std::string_view name = path.substr(cut);
  const std::string_view target_name = target.substr(target_cut);
  if (name.size() < target_name.size() + 2 || name[0] != '~' ||
      name.substr(1, target_name.size()) != target_name || name[target_name.size() + 1] != '.') {
    return false;
  }
  return EndsWithComponents(std::string(path.substr(0, cut)) + std::string(target_name), target);
}

std::atomic<bool> observed{false};
std::mutex observer_mutex;
FsObserver& Observer() {
  static FsObserver observer;
  return observer;
}

thread_local int last_error = 0;

ErrorCause CauseOf(FaultOp op) {
  // In the order of FaultOp.
  static constexpr ErrorCause kCauses[] = {ErrorCause::kMissing, ErrorCause::kInputOutput,
                                           ErrorCause::kDiskFull, ErrorCause::kDenied,
                                           ErrorCause::kDenied};
  static_assert(std::size(kCauses) == static_cast<size_t>(FaultOp::kCount),
                "kCauses follows FaultOp");
  return kCauses[static_cast<size_t>(op)];
}

}  // namespace

void InjectFault(FaultOp op, const std::string& target, int n) {
  std::string internal = target;
  std::replace(internal.begin(), internal.end(), '/', '\\');
  std::lock_guard<std::mutex> lock(faults_mutex);
  faults[static_cast<size_t>(op)] = {std::move(internal), n > 0 ? n : 0};
  any_armed = true;
}

void InjectAction(FaultOp op, const std::string& target, std::function<void()> action, int times,
                  int64_t offset) {
  std::string internal = target;
  std::replace(internal.begin(), internal.end(), '/', '\\');
  std::lock_guard<std::mutex> lock(faults_mutex);
  actions[static_cast<size_t>(op)] = {std::move(internal), offset, times > 0 ? times : 0,
                                      std::move(action)};
  any_action = true;
}

void ClearFaults() {
  std::lock_guard<std::mutex> lock(faults_mutex);
  for (Armed& fault : faults) fault = {};
  for (ArmedAction& action : actions) action = {};
  any_armed = false;
  any_action = false;
}

void RunInjectedAction(FaultOp op, const std::string& path, int64_t from, int64_t to) {
  if (!any_action.load(std::memory_order_relaxed)) return;
  std::function<void()> action;
  {
    std::lock_guard<std::mutex> lock(faults_mutex);
    ArmedAction& armed = actions[static_cast<size_t>(op)];
    if (armed.times == 0 || !AimedAt(path, armed.target)) return;
    if (op == FaultOp::kRead && (armed.offset < from || armed.offset >= to)) return;
    --armed.times;
    action = armed.action;
  }
  // Outside the lock: the action may well open, read or write files itself.
  action();
}

bool ConsumeFault(FaultOp op, const std::string& path, const std::string& to) {
  if (!any_armed.load(std::memory_order_relaxed)) return false;
  {
    std::lock_guard<std::mutex> lock(faults_mutex);
    Armed& fault = faults[static_cast<size_t>(op)];
    if (fault.countdown == 0) return false;
    if (!AimedAt(path, fault.target) && (to.empty() || !AimedAt(to, fault.target))) return false;
    if (--fault.countdown != 0) return false;
  }
  NoteError(system_file::CodeOf(CauseOf(op)));
  return true;
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
