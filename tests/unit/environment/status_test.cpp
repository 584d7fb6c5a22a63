#include "environment/status.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "java/probe.h"

namespace corvel {
namespace {

constexpr std::string_view k_where = "C:\\windows\\system32\\where.exe";
constexpr std::string_view k_java = "C:\\Program Files\\Java\\jdk-17\\bin\\java.exe";

std::vector<std::string> arguments_of(const fakes::FakeProcessRunner::Call& call) {
    return call.arguments;
}

TEST(FirstWhereMatch, TakesTheFirstLineWithoutItsLineEnd) {
    EXPECT_EQ(first_where_match("C:\\x\\java.exe\r\n"), "C:\\x\\java.exe");
    EXPECT_EQ(first_where_match("C:\\x\\java.exe\n"), "C:\\x\\java.exe");
    EXPECT_EQ(first_where_match("C:\\x\\java.exe"), "C:\\x\\java.exe");
    EXPECT_EQ(first_where_match("C:\\a\\java.exe\r\nC:\\b\\java.exe\r\n"), "C:\\a\\java.exe");
}

TEST(FirstWhereMatch, ABlankFirstLineMeansNoMatchEvenWithMatchesBelow) {
    EXPECT_EQ(first_where_match("\nC:\\x\\java.exe\n"), std::nullopt);
    EXPECT_EQ(first_where_match("\r\nC:\\x\\java.exe\r\n"), std::nullopt);
    EXPECT_EQ(first_where_match("  \t\r\nC:\\x\\java.exe\r\n"), std::nullopt);
    EXPECT_EQ(first_where_match(""), std::nullopt);
    EXPECT_EQ(first_where_match("\u00A0\u3000"), std::nullopt);
}

TEST(FirstWhereMatch, TrimsUnicodeWhiteSpaceButKeepsInnerSpaces) {
    EXPECT_EQ(first_where_match("\u3000 C:\\Program Files\\java.exe \t\r\n"),
              "C:\\Program Files\\java.exe");
}

TEST(FirstWhereMatch, InvalidUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(first_where_match("C:\\J\xE9r\xF4me\\java.exe\r\n"),
              "C:\\J\uFFFDr\uFFFDme\\java.exe");
}

// "$PATH:" keeps where from searching the current folder before PATH.
TEST(FindOnPath, StartsWhereFromTheSystemFolderAskingForPathAlone) {
    fakes::FakePlatform fake;
    fake.processes.script_output(k_where, "", "C:\\x\\java.exe\r\n");
    EXPECT_EQ(find_on_path(fake.platform, "java"), "C:\\x\\java.exe");
    ASSERT_EQ(fake.processes.calls().size(), 1u);
    const auto& call = fake.processes.calls()[0];
    EXPECT_EQ(call.program, k_where);
    EXPECT_EQ(arguments_of(call), std::vector<std::string>{"$PATH:java"});
    EXPECT_EQ(call.time_limit, k_child_time_limit);
}

TEST(FindOnPath, NeverFallsBackToABareWhereThatTheCurrentFolderCouldAnswer) {
    fakes::FakePlatform fake;
    fake.environment.system_folder = std::nullopt;
    fake.processes.script_output("where", "", "C:\\planted\\java.exe\r\n");
    fake.processes.script_output("where.exe", "", "C:\\planted\\java.exe\r\n");
    EXPECT_EQ(find_on_path(fake.platform, "java"), std::nullopt);
    EXPECT_TRUE(fake.processes.calls().empty());

    fake.environment.system_folder = "";
    EXPECT_EQ(find_on_path(fake.platform, "java"), std::nullopt);
    EXPECT_TRUE(fake.processes.calls().empty());
}

TEST(FindOnPath, SystemFolderWithTrailingBackslashGetsNoSecondOne) {
    fakes::FakePlatform fake;
    fake.environment.system_folder = "C:\\windows\\system32\\";
    fake.processes.script_output(k_where, "", "C:\\x\\java.exe\r\n");
    EXPECT_EQ(find_on_path(fake.platform, "java"), "C:\\x\\java.exe");
    EXPECT_EQ(fake.processes.calls().at(0).program, k_where);
}

TEST(FindOnPath, NothingWhenWhereFailsOrCannotStart) {
    fakes::FakePlatform fake;
    // where prints its complaint on standard error and exits 1 when nothing matches.
    fake.processes.script_output(k_where,
                                 "INFO: Could not find files for the given pattern(s).\r\n", "", 1);
    EXPECT_EQ(find_on_path(fake.platform, "java"), std::nullopt);

    // A non-zero exit wins over whatever was printed on standard output.
    fake.processes.script_output(k_where, "", "C:\\x\\java.exe\r\n", 2);
    EXPECT_EQ(find_on_path(fake.platform, "java"), std::nullopt);

    fake.processes.script(k_where, std::nullopt);
    EXPECT_EQ(find_on_path(fake.platform, "java"), std::nullopt);
}

TEST(FindOnPath, OutputThatIsNotUtf8IsReadInTheOemCodePage) {
    fakes::FakePlatform fake;
    // The fake's OEM code page maps each byte to the code point of its value.
    fake.processes.script_output(k_where, "", "C:\\J\xE9r\xF4me\\java.exe\r\n");
    EXPECT_EQ(find_on_path(fake.platform, "java"), "C:\\J\u00E9r\u00F4me\\java.exe");

    // Valid UTF-8 is taken as it is, although the OEM code page would read it differently.
    fake.processes.script_output(k_where, "", "C:\\J\u00E9r\u00F4me\\java.exe\r\n");
    EXPECT_EQ(find_on_path(fake.platform, "java"), "C:\\J\u00E9r\u00F4me\\java.exe");
}

TEST(FindOnPath, StandardErrorIsIgnored) {
    fakes::FakePlatform fake;
    fake.processes.script_output(k_where, "warning\r\n", "C:\\x\\javac.exe\r\n");
    EXPECT_EQ(find_on_path(fake.platform, "javac"), "C:\\x\\javac.exe");
}

// ---- current_status -----------------------------------------------------------------------

struct StatusFixture : ::testing::Test {
    fakes::FakePlatform fake;

    void write_config(std::string_view text) {
        fake.files.add_file(fakes::FakePlatform::k_config_path, text);
    }
    void set_user_java_home(std::string_view value) {
        fake.registry.set_text(RegistryRoot::CurrentUser, "Environment", "JAVA_HOME", value);
    }
};

TEST_F(StatusFixture, GathersEveryField) {
    write_config(R"({"current": "java17", "versions": {"java17": {"path": "C:\\Java\\jdk-17",
        "detected_version": "17.0.9", "vendor": "Eclipse Adoptium"}}})");
    fake.add_jdk("C:\\Java\\jdk-17");
    set_user_java_home("C:\\Java\\jdk-17");
    fake.processes.script_output(k_where, "", std::string(k_java) + "\r\nC:\\other\\java.exe\r\n");
    fake.processes.script_output(
        k_java, "openjdk version \"17.0.9\" 2023-10-17\r\nOpenJDK Runtime\r\n", "");

    CoreResult<EnvironmentStatus> status = current_status(fake.platform);
    ASSERT_TRUE(status.has_value());
    EnvironmentStatus expected{"java17", "C:\\Java\\jdk-17", true, std::string(k_java),
                               "openjdk version \"17.0.9\" 2023-10-17\r\nOpenJDK Runtime"};
    EXPECT_EQ(*status, expected);

    // Only the first match is run, with -version; where ran exactly once before it.
    ASSERT_EQ(fake.processes.calls().size(), 2u);
    EXPECT_EQ(fake.processes.calls()[0].program, k_where);
    EXPECT_EQ(fake.processes.calls()[1].program, k_java);
    EXPECT_EQ(arguments_of(fake.processes.calls()[1]), std::vector<std::string>{"-version"});
}

TEST_F(StatusFixture, ConfigLoadErrorIsReturnedBeforeAnythingElseIsAsked) {
    fake.known_folders.app_data = std::nullopt;
    set_user_java_home("C:\\Java\\jdk-17");
    fake.processes.script_output(k_where, "", std::string(k_java));

    CoreResult<EnvironmentStatus> status = current_status(fake.platform);
    ASSERT_FALSE(status.has_value());
    EXPECT_EQ(status.error().to_text(), "Configuration error: Cannot locate user config directory");
    EXPECT_TRUE(fake.processes.calls().empty());
}

TEST_F(StatusFixture, NothingConfiguredAndNothingFound) {
    fake.processes.script_output(k_where, "INFO: Could not find files.\r\n", "", 1);
    CoreResult<EnvironmentStatus> status = current_status(fake.platform);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, EnvironmentStatus{});
    // No java to run, so where is the only child.
    EXPECT_EQ(fake.processes.calls().size(), 1u);
}

TEST_F(StatusFixture, JavaHomeOfADeletedFolderIsKeptButNotValid) {
    write_config(R"({"current": null, "versions": {}})");
    set_user_java_home("C:\\Java\\deleted");
    CoreResult<EnvironmentStatus> status = current_status(fake.platform);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(status->java_home, "C:\\Java\\deleted");
    EXPECT_FALSE(status->java_home_valid);
    EXPECT_EQ(status->config_current, std::nullopt);
}

TEST_F(StatusFixture, EmptyJavaHomeIsPresentButNotValid) {
    set_user_java_home("");
    CoreResult<EnvironmentStatus> status = current_status(fake.platform);
    EXPECT_EQ(status->java_home, "");
    EXPECT_FALSE(status->java_home_valid);
}

TEST_F(StatusFixture, JavaThatPrintsNothingGivesNoBanner) {
    fake.processes.script_output(k_where, "", std::string(k_java) + "\r\n");
    fake.processes.script_output(k_java, " \r\n", "\r\n");
    CoreResult<EnvironmentStatus> status = current_status(fake.platform);
    EXPECT_EQ(status->java_in_path, k_java);
    EXPECT_EQ(status->version_output, std::nullopt);

    fake.processes.script(k_java, std::nullopt);
    status = current_status(fake.platform);
    EXPECT_EQ(status->java_in_path, k_java);
    EXPECT_EQ(status->version_output, std::nullopt);
}

}  // namespace
}  // namespace corvel
