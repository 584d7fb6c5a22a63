#include <gtest/gtest.h>

#include "commands/commands.h"
#include "config/config.h"
#include "environment/activation.h"
#include "fake_platform.h"
#include "main/entry.h"

namespace corvel {
namespace {

constexpr std::string_view k_user_key = "Environment";
constexpr std::string_view k_system_key =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

const std::string k_warning = std::string(k_system_not_updated_warning);

struct UseCommandTest : ::testing::Test {
    fakes::FakePlatform fake;

    UseCommandTest() {
        fake.registry.add_key(RegistryRoot::CurrentUser, k_user_key);
        fake.registry.add_key(RegistryRoot::LocalMachine, k_system_key);
        fake.add_jdk("D:\\jdk21");
        fake.add_jdk("C:\\Java\\jdk-17");
        fake.files.add_file(fakes::FakePlatform::k_config_path, R"({
  "current": "java17",
  "versions": {
    "java21": {"path": "D:\\jdk21", "detected_version": "21.0.2", "vendor": "Eclipse Adoptium"},
    "java17": {"path": "C:\\Java\\jdk-17", "detected_version": null, "vendor": null}
  }
})");
    }

    CommandResult use(std::string_view alias) {
        Terminal terminal(fake.console, fake.environment);
        CommandContext context{fake.platform, terminal};
        return run_use(context, alias);
    }

    void deny_system() {
        fake.registry.deny_write(RegistryRoot::LocalMachine, k_system_key, 5);
    }
};

TEST_F(UseCommandTest, PrintsTheSwitchAndTheSystemUpdate) {
    ASSERT_TRUE(use("java21"));
    EXPECT_EQ(fake.console.output,
              "Switching to 'java21'... Done\n"
              "\n"
              "\u2714 Active version : java21\n"
              "  JAVA_HOME      : D:\\jdk21\n"
              "  Java version   : 21.0.2\n"
              "\n"
              "\u2139 PATH and JAVA_HOME updated in user environment (HKCU).\n"
              "\u2714 System environment (HKLM) updated \u2014 all users and new processes will "
              "see the change.\n"
              "\u26a0 Open a new terminal for the changes to take effect in shells.\n"
              "  Or run 'corvel export-shell java21' to apply in the current session.\n");
    EXPECT_EQ(fake.console.error, "");
}

TEST_F(UseCommandTest, WithoutAVersionTheVersionLineIsLeftOut) {
    deny_system();
    ASSERT_TRUE(use("java17"));
    EXPECT_EQ(fake.console.output,
              "Switching to 'java17'... Done\n"
              "\n"
              "\u2714 Active version : java17\n"
              "  JAVA_HOME      : C:\\Java\\jdk-17\n"
              "\n"
              "\u2139 PATH and JAVA_HOME updated in user environment (HKCU).\n"
              "\u26a0 System environment (HKLM) not updated: " +
                  k_warning +
                  "\n"
                  "  Run as Administrator to also apply changes system-wide.\n"
                  "\u26a0 Open a new terminal for the changes to take effect in shells.\n"
                  "  Or run 'corvel export-shell java17' to apply in the current session.\n");
}

TEST_F(UseCommandTest, ColouredOutputStylesEachPiece) {
    fake.environment.variables["CLICOLOR_FORCE"] = "1";
    deny_system();
    ASSERT_TRUE(use("java21"));
    EXPECT_EQ(fake.console.output,
              "Switching to '\x1b[36mjava21\x1b[0m'... \x1b[32mDone\x1b[0m\n"
              "\n"
              "\x1b[1;32m\u2714\x1b[0m Active version : \x1b[1;32mjava21\x1b[0m\n"
              "  JAVA_HOME      : \x1b[36mD:\\jdk21\x1b[0m\n"
              "  Java version   : \x1b[36m21.0.2\x1b[0m\n"
              "\n"
              "\x1b[34m\u2139\x1b[0m PATH and JAVA_HOME updated in user environment (HKCU).\n"
              "\x1b[33m\u26a0\x1b[0m System environment (HKLM) not updated: \x1b[2m" +
                  k_warning +
                  "\x1b[0m\n"
                  "  Run as Administrator to also apply changes system-wide.\n"
                  "\x1b[33m\u26a0\x1b[0m Open a \x1b[1mnew\x1b[0m terminal for the changes to "
                  "take effect in shells.\n"
                  "  Or run \x1b[36m'corvel export-shell java21'\x1b[0m to apply in the current "
                  "session.\n");
}

TEST_F(UseCommandTest, ColouredSystemUpdateHasAPlainGreenCheckMark) {
    fake.environment.variables["CLICOLOR_FORCE"] = "1";
    ASSERT_TRUE(use("java21"));
    EXPECT_NE(fake.console.output.find("\n\x1b[32m\u2714\x1b[0m System environment (HKLM) "
                                       "updated \u2014 all users"),
              std::string::npos);
}

TEST_F(UseCommandTest, UnknownAliasLeavesTheProgressLineUnfinished) {
    auto result = use("Java21");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().message, "Alias not found: 'Java21'");
    EXPECT_EQ(fake.console.output, "Switching to 'Java21'... ");
    EXPECT_EQ(fake.console.output_flushed, fake.console.output.size());
}

TEST_F(UseCommandTest, UnreadableUserPathFailsTheCommandAndKeepsThePath) {
    fake.registry.set(RegistryRoot::CurrentUser, k_user_key, "Path", k_reg_binary,
                      fakes::registry_text_bytes("C:\\Windows;C:\\Tools"));
    auto result = use("java21");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().message,
              "Registry error: Cannot read Path: The file type being saved or retrieved has been "
              "blocked. (os error 222)");
    EXPECT_EQ(fake.console.output, "Switching to 'java21'... ");
    EXPECT_EQ(fake.registry.get(RegistryRoot::CurrentUser, k_user_key, "Path")->bytes,
              fakes::registry_text_bytes("C:\\Windows;C:\\Tools"));
}

TEST_F(UseCommandTest, ReloadFailureAfterTheSwitchFollowsDone) {
    auto& files = fake.files;
    files.set_failure_hook(
        [&files](std::string_view op, std::string_view path) -> std::optional<IoError> {
            auto content = files.content(path);
            if (op == "read" && content &&
                content->find("\"current\": \"java21\"") != std::string::npos) {
                return IoError{"Access is denied.", 5};
            }
            return std::nullopt;
        });
    auto result = use("java21");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().message,
              "Configuration error: Cannot read config file: Access is denied. (os error 5)");
    EXPECT_EQ(fake.console.output, "Switching to 'java21'... Done\n");
}

TEST_F(UseCommandTest, HintNamesTheAliasAsTyped) {
    fake.add_jdk("E:\\J\u00e9k 22");
    fake.files.add_file(fakes::FakePlatform::k_config_path, R"({
  "current": null,
  "versions": {"my jdk \u00e9": {"path": "E:\\J\u00e9k 22"}}
})");
    ASSERT_TRUE(use("my jdk \u00e9"));
    EXPECT_NE(fake.console.output.find("\u2714 Active version : my jdk \u00e9\n  JAVA_HOME      : "
                                       "E:\\J\u00e9k 22\n\n"),
              std::string::npos);
    EXPECT_NE(
        fake.console.output.find(
            "  Or run 'corvel export-shell my jdk \u00e9' to apply in the current session.\n"),
        std::string::npos);
}

TEST_F(UseCommandTest, HintsForAnAliasBeginningWithADashWorkAsTyped) {
    std::vector<std::string> add{"add", "--", "-neg", "D:\\jdk21"}, use{"use", "--", "-neg"};
    ASSERT_EQ(run_entry(fake.platform, add) + run_entry(fake.platform, use), 0);
    EXPECT_NE(fake.console.output.find("Run 'corvel use -- -neg' to"), std::string::npos);
    EXPECT_NE(fake.console.output.find("run 'corvel export-shell -- -neg' to"), std::string::npos);
}

TEST_F(UseCommandTest, NotElevatedRunWarnsThenSucceeds) {
    fake.environment.elevated = false;
    deny_system();
    std::vector<std::string> arguments = {"use", "java21"};
    EXPECT_EQ(run_entry(fake.platform, arguments), 0);
    EXPECT_TRUE(fake.console.output.starts_with(
        "\u26a0 Not running as Administrator \u2014 system-wide (HKLM) JAVA_HOME/PATH updates "
        "will be skipped.\n  User environment (HKCU) updates will still work.\n\n"
        "Switching to 'java21'... Done\n"));
    EXPECT_NE(fake.console.output.find(
                  "\u26a0 System environment (HKLM) not updated: " + k_warning + "\n"),
              std::string::npos);
    EXPECT_EQ(fake.console.error, "");
}

TEST_F(UseCommandTest, FailedRunEndsWithOneErrorLine) {
    std::vector<std::string> arguments = {"use", "java"};
    EXPECT_EQ(run_entry(fake.platform, arguments), 1);
    EXPECT_EQ(fake.console.output, "Switching to 'java'... ");
    EXPECT_EQ(fake.console.error, "Error: Alias not found: 'java'\n");
}

}  // namespace
}  // namespace corvel
