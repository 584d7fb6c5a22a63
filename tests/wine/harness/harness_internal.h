#pragma once

// Internal to the harness: the pieces shared between its files and its own tests.

#include <string>
#include <string_view>
#include <vector>

#include "harness.h"

namespace corvel::e2e::detail {

// One argument quoted for a Windows command line so that the C runtime's parsing gives it back
// unchanged.
std::wstring quote_argument(std::wstring_view argument);

// Where the programs under test are: set once by main before any test runs.
void set_program_paths(std::string corvel_exe, std::string java_standin);
// The Windows path of the stand-in launcher that make_jdk copies.
const std::string& java_standin_exe();

// Deletes the folders that make_folder created outside test_root().
void delete_created_folders();
// test_root() and the folders that make_folder created outside it.
std::vector<std::string> test_folders();
// Starts a Linux program (a Windows path such as Z:\bin\ln) through Wine. Wine runs it outside
// the Windows process table, so nothing tells when it ends: callers watch for its effect.
void start_linux_program(const std::string& program, const std::vector<Arg>& args);
// Ends every process whose program file lies in one of the folders.
void end_programs_under(const std::vector<std::string>& folders);

// Remembers every value of the two environment keys as the first test program run in this
// prefix found them (kept in a file of the prefix), and puts them back.
void snapshot_environment_keys();
void restore_environment_keys();

}  // namespace corvel::e2e::detail
