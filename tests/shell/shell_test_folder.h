// The shell's tests work in the suite's fresh temporary folder per test.
#ifndef STOWKEEPER_TESTS_SHELL_SHELL_TEST_FOLDER_H_
#define STOWKEEPER_TESTS_SHELL_SHELL_TEST_FOLDER_H_

#include "support/test_support.h"

namespace sk::testing {

using ShellTestFolder = TempFolder;

}  // namespace sk::testing

#endif  // STOWKEEPER_TESTS_SHELL_SHELL_TEST_FOLDER_H_
