#include "doctor/diagnostics.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace corvel {
namespace {

constexpr std::string_view k_where = "C:\\windows\\system32\\where.exe";
constexpr std::string_view k_java_exe = "C:\\Program Files\\Java\\jdk-17\\bin\\java.exe";
constexpr std::string_view k_javac_exe = "C:\\Program Files\\Java\\jdk-17\\bin\\javac.exe";

std::optional<CapturedOutput> found(std::string_view standard_output) {
    return CapturedOutput{0, std::string(standard_output), ""};
}

struct Diagnostics : ::testing::Test {
    fakes::FakePlatform fake;

    void write_config(std::string_view text) {
        fake.files.add_file(fakes::FakePlatform::k_config_path, text);
    }
    void set_user_java_home(std::string_view value) {
        fake.registry.set_text(RegistryRoot::CurrentUser, "Environment", "JAVA_HOME", value);
    }
    void java_and_javac_on_path() {
        fake.processes.script_call(k_where, {"$PATH:java"},
                                   found(std::string(k_java_exe) + "\r\n"));
        fake.processes.script_call(k_where, {"$PATH:javac"},
                                   found(std::string(k_javac_exe) + "\r\n"));
    }
    std::vector<DiagnosticResult> run() {
        return run_diagnostics(fake.platform);
    }
};

const DiagnosticResult k_config_ok{"Config", "Config file loaded successfully", std::nullopt,
                                   CheckStatus::Ok};
const DiagnosticResult k_no_current{"Current Version", "No Java version is currently selected",
                                    "Run 'corvel use <alias>' to activate a version",
                                    CheckStatus::Warning};
const DiagnosticResult k_no_java_home{"JAVA_HOME", "JAVA_HOME is not set in the user environment",
                                      "Run 'corvel use <alias>' to set it", CheckStatus::Error};
const DiagnosticResult k_java_found{"java in PATH", "Found: " + std::string(k_java_exe),
                                    std::nullopt, CheckStatus::Ok};
const DiagnosticResult k_javac_found{"javac in PATH", "Found: " + std::string(k_javac_exe),
                                     std::nullopt, CheckStatus::Ok};

TEST_F(Diagnostics, EmptyConfigurationGivesTheFiveFixedResults) {
    write_config(R"({"current": null, "versions": {}})");
    java_and_javac_on_path();
    EXPECT_EQ(run(), (std::vector<DiagnosticResult>{k_config_ok, k_no_current, k_no_java_home,
                                                    k_java_found, k_javac_found}));
    // A missing file is the same empty configuration.
    fake.files.erase(fakes::FakePlatform::k_config_path);
    EXPECT_EQ(run().size(), 5u);
}

TEST_F(Diagnostics, UnreadableConfigEndsTheChecksWithOneError) {
    write_config(R"({"current": null, "versions": {}})");
    fake.files.set_failure_hook([](std::string_view op, std::string_view path) {
        if (op == "read" && path.ends_with("config.json")) {
            return std::optional<IoError>(IoError{"Access is denied.", 5});
        }
        return std::optional<IoError>();
    });
    set_user_java_home("C:\\Java\\jdk-17");
    java_and_javac_on_path();

    DiagnosticResult expected{
        "Config",
        "Cannot load config: Configuration error: Cannot read config file: Access is denied. (os "
        "error 5)",
        "Delete or recreate the config file at %APPDATA%\\corvel\\config.json", CheckStatus::Error};
    EXPECT_EQ(run(), std::vector<DiagnosticResult>{expected});
    EXPECT_TRUE(fake.processes.calls().empty());
}

TEST_F(Diagnostics, CorruptConfigIsLoadedAsEmptyWithTheLoadersWarning) {
    write_config("{");
    java_and_javac_on_path();
    std::vector<DiagnosticResult> results = run();
    ASSERT_EQ(results.size(), 5u);
    EXPECT_EQ(results[0], k_config_ok);
    EXPECT_EQ(results[1], k_no_current);
    EXPECT_TRUE(fake.console.error.starts_with("Warning: config file is corrupted ("));
}

TEST_F(Diagnostics, HealthySetupWithCurrentJdk) {
    write_config(R"({"current": "java17", "versions": {
        "java17": {"path": "C:\\Program Files\\Java\\jdk-17"}}})");
    fake.add_jdk("C:\\Program Files\\Java\\jdk-17");
    set_user_java_home("C:\\Program Files\\Java\\jdk-17");
    java_and_javac_on_path();
    EXPECT_EQ(run(), (std::vector<DiagnosticResult>{
                         k_config_ok,
                         {"Current Version", "Current alias 'java17' exists in config",
                          std::nullopt, CheckStatus::Ok},
                         {"JAVA_HOME", "JAVA_HOME = C:\\Program Files\\Java\\jdk-17", std::nullopt,
                          CheckStatus::Ok},
                         k_java_found,
                         k_javac_found,
                         {"JDK 'java17'", "Path valid: C:\\Program Files\\Java\\jdk-17",
                          std::nullopt, CheckStatus::Ok},
                     }));
}

TEST_F(Diagnostics, CurrentAliasMissingFromVersionsIsAnErrorWithoutConsistencyResult) {
    write_config(R"({"current": "java21", "versions": {"Java21": {"path": "C:\\jdk21"}}})");
    fake.add_jdk("C:\\jdk21");
    set_user_java_home("C:\\elsewhere");
    java_and_javac_on_path();
    std::vector<DiagnosticResult> results = run();
    ASSERT_EQ(results.size(), 6u);
    EXPECT_EQ(results[1],
              (DiagnosticResult{
                  "Current Version", "Current alias 'java21' is not present in the versions list",
                  "Run 'corvel use <alias>' with a valid alias", CheckStatus::Error}));
    EXPECT_EQ(results[5].name, "JDK 'Java21'");
}

TEST_F(Diagnostics, InvalidOrEmptyJavaHomeIsAnErrorWithoutTheValidationText) {
    write_config(R"({"versions": {}})");
    java_and_javac_on_path();
    set_user_java_home("C:\\deleted\\jdk");
    EXPECT_EQ(run()[2], (DiagnosticResult{
                            "JAVA_HOME", "JAVA_HOME = C:\\deleted\\jdk (path is not a valid JDK)",
                            "Run 'corvel use <alias>' to set a valid path", CheckStatus::Error}));
    set_user_java_home("");
    EXPECT_EQ(run()[2].message, "JAVA_HOME =  (path is not a valid JDK)");
}

TEST_F(Diagnostics, MissingJavaAndJavacAreWarningsWithTheirOwnHints) {
    write_config(R"({"versions": {}})");
    fake.processes.script_output(k_where, "INFO: Could not find files.\r\n", "", 1);
    std::vector<DiagnosticResult> results = run();
    ASSERT_EQ(results.size(), 5u);
    EXPECT_EQ(results[3],
              (DiagnosticResult{"java in PATH", "java is not found in the current terminal's PATH",
                                "Open a new terminal after running 'corvel use' \xE2\x80\x94 "
                                "Windows env changes don't affect already-open terminals",
                                CheckStatus::Warning}));
    EXPECT_EQ(
        results[4],
        (DiagnosticResult{"javac in PATH", "javac is not found in the current terminal's PATH",
                          "Open a new terminal after running 'corvel use'", CheckStatus::Warning}));
}

TEST_F(Diagnostics, WhereRunsForJavaThenJavacAndOnlyTheFirstMatchIsShown) {
    write_config(R"({"versions": {}})");
    fake.processes.script_call(k_where, {"$PATH:java"},
                               found("C:\\first\\java.exe\r\nC:\\second\\java.exe\r\n"));
    fake.processes.script_call(k_where, {"$PATH:javac"}, found("\r\nC:\\late\\javac.exe\r\n"));
    std::vector<DiagnosticResult> results = run();
    EXPECT_EQ(results[3].message, "Found: C:\\first\\java.exe");
    EXPECT_EQ(results[4].status, CheckStatus::Warning);
    ASSERT_EQ(fake.processes.calls().size(), 2u);
    EXPECT_EQ(fake.processes.calls()[0].arguments, std::vector<std::string>{"$PATH:java"});
    EXPECT_EQ(fake.processes.calls()[1].arguments, std::vector<std::string>{"$PATH:javac"});
}

TEST_F(Diagnostics, RegisteredJdksComeInByteOrderOfTheirAliases) {
    write_config(R"({"versions": {
        "java8": {"path": "C:\\jdk8"}, "Java11": {"path": "C:\\jdk11"},
        "java17": {"path": "C:\\jdk17"}, "\u00e9": {"path": "C:\\e"}, "z": {"path": "C:\\z"}}})");
    for (const char* root : {"C:\\jdk8", "C:\\jdk11", "C:\\jdk17", "C:\\e", "C:\\z"}) {
        fake.add_jdk(root);
    }
    java_and_javac_on_path();
    std::vector<DiagnosticResult> results = run();
    std::vector<std::string> names;
    for (std::size_t i = 5; i < results.size(); ++i) {
        names.push_back(results[i].name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"JDK 'Java11'", "JDK 'java17'", "JDK 'java8'",
                                               "JDK 'z'", "JDK '\u00e9'"}));
}

TEST_F(Diagnostics, DeletedJdkFolderReportsTheValidationTextAndNamesItsAlias) {
    write_config(R"({"versions": {"old": {"path": "C:\\gone"},
                                  "jre": {"path": "C:\\jre\\"}}})");
    fake.files.add_file("C:\\jre\\bin\\java.exe");
    java_and_javac_on_path();
    std::vector<DiagnosticResult> results = run();
    ASSERT_EQ(results.size(), 7u);
    EXPECT_EQ(results[5],
              (DiagnosticResult{"JDK 'jre'",
                                "Invalid JDK path: bin\\javac.exe not found in: C:\\jre\\ (this "
                                "looks like a JRE, not a full JDK)",
                                "Run 'corvel remove jre' then re-add with a correct path",
                                CheckStatus::Error}));
    EXPECT_EQ(results[6],
              (DiagnosticResult{"JDK 'old'", "Invalid JDK path: Path does not exist: C:\\gone",
                                "Run 'corvel remove old' then re-add with a correct path",
                                CheckStatus::Error}));
}

TEST_F(Diagnostics, ConsistencyIgnoresLetterCaseButNotATrailingBackslash) {
    write_config(R"({"current": "java17", "versions": {"java17": {"path": "C:\\Java\\JDK-17"}}})");
    fake.add_jdk("C:\\Java\\JDK-17");
    java_and_javac_on_path();

    set_user_java_home("c:\\java\\jdk-17");
    EXPECT_EQ(run().size(), 6u);

    set_user_java_home("C:\\Java\\JDK-17\\");
    std::vector<DiagnosticResult> results = run();
    ASSERT_EQ(results.size(), 7u);
    EXPECT_EQ(results[6],
              (DiagnosticResult{"JAVA_HOME Consistency",
                                "JAVA_HOME (C:\\Java\\JDK-17\\) does not match selected alias "
                                "'java17' path (C:\\Java\\JDK-17)",
                                "Run 'corvel use java17' to resync", CheckStatus::Warning}));
}

TEST_F(Diagnostics, ConsistencyLowerCasesBeyondAscii) {
    write_config(
        R"({"current": "j", "versions": {"j": {"path": "C:\\\u00c9QUIPE\\\u0130\u03a3\u0391"}}})");
    set_user_java_home("c:\\\u00e9quipe\\i\u0307\u03c3\u03b1");
    java_and_javac_on_path();
    std::vector<DiagnosticResult> results = run();
    ASSERT_EQ(results.size(), 6u);
    EXPECT_EQ(results.back().name, "JDK 'j'");
}

TEST_F(Diagnostics, ConsistencyNeedsCurrentAndJavaHome) {
    write_config(R"({"versions": {"java17": {"path": "C:\\jdk17"}}})");
    fake.add_jdk("C:\\jdk17");
    set_user_java_home("C:\\other");
    java_and_javac_on_path();
    EXPECT_EQ(run().size(), 6u);

    write_config(R"({"current": "java17", "versions": {"java17": {"path": "C:\\jdk17"}}})");
    fake.registry.set(RegistryRoot::CurrentUser, "Environment", "JAVA_HOME", k_reg_dword,
                      {1, 0, 0, 0});
    std::vector<DiagnosticResult> results = run();
    ASSERT_EQ(results.size(), 6u);
    EXPECT_EQ(results[2].message, "JAVA_HOME is not set in the user environment");
}

}  // namespace
}  // namespace corvel
