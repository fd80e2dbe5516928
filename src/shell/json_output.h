// The JSON documents of the command line's --json. Names are the system's own bytes; a name
// that is not valid UTF-8 cannot be a JSON string as it is, so it is given twice: under its
// key with every byte that is no part of a valid UTF-8 sequence replaced by U+FFFD (for
// reading), and under the key + "_hex" as the exact bytes, two lower-case hexadecimal
// digits each (for getting it back). A name that is valid UTF-8 has no "_hex" twin.
#ifndef STOWKEEPER_SHELL_JSON_OUTPUT_H_
#define STOWKEEPER_SHELL_JSON_OUTPUT_H_

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace sk {

bool IsValidUtf8(std::string_view text);

// Sets object[key] to the name, and object[key + "_hex"] when it is not valid UTF-8.
void PutName(nlohmann::json& object, const std::string& key, const std::string& name);

// The name back from what PutName wrote.
std::string TakeName(const nlohmann::json& object, const std::string& key);

// Writes the document on one line (a listing of many entries stays quick to write and
// to read), with a line break at the end.
void WriteJson(const nlohmann::json& document, std::FILE* out);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_JSON_OUTPUT_H_
