// The desktop tests' start: a window manager on the display when one is installed (so that
// windows can be maximized), then the tests.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace {

pid_t StartWindowManager() {
  if (std::getenv("DISPLAY") == nullptr) return -1;
  char name[] = "openbox";
  char* argv[] = {name, nullptr};
  pid_t pid = -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  if (posix_spawnp(&pid, name, &actions, nullptr, argv, environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  if (pid > 0) usleep(500 * 1000);  // until it manages the screen
  return pid;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const pid_t window_manager = StartWindowManager();
  if (window_manager > 0) setenv("SK_TEST_WINDOW_MANAGER", "1", 1);
  const int status = RUN_ALL_TESTS();
  if (window_manager > 0) {
    kill(window_manager, SIGTERM);
    waitpid(window_manager, nullptr, 0);
  }
  return status;
}
