#include "java/probe.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace corvel {

static void PrintTo(const JdkVersionInfo& info, std::ostream* out) {
    *out << "{\"" << info.version << "\", \"" << info.vendor << "\"}";
}

static void PrintTo(const JdkEntry& entry, std::ostream* out) {
    *out << "{\"" << entry.path << "\", " << entry.detected_version.value_or("<none>") << ", "
         << entry.vendor.value_or("<none>") << "}";
}

namespace {

using Info = JdkVersionInfo;

constexpr std::string_view k_root = "C:\\jdk";
constexpr std::string_view k_launcher = "C:\\jdk\\bin\\java.exe";
constexpr std::string_view k_openjdk_banner =
    "openjdk version \"21.0.2\" 2024-01-16\r\n"
    "OpenJDK Runtime Environment Temurin-21.0.2+13 (build 21.0.2+13)\r\n";

// ---- release file ---------------------------------------------------------------------------

TEST(ParseReleaseFile, TakesVersionAndVendorWithoutQuotes) {
    EXPECT_EQ(parse_release_file("IMPLEMENTOR=\"Eclipse Adoptium\"\nJAVA_VERSION=\"17.0.9\"\n"),
              (Info{"17.0.9", "Eclipse Adoptium"}));
}

TEST(ParseReleaseFile, VendorIsUnknownWithoutImplementor) {
    EXPECT_EQ(parse_release_file("JAVA_VERSION=\"11\"\nOS_NAME=\"Windows\"\n"),
              (Info{"11", "Unknown"}));
}

TEST(ParseReleaseFile, NothingWithoutVersionLine) {
    EXPECT_EQ(parse_release_file("IMPLEMENTOR=\"Oracle Corporation\"\n"), std::nullopt);
    EXPECT_EQ(parse_release_file(""), std::nullopt);
    EXPECT_EQ(parse_release_file("\n\n\r\n"), std::nullopt);
}

TEST(ParseReleaseFile, KeyMustStartTheLineExactly) {
    EXPECT_EQ(parse_release_file("JAVA_VERSION = \"17\"\n"), std::nullopt);
    EXPECT_EQ(parse_release_file(" JAVA_VERSION=\"17\"\n"), std::nullopt);
    EXPECT_EQ(parse_release_file("java_version=\"17\"\n"), std::nullopt);
    EXPECT_EQ(parse_release_file("JAVA_VERSION_DATE=\"2024\"\n"), std::nullopt);
    EXPECT_EQ(parse_release_file("JAVA_VERSION=\"17\"\nIMPLEMENTOR =\"X\"\n"),
              (Info{"17", "Unknown"}));
}

TEST(ParseReleaseFile, StripsOnlyQuotationMarksAtBothEnds) {
    EXPECT_EQ(parse_release_file("JAVA_VERSION=\"\"21\"\"")->version, "21");
    EXPECT_EQ(parse_release_file("JAVA_VERSION=21.0.1")->version, "21.0.1");
    EXPECT_EQ(parse_release_file("JAVA_VERSION=\" 21 \"")->version, " 21 ");
    EXPECT_EQ(parse_release_file("JAVA_VERSION=21\"ea\"+3")->version, "21\"ea\"+3");
    EXPECT_EQ(parse_release_file("JAVA_VERSION=\"\"\"")->version, "");
    EXPECT_EQ(parse_release_file("JAVA_VERSION=")->version, "");
    EXPECT_EQ(parse_release_file("JAVA_VERSION=1\nIMPLEMENTOR=\"\"")->vendor, "");
}

TEST(ParseReleaseFile, LaterOccurrenceWins) {
    EXPECT_EQ(parse_release_file("JAVA_VERSION=\"1\"\nIMPLEMENTOR=\"A\"\n"
                                 "JAVA_VERSION=\"2\"\nIMPLEMENTOR=\"B\"\n"),
              (Info{"2", "B"}));
}

TEST(ParseReleaseFile, LineEndsAreNotPartOfValues) {
    EXPECT_EQ(parse_release_file("JAVA_VERSION=\"21\"\r\nIMPLEMENTOR=\"Azul\"\r\n"),
              (Info{"21", "Azul"}));
    // No final line end.
    EXPECT_EQ(parse_release_file("IMPLEMENTOR=Azul\nJAVA_VERSION=21"), (Info{"21", "Azul"}));
    // A carriage return not followed by a line feed stays in the line, and is then dropped with
    // every other control character.
    EXPECT_EQ(parse_release_file("JAVA_VERSION=\"21\"\rIMPLEMENTOR=\"X\"")->version,
              "21\"IMPLEMENTOR=\"X");
}

TEST(ParseReleaseFile, ControlCharactersAreDropped) {
    EXPECT_EQ(parse_release_file("JAVA_VERSION=\"2\x1b[2J1\"\n"
                                 "IMPLEMENTOR=\"\x1b]0;PWNED\x07"
                                 "Acme\tCorp\x7f\u009b\"\n"),
              (Info{"2[2J1", "]0;PWNEDAcme\tCorp"}));
}

TEST(ParseReleaseFile, HugeSingleLineIsHandled) {
    std::string text = "JAVA_VERSION=\"" + std::string(4 << 20, '9') + "\"";
    auto info = parse_release_file(text);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->version.size(), std::size_t{4} << 20);
}

// ---- launcher banner ------------------------------------------------------------------------

TEST(ParseVersionBanner, VendorFollowsTheStartOfTheLine) {
    EXPECT_EQ(parse_version_banner(k_openjdk_banner), (Info{"21.0.2", "OpenJDK"}));
    EXPECT_EQ(parse_version_banner("java version \"1.8.0_381\"\nJava(TM) SE Runtime\n"),
              (Info{"1.8.0_381", "Oracle"}));
    EXPECT_EQ(parse_version_banner("Picked up: version \"x\"\n"), (Info{"x", "Unknown"}));
    // Case-sensitive: neither prefix matches.
    EXPECT_EQ(parse_version_banner("OpenJDK version \"17\""), (Info{"17", "Unknown"}));
    EXPECT_EQ(parse_version_banner("Java version \"17\""), (Info{"17", "Unknown"}));
    EXPECT_EQ(parse_version_banner(" openjdk version \"17\""), (Info{"17", "Unknown"}));
}

TEST(ParseVersionBanner, SkipsLinesUntilOneQualifies) {
    EXPECT_EQ(parse_version_banner("Picked up JAVA_TOOL_OPTIONS: \"-Xmx1g\" \"-Dx\"\n"
                                   "openjdk version 17 without quotes\n"
                                   "openjdk version \"only one quote\n"
                                   "java version \"17.0.1\" LTS\n"
                                   "openjdk version \"99\"\n"),
              (Info{"17.0.1", "Oracle"}));
}

TEST(ParseVersionBanner, WordVersionIsCaseSensitive) {
    EXPECT_EQ(parse_version_banner("openjdk Version \"17\"\n"), std::nullopt);
    EXPECT_EQ(parse_version_banner("openjdk VERSION \"17\"\n"), std::nullopt);
    // Anywhere in the line, even after the quotes.
    EXPECT_EQ(parse_version_banner("openjdk \"17\" is the version"), (Info{"17", "OpenJDK"}));
}

TEST(ParseVersionBanner, VersionMayBeEmpty) {
    EXPECT_EQ(parse_version_banner("openjdk version \"\" 2024"), (Info{"", "OpenJDK"}));
}

TEST(ParseVersionBanner, NothingWithoutUsableLine) {
    EXPECT_EQ(parse_version_banner(""), std::nullopt);
    EXPECT_EQ(parse_version_banner("\n\r\n"), std::nullopt);
    EXPECT_EQ(parse_version_banner("Error: could not create the Java Virtual Machine.\n"),
              std::nullopt);
    // The quotes must be on the same line as the word.
    EXPECT_EQ(parse_version_banner("openjdk version\n\"17\"\n"), std::nullopt);
}

TEST(ParseVersionBanner, InvalidBytesBecomeReplacementCharacters) {
    EXPECT_EQ(parse_version_banner("openjdk version \"21\xff\xfe-ea\""),
              (Info{"21\uFFFD\uFFFD-ea", "OpenJDK"}));
    // A truncated sequence right before the closing quote does not swallow it.
    EXPECT_EQ(parse_version_banner("openjdk version \"21\xe2\x82\" x"),
              (Info{"21\uFFFD", "OpenJDK"}));
    // Invalid bytes elsewhere in the line do not disturb the search.
    EXPECT_EQ(parse_version_banner("\xc0\xafjava version \"8\""), (Info{"8", "Unknown"}));
    EXPECT_EQ(parse_version_banner("java\xff version \"8\""), (Info{"8", "Oracle"}));
    // Valid UTF-8 is kept as it is.
    EXPECT_EQ(parse_version_banner("openjdk version \"21-\u00e9\u4e2d\U0001F600\""),
              (Info{"21-\u00e9\u4e2d\U0001F600", "OpenJDK"}));
}

TEST(ParseVersionBanner, BinaryAndHugeOutputGiveAResultOrNothing) {
    std::string binary;
    for (int i = 0; i < 256 * 64; ++i) {
        binary += static_cast<char>(i * 37 % 256);
    }
    std::string no_quotes = binary;
    std::erase(no_quotes, '"');
    EXPECT_EQ(parse_version_banner(no_quotes), std::nullopt);
    (void)parse_version_banner(binary);

    std::string huge(8 << 20, 'x');
    EXPECT_EQ(parse_version_banner(huge), std::nullopt);
    huge += "\nopenjdk version \"25\"";
    EXPECT_EQ(parse_version_banner(huge), (Info{"25", "OpenJDK"}));
    EXPECT_EQ(parse_version_banner(std::string_view("java version \"1\0\x1b[2J\"", 21)),
              (Info{"1[2J", "Oracle"}));
}

// ---- detect_version -------------------------------------------------------------------------

struct Probing : ::testing::Test {
    fakes::FakePlatform fake;
};

TEST_F(Probing, ReleaseFileWinsAndLauncherIsNotRun) {
    fake.add_jdk(k_root, "JAVA_VERSION=\"17.0.9\"\nIMPLEMENTOR=\"Eclipse Adoptium\"\n");
    fake.processes.script_output(k_launcher, "openjdk version \"99\"");
    EXPECT_EQ(detect_version(fake.platform, k_root), (Info{"17.0.9", "Eclipse Adoptium"}));
    EXPECT_TRUE(fake.processes.calls().empty());
}

TEST_F(Probing, ReleaseVendorIsDroppedWhenTheLauncherAnswers) {
    fake.add_jdk(k_root, "IMPLEMENTOR=\"Eclipse Adoptium\"\n");
    fake.processes.script_output(k_launcher, std::string(k_openjdk_banner));
    EXPECT_EQ(detect_version(fake.platform, k_root), (Info{"21.0.2", "OpenJDK"}));
}

TEST_F(Probing, LauncherGetsExactlyVersionSwitchUnderTheTimeLimit) {
    fake.add_jdk(k_root);
    fake.processes.script_output(k_launcher, std::string(k_openjdk_banner));
    ASSERT_TRUE(detect_version(fake.platform, k_root));
    ASSERT_EQ(fake.processes.calls().size(), 1u);
    const auto& call = fake.processes.calls()[0];
    EXPECT_EQ(call.program, k_launcher);
    EXPECT_EQ(call.arguments, std::vector<std::string>{"-version"});
    EXPECT_EQ(call.time_limit, k_child_time_limit);
}

TEST_F(Probing, FolderWithTrailingSeparatorJoinsWithoutDoubling) {
    fake.add_jdk(k_root, "");
    fake.processes.script_output(k_launcher, "java version \"1.8.0_381\"");
    EXPECT_EQ(detect_version(fake.platform, "C:\\jdk\\"), (Info{"1.8.0_381", "Oracle"}));
    ASSERT_EQ(fake.processes.calls().size(), 1u);
    EXPECT_EQ(fake.processes.calls()[0].program, k_launcher);
    EXPECT_EQ(fake.files.log()[0], "read C:\\jdk\\release");
}

TEST_F(Probing, ReleaseFileThatIsNotUtf8FallsBackToLauncher) {
    fake.add_jdk(k_root, "JAVA_VERSION=\"17\xff\"\n");
    fake.processes.script_output(k_launcher, std::string(k_openjdk_banner));
    EXPECT_EQ(detect_version(fake.platform, k_root), (Info{"21.0.2", "OpenJDK"}));
}

// A release file is read up to 1 MiB by whole lines: the line the bound cuts is dropped, so a
// character cut in two spoils nothing before it and a cut version is no version.
TEST_F(Probing, ReleaseFileIsReadUpToTheBoundByWholeLines) {
    constexpr std::size_t k_bound = 1 << 20;
    struct Case {
        std::string head;  // whole lines first
        std::string last;  // the line the bound falls in
        std::size_t kept;  // how many bytes of `last` lie within the bound
        std::optional<Info> expected;
    };
    const std::vector<Case> cases = {
        {"JAVA_VERSION=\"11\"\n", "JAVA_VERSION=\"17.0.2\"\n", 16, Info{"11", "Unknown"}},
        {"JAVA_VERSION=\"17.0.2\"\n", "IMPLEMENTOR=\"\u00dc\"\n", 14, Info{"17.0.2", "Unknown"}},
        {"", "JAVA_VERSION=\"17.0.2\"\n", 17, std::nullopt},
        {"", "JAVA_VERSION=\"21\"\n", 17, Info{"21", "Unknown"}},  // only its line end is past
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.last);
        std::string padding = "#" + std::string(k_bound - c.head.size() - c.kept - 2, 'x') + "\n";
        fakes::FakePlatform local;
        local.add_jdk(k_root, c.head + padding + c.last + "JAVA_VERSION=\"99\"\n");
        EXPECT_EQ(detect_version(local.platform, k_root), c.expected);
    }
}

TEST_F(Probing, UnreadableReleaseFileFallsBackToLauncher) {
    fake.add_jdk(k_root, "JAVA_VERSION=\"17\"\n");
    fake.files.set_failure_hook([](std::string_view op, std::string_view) {
        return op == "read" ? std::optional<IoError>(IoError{"Access is denied.", 5})
                            : std::nullopt;
    });
    fake.processes.script_output(k_launcher, std::string(k_openjdk_banner));
    EXPECT_EQ(detect_version(fake.platform, k_root), (Info{"21.0.2", "OpenJDK"}));
}

TEST_F(Probing, ReleaseFolderInsteadOfFileFallsBackToLauncher) {
    fake.add_jdk(k_root);
    fake.files.add_directory("C:\\jdk\\release");
    fake.processes.script_output(k_launcher, std::string(k_openjdk_banner));
    EXPECT_EQ(detect_version(fake.platform, k_root), (Info{"21.0.2", "OpenJDK"}));
}

TEST_F(Probing, NoLauncherMeansNothingAndNoProcess) {
    fake.files.add_directory(k_root);
    fake.processes.script_output(k_launcher, std::string(k_openjdk_banner));
    EXPECT_EQ(detect_version(fake.platform, k_root), std::nullopt);
    EXPECT_TRUE(fake.processes.calls().empty());
}

TEST_F(Probing, LauncherThatCannotStartOrRunsTooLongGivesNothing) {
    // The runner reports a child it had to end after the time limit exactly like one it could
    // not start.
    fake.add_jdk(k_root);
    fake.processes.script(k_launcher, std::nullopt);
    EXPECT_EQ(detect_version(fake.platform, k_root), std::nullopt);
    EXPECT_EQ(fake.processes.calls().size(), 1u);
}

TEST_F(Probing, OnlyStandardErrorIsReadAndExitCodeIgnored) {
    fake.add_jdk(k_root);
    fake.processes.script_output(k_launcher, "", "openjdk version \"21\"\n");
    EXPECT_EQ(detect_version(fake.platform, k_root), std::nullopt);

    fake.processes.script_output(k_launcher, "openjdk version \"21\"\n", "", 1);
    EXPECT_EQ(detect_version(fake.platform, k_root), (Info{"21", "OpenJDK"}));
}

TEST_F(Probing, LauncherPrintingGarbageGivesNothing) {
    fake.add_jdk(k_root);
    fake.processes.script_output(k_launcher, std::string(1 << 20, '\xff'),
                                 std::string(1 << 20, '\0'), 0xC0000005u);
    EXPECT_EQ(detect_version(fake.platform, k_root), std::nullopt);
}

// ---- probe_jdk ------------------------------------------------------------------------------

TEST_F(Probing, EntryDropsTrailingSeparatorsOnly) {
    fake.add_jdk(k_root, "JAVA_VERSION=\"21\"\nIMPLEMENTOR=\"Azul Systems, Inc.\"\n");
    EXPECT_EQ(probe_jdk(fake.platform, "C:\\jdk\\\\"),
              (JdkEntry{"C:\\jdk", "21", "Azul Systems, Inc."}));
    EXPECT_EQ(probe_jdk(fake.platform, "C:/jdk/\\/").path, "C:/jdk");
    EXPECT_EQ(probe_jdk(fake.platform, "c:\\JDK").path, "c:\\JDK");
    EXPECT_EQ(probe_jdk(fake.platform, ".\\jdk\\..\\jdk").path, ".\\jdk\\..\\jdk");
    EXPECT_EQ(probe_jdk(fake.platform, "\\\\/").path, "");
}

TEST_F(Probing, EntryWithoutVersionHasNeitherField) {
    fake.add_jdk(k_root);
    EXPECT_EQ(probe_jdk(fake.platform, k_root), (JdkEntry{"C:\\jdk", std::nullopt, std::nullopt}));
}

TEST_F(Probing, EntryKeepsEmptyVersionFromTheBanner) {
    fake.add_jdk(k_root);
    fake.processes.script_output(k_launcher, "openjdk version \"\"");
    EXPECT_EQ(probe_jdk(fake.platform, k_root), (JdkEntry{"C:\\jdk", "", "OpenJDK"}));
}

// ---- java_version_output --------------------------------------------------------------------

TEST_F(Probing, VersionOutputJoinsErrorThenOutputAndTrims) {
    fake.processes.script_output("C:\\bin\\java.exe", "\r\n  openjdk version \"21\"\r\n",
                                 "extra\r\n\t ");
    EXPECT_EQ(java_version_output(fake.platform, "C:\\bin\\java.exe"),
              "openjdk version \"21\"\r\nextra");
    ASSERT_EQ(fake.processes.calls().size(), 1u);
    EXPECT_EQ(fake.processes.calls()[0].arguments, std::vector<std::string>{"-version"});
    EXPECT_EQ(fake.processes.calls()[0].time_limit, k_child_time_limit);
}

TEST_F(Probing, VersionOutputJoinsWithNothingBetween) {
    fake.processes.script_output("java", "a", "b");
    EXPECT_EQ(java_version_output(fake.platform, "java"), "ab");
}

TEST_F(Probing, VersionOutputFromStandardOutputAlone) {
    fake.processes.script_output("java", "", "java version \"1.8\"\n", 3);
    EXPECT_EQ(java_version_output(fake.platform, "java"), "java version \"1.8\"");
}

TEST_F(Probing, VersionOutputNothingWhenSilentOrNotStarted) {
    fake.processes.script_output("java", "", "");
    EXPECT_EQ(java_version_output(fake.platform, "java"), std::nullopt);
    fake.processes.script_output("java", " \r\n\t", "\n\n");
    EXPECT_EQ(java_version_output(fake.platform, "java"), std::nullopt);
    fake.processes.script("java", std::nullopt);
    EXPECT_EQ(java_version_output(fake.platform, "java"), std::nullopt);
}

TEST_F(Probing, VersionOutputReplacesInvalidBytesPerStream) {
    // A sequence cut at the end of standard error is not completed by standard output.
    fake.processes.script_output("java", "v\xe2\x82", "\xac!");
    EXPECT_EQ(java_version_output(fake.platform, "java"), "v\uFFFD\uFFFD!");
}

}  // namespace
}  // namespace corvel
