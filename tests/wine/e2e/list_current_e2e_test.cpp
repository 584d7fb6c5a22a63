// End-to-end tests of list and current under Wine. See harness.h for the helpers and an example.
#include "harness.h"

namespace corvel::e2e {
namespace {

class ListCurrentE2e : public E2eTest {};

const std::string k_empty_list =
    "No Java versions configured.\n"
    "Use 'corvel add <alias> <path>' to add one, or 'corvel scan --auto-add' to auto-detect.\n";

void add(const std::string& alias, const std::string& path) {
    RunResult r = run_corvel({"add", alias, path});
    ASSERT_EQ(r.status, 0) << r;
}

// The PATH a terminal opened now would get: the system Path, then the user Path.
std::string new_terminal_path() {
    return read_reg_text(k_system_environment, "Path").value_or("") + ";" +
           read_reg_text(k_user_environment, "Path").value_or("");
}

RunOptions with_path(const std::string& path) {
    RunOptions options;
    options.set_env = {{"PATH", path}};
    return options;
}

TEST_F(ListCurrentE2e, NothingRegisteredPrintsTheTwoHintLines) {
    RunResult r = run_corvel({"list"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, k_empty_list) << r;
    EXPECT_EQ(r.err, "") << r;
}

TEST_F(ListCurrentE2e, TableOfRegisteredJdks) {
    std::string jdk17 = make_jdk("jdk-17", {.release = release_file("17.0.9", "Eclipse Adoptium")});
    std::string jdk8 =
        make_jdk("jdk8", {.release = release_file("1.8.0_381", "Oracle Corporation")});
    // A launcher that says nothing and no release file: version and vendor stay unknown.
    std::string silent = make_jdk("silent", {.java = JavaAnswer{}});
    std::string gone = make_jdk("gone", {.release = release_file("11.0.2", "Azul")});
    add("java17", jdk17);
    add("Java8", jdk8);
    add("\u00f6-jdk", silent);
    add("temurin-11-long-alias", gone);
    delete_path(gone);
    ASSERT_EQ(run_corvel({"use", "java17"}).status, 0);

    RunResult r = run_corvel({"list"});
    EXPECT_EQ(r.status, 0) << r;
    // Byte order puts "Java8" first and the non-ASCII alias last; the 21-byte alias sets the
    // column for every row.
    EXPECT_EQ(
        r.out,
        "Configured Java Versions\n"
        "\n"
        "  Java8                  1.8.0_381     Oracle Corporation    " +
            jdk8 + "\n" + "\u25B6 java17                 17.0.9        Eclipse Adoptium      " +
            jdk17 + "\n" + "  temurin-11-long-alias  11.0.2        Azul                  " + gone +
            " [INVALID PATH]\n" +
            "  \u00f6-jdk                  unknown                             " + silent + "\n" +
            "\n"
            "Total: 4 version(s) configured.\n")
        << r;
}

TEST_F(ListCurrentE2e, ColourOnlyWhenForced) {
    add("java21", make_jdk("jdk-21", {.release = release_file("21.0.2", "OpenJDK")}));
    RunOptions forced;
    forced.set_env = {{"CLICOLOR_FORCE", "1"}};
    RunResult r = run_corvel({"list"}, forced);
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(lines_of(r.out).at(2),
              "  java21      \x1b[36m21.0.2      \x1b[0m  \x1b[2mOpenJDK"
              "             \x1b[0m  \x1b[2m" +
                  test_path("jdk-21") + "\x1b[0m")
        << r;
    // Redirected output without the variable stays plain.
    EXPECT_EQ(run_corvel({"list"}).out.find('\x1b'), std::string::npos);
}

TEST_F(ListCurrentE2e, UnreadableConfigFailsListAndCurrent) {
    write_file(config_path(), "{\"current\": \"\xff\", \"versions\": {}}");
    for (const char* command : {"list", "current"}) {
        RunResult r = run_corvel({command});
        EXPECT_EQ(r.status, 1) << command << r;
        EXPECT_EQ(r.out, "") << command << r;
        EXPECT_EQ(r.err,
                  "Error: Configuration error: Cannot read config file: stream did not contain "
                  "valid UTF-8\n")
            << command << r;
    }
}

TEST_F(ListCurrentE2e, CurrentWithNothingSet) {
    delete_reg(k_user_environment, "JAVA_HOME");
    RunResult r = run_corvel({"current"}, with_path(inherited_path()));
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out,
              "Current Java Status\n"
              "\n"
              "  Config alias   : not set\n"
              "  JAVA_HOME      : not set\n"
              "  java in PATH   : not found (open a new terminal to pick up changes)\n")
        << r;
}

TEST_F(ListCurrentE2e, CurrentAfterUseShowsTheNewJdkAndItsBanner) {
    std::string jdk21 = make_jdk("jdk-21");
    add("java21", jdk21);
    ASSERT_EQ(run_corvel({"use", "java21"}).status, 0);
    std::size_t launches = java_calls(jdk21).size();

    RunResult r = run_corvel({"current"}, with_path(new_terminal_path()));
    EXPECT_EQ(r.status, 0) << r;
    std::string expected =
        "Current Java Status\n"
        "\n"
        "  Config alias   : java21\n"
        "  JAVA_HOME      : " +
        jdk21 +
        "\n"
        "  java in PATH   : " +
        jdk21 +
        "\\bin\\java.exe\n"
        "\n"
        "  java -version output:\n";
    for (const std::string& line : lines_of(openjdk_banner("21.0.2"))) {
        expected += "    " + line + "\n";
    }
    EXPECT_EQ(r.out, expected) << r;
    // The banner came from one more run of the launcher that where found.
    EXPECT_EQ(java_calls(jdk21).size(), launches + 1);
}

TEST_F(ListCurrentE2e, CurrentMarksAJavaHomeThatIsNoJdk) {
    write_reg(k_user_environment, "JAVA_HOME", RegValue::sz(test_path("nothing-here")));
    RunResult r = run_corvel({"current"}, with_path(inherited_path()));
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(lines_of(r.out).at(3),
              "  JAVA_HOME      : " + test_path("nothing-here") + " [invalid]")
        << r;
}

// A where.exe in the folder the user runs corvel from must never be the one that is run.
TEST_F(ListCurrentE2e, WhereInTheCurrentFolderIsNotRun) {
    std::string jdk21 = make_jdk("jdk-21");
    std::string planted = test_path("planted");
    make_folder(planted);
    write_file(planted + "\\where.exe", read_file(jdk21 + "\\bin\\java.exe").value());
    write_file(planted + "\\where.stdout", "C:\\evil\\java.exe\r\n");

    RunOptions options = with_path(jdk21 + "\\bin;" + inherited_path());
    options.working_folder = planted;
    RunResult r = run_corvel({"current"}, options);
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(lines_of(r.out).at(4), "  java in PATH   : " + jdk21 + "\\bin\\java.exe") << r;
    EXPECT_FALSE(path_exists(planted + "\\where.calls"));
    // The planted program does answer when it is run, so its silence above is corvel's doing.
    EXPECT_EQ(run_program(planted + "\\where.exe", {"java"}).out, "C:\\evil\\java.exe\r\n");
}

// where looks in the current folder before PATH unless asked for PATH alone.
TEST_F(ListCurrentE2e, JavaInTheCurrentFolderIsNeitherShownNorRun) {
    std::string jdk21 = make_jdk("jdk-21");
    std::string planted = make_jdk("downloaded-project");
    RunOptions options = with_path(jdk21 + "\\bin;" + inherited_path());
    options.working_folder = planted + "\\bin";
    RunResult r = run_corvel({"current"}, options);
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(lines_of(r.out).at(4), "  java in PATH   : " + jdk21 + "\\bin\\java.exe") << r;
    EXPECT_TRUE(java_calls(planted).empty());
    EXPECT_EQ(java_calls(jdk21).size(), 1u);
}

// Console programs write a pipe in the OEM code page; a non-ASCII folder must survive it.
TEST_F(ListCurrentE2e, WhereOutputInTheOemCodePageGivesTheRightPath) {
    std::string jdk = make_jdk("jdk-\u00e9t\u00e9");
    RunOptions options = with_path(jdk + "\\bin;" + inherited_path());
    options.set_env["CORVEL_TEST_WHERE_ENCODING"] = "oem";
    // The stand-in does write bytes that are not UTF-8 here.
    RunResult where = run_program("C:\\windows\\system32\\where.exe", {"$PATH:java"}, options);
    ASSERT_EQ(where.status, 0) << where;
    EXPECT_EQ(where.out.find("\u00e9"), std::string::npos) << where;

    RunResult r = run_corvel({"current"}, options);
    EXPECT_EQ(r.status, 0) << r;
    std::vector<std::string> lines = lines_of(r.out);
    ASSERT_GE(lines.size(), 8u) << r;
    EXPECT_EQ(lines[4], "  java in PATH   : " + jdk + "\\bin\\java.exe") << r;
    EXPECT_EQ(lines[7], "    " + lines_of(openjdk_banner("21.0.2")).at(0)) << r;
}

}  // namespace
}  // namespace corvel::e2e
