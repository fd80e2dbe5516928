#include "jobs/sets/properties.h"

namespace sk {

int32_t ShowBackupProperties(AppState&, const std::string&, int32_t) { return 0; }

std::string GroupThousands(int32_t count) { return std::to_string(count); }

}  // namespace sk
