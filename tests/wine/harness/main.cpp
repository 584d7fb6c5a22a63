// The end-to-end test program. It runs only under Wine: the tests rewrite the registry's
// environment keys, which must never happen on a real Windows machine.
//
// Options (before or among GoogleTest's own):
//   --corvel-exe=PATH     the corvel.exe under test (default: $CORVEL_E2E_EXE)
//   --java-standin=PATH   the stand-in launcher (default: $CORVEL_E2E_JAVA_STANDIN)
// A path may be a Linux path; it is turned into its Windows form.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "harness.h"
#include "harness_internal.h"
#include "win32_support.h"

namespace {

using namespace corvel::e2e;

bool running_under_wine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A Linux path ("/work/x.exe") becomes the Windows path Wine maps it to; others stay.
std::string windows_path(const std::string& path) {
    if (path.empty() || path.front() != '/') {
        return path;
    }
    using ToDos = wchar_t* (*)(const char*);
    auto to_dos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (to_dos != nullptr) {
        if (wchar_t* converted = to_dos(path.c_str())) {
            std::string result = corvel::e2e::detail::narrow(converted);
            HeapFree(GetProcessHeap(), 0, converted);
            return result;
        }
    }
    std::string result = "Z:" + path;
    for (char& c : result) {
        c = c == '/' ? '\\' : c;
    }
    return result;
}

std::string option(int argc, char** argv, const std::string& name, const char* variable) {
    const std::string prefix = "--" + name + "=";
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument.starts_with(prefix)) {
            return argument.substr(prefix.size());
        }
    }
    const char* value = std::getenv(variable);
    return value != nullptr ? value : "";
}

// Takes the registry snapshot before the first test and puts it back after the last.
class PrefixState : public ::testing::Environment {
public:
    void SetUp() override {
        detail::snapshot_environment_keys();
    }
    void TearDown() override {
        reset_state();
        delete_path(test_root());
    }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!running_under_wine()) {
        std::fprintf(stderr,
                     "These tests rewrite the registry's environment keys; they run only "
                     "under Wine, in a test prefix.\n");
        return 1;
    }
    const std::string corvel = windows_path(option(argc, argv, "corvel-exe", "CORVEL_E2E_EXE"));
    const std::string standin =
        windows_path(option(argc, argv, "java-standin", "CORVEL_E2E_JAVA_STANDIN"));
    if (corvel.empty() || !path_exists(corvel) || standin.empty() || !path_exists(standin)) {
        std::fprintf(stderr,
                     "Name corvel.exe and the stand-in launcher with --corvel-exe= and "
                     "--java-standin= (or CORVEL_E2E_EXE and CORVEL_E2E_JAVA_STANDIN); got "
                     "'%s' and '%s'.\n",
                     corvel.c_str(), standin.c_str());
        return 1;
    }
    detail::set_program_paths(corvel, standin);
    ::testing::AddGlobalTestEnvironment(new PrefixState);
    return RUN_ALL_TESTS();
}
