// End-to-end tests of add and remove under Wine. See harness.h for the helpers and an example.
#include "harness.h"

namespace corvel::e2e {
namespace {

// config.json as the program writes it for one entry and no current alias.
std::string one_entry_config(std::string_view alias, std::string_view path,
                             std::optional<std::string_view> version,
                             std::optional<std::string_view> vendor) {
    auto value = [](std::optional<std::string_view> text) {
        return text ? json_string(*text) : std::string("null");
    };
    return "{\n"
           "  \"current\": null,\n"
           "  \"versions\": {\n"
           "    " +
           json_string(alias) +
           ": {\n"
           "      \"path\": " +
           json_string(path) +
           ",\n"
           "      \"detected_version\": " +
           value(version) +
           ",\n"
           "      \"vendor\": " +
           value(vendor) +
           "\n"
           "    }\n"
           "  }\n"
           "}";
}

// What a successful add prints.
std::string added_output(std::string_view done, std::string_view alias, std::string_view path) {
    return "Validating path... OK\nProbing JDK metadata... Done (" + std::string(done) +
           ")\n\n\u2714 Added alias '" + std::string(alias) + "' \u2192 " + std::string(path) +
           "\nRun 'corvel use " + std::string(alias) + "' to activate it.\n";
}

class AddE2e : public E2eTest {};

// Whether `text` holds a byte a terminal would obey: a C0 control but the line feed, DEL, or a
// C1 control (C2 80 to C2 9F).
bool has_control_bytes(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        bool c1 = byte == 0xC2 && i + 1 < text.size() &&
                  static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                  static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if ((byte < 0x20 && byte != '\n') || byte == 0x7F || c1) {
            return true;
        }
    }
    return false;
}

TEST_F(AddE2e, ReleaseFileGivesVersionAndVendorWithoutRunningTheLauncher) {
    std::string jdk = make_jdk("jdk-21", {.java = JavaAnswer{openjdk_banner("99")},
                                          .release = release_file("21.0.2", "Eclipse Adoptium")});
    RunResult r = run_corvel({"add", "java21", jdk});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, added_output("Eclipse Adoptium 21.0.2", "java21", jdk)) << r;
    EXPECT_EQ(r.err, "") << r;
    EXPECT_TRUE(java_calls(jdk).empty());
    EXPECT_EQ(read_file(config_path()),
              one_entry_config("java21", jdk, "21.0.2", "Eclipse Adoptium"));
}

TEST_F(AddE2e, LauncherBannerNamesOpenJdkOrOracle) {
    std::string openjdk = make_jdk("jdk-17", {.java = JavaAnswer{openjdk_banner("17.0.9")}});
    RunResult r = run_corvel({"add", "java17", openjdk});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, added_output("OpenJDK 17.0.9", "java17", openjdk)) << r;
    std::vector<std::string> calls = java_calls(openjdk);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].ends_with(" -version")) << calls[0];

    // The release file lacks a version, so the launcher answers; the release vendor is dropped.
    std::string oracle = make_jdk("jdk-8", {.java = JavaAnswer{oracle_banner("1.8.0_381")},
                                            .release = "IMPLEMENTOR=\"Someone\"\n"});
    r = run_corvel({"add", "java8", oracle});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, added_output("Oracle 1.8.0_381", "java8", oracle)) << r;
}

TEST_F(AddE2e, NothingKnownGivesUnknownUnknownAndNulls) {
    // The banner goes to standard output only, and the launcher fails.
    std::string jdk = make_jdk("odd", {.java = JavaAnswer{"", openjdk_banner("21"), 1}});
    RunResult r = run_corvel({"add", "odd", jdk});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, added_output("unknown unknown", "odd", jdk)) << r;
    EXPECT_EQ(read_file(config_path()), one_entry_config("odd", jdk, std::nullopt, std::nullopt));
}

TEST_F(AddE2e, LauncherPrintingMegabytesOnBothStreamsIsReadToTheEnd) {
    // Alternating blocks: a reader that drains one pipe before the other would stall the child.
    std::string jdk = make_jdk("chatty", {.java = JavaAnswer{openjdk_banner("21.0.2"),
                                                             std::string(64 * 1024, 'o'), 0, 64}});
    RunResult r = run_corvel({"add", "chatty", jdk});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, added_output("OpenJDK 21.0.2", "chatty", jdk)) << r;
}

// Escape sequences in a release file or a launcher's banner would set the window title, clear
// the screen or move the cursor: none reaches the terminal, config.json or an alias.
TEST_F(AddE2e, HostileReleaseFileAndBannerNeverReachTheTerminal) {
    const std::string jdk = make_jdk(
        "evil", {.java = JavaAnswer{"openjdk version \"21\" \x1b[2J\r\n\x1b]0;PWNED\x07\r\n"},
                 .release = "JAVA_VERSION=\"21\x1b[2J\"\n"
                            "IMPLEMENTOR=\"\x1b]0;PWNED\x07Evil\u009b6n\"\n"});
    RunOptions options;
    options.set_env = {{"PATH", jdk + "\\bin;" + inherited_path()}};
    std::vector<RunResult> runs;
    for (std::vector<Arg> args : std::vector<std::vector<Arg>>{
             {"add", "evil", jdk}, {"list"}, {"use", "evil"}, {"current"}, {"doctor"}}) {
        runs.push_back(run_corvel(args, options));
        EXPECT_EQ(runs.back().status, 0) << runs.back();
        EXPECT_FALSE(has_control_bytes(runs.back().out)) << runs.back();
    }
    EXPECT_EQ(read_file(config_path()).value_or("").find("\\u001b"), std::string::npos);
    EXPECT_NE(runs[3].out.find("    openjdk version \"21\" \uFFFD[2J\n    \uFFFD]0;PWNED\uFFFD\n"),
              std::string::npos)
        << runs[3];
}

// A launcher that writes without end is read until the time limit ends it, and what it wrote past
// the first mebibyte of each stream is dropped: memory stays where an add that waits as long for
// a quiet launcher leaves it.
TEST_F(AddE2e, FloodingLauncherLeavesMemoryFlat) {
    RunOptions options;
    options.measure_memory = true;
    options.timeout = std::chrono::seconds(90);
    const std::string quiet =
        make_jdk("quiet", {.java = JavaAnswer{openjdk_banner("21.0.2"), "", 0, 1, true}});
    RunResult waited = run_corvel({"add", "quiet", quiet}, options);
    ASSERT_EQ(waited.status, 0) << waited;
    const std::string block(1 << 20, 'x');
    const std::string flood = make_jdk("flood", {.java = JavaAnswer{block, block, 0, 1'000'000}});
    RunResult flooded = run_corvel({"add", "flood", flood}, options);
    ASSERT_FALSE(flooded.timed_out) << flooded;
    ASSERT_EQ(flooded.status, 0) << flooded;
    EXPECT_EQ(flooded.out, added_output("unknown unknown", "flood", flood)) << flooded;
    ASSERT_GT(waited.peak_memory, 0u);
    EXPECT_LT(flooded.peak_memory, waited.peak_memory + (std::size_t{64} << 20))
        << "quiet launcher: " << waited.peak_memory << " bytes";
}

TEST_F(AddE2e, HangingLauncherIsEndedAndCountsAsUnknown) {
    // The stand-in prints a valid banner and then never ends: what it said before the time
    // limit is not used. The run's own guard only catches a hang; it is no speed check.
    std::string jdk =
        make_jdk("hangs", {.java = JavaAnswer{openjdk_banner("21.0.2"), "", 0, 1, true}});
    RunOptions options;
    options.timeout = std::chrono::seconds(90);
    RunResult r = run_corvel({"add", "hangs", jdk}, options);
    ASSERT_FALSE(r.timed_out) << r;
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, added_output("unknown unknown", "hangs", jdk)) << r;
    EXPECT_EQ(read_file(config_path()), one_entry_config("hangs", jdk, std::nullopt, std::nullopt));
}

TEST_F(AddE2e, RuntimeOnlyFolderIsRejectedBeforeProbing) {
    std::string jre = make_jdk("jre", {.javac = false, .release = release_file("21", "X")});
    RunResult r = run_corvel({"add", "jre", jre});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.out, "Validating path... ") << r;
    EXPECT_EQ(r.err, "Error: Invalid JDK path: bin\\javac.exe not found in: " + jre +
                         " (this looks like a JRE, not a full JDK)\n")
        << r;
    EXPECT_TRUE(java_calls(jre).empty());
    EXPECT_FALSE(path_exists(config_path()));
}

TEST_F(AddE2e, MissingFolderIsRejected) {
    std::string missing = test_path("nope\\");
    RunResult r = run_corvel({"add", "x", missing});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.out, "Validating path... ") << r;
    EXPECT_EQ(r.err, "Error: Invalid JDK path: Path does not exist: " + missing + "\n") << r;
    EXPECT_FALSE(path_exists(config_path()));
}

// Not a Windows-style option: the path reaches add as typed.
TEST_F(AddE2e, PathBeginningWithASlashIsAPath) {
    RunResult r = run_corvel({"add", "x", "//server/share/jdk21"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.err, "Error: Invalid JDK path: Path does not exist: //server/share/jdk21\n") << r;
}

TEST_F(AddE2e, TakenAliasFailsAfterProbingAndKeepsTheFile) {
    std::string first = make_jdk("first", {.release = release_file("21.0.2", "Azul")});
    std::string second = make_jdk("second", {.release = release_file("22", "Azul")});
    ASSERT_EQ(run_corvel({"add", "java21", first}).status, 0);
    std::optional<std::string> before = read_file(config_path());

    RunResult r = run_corvel({"add", "java21", second});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.out, "Validating path... OK\nProbing JDK metadata... Done (Azul 22)\n") << r;
    EXPECT_EQ(r.err, "Error: Alias already exists: 'java21'\n") << r;
    EXPECT_EQ(read_file(config_path()), before);
}

TEST_F(AddE2e, PathWithSpacesAndNonAsciiWorksThroughAddListAndRemove) {
    // Known only through the launcher, so the launcher must start from this path.
    std::string jdk = make_jdk("Program Files\\J\u00e4va \u65e5\u672c\\jdk 21",
                               {.java = JavaAnswer{openjdk_banner("21.0.2")}});
    RunResult r = run_corvel({"add", "j\u00e4", jdk});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, added_output("OpenJDK 21.0.2", "j\u00e4", jdk)) << r;
    EXPECT_EQ(read_file(config_path()), one_entry_config("j\u00e4", jdk, "21.0.2", "OpenJDK"));

    r = run_corvel({"list"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_NE(r.out.find(jdk), std::string::npos) << r;

    r = run_corvel({"remove", "j\u00e4"}, {.stdin_bytes = "y\r\n"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "Remove alias 'j\u00e4'? [y/N] \u2714 Removed alias 'j\u00e4'.\n") << r;
}

class RemoveE2e : public E2eTest {
protected:
    void SetUp() override {
        E2eTest::SetUp();
        std::string jdk = make_jdk("jdk-21", {.release = release_file("21", "Azul")});
        ASSERT_EQ(run_corvel({"add", "java21", jdk}).status, 0);
        ASSERT_EQ(run_corvel({"use", "java21"}).status, 0);
        m_before = read_file(config_path()).value_or("");
    }

    RunResult remove_answering(std::string input) {
        return run_corvel({"remove", "java21"}, {.stdin_bytes = std::move(input)});
    }

    bool unchanged() {
        return read_file(config_path()) == m_before;
    }

    std::string m_before;
};

constexpr std::string_view k_prompt = "Remove alias 'java21'? [y/N] ";

TEST_F(RemoveE2e, LoneYRemovesAndClearsTheCurrentAlias) {
    for (const char* answer : {"y\r\n", " Y \n"}) {
        RunResult r = remove_answering(answer);
        EXPECT_EQ(r.status, 0) << r;
        EXPECT_EQ(r.out, std::string(k_prompt) + "\u2714 Removed alias 'java21'.\n") << r;
        EXPECT_EQ(read_file(config_path()), "{\n  \"current\": null,\n  \"versions\": {}\n}");
        write_file(config_path(), m_before);
    }
}

TEST_F(RemoveE2e, AnyOtherAnswerCancels) {
    for (const char* answer : {"yes\r\n", "n\r\n", "\r\n", "Y Y\n", "\u00ff\n"}) {
        RunResult r = remove_answering(answer);
        EXPECT_EQ(r.status, 0) << r;
        EXPECT_EQ(r.out, std::string(k_prompt) + "Cancelled.\n") << r;
        EXPECT_EQ(r.err, "") << r;
        EXPECT_TRUE(unchanged()) << answer;
    }
}

// A piped answer is counted in characters, as on a console: 4,096 before the line end are an
// answer whatever their UTF-8 length, 4,097 are too many.
TEST_F(RemoveE2e, PipedAnswerIsCountedInCharacters) {
    std::string wide = "y";
    for (int i = 0; i < 4095; ++i) {
        wide += "\u3000";
    }
    for (const auto& [answer, removes] :
         {std::pair{wide + "\n", true}, std::pair{wide + "\u3000\n", false},
          std::pair{"y" + std::string(4095, ' ') + "\r\n", true}}) {
        RunResult r = remove_answering(answer);
        EXPECT_EQ(r.out, std::string(k_prompt) +
                             (removes ? "\u2714 Removed alias 'java21'.\n" : "Cancelled.\n"))
            << r;
        write_file(config_path(), m_before);
    }
}

TEST_F(RemoveE2e, EndOfInputCancels) {
    RunResult r = remove_answering("");
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, std::string(k_prompt) + "Cancelled.\n") << r;
    EXPECT_TRUE(unchanged());
}

TEST_F(RemoveE2e, InputThatIsNotUtf8Fails) {
    RunResult r = remove_answering("y\xff\r\n");
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.out, k_prompt) << r;
    EXPECT_EQ(r.err, "Error: stream did not contain valid UTF-8\n") << r;
    EXPECT_TRUE(unchanged());
}

TEST_F(RemoveE2e, ForceSkipsThePrompt) {
    RunResult r = run_corvel({"remove", "java21", "--force"}, {.stdin_bytes = "n\n"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "\u2714 Removed alias 'java21'.\n") << r;

    r = run_corvel({"remove", "java21", "-f"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.out, "") << r;
    EXPECT_EQ(r.err, "Error: Alias not found: 'java21'\n") << r;
}

}  // namespace
}  // namespace corvel::e2e
