// The per-test reset, result printing and the program paths.
#include "harness.h"
#include "harness_internal.h"
#include "win32_support.h"

namespace corvel::e2e {

namespace {

std::string& corvel_path() {
    static std::string path;
    return path;
}

std::string& standin_path() {
    static std::string path;
    return path;
}

}  // namespace

namespace detail {

void set_program_paths(std::string corvel_exe, std::string java_standin) {
    corvel_path() = std::move(corvel_exe);
    standin_path() = std::move(java_standin);
}

const std::string& java_standin_exe() {
    return standin_path();
}

}  // namespace detail

std::string corvel_exe() {
    return corvel_path();
}

std::ostream& operator<<(std::ostream& stream, const RunResult& result) {
    stream << "\nstatus " << result.status << (result.timed_out ? " (timed out)" : "")
           << "\n--- standard output (" << result.out.size() << " bytes) ---\n"
           << escaped(result.out) << "\n--- standard error (" << result.err.size()
           << " bytes) ---\n"
           << escaped(result.err) << "\n---";
    return stream;
}

void PrintTo(const RunResult& result, std::ostream* stream) {
    *stream << result;
}

void reset_state() {
    detail::end_programs_under(detail::test_folders());
    delete_path(config_folder());
    detail::restore_environment_keys();
    for (const RegKey& key : {RegKey{Hive::LocalMachine, "SOFTWARE\\JavaSoft"},
                              RegKey{Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\JavaSoft"}}) {
        delete_reg_key(key);
    }
    delete_path(test_root());
    detail::delete_created_folders();
    make_folder(test_root());
}

void E2eTest::SetUp() {
    reset_state();
}

}  // namespace corvel::e2e
