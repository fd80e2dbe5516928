#include "jobs/sets/update.h"

namespace sk {

int32_t UpdateBackup(AppState&, const std::string&, int32_t) { return 0; }

}  // namespace sk
