#include <gtest/gtest.h>

#include "commands/commands.h"
#include "fake_platform.h"

namespace corvel {
namespace {

constexpr std::string_view k_where = "C:\\windows\\system32\\where.exe";

struct Doctor : ::testing::Test {
    fakes::FakePlatform fake;

    void write_config(std::string_view text) {
        fake.files.add_file(fakes::FakePlatform::k_config_path, text);
    }
    void set_user_java_home(std::string_view value) {
        fake.registry.set_text(RegistryRoot::CurrentUser, "Environment", "JAVA_HOME", value);
    }
    void java_and_javac_on_path() {
        fake.processes.script_call(
            k_where, {"$PATH:java"},
            CapturedOutput{0, "C:\\Program Files\\Java\\jdk-17\\bin\\java.exe\r\n", ""});
        fake.processes.script_call(
            k_where, {"$PATH:javac"},
            CapturedOutput{0, "C:\\Program Files\\Java\\jdk-17\\bin\\javac.exe\r\n", ""});
    }
    std::string doctor() {
        Terminal terminal(fake.console, fake.environment);
        CommandContext context{fake.platform, terminal};
        CommandResult result = run_doctor(context);
        EXPECT_TRUE(result.has_value());
        return fake.console.output;
    }
};

const std::string k_example_report =
    "Diagnostics Report\n"
    "\n"
    "\u2714  Config                Config file loaded successfully\n"
    "\u26A0  Current Version       No Java version is currently selected\n"
    "                         \u21B3 Run 'corvel use <alias>' to activate a version\n"
    "\u2717  JAVA_HOME             JAVA_HOME is not set in the user environment\n"
    "                         \u21B3 Run 'corvel use <alias>' to set it\n"
    "\u2714  java in PATH          Found: C:\\Program Files\\Java\\jdk-17\\bin\\java.exe\n"
    "\u2714  javac in PATH         Found: C:\\Program Files\\Java\\jdk-17\\bin\\javac.exe\n"
    "\n"
    "Summary: 3 OK  1 warning(s)  1 error(s)\n"
    "\n"
    "Config file location: C:\\Users\\user\\AppData\\Roaming\\corvel\\config.json\n";

TEST_F(Doctor, EmptySetupPrintsTheReferenceReport) {
    write_config(R"({"current": null, "versions": {}})");
    java_and_javac_on_path();
    EXPECT_EQ(doctor(), k_example_report);
    EXPECT_EQ(fake.console.error, "");
}

TEST_F(Doctor, ReportInColour) {
    fake.environment.variables["CLICOLOR_FORCE"] = "1";
    write_config(R"({"versions": {}})");
    java_and_javac_on_path();
    EXPECT_EQ(doctor(),
              "\x1b[1;4mDiagnostics Report\x1b[0m\n"
              "\n"
              "\x1b[1;32m\u2714\x1b[0m  \x1b[32mConfig              \x1b[0m  "
              "\x1b[2mConfig file loaded successfully\x1b[0m\n"
              "\x1b[1;33m\u26A0\x1b[0m  \x1b[33mCurrent Version     \x1b[0m  "
              "\x1b[2mNo Java version is currently selected\x1b[0m\n"
              "                         \u21B3 \x1b[3mRun 'corvel use <alias>' to activate a "
              "version\x1b[0m\n"
              "\x1b[1;31m\u2717\x1b[0m  \x1b[31mJAVA_HOME           \x1b[0m  "
              "\x1b[2mJAVA_HOME is not set in the user environment\x1b[0m\n"
              "                         \u21B3 \x1b[3mRun 'corvel use <alias>' to set it\x1b[0m\n"
              "\x1b[1;32m\u2714\x1b[0m  \x1b[32mjava in PATH        \x1b[0m  "
              "\x1b[2mFound: C:\\Program Files\\Java\\jdk-17\\bin\\java.exe\x1b[0m\n"
              "\x1b[1;32m\u2714\x1b[0m  \x1b[32mjavac in PATH       \x1b[0m  "
              "\x1b[2mFound: C:\\Program Files\\Java\\jdk-17\\bin\\javac.exe\x1b[0m\n"
              "\n"
              "Summary: \x1b[1;32m3\x1b[0m OK  \x1b[1;33m1\x1b[0m warning(s)  \x1b[1;31m1\x1b[0m "
              "error(s)\n"
              "\n"
              "Config file location: "
              "\x1b[2mC:\\Users\\user\\AppData\\Roaming\\corvel\\config.json\x1b[0m\n");
}

TEST_F(Doctor, NoErrorsEndsWithTheSummaryAndZeroCountsStayStyled) {
    fake.environment.variables["CLICOLOR_FORCE"] = "1";
    write_config(R"({"current": "java17", "versions": {"java17": {"path": "C:\\jdk17"}}})");
    fake.add_jdk("C:\\jdk17");
    set_user_java_home("C:\\jdk17");
    fake.processes.script_output(k_where, "", "", 1);
    std::string output = doctor();
    EXPECT_TRUE(
        output.ends_with("\n\nSummary: \x1b[1;32m4\x1b[0m OK  \x1b[1;33m2\x1b[0m "
                         "warning(s)  \x1b[1;31m0\x1b[0m error(s)\n"))
        << output;
    EXPECT_EQ(output.find("Config file location"), std::string::npos);
}

TEST_F(Doctor, ThirtyCharacterAliasWidensEveryLineToThirtySix) {
    std::string alias(30, 'x');
    write_config(R"({"versions": {")" + alias + R"(": {"path": "C:\\gone"}}})");
    java_and_javac_on_path();
    std::string indent(3 + 36 + 2, ' ');
    EXPECT_EQ(doctor(),
              "Diagnostics Report\n"
              "\n"
              "\u2714  Config" +
                  std::string(30, ' ') + "  Config file loaded successfully\n" +
                  "\u26A0  Current Version" + std::string(21, ' ') +
                  "  No Java version is currently selected\n" + indent +
                  "\u21B3 Run 'corvel use <alias>' to activate a version\n" + "\u2717  JAVA_HOME" +
                  std::string(27, ' ') + "  JAVA_HOME is not set in the user environment\n" +
                  indent + "\u21B3 Run 'corvel use <alias>' to set it\n" + "\u2714  java in PATH" +
                  std::string(24, ' ') +
                  "  Found: C:\\Program Files\\Java\\jdk-17\\bin\\java.exe\n" +
                  "\u2714  javac in PATH" + std::string(23, ' ') +
                  "  Found: C:\\Program Files\\Java\\jdk-17\\bin\\javac.exe\n" + "\u2717  JDK '" +
                  alias + "'  Invalid JDK path: Path does not exist: C:\\gone\n" + indent +
                  "\u21B3 Run 'corvel remove " + alias + "' then re-add with a correct path\n" +
                  "\n"
                  "Summary: 3 OK  1 warning(s)  2 error(s)\n"
                  "\n"
                  "Config file location: C:\\Users\\user\\AppData\\Roaming\\corvel\\config.json\n");
}

TEST_F(Doctor, NameColumnCountsBytesButPadsCharacters) {
    // "JDK 'ééééééééé'" is 15 characters and 24 bytes: a 24-wide column, so "Config" gets 18
    // spaces and the non-ASCII name gets 9.
    std::string alias;
    for (int i = 0; i < 9; ++i) {
        alias += "\u00e9";
    }
    write_config(R"({"versions": {")" + alias + R"(": {"path": "C:\\j"}}})");
    fake.add_jdk("C:\\j");
    java_and_javac_on_path();
    std::string output = doctor();
    EXPECT_NE(output.find("\u2714  Config" + std::string(18, ' ') + "  Config file"),
              std::string::npos)
        << output;
    EXPECT_NE(
        output.find("\u2714  JDK '" + alias + "'" + std::string(9, ' ') + "  Path valid: C:\\j\n"),
        std::string::npos)
        << output;
}

TEST_F(Doctor, UnreadableConfigGivesTheSingleConfigError) {
    write_config("{}");
    fake.files.set_failure_hook([](std::string_view op, std::string_view path) {
        if (op == "read" && path.ends_with("config.json")) {
            return std::optional<IoError>(IoError{"Access is denied.", 5});
        }
        return std::optional<IoError>();
    });
    java_and_javac_on_path();
    EXPECT_EQ(doctor(),
              "Diagnostics Report\n"
              "\n"
              "\u2717  Config                Cannot load config: Configuration error: Cannot read "
              "config file: Access is denied. (os error 5)\n"
              "                         \u21B3 Delete or recreate the config file at "
              "%APPDATA%\\corvel\\config.json\n"
              "\n"
              "Summary: 0 OK  0 warning(s)  1 error(s)\n"
              "\n"
              "Config file location: C:\\Users\\user\\AppData\\Roaming\\corvel\\config.json\n");
}

TEST_F(Doctor, UnlocatableConfigLeavesTheLocationLabelAlone) {
    fake.environment.variables["CLICOLOR_FORCE"] = "1";
    fake.known_folders.app_data = std::nullopt;
    std::string output = doctor();
    EXPECT_TRUE(output.ends_with("error(s)\n\nConfig file location: \n")) << output;
}

TEST_F(Doctor, NameBeyondTheWidthLimitIsPrintedWholeAndCapsTheColumn) {
    std::string alias(70'000, 'x');
    write_config(R"({"versions": {")" + alias + R"(": {"path": "C:\\gone"}}})");
    java_and_javac_on_path();
    std::string output = doctor();
    constexpr std::size_t cap = 65'535;
    EXPECT_NE(output.find("\u2714  Config" + std::string(cap - 6, ' ') + "  Config file"),
              std::string::npos);
    EXPECT_NE(output.find("\u2717  JDK '" + alias + "'  Invalid JDK path"), std::string::npos);
    EXPECT_NE(output.find("\n" + std::string(3 + cap + 2, ' ') + "\u21B3 Run 'corvel remove"),
              std::string::npos);
}

}  // namespace
}  // namespace corvel
