#include "jobs/sets/set_lock.h"

#include <mutex>
#include <optional>
#include <random>
#include <set>

#include "archive/set_names.h"
#include "core/ini.h"
#include "platform/file_system.h"
#include "platform/process.h"

namespace sk {
namespace {

constexpr char kLockGroup[] = "Lock";
// Rounds of create, look and take over before giving up; each round either takes the lock,
// finds a live holder or removes a stale one, so a few are plenty.
constexpr int kAttempts = 8;
// A lock file is written right after it is created; one that stays empty or cut short this
// long belongs to a run that died in between.
constexpr uint32_t kIncompleteGraceMs = 2000;
constexpr uint32_t kPauseMs = 50;

std::string RandomToken() {
  std::random_device entropy;
  std::mt19937_64 generator((static_cast<uint64_t>(entropy()) << 32) ^ entropy() ^
                            platform::TickCount());
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string token(16, '0');
  uint64_t bits = generator();
  for (char& digit : token) {
    digit = kHex[bits & 0xF];
    bits >>= 4;
  }
  return token;
}

std::string LockText(const LockHolder& holder) {
  IniWriter ini;
  ini.Comment("Stowkeeper: a run writes this backup set");
  ini.SelectGroup(kLockGroup);
  ini.Entry("Process", holder.process_id);
  ini.Entry("Host", holder.host);
  ini.Entry("Token", holder.token);
  return ini.Text();
}

// The file's text; nullopt when there is no file to read.
std::optional<std::string> ReadLockText(const std::string& path) {
  // A lock file holds a few dozen bytes; anything larger is no lock this program wrote.
  std::string text;
  if (!platform::ReadLockFile(path, 4096, &text)) return std::nullopt;
  return text;
}

// The holder a complete lock file names; nullopt while it is still being written.
std::optional<LockHolder> ParseLock(const std::string& text) {
  IniReader ini;
  ini.LoadText(text);
  if (!ini.SelectGroup(kLockGroup)) return std::nullopt;
  LockHolder holder;
  holder.process_id = ini.ReadNumber("Process", 0);
  holder.host = ini.ReadText("Host", "");
  holder.token = ini.ReadText("Token", "");
  if (holder.token.empty()) return std::nullopt;  // written last
  return holder;
}

bool SameHost(const std::string& a, const std::string& b) { return LowerCase(a) == LowerCase(b); }

// The tokens of the holds this process has now. A lock that names this process but none of
// them was left by an earlier run under the same process id (the id of a process long gone,
// handed out again), or by a job of this process that could not remove it: nothing holds it.
std::mutex& HoldsMutex() {
  static std::mutex mutex;
  return mutex;
}
std::set<std::string>& Holds() {
  static std::set<std::string> tokens;
  return tokens;
}
void NoteHold(const std::string& token, bool held) {
  const std::lock_guard<std::mutex> guard(HoldsMutex());
  if (held) {
    Holds().insert(token);
  } else {
    Holds().erase(token);
  }
}
bool HeldHere(const std::string& token) {
  const std::lock_guard<std::mutex> guard(HoldsMutex());
  return Holds().contains(token);
}

// Whether the holder may still be writing: a process of another computer (which cannot be
// asked), a running process of this one, and this process only for a hold it has.
bool IsLive(const LockHolder& holder, const LockHolder& own) {
  if (!SameHost(holder.host, own.host)) return true;
  if (holder.process_id == own.process_id) return HeldHere(holder.token);
  return platform::ProcessRuns(holder.process_id);
}

}  // namespace

std::string LockFileName(const std::string& set_name) { return "Lock_of_" + set_name + ".lock"; }

SetLock::Outcome SetLock::TryCreate(const std::string& content) {
  // The lock is the one file made in place rather than renamed into it: its exclusive
  // creation is what decides between two runs. Readers allow for the moment between the
  // creation and the write; the content is flushed, and the folder, so that a lock survives
  // as long as the files it guards.
  switch (platform::CreateLockFile(path_, content, &error_)) {
    case platform::LockFileResult::kCreated:
      held_ = true;
      NoteHold(own_.token, true);
      return Outcome::kTaken;
    case platform::LockFileResult::kExists:
      return Outcome::kHeld;
    case platform::LockFileResult::kFailed:
      break;
  }
  return Outcome::kFailed;
}

// Moves the stale file aside under a name of its own, and removes it only when it is still
// the file judged stale: a run that took it over meanwhile gets its file back. Two runs that
// both found the same stale lock thus never both end up holding one.
bool SetLock::TakeOverStale(const LockHolder& stale) {
  const std::string aside =
      folder_ + "~" + path_.substr(folder_.size()) + "." + RandomToken() + ".stale";
  // Gone already: another run took it over first. The next round looks again.
  if (!platform::MoveLockFile(path_, aside)) return true;
  const std::optional<std::string> moved = ReadLockText(aside);
  const std::optional<LockHolder> holder = moved ? ParseLock(*moved) : std::nullopt;
  const bool same = holder ? holder->token == stale.token && holder->process_id == stale.process_id
                           : stale.token.empty();
  if (same) {
    platform::RemoveLockFile(aside);
  } else {
    platform::MoveLockFile(aside, path_);
  }
  return true;
}

SetLock::Outcome SetLock::Take(const std::string& backup_folder, const std::string& set_name) {
  Release();
  folder_ = backup_folder;
  path_ = backup_folder + LockFileName(set_name);
  own_ = {platform::CurrentProcessId(), platform::HostName(), RandomToken()};
  const std::string content = LockText(own_);
  uint32_t incomplete_since = 0;
  bool incomplete = false;
  for (int attempt = 0; attempt < kAttempts;) {
    const Outcome outcome = TryCreate(content);
    if (outcome != Outcome::kHeld) return outcome;
    const std::optional<std::string> text = ReadLockText(path_);
    if (!text) {  // removed in between: try again
      ++attempt;
      continue;
    }
    std::optional<LockHolder> holder = ParseLock(*text);
    if (!holder) {
      const uint32_t now = platform::TickCount();
      if (!incomplete) incomplete_since = now;
      incomplete = true;
      if (now - incomplete_since < kIncompleteGraceMs) {
        platform::Pause(kPauseMs);
        continue;
      }
      holder = LockHolder{};  // given up on: stale, with no token to compare
    } else {
      incomplete = false;
      if (IsLive(*holder, own_)) {
        holder_ = *holder;
        return Outcome::kHeld;
      }
    }
    if (!TakeOverStale(*holder)) return Outcome::kFailed;
    incomplete = false;
    ++attempt;
  }
  error_ = platform::ErrorCode(platform::ErrorCause::kExists);
  return Outcome::kFailed;
}

void SetLock::Release() {
  if (!held_) return;
  held_ = false;
  NoteHold(own_.token, false);
  // Only this hold's own file goes: never one a later run made.
  const std::optional<std::string> text = ReadLockText(path_);
  if (text && *text == LockText(own_)) platform::RemoveLockFile(path_);
}

}  // namespace sk
