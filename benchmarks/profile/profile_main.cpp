// Runs one corvel command once against the in-memory platform, laid out like the Wine
// benchmark (300 JDK folders, 1,000 registered aliases, a 6,000-character user Path), so that
// callgrind can count the instructions corvel's own code spends on it.
//
// Usage: corvel_profile list | scan | use | export-shell | version | add [REGISTERED]
// (REGISTERED: how many aliases config.json holds, 1,000 by default)

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fake_platform.h"
#include "main/entry.h"

namespace {

using corvel::RegistryRoot;
using corvel::fakes::FakePlatform;

constexpr int k_jdk_count = 300;
constexpr int k_default_registered_count = 1000;
constexpr std::string_view k_install_dirs[] = {
    "C:\\Program Files\\Java",       "C:\\Program Files\\Eclipse Adoptium",
    "C:\\Program Files\\Zulu",       "C:\\Program Files\\Amazon Corretto",
    "C:\\Program Files\\Microsoft",  "C:\\Program Files\\BellSoft",
    "C:\\Program Files (x86)\\Java",
};

void lay_out(FakePlatform& fake, int registered_count) {
    std::vector<std::string> roots;
    for (int i = 0; i < k_jdk_count; ++i) {
        int major = 11 + i % 14;
        std::string version = std::to_string(major) + ".0." + std::to_string(i);
        std::string root =
            std::string(k_install_dirs[i % std::size(k_install_dirs)]) + "\\jdk-" + version;
        fake.add_jdk(root, "IMPLEMENTOR=\"Benchmark\"\nJAVA_VERSION=\"" + version + "\"\n");
        roots.push_back(root);
    }

    std::string config = "{\n  \"current\": \"java0\",\n  \"versions\": {";
    for (int i = 0; i < registered_count; ++i) {
        const std::string& root = roots[i % k_jdk_count];
        config += i > 0 ? ",\n" : "\n";
        config += "    \"java" + std::to_string(i) +
                  "\": {\n      \"path\": " + corvel::fakes::json_string(root) +
                  ",\n      \"detected_version\": \"" + std::to_string(11 + i % 14) + ".0." +
                  std::to_string(i) + "\",\n      \"vendor\": \"Benchmark\"\n    }";
    }
    config += "\n  }\n}";
    fake.files.add_file(FakePlatform::k_config_path, config);

    std::string path = "C:\\Windows\\system32;C:\\Windows";
    while (path.size() < 6000) {
        path += ";C:\\Tools\\tool-" + std::to_string(path.size()) + "\\bin";
    }
    fake.registry.set_text(RegistryRoot::CurrentUser, "Environment", "Path", path,
                           corvel::k_reg_expand_sz);
    fake.registry.add_key(RegistryRoot::LocalMachine,
                          "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment");
}

}  // namespace

int main(int argc, char** argv) {
    std::string_view command = argc > 1 ? argv[1] : "";
    std::vector<std::string> arguments;
    if (command == "list" || command == "scan") {
        arguments = {std::string(command)};
    } else if (command == "use") {
        arguments = {"use", "java1"};
    } else if (command == "export-shell") {
        arguments = {"export-shell", "java0"};
    } else if (command == "version") {
        arguments = {"--version"};
    } else if (command == "add") {
        arguments = {"add", "added", "C:\\Program Files\\Java\\jdk-11.0.0"};
    } else {
        std::fputs(
            "usage: corvel_profile list | scan | use | export-shell | version | add "
            "[REGISTERED]\n",
            stderr);
        return 2;
    }
    int registered_count = argc > 2 ? std::atoi(argv[2]) : k_default_registered_count;

    FakePlatform fake;
    lay_out(fake, registered_count);
    int status = corvel::run_entry(fake.platform, arguments);
    std::fprintf(stderr, "%s: status %d, %zu bytes of output\n", argv[1], status,
                 fake.console.output.size());
    return status;
}
