// The fault seam: InjectFault arms a failure that the n-th next call of an operation takes.
#ifndef STOWKEEPER_PLATFORM_FAULT_H_
#define STOWKEEPER_PLATFORM_FAULT_H_

#include "platform/file_system.h"

namespace sk::platform {

// True when this call of op is the one that must fail.
bool ConsumeFault(FaultOp op);

}  // namespace sk::platform

#endif  // STOWKEEPER_PLATFORM_FAULT_H_
