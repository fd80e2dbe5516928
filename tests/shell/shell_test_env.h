// Sets environment variables for one test and puts the old values back afterwards.
#ifndef STOWKEEPER_TESTS_SHELL_SHELL_TEST_ENV_H_
#define STOWKEEPER_TESTS_SHELL_SHELL_TEST_ENV_H_

#include <stdlib.h>

#include <map>
#include <optional>
#include <string>

namespace sk::testing {

class ScopedEnvironment {
 public:
  ScopedEnvironment() = default;
  ~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) Put(name, value);
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  // An empty value removes the variable.
  void Set(const std::string& name, const std::string& value) {
    if (!saved_.count(name)) {
      const char* old = getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    Put(name, value.empty() ? std::nullopt : std::optional<std::string>(value));
  }

  // The user's language as the locale variables tell it.
  void Language(const std::string& lang) {
    Set("LC_ALL", "");
    Set("LC_MESSAGES", "");
    Set("LANG", lang);
  }

 private:
  // Sets or (nullopt) removes a variable, for the C library and the system alike.
  static void Put(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    // "NAME=" removes the variable; the system's copy follows the C library's.
    _putenv((name + "=" + value.value_or("")).c_str());
#else
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
#endif
  }

  std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace sk::testing

#endif  // STOWKEEPER_TESTS_SHELL_SHELL_TEST_ENV_H_
