#include "jobs/create/set_lock.h"

#include <optional>
#include <random>

#include "archive/set_names.h"
#include "core/ini.h"
#include "jobs/create/create.h"
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
  platform::File file;
  if (!file.OpenRead(path)) return std::nullopt;
  const int64_t size = file.Size();
  // A lock file holds a few dozen bytes; anything larger is no lock this program wrote.
  if (size < 0 || size > 4096) return std::string("?");
  std::string text(static_cast<size_t>(size), '\0');
  if (size > 0 && !file.ReadExact(text.data(), text.size())) return std::nullopt;
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

}  // namespace

std::string LockFileName(const std::string& set_name) { return "Lock_of_" + set_name + ".lock"; }

SetLock::Outcome SetLock::TryCreate(const std::string& content) {
  // The lock is the one file made in place rather than renamed into it: its exclusive
  // creation is what decides between two runs. Readers allow for the moment between the
  // creation and the write; the content is flushed, and the folder, so that a lock survives
  // as long as the files it guards.
  platform::File file;
  if (!file.CreateNew(path_)) {
    error_ = file.error();
    const bool taken = error_ == platform::ErrorCode(platform::ErrorCause::kExists) ||
                       platform::FileSize(path_) != platform::kSizeMissing;
    return taken ? Outcome::kHeld : Outcome::kFailed;
  }
  if (!file.Write(content.data(), content.size()) || !file.Sync() || !file.Close()) {
    error_ = file.error();
    platform::DeleteFile(path_);
    return Outcome::kFailed;
  }
  platform::SyncFolder(folder_);
  held_ = true;
  return Outcome::kTaken;
}

// Moves the stale file aside under a name of its own, and removes it only when it is still
// the file judged stale: a run that took it over meanwhile gets its file back. Two runs that
// both found the same stale lock thus never both end up holding one.
bool SetLock::TakeOverStale(const LockHolder& stale) {
  platform::File aside_file;
  const std::string aside = platform::CreateTemporary(aside_file, path_, ".stale");
  if (aside.empty()) {
    error_ = aside_file.error();
    return false;
  }
  aside_file.Close();
  if (!platform::RenameFile(path_, aside)) {
    // Gone already: another run took it over first. The next round looks again.
    platform::DeleteFile(aside);
    return true;
  }
  const std::optional<std::string> moved = ReadLockText(aside);
  const std::optional<LockHolder> holder = moved ? ParseLock(*moved) : std::nullopt;
  const bool same = holder ? holder->token == stale.token && holder->process_id == stale.process_id
                           : stale.token.empty();
  if (same) {
    platform::DeleteFile(aside);
  } else {
    platform::RenameFile(aside, path_);
  }
  platform::SyncFolder(folder_);
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
      const bool live =
          !SameHost(holder->host, own_.host) || platform::ProcessRuns(holder->process_id);
      if (live) {
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
  // Only this hold's own file goes: never one a later run made.
  const std::optional<std::string> text = ReadLockText(path_);
  if (text && *text == LockText(own_) && platform::DeleteFile(path_)) {
    platform::SyncFolder(folder_);
  }
}

bool LockSetForJob(AppState& app, SetLock& lock, const std::string& set_name) {
  switch (lock.Take(app.BackupFolder, set_name)) {
    case SetLock::Outcome::kTaken:
      return true;
    case SetLock::Outcome::kHeld: {
      std::string text = app.Text(kTextSetLocked);
      const auto replace = [&text](const std::string& field, const std::string& value) {
        const size_t at = text.find(field);
        if (at != std::string::npos) text.replace(at, field.size(), value);
      };
      replace("%PID%", std::to_string(lock.holder().process_id));
      replace("%HOST%", lock.holder().host);
      text += "\n\n" + platform::NativePath(lock.path());
      app.toolkit.MessageBox(app.Text(kTextInfo), text, ui::Icon::kWarning, ui::Buttons::kOk);
      return false;
    }
    case SetLock::Outcome::kFailed:
      ShowWriteFailure(app, lock.path(), lock.error());
      return false;
  }
  return false;
}

}  // namespace sk
