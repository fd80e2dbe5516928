// The generations of a backup set in the backup folder.
#ifndef STOWKEEPER_JOBS_CREATE_GENERATIONS_H_
#define STOWKEEPER_JOBS_CREATE_GENERATIONS_H_

#include <cstdint>
#include <string>

namespace sk {

// The smallest generation from 1 upward whose update index does not exist (may exceed the
// last generation a name can hold; callers refuse that).
int32_t NextGeneration(const std::string& backup_folder, const std::string& set_name);

// Deletes the update volumes and indexes 1, 2, ... of a set, up to the first missing index,
// read-only ones included. The main volume is left alone.
void RemoveUpdateGenerations(const std::string& backup_folder, const std::string& set_name);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_CREATE_GENERATIONS_H_
