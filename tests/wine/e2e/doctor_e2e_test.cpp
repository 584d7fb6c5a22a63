// End-to-end tests of doctor under Wine. See harness.h for the helpers and an example.
#include <cctype>

#include "harness.h"

namespace corvel::e2e {
namespace {

class DoctorE2e : public E2eTest {
protected:
    void SetUp() override {
        E2eTest::SetUp();
        delete_reg(k_user_environment, "JAVA_HOME");
    }
};

const std::string k_java_jdk17 = "C:\\Program Files\\Java\\jdk-17";

RunOptions with_path(const std::string& path) {
    RunOptions options;
    options.set_env = {{"PATH", path}};
    return options;
}

RunResult doctor(const std::string& path = inherited_path()) {
    return run_corvel({"doctor"}, with_path(path));
}

void add(const std::string& alias, const std::string& path) {
    RunResult r = run_corvel({"add", alias, path});
    ASSERT_EQ(r.status, 0) << r;
}

TEST_F(DoctorE2e, ReferenceReportForAnEmptySetup) {
    make_jdk(k_java_jdk17);
    RunResult r = doctor(k_java_jdk17 + "\\bin;" + inherited_path());
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "") << r;
    EXPECT_EQ(
        r.out,
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
        "Config file location: " +
            config_path() + "\n")
        << r;
}

TEST_F(DoctorE2e, ThirtyByteAliasWidensTheNameColumnOfEveryLine) {
    std::string alias(30, 'a');
    std::string jdk = make_jdk("jdk-21");
    add(alias, jdk);
    ASSERT_EQ(run_corvel({"use", alias}).status, 0);

    // java and javac are not on this PATH, so two hint lines show the wider indent too.
    RunResult r = doctor();
    EXPECT_EQ(r.status, 0) << r;
    std::string hint_indent(3 + 36 + 2, ' ');
    EXPECT_EQ(r.out,
              "Diagnostics Report\n"
              "\n"
              "\u2714  Config" +
                  std::string(30, ' ') + "  Config file loaded successfully\n" +
                  "\u2714  Current Version" + std::string(21, ' ') + "  Current alias '" + alias +
                  "' exists in config\n" + "\u2714  JAVA_HOME" + std::string(27, ' ') +
                  "  JAVA_HOME = " + jdk + "\n" + "\u26A0  java in PATH" + std::string(24, ' ') +
                  "  java is not found in the current terminal's PATH\n" + hint_indent +
                  "\u21B3 Open a new terminal after running 'corvel use' \u2014 Windows env "
                  "changes don't affect already-open terminals\n" +
                  "\u26A0  javac in PATH" + std::string(23, ' ') +
                  "  javac is not found in the current terminal's PATH\n" + hint_indent +
                  "\u21B3 Open a new terminal after running 'corvel use'\n" + "\u2714  JDK '" +
                  alias + "'  Path valid: " + jdk + "\n" +
                  "\n"
                  "Summary: 4 OK  2 warning(s)  0 error(s)\n")
        << r;
}

TEST_F(DoctorE2e, CurrentAliasMissingFromVersions) {
    write_file(config_path(), R"({"current": "java21", "versions": {}})");
    RunResult r = doctor();
    EXPECT_EQ(r.status, 0) << r;
    std::vector<std::string> lines = lines_of(r.out);
    ASSERT_GE(lines.size(), 5u) << r;
    EXPECT_EQ(lines[3],
              "\u2717  Current Version       Current alias 'java21' is not present in the "
              "versions list")
        << r;
    EXPECT_EQ(lines[4],
              "                         \u21B3 Run 'corvel use <alias>' with a valid alias")
        << r;
    EXPECT_EQ(r.out.find("Consistency"), std::string::npos) << r;
}

TEST_F(DoctorE2e, ConsistencyWarnsOnATrailingBackslashButNotOnLetterCase) {
    std::string jdk = make_jdk("Jdk-17");
    add("java17", jdk);
    ASSERT_EQ(run_corvel({"use", "java17"}).status, 0);
    std::string path = jdk + "\\bin;" + inherited_path();

    std::string other_case = jdk;
    for (char& c : other_case) {
        c = std::isupper(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c))
                                                        : static_cast<char>(std::toupper(c));
    }
    write_reg(k_user_environment, "JAVA_HOME", RegValue::sz(other_case));
    RunResult same = doctor(path);
    EXPECT_EQ(same.status, 0) << same;
    EXPECT_EQ(same.out.find("Consistency"), std::string::npos) << same;

    write_reg(k_user_environment, "JAVA_HOME", RegValue::sz(jdk + "\\"));
    RunResult r = doctor(path);
    EXPECT_EQ(r.status, 0) << r;
    std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 12u) << r;
    EXPECT_EQ(lines[8], "\u26A0  JAVA_HOME Consistency  JAVA_HOME (" + jdk +
                            "\\) does not match selected alias 'java17' path (" + jdk + ")")
        << r;
    // "JAVA_HOME Consistency" is 21 bytes long: the column grows by one for every line.
    EXPECT_EQ(lines[9], std::string(26, ' ') + "\u21B3 Run 'corvel use java17' to resync") << r;
    EXPECT_EQ(lines[2], "\u2714  Config                 Config file loaded successfully") << r;
    EXPECT_EQ(lines[11], "Summary: 6 OK  1 warning(s)  0 error(s)") << r;
}

TEST_F(DoctorE2e, UnreadableConfigIsTheOnlyResult) {
    write_file(config_path(), "{\"current\": \"\xff\", \"versions\": {}}");
    RunResult r = doctor();
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out,
              "Diagnostics Report\n"
              "\n"
              "\u2717  Config                Cannot load config: Configuration error: Cannot read "
              "config file: stream did not contain valid UTF-8\n"
              "                         \u21B3 Delete or recreate the config file at "
              "%APPDATA%\\corvel\\config.json\n"
              "\n"
              "Summary: 0 OK  0 warning(s)  1 error(s)\n"
              "\n"
              "Config file location: " +
                  config_path() + "\n")
        << r;
}

TEST_F(DoctorE2e, WhereOutputInTheOemCodePageGivesTheRightPaths) {
    std::string jdk = make_jdk("jdk-\u00e9t\u00e9");
    RunOptions options = with_path(jdk + "\\bin;" + inherited_path());
    options.set_env["CORVEL_TEST_WHERE_ENCODING"] = "oem";
    RunResult r = run_corvel({"doctor"}, options);
    EXPECT_EQ(r.status, 0) << r;
    std::vector<std::string> lines = lines_of(r.out);
    ASSERT_GE(lines.size(), 10u) << r;
    EXPECT_EQ(lines[7], "\u2714  java in PATH          Found: " + jdk + "\\bin\\java.exe") << r;
    EXPECT_EQ(lines[8], "\u2714  javac in PATH         Found: " + jdk + "\\bin\\javac.exe") << r;
}

}  // namespace
}  // namespace corvel::e2e
