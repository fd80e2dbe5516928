// The source tree scan: every file and folder below a folder, appended to ScanList.
#ifndef STOWKEEPER_JOBS_CREATE_SCAN_H_
#define STOWKEEPER_JOBS_CREATE_SCAN_H_

#include <string>

#include "shell/app_state.h"

namespace sk {

// Appends the full paths below folder (folders ending in "\", each before its contents) to
// ScanList and adds the file sizes to ScanTotal. With quiet 0 one pending window event is
// taken per entry. Entries whose names the archive cannot hold go to ScanProblems.
void ScanTree(AppState& app, const std::string& folder, int quiet);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_CREATE_SCAN_H_
