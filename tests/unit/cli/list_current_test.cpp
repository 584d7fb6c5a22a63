#include <gtest/gtest.h>

#include "commands/commands.h"
#include "fake_platform.h"

namespace corvel {
namespace {

constexpr std::string_view k_where = "C:\\windows\\system32\\where.exe";
constexpr std::string_view k_java = "C:\\Java\\jdk-17\\bin\\java.exe";

struct Printed {
    CommandResult result;
    std::string output;
};

struct ListCurrent : ::testing::Test {
    fakes::FakePlatform fake;

    void write_config(std::string_view text) {
        fake.files.add_file(fakes::FakePlatform::k_config_path, text);
    }
    void set_user_java_home(std::string_view value) {
        fake.registry.set_text(RegistryRoot::CurrentUser, "Environment", "JAVA_HOME", value);
    }
    template <class Handler>
    Printed run(Handler handler) {
        Terminal terminal(fake.console, fake.environment);
        CommandContext context{fake.platform, terminal};
        CommandResult result = handler(context);
        return Printed{std::move(result), fake.console.output};
    }
    Printed list() {
        return run(run_list);
    }
    Printed current() {
        return run(run_current);
    }
};

// ---- list ---------------------------------------------------------------------------------

const std::string k_empty_list =
    "No Java versions configured.\n"
    "Use 'corvel add <alias> <path>' to add one, or 'corvel scan --auto-add' to auto-detect.\n";

TEST_F(ListCurrent, NothingRegisteredPrintsOnlyTheTwoHintLines) {
    Printed printed = list();
    ASSERT_TRUE(printed.result.has_value());
    EXPECT_EQ(printed.output, k_empty_list);

    write_config(R"({"current": "ghost", "versions": {}})");
    fake.console.output.clear();
    EXPECT_EQ(list().output, k_empty_list);
}

TEST_F(ListCurrent, CorruptConfigListsNothingAfterTheLoadersWarning) {
    write_config("not json");
    Printed printed = list();
    ASSERT_TRUE(printed.result.has_value());
    EXPECT_EQ(printed.output, k_empty_list);
    EXPECT_TRUE(fake.console.error.starts_with("Warning: config file is corrupted ("));
}

TEST_F(ListCurrent, RowsInByteOrderWithTheCurrentMarked) {
    write_config(R"({"current": "java17", "versions": {
        "java8": {"path": "C:\\Java\\jdk8", "detected_version": "1.8.0_381", "vendor": "Oracle"},
        "java17": {"path": "C:\\Java\\jdk-17", "detected_version": "17.0.9",
                   "vendor": "Eclipse Adoptium"}}})");
    fake.add_jdk("C:\\Java\\jdk8");
    fake.add_jdk("C:\\Java\\jdk-17");
    Printed printed = list();
    ASSERT_TRUE(printed.result.has_value());
    EXPECT_EQ(printed.output,
              "Configured Java Versions\n"
              "\n"
              "\u25B6 java17      17.0.9        Eclipse Adoptium      C:\\Java\\jdk-17\n"
              "  java8       1.8.0_381     Oracle                C:\\Java\\jdk8\n"
              "\n"
              "Total: 2 version(s) configured.\n");
}

TEST_F(ListCurrent, RowsInColour) {
    fake.environment.variables["CLICOLOR_FORCE"] = "1";
    write_config(R"({"current": "java17", "versions": {
        "java17": {"path": "C:\\jdk17", "detected_version": "17", "vendor": "Oracle"},
        "old": {"path": "C:\\gone"}}})");
    fake.add_jdk("C:\\jdk17");
    EXPECT_EQ(list().output,
              "\x1b[1;4mConfigured Java Versions\x1b[0m\n"
              "\n"
              "\x1b[1;32m\u25B6\x1b[0m \x1b[1;32mjava17    \x1b[0m  \x1b[36m17          \x1b[0m  "
              "\x1b[2mOracle              \x1b[0m  \x1b[2mC:\\jdk17\x1b[0m\n"
              "  old         \x1b[36munknown     \x1b[0m  \x1b[2m                    \x1b[0m  "
              "\x1b[2mC:\\gone\x1b[0m\x1b[1;31m [INVALID PATH]\x1b[0m\n"
              "\n"
              "Total: 2 version(s) configured.\n");
}

TEST_F(ListCurrent, UnknownVersionEmptyVendorAndInvalidPath) {
    write_config(R"({"versions": {"old": {"path": "C:\\deleted\\jdk"}}})");
    EXPECT_EQ(list().output,
              "Configured Java Versions\n"
              "\n"
              "  old         unknown                             C:\\deleted\\jdk [INVALID PATH]\n"
              "\n"
              "Total: 1 version(s) configured.\n");
}

TEST_F(ListCurrent, LongestAliasWidensTheColumnOfEveryRow) {
    write_config(R"({"versions": {
        "a": {"path": "C:\\a", "detected_version": "1", "vendor": "V"},
        "temurin-21-lts": {"path": "C:\\b", "detected_version": "21.0.2-very-long",
                           "vendor": "A vendor name longer than twenty"}}})");
    fake.add_jdk("C:\\a");
    fake.add_jdk("C:\\b");
    EXPECT_EQ(list().output,
              "Configured Java Versions\n"
              "\n"
              "  a               1             V                     C:\\a\n"
              "  temurin-21-lts  21.0.2-very-long  A vendor name longer than twenty  C:\\b\n"
              "\n"
              "Total: 2 version(s) configured.\n");
}

TEST_F(ListCurrent, NonAsciiAliasWidensByBytesAndPadsByCharacters) {
    // Six characters, twelve bytes: the column is 12 wide, and the alias gets six spaces.
    write_config(R"({"versions": {
        "\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9": {"path": "C:\\e", "detected_version": "1",
                                                  "vendor": "V"},
        "b": {"path": "C:\\b", "detected_version": "2", "vendor": "W"}}})");
    fake.add_jdk("C:\\e");
    fake.add_jdk("C:\\b");
    EXPECT_EQ(list().output,
              "Configured Java Versions\n"
              "\n"
              "  b             2             W                     C:\\b\n"
              "  \u00e9\u00e9\u00e9\u00e9\u00e9\u00e9        1             V                     "
              "C:\\e\n"
              "\n"
              "Total: 2 version(s) configured.\n");
}

TEST_F(ListCurrent, AliasBeyondTheWidthLimitIsPrintedWholeAndCapsTheColumn) {
    std::string huge(70'000, 'a');
    write_config(R"({"versions": {")" + huge + R"(": {"path": "C:\\a"}, "b": {"path": "C:\\b"}}})");
    fake.add_jdk("C:\\a");
    fake.add_jdk("C:\\b");
    Printed printed = list();
    ASSERT_TRUE(printed.result.has_value());
    std::string rest = "  unknown                             ";
    EXPECT_EQ(printed.output,
              "Configured Java Versions\n\n"
              "  " +
                  huge + rest + "C:\\a\n" + "  b" + std::string(65'534, ' ') + rest + "C:\\b\n" +
                  "\nTotal: 2 version(s) configured.\n");
}

TEST_F(ListCurrent, ListFailsWithTheConfigErrorAndPrintsNothing) {
    fake.known_folders.app_data = std::nullopt;
    Printed printed = list();
    ASSERT_FALSE(printed.result.has_value());
    EXPECT_EQ(printed.result.error().message,
              "Configuration error: Cannot locate user config directory");
    EXPECT_EQ(printed.output, "");
}

// ---- current ------------------------------------------------------------------------------

TEST_F(ListCurrent, CurrentWithNothingSetAndNoJava) {
    fake.processes.script_output(k_where, "INFO: Could not find files.\r\n", "", 1);
    Printed printed = current();
    ASSERT_TRUE(printed.result.has_value());
    EXPECT_EQ(printed.output,
              "Current Java Status\n"
              "\n"
              "  Config alias   : not set\n"
              "  JAVA_HOME      : not set\n"
              "  java in PATH   : not found (open a new terminal to pick up changes)\n");
}

TEST_F(ListCurrent, CurrentWithNothingSetInColour) {
    fake.environment.variables["CLICOLOR_FORCE"] = "1";
    EXPECT_EQ(current().output,
              "\x1b[1;4mCurrent Java Status\x1b[0m\n"
              "\n"
              "  Config alias   : \x1b[2mnot set\x1b[0m\n"
              "  JAVA_HOME      : \x1b[31mnot set\x1b[0m\n"
              "  java in PATH   : \x1b[33mnot found\x1b[0m (open a new terminal to pick up "
              "changes)\n");
}

TEST_F(ListCurrent, CurrentShowsAliasJavaHomeJavaAndEveryBannerLine) {
    write_config(R"({"current": "java17", "versions": {"java17": {"path": "C:\\Java\\jdk-17"}}})");
    fake.add_jdk("C:\\Java\\jdk-17");
    set_user_java_home("C:\\Java\\jdk-17");
    fake.processes.script_output(k_where, "", std::string(k_java) + "\r\nC:\\x\\java.exe\r\n");
    fake.processes.script_output(k_java,
                                 "openjdk version \"17.0.9\" 2023-10-17\r\n"
                                 "\r\n"
                                 "OpenJDK Runtime Environment (build 17.0.9+9)\r\n"
                                 "OpenJDK 64-Bit Server VM (build 17.0.9+9, mixed mode)\r\n",
                                 "  Picked up _JAVA_OPTIONS: -Xmx1g\n\n");
    Printed printed = current();
    ASSERT_TRUE(printed.result.has_value());
    EXPECT_EQ(printed.output,
              "Current Java Status\n"
              "\n"
              "  Config alias   : java17\n"
              "  JAVA_HOME      : C:\\Java\\jdk-17\n"
              "  java in PATH   : C:\\Java\\jdk-17\\bin\\java.exe\n"
              "\n"
              "  java -version output:\n"
              "    openjdk version \"17.0.9\" 2023-10-17\n"
              "    \n"
              "    OpenJDK Runtime Environment (build 17.0.9+9)\n"
              "    OpenJDK 64-Bit Server VM (build 17.0.9+9, mixed mode)\n"
              "      Picked up _JAVA_OPTIONS: -Xmx1g\n");
}

TEST_F(ListCurrent, CurrentBannerInColourKeepsEmptyLinesAsEmptyDimmedPieces) {
    fake.environment.variables["CLICOLOR_FORCE"] = "1";
    write_config(R"({"current": "gone", "versions": {}})");
    set_user_java_home("C:\\deleted");
    fake.processes.script_output(k_where, "", std::string(k_java));
    fake.processes.script_output(k_java, "line one\n\nline three\n");
    EXPECT_EQ(current().output,
              "\x1b[1;4mCurrent Java Status\x1b[0m\n"
              "\n"
              "  Config alias   : \x1b[1;32mgone\x1b[0m\n"
              "  JAVA_HOME      : \x1b[36mC:\\deleted\x1b[0m\x1b[31m [invalid]\x1b[0m\n"
              "  java in PATH   : \x1b[36mC:\\Java\\jdk-17\\bin\\java.exe\x1b[0m\n"
              "\n"
              "  java -version output:\n"
              "    \x1b[2mline one\x1b[0m\n"
              "    \x1b[2m\x1b[0m\n"
              "    \x1b[2mline three\x1b[0m\n");
}

TEST_F(ListCurrent, CurrentMarksAnInvalidJavaHomeAndShowsNoBannerWhenJavaIsSilent) {
    set_user_java_home("C:\\deleted");
    fake.processes.script_output(k_where, "", std::string(k_java) + "\r\n");
    fake.processes.script_output(k_java, "");
    EXPECT_EQ(current().output,
              "Current Java Status\n"
              "\n"
              "  Config alias   : not set\n"
              "  JAVA_HOME      : C:\\deleted [invalid]\n"
              "  java in PATH   : C:\\Java\\jdk-17\\bin\\java.exe\n");
}

TEST_F(ListCurrent, CurrentBannerCannotDriveTheTerminal) {
    fake.processes.script_output(k_where, "", std::string(k_java));
    fake.processes.script_output(k_java, "a\rb\r\nc\x1b]0;T\x07\td\x7f\u0085e");
    std::string output = current().output;
    EXPECT_TRUE(
        output.ends_with("  java -version output:\n    a\uFFFDb\n"
                         "    c\uFFFD]0;T\uFFFD\td\uFFFD\uFFFDe\n"))
        << output;
}

TEST_F(ListCurrent, CurrentFailsWithTheConfigErrorAndPrintsNothing) {
    fake.known_folders.app_data = std::nullopt;
    Printed printed = current();
    ASSERT_FALSE(printed.result.has_value());
    EXPECT_EQ(printed.result.error().message,
              "Configuration error: Cannot locate user config directory");
    EXPECT_EQ(printed.output, "");
}

}  // namespace
}  // namespace corvel
