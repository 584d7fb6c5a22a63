// End-to-end tests of scan under Wine. See harness.h for the helpers and an example.
#include "harness.h"

namespace corvel::e2e {
namespace {

const std::string k_corretto_8 = "C:\\Program Files\\Amazon Corretto\\jdk1.8.0_392";

JdkLayout with_release(std::string_view version, std::string_view vendor) {
    JdkLayout layout;
    layout.release = release_file(version, vendor);
    return layout;
}

// A JDK without a release file: only its launcher can tell the version.
JdkLayout launcher_only(std::string_view version) {
    JdkLayout layout;
    layout.java = JavaAnswer{openjdk_banner(version)};
    return layout;
}

// config.json holding the Corretto 8 as java8, in the program's own layout.
void register_corretto_8() {
    make_jdk(k_corretto_8, with_release("1.8.0_392", "Amazon.com Inc."));
    write_file(config_path(),
               "{\n"
               "  \"current\": null,\n"
               "  \"versions\": {\n"
               "    \"java8\": {\n"
               "      \"path\": \"C:\\\\Program Files\\\\Amazon Corretto\\\\jdk1.8.0_392\",\n"
               "      \"detected_version\": \"1.8.0_392\",\n"
               "      \"vendor\": \"Amazon.com Inc.\"\n"
               "    }\n"
               "  }\n"
               "}");
}

class ScanE2e : public E2eTest {};

TEST_F(ScanE2e, NothingInstalledPrintsTwoLinesAndSucceeds) {
    for (const char* flag : {"", "--auto-add"}) {
        std::vector<Arg> args{"scan"};
        if (*flag != '\0') {
            args.emplace_back(flag);
        }
        RunResult r = run_corvel(args);
        EXPECT_EQ(r.status, 0) << r;
        EXPECT_EQ(r.out,
                  "Scanning for installed JDKs...\n"
                  "No JDKs found in common install locations.\n"
                  "Add one manually with: 'corvel add <alias> <path>'\n")
            << r;
        EXPECT_EQ(r.err, "") << r;
    }
    EXPECT_FALSE(path_exists(config_path()));
}

TEST_F(ScanE2e, ListsEveryJdkFromTheRegistryJavaHomeAndTheInstallFolders) {
    make_jdk("C:\\Program Files\\Java\\jdk-17", with_release("17.0.2", "Oracle Corporation"));
    make_jdk("C:\\Program Files\\Eclipse Adoptium\\jdk-21.0.1.12-hotspot",
             with_release("21.0.1", "Eclipse Adoptium"));
    make_jdk("C:\\Program Files\\Zulu\\zulu-17", with_release("17.0.9", "Azul Systems, Inc."));
    const std::string microsoft_11 =
        make_jdk("C:\\Program Files\\Microsoft\\jdk-11.0.21.9-hotspot", launcher_only("11.0.21"));
    // Runtime-only, and two levels down: neither is listed.
    JdkLayout runtime = with_release("1.8.0_392", "Oracle Corporation");
    runtime.javac = false;
    make_jdk("C:\\Program Files\\Java\\jre-8", runtime);
    make_jdk("C:\\Program Files\\Java\\jdks\\jdk-20", with_release("20", "Oracle Corporation"));
    // A link in an install folder leads to a JDK elsewhere and is listed under its own path.
    make_folder_link("C:\\Program Files\\BellSoft\\current",
                     make_jdk("liberica-22", with_release("22", "BellSoft")));
    // The registry names the Oracle 17 in other letters, with a trailing backslash.
    write_reg(k_javasoft_jdk / "17", "JavaHome", RegValue::sz("C:\\PROGRAM FILES\\JAVA\\JDK-17\\"));
    write_reg(k_wow_javasoft_jdk / "11", "JavaHome", RegValue::dword(11));
    const std::string tools_23 =
        make_jdk("tools\\jdk-23", with_release("23", "Oracle Corporation"));
    register_corretto_8();
    const std::string config_before = read_file(config_path()).value_or("");

    RunResult r = run_corvel({"scan"}, RunOptions{.set_env = {{"JAVA_HOME", tools_23 + "\\"}}});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out,
              "Scanning for installed JDKs...\n"
              "\n"
              "Found 7 JDK(s):\n"
              "\n"
              "  [new] C:\\PROGRAM FILES\\JAVA\\JDK-17 \u2014 Oracle Corporation 17.0.2  "
              "(suggested alias: java17)\n"
              "  [new] C:\\Program Files\\BellSoft\\current \u2014 BellSoft 22  "
              "(suggested alias: java22)\n"
              "  [new] C:\\Program Files\\Eclipse Adoptium\\jdk-21.0.1.12-hotspot \u2014 Eclipse "
              "Adoptium 21.0.1  (suggested alias: java21)\n"
              "  [new] C:\\Program Files\\Microsoft\\jdk-11.0.21.9-hotspot \u2014 OpenJDK 11.0.21  "
              "(suggested alias: java11)\n"
              "  [new] C:\\Program Files\\Zulu\\zulu-17 \u2014 Azul Systems, Inc. 17.0.9  "
              "(suggested alias: java17)\n"
              "  [new] C:\\corvel-e2e\\tools\\jdk-23 \u2014 Oracle Corporation 23  "
              "(suggested alias: java23)\n"
              "  [already configured] C:\\Program Files\\Amazon Corretto\\jdk1.8.0_392 \u2014 "
              "Amazon.com Inc. 1.8.0_392  (suggested alias: java8)\n"
              "\n"
              "Run 'corvel scan --auto-add' to add all new ones automatically.\n"
              "Or run 'corvel add <alias> <path>' to add a specific one.\n")
        << r;
    EXPECT_EQ(r.err, "") << r;
    EXPECT_EQ(read_file(config_path()).value_or(""), config_before);

    // Release files answer for their JDKs; only the launcher-only one was started, once.
    std::vector<std::string> calls = java_calls(microsoft_11);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].ends_with(" -version")) << calls[0];
    for (const char* jdk : {"C:\\Program Files\\Java\\jdk-17",
                            "C:\\Program Files\\Eclipse Adoptium\\jdk-21.0.1.12-hotspot",
                            "C:\\Program Files\\Zulu\\zulu-17", "C:\\Program Files\\Java\\jre-8",
                            "C:\\corvel-e2e\\tools\\jdk-23", k_corretto_8.c_str()}) {
        EXPECT_TRUE(java_calls(jdk).empty()) << jdk;
    }
}

TEST_F(ScanE2e, AutoAddRegistersTheNewOnesUnderUniqueAliases) {
    make_jdk("C:\\Program Files\\Eclipse Adoptium\\jdk-17.0.9.9-hotspot",
             with_release("17.0.9", "Eclipse Adoptium"));
    make_jdk("C:\\Program Files\\Java\\jdk-17.0.10", with_release("17.0.10", "Oracle Corporation"));
    make_jdk("C:\\Program Files (x86)\\Zulu\\zulu21.30.15-ca-jdk21.0.1-win_x64",
             launcher_only("21.0.1"));
    register_corretto_8();

    RunResult r = run_corvel({"scan", "--auto-add"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out,
              "Scanning for installed JDKs...\n"
              "\n"
              "Found 4 JDK(s):\n"
              "\n"
              "  [new] C:\\Program Files (x86)\\Zulu\\zulu21.30.15-ca-jdk21.0.1-win_x64 \u2014 "
              "OpenJDK 21.0.1  (suggested alias: java21)\n"
              "    \u2714 Added as 'java21'\n"
              "  [new] C:\\Program Files\\Eclipse Adoptium\\jdk-17.0.9.9-hotspot \u2014 Eclipse "
              "Adoptium 17.0.9  (suggested alias: java17)\n"
              "    \u2714 Added as 'java17'\n"
              "  [new] C:\\Program Files\\Java\\jdk-17.0.10 \u2014 Oracle Corporation 17.0.10  "
              "(suggested alias: java17)\n"
              "    \u2714 Added as 'java17-2'\n"
              "  [already configured] C:\\Program Files\\Amazon Corretto\\jdk1.8.0_392 \u2014 "
              "Amazon.com Inc. 1.8.0_392  (suggested alias: java8)\n"
              "\n"
              "\u2714 Added 3 new JDK(s) to config.\n")
        << r;
    EXPECT_EQ(r.err, "") << r;

    const std::string config = read_file(config_path()).value_or("");
    EXPECT_TRUE(config.starts_with("{\n  \"current\": null,\n  \"versions\": {\n")) << config;
    for (const char* entry : {
             "    \"java21\": {\n"
             "      \"path\": \"C:\\\\Program Files (x86)\\\\Zulu\\\\zulu21.30.15-ca-jdk21.0.1-"
             "win_x64\",\n"
             "      \"detected_version\": \"21.0.1\",\n"
             "      \"vendor\": \"OpenJDK\"\n"
             "    }",
             "    \"java17\": {\n"
             "      \"path\": \"C:\\\\Program Files\\\\Eclipse "
             "Adoptium\\\\jdk-17.0.9.9-hotspot\",\n"
             "      \"detected_version\": \"17.0.9\",\n"
             "      \"vendor\": \"Eclipse Adoptium\"\n"
             "    }",
             "    \"java17-2\": {\n"
             "      \"path\": \"C:\\\\Program Files\\\\Java\\\\jdk-17.0.10\",\n"
             "      \"detected_version\": \"17.0.10\",\n"
             "      \"vendor\": \"Oracle Corporation\"\n"
             "    }",
             "    \"java8\": {\n"
             "      \"path\": \"C:\\\\Program Files\\\\Amazon Corretto\\\\jdk1.8.0_392\",\n"
             "      \"detected_version\": \"1.8.0_392\",\n"
             "      \"vendor\": \"Amazon.com Inc.\"\n"
             "    }",
         }) {
        EXPECT_NE(config.find(entry), std::string::npos) << entry << "\nin\n" << config;
    }

    // A second run finds nothing new and leaves the file alone.
    RunResult again = run_corvel({"scan", "-a"});
    EXPECT_EQ(again.status, 0) << again;
    EXPECT_TRUE(again.out.ends_with(
        "  [already configured] C:\\Program Files\\Java\\jdk-17.0.10 \u2014 Oracle Corporation "
        "17.0.10  (suggested alias: java17)\n"
        "\n"
        "No new JDKs were added (all already configured).\n"))
        << again;
    EXPECT_EQ(read_file(config_path()).value_or(""), config);
}

TEST_F(ScanE2e, AnUnreadableConfigurationFailsEachAddButNotTheScan) {
    make_jdk("C:\\Program Files\\Java\\jdk-17", with_release("17.0.2", "Oracle Corporation"));
    // A folder where config.json should be: its metadata reads, its content does not.
    make_folder(config_path());

    RunResult r = run_corvel({"scan", "--auto-add"});
    EXPECT_EQ(r.status, 0) << r;
    std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 8u) << r;
    EXPECT_EQ(lines[4],
              "  [new] C:\\Program Files\\Java\\jdk-17 \u2014 Oracle Corporation 17.0.2  "
              "(suggested alias: java17)")
        << r;
    EXPECT_TRUE(
        lines[5].starts_with("    \u2717 Failed to add: Configuration error: Cannot read "
                             "config file: "))
        << r;
    EXPECT_EQ(lines[7], "No new JDKs were added (all already configured).") << r;
}

}  // namespace
}  // namespace corvel::e2e
