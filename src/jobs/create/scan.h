// The source tree scan: every file and folder below a folder, appended to ScanList.
#ifndef STOWKEEPER_JOBS_CREATE_SCAN_H_
#define STOWKEEPER_JOBS_CREATE_SCAN_H_

#include <string>

#include "core/app_state.h"

namespace sk {

// Appends the full paths below folder (folders ending in "\", each before its contents) to
// ScanList and adds the file sizes to ScanTotal. Unless quiet, one pending window event is taken
// per entry. Entries whose names the archive cannot hold and folders that exist but
// cannot be read go to ScanProblems; links and special files the format cannot hold go to
// ScanSkipped. A folder that does not exist adds nothing. Entries the folder's exclusions
// (app.Exclusions) match are left out, a folder with everything below it.
void ScanTree(AppState& app, const std::string& folder, bool quiet);

// Lists ScanSkipped to the user in one message (at most kSkippedShown paths, then how many
// more) and clears it. Nothing when it is empty.
inline constexpr size_t kSkippedShown = 20;
void ReportSkippedEntries(AppState& app);

// Forgets what an earlier scan found (ScanList, ScanTotal, ScanProblems, ScanSkipped):
// every job that scans a new source starts here, so that no earlier scan's findings fail it.
void ClearScan(AppState& app);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_CREATE_SCAN_H_
