#include <array>
#include <atomic>

#include "platform/fault.h"

namespace sk::platform {
namespace {

// Countdowns per operation; 0 means disarmed. A test seam, so plain globals are fine.
std::array<std::atomic<int>, static_cast<size_t>(FaultOp::kCount)> countdowns{};
std::atomic<bool> any_armed{false};

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
    if (countdown.compare_exchange_weak(value, value - 1)) return value == 1;
  }
  return false;
}

}  // namespace sk::platform
