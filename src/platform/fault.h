// The test seams: InjectFault arms a failure that the n-th next call of an operation on one
// entry takes; InjectAction, something a test does at such a call;
// ObserveFileSystem sees (and may refuse) every call that changes the file system. Also the
// thread's record of the last failure, which LastError reports.
#ifndef STOWKEEPER_PLATFORM_FAULT_H_
#define STOWKEEPER_PLATFORM_FAULT_H_

#include <cstdint>
#include <string>

#include "platform/file_system.h"

namespace sk::platform {

// True when this call of op on path (or, for a rename, on its new name to) is the one that
// must fail; the failure is then noted with the system's code for what it stands for (a
// full disk for a write, a missing file for an open...).
bool ConsumeFault(FaultOp op, const std::string& path, const std::string& to = "");

// Runs the action InjectAction armed for op when this call on path is one it waits for: for
// kRead, a read of the bytes [from, to) of the file that holds its offset.
void RunInjectedAction(FaultOp op, const std::string& path, int64_t from, int64_t to);

// False when the observer refuses the call (noted as a refused access).
bool Allowed(FsCall call, const std::string& path, const std::string& to = "");

// Notes the failure of a system call: the code the system just set, or a given one.
void NoteSystemError();
void NoteError(int code);

}  // namespace sk::platform

#endif  // STOWKEEPER_PLATFORM_FAULT_H_
