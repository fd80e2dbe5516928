#include "support/file_system_journal.h"

#include <filesystem>
#include <system_error>

namespace sk::testing {
namespace {

namespace fs = std::filesystem;
using platform::FsCall;

std::string FileName(const std::string& path) {
  const size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The folder part of an internal path, with its "\".
std::string FolderOf(const std::string& path) {
  const size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? "" : path.substr(0, cut + 1);
}

// "~name.0123456789abcdef.part" becomes "~name.*.part".
std::string Shown(const std::string& path) {
  std::string name = FileName(path);
  if (name.empty() || name[0] != '~') return name;
  const size_t last_dot = name.rfind('.');
  const size_t random_dot =
      last_dot == std::string::npos ? std::string::npos : name.rfind('.', last_dot - 1);
  if (random_dot != std::string::npos && last_dot - random_dot == 17) {
    name.replace(random_dot + 1, 16, "*");
  }
  return name;
}

const char* Verb(FsCall call) {
  switch (call) {
    case FsCall::kCreate:
      return "create";
    case FsCall::kCreateNew:
      return "create-new";
    case FsCall::kWrite:
      return "write";
    case FsCall::kSync:
      return "sync";
    case FsCall::kRename:
      return "rename";
    case FsCall::kDelete:
      return "delete";
    case FsCall::kSyncFolder:
      return "sync-folder";
    case FsCall::kSetAttributes:
      return "set-attributes";
    case FsCall::kCreateFolder:
      return "create-folder";
  }
  return "?";
}

int64_t SizeOf(const std::string& native) {
  std::error_code error;
  const auto size = fs::file_size(native, error);
  return error ? 0 : static_cast<int64_t>(size);
}

}  // namespace

std::string DescribeCall(const platform::FsCallInfo& call) {
  std::string text = std::string(Verb(call.call)) + " " + Shown(call.path);
  if (call.call == FsCall::kSyncFolder) text = Verb(call.call);
  if (call.call == FsCall::kRename) text += " -> " + Shown(call.to);
  return text;
}

CallRecorder::CallRecorder() {
  platform::ObserveFileSystem([this](const platform::FsCallInfo& call) {
    calls_.push_back(call);
    return true;
  });
}

CallRecorder::~CallRecorder() { platform::ObserveFileSystem(nullptr); }

std::vector<std::string> CallRecorder::Outline() const {
  std::vector<std::string> outline;
  for (const platform::FsCallInfo& call : calls_) {
    if (call.call == FsCall::kWrite || call.call == FsCall::kSetAttributes) continue;
    outline.push_back(DescribeCall(call));
  }
  return outline;
}

CrashAt::CrashAt(int call_number, Kind kind, const std::string& native_stash)
    : stop_at_(call_number), kind_(kind), stash_folder_(native_stash) {
  fs::create_directories(stash_folder_);
  platform::ObserveFileSystem([this](const platform::FsCallInfo& call) { return Take(call); });
}

CrashAt::~CrashAt() { Finish(); }

bool CrashAt::Take(const platform::FsCallInfo& call) {
  if (crashed_) return false;
  if (++count_ == stop_at_) {
    crashed_ = true;
    return false;
  }
  Journal(call);
  return true;
}

std::string CrashAt::Stash(const std::string& native) {
  const std::string copy = stash_folder_ + "/" + std::to_string(++stashed_);
  std::error_code error;
  fs::remove(copy, error);  // from an earlier crash; not every library overwrites
  fs::copy_file(native, copy);
  return copy;
}

// Keeps what a power cut would take back: called before the call is made.
void CrashAt::Journal(const platform::FsCallInfo& call) {
  const std::string native = platform::NativePath(call.path);
  std::error_code error;
  switch (call.call) {
    case FsCall::kCreate:
    case FsCall::kCreateNew:
      if (!fs::exists(native, error))
        undo_.push_back({Undo::What::kCreated, native, "", "", FolderOf(call.path)});
      written_[native] = {0, true};
      break;
    case FsCall::kWrite: {
      auto found = written_.find(native);
      if (found == written_.end())
        found = written_.emplace(native, Written{SizeOf(native), false}).first;
      found->second.dirty = true;
      break;
    }
    case FsCall::kSync:
      // The buffer is written by now: what the file holds is what the flush makes durable.
      written_[native] = {SizeOf(native), false};
      break;
    case FsCall::kRename: {
      const std::string to = platform::NativePath(call.to);
      const std::string stash = fs::exists(to, error) ? Stash(to) : "";
      undo_.push_back({Undo::What::kRenamed, to, native, stash, FolderOf(call.to)});
      auto found = written_.find(native);
      written_.erase(to);
      if (found != written_.end()) {
        const Written moved = found->second;
        written_.erase(found);
        written_[to] = moved;
      }
      break;
    }
    case FsCall::kDelete:
      if (fs::exists(native, error)) {
        undo_.push_back({Undo::What::kDeleted, native, "", Stash(native), FolderOf(call.path)});
      }
      written_.erase(native);
      break;
    case FsCall::kSyncFolder:
      std::erase_if(undo_, [&](const Undo& undo) { return undo.folder == call.path; });
      break;
    case FsCall::kSetAttributes:
    case FsCall::kCreateFolder:
      break;
  }
}

void CrashAt::Finish() {
  if (finished_) return;
  finished_ = true;
  platform::ObserveFileSystem(nullptr);
  if (kind_ != Kind::kPowerCut) return;
  std::error_code error;
  for (const auto& [native, written] : written_) {
    if (written.dirty && fs::exists(native, error)) {
      fs::resize_file(native, static_cast<uintmax_t>(written.flushed), error);
    }
  }
  for (auto undo = undo_.rbegin(); undo != undo_.rend(); ++undo) {
    switch (undo->what) {
      case Undo::What::kCreated:
        fs::remove(undo->path, error);
        break;
      case Undo::What::kRenamed:
        fs::rename(undo->path, undo->previous, error);
        if (!undo->stash.empty()) fs::copy_file(undo->stash, undo->path, error);
        break;
      case Undo::What::kDeleted:
        fs::copy_file(undo->stash, undo->path, error);
        break;
    }
  }
}

}  // namespace sk::testing
