// End-to-end tests of several corvel processes changing one configuration at the same time under
// Wine: the changing commands take turns on the file, so no change is lost.
#include "win32_support.h"  // <windows.h> first

#include <set>
#include <vector>

#include "harness.h"

namespace corvel::e2e {
namespace {

class ConcurrencyE2e : public E2eTest {};

constexpr int k_processes = 16;

std::set<std::string> registered_aliases() {
    std::set<std::string> aliases;
    std::optional<std::string> text = read_file(config_path());
    if (!text) {
        return aliases;
    }
    // Every alias is a member of "versions" holding an object: `    "name": {`.
    for (const std::string& line : lines_of(*text)) {
        if (line.starts_with("    \"") && line.ends_with("\": {")) {
            aliases.insert(line.substr(5, line.size() - 5 - 4));
        }
    }
    return aliases;
}

TEST_F(ConcurrencyE2e, SixteenSimultaneousAddsAllEndRegistered) {
    // A release file answers the probe, so no launcher runs and the adds overlap closely.
    JdkLayout layout;
    layout.release = release_file("21.0.2", "Eclipse Adoptium");
    std::string jdk = make_jdk("jdk-21", layout);

    std::vector<StartedProgram> running;
    std::set<std::string> expected;
    for (int i = 0; i < k_processes; ++i) {
        std::string alias = "java" + std::to_string(i);
        expected.insert(alias);
        running.push_back(start_corvel({"add", alias, jdk}));
    }
    for (StartedProgram& program : running) {
        RunResult r = program.wait();
        EXPECT_EQ(r.status, 0) << r;
        EXPECT_EQ(r.err, "") << r;
    }
    EXPECT_EQ(registered_aliases(), expected) << escaped(read_file(config_path()).value_or(""));
    RunResult listed = run_corvel({"list"});
    EXPECT_EQ(listed.err, "") << listed;
}

TEST_F(ConcurrencyE2e, SimultaneousAddsAndRemovesKeepEveryOtherEntry) {
    JdkLayout layout;
    layout.release = release_file("17.0.9", "Eclipse Adoptium");
    std::string jdk = make_jdk("jdk-17", layout);
    for (int i = 0; i < k_processes / 2; ++i) {
        ASSERT_EQ(run_corvel({"add", "old" + std::to_string(i), jdk}).status, 0);
    }
    std::vector<StartedProgram> running;
    std::set<std::string> expected;
    for (int i = 0; i < k_processes / 2; ++i) {
        running.push_back(start_corvel({"remove", "old" + std::to_string(i), "--force"}));
        std::string alias = "new" + std::to_string(i);
        expected.insert(alias);
        running.push_back(start_corvel({"add", alias, jdk}));
    }
    for (StartedProgram& program : running) {
        RunResult r = program.wait();
        EXPECT_EQ(r.status, 0) << r;
    }
    EXPECT_EQ(registered_aliases(), expected) << escaped(read_file(config_path()).value_or(""));
}

// `use` holds the configuration lock from its first read to its last write, so whichever runs
// second wins both in the registry and in config.json.
TEST_F(ConcurrencyE2e, TwoSimultaneousUsesLeaveTheRegistryAndConfigOnTheSameJdk) {
    JdkLayout layout;
    layout.release = release_file("21.0.2", "Eclipse Adoptium");
    const std::string jdk21 = make_jdk("jdk-21", layout);
    const std::string jdk17 = make_jdk("jdk-17", layout);
    ASSERT_EQ(run_corvel({"add", "java21", jdk21}).status, 0);
    ASSERT_EQ(run_corvel({"add", "java17", jdk17}).status, 0);
    for (int round = 0; round < 20; ++round) {
        StartedProgram first = start_corvel({"use", "java21"});
        StartedProgram second = start_corvel({"use", "java17"});
        RunResult r21 = first.wait();
        RunResult r17 = second.wait();
        ASSERT_EQ(r21.status, 0) << r21;
        ASSERT_EQ(r17.status, 0) << r17;
        std::string current = lines_of(read_file(config_path()).value_or("")).at(1);
        std::optional<std::string> home = read_reg_text(k_user_environment, "JAVA_HOME");
        ASSERT_EQ(home, current == "  \"current\": \"java21\"," ? jdk21 : jdk17)
            << "round " << round << ": " << current;
    }
}

// A lock another process never lets go of ends the command after a bounded wait, with the
// finished progress lines on screen and nothing written.
TEST_F(ConcurrencyE2e, HeldLockEndsAddWithinSecondsAndWritesNothing) {
    JdkLayout layout;
    layout.release = release_file("21.0.2", "Eclipse Adoptium");
    const std::string jdk = make_jdk("jdk-21", layout);
    make_folder(config_folder());
    detail::Handle lock(CreateFileW(detail::widen(config_folder() + "\\config.json.lock").c_str(),
                                    GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    OVERLAPPED whole{};
    ASSERT_TRUE(LockFileEx(lock.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole));

    RunOptions options;
    options.timeout = std::chrono::seconds(60);
    RunResult r = run_corvel({"add", "java21", jdk}, options);
    UnlockFileEx(lock.get(), 0, MAXDWORD, MAXDWORD, &whole);
    ASSERT_FALSE(r.timed_out) << r;
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.out,
              "Validating path... OK\nProbing JDK metadata... Done (Eclipse Adoptium 21.0.2)\n")
        << r;
    EXPECT_EQ(r.err,
              "Error: Configuration error: Cannot lock config file: another corvel process has "
              "held it for 10 seconds; try again when it has finished\n")
        << r;
    EXPECT_FALSE(path_exists(config_path()));
}

}  // namespace
}  // namespace corvel::e2e
