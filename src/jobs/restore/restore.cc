#include "jobs/restore/restore.h"

namespace sk {

int32_t RestoreBackup(AppState&, const std::string&, const std::string&, int32_t) { return 0; }

}  // namespace sk
