// End-to-end tests of use under Wine. See harness.h for the helpers and an example.
#include "win32_support.h"  // <windows.h> first

#include "harness.h"

namespace corvel::e2e {
namespace {

std::string ascii_upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// The first line of where's answer for java, with the PATH and JAVA_HOME given.
std::string first_java_on(const std::string& path) {
    RunOptions options;
    options.set_env = {{"PATH", path}};
    RunResult result = run_program("C:\\windows\\system32\\where.exe", {"java"}, options);
    std::vector<std::string> lines = lines_of(result.out);
    return result.status == 0 && !lines.empty() ? lines.front() : std::string();
}

// The environment Windows builds from the registry for a process started now, as a shell
// opened after the change would get it (CreateEnvironmentBlock without inheriting ours).
std::map<std::string, std::string> environment_for_new_process() {
    using Create = BOOL(WINAPI*)(LPVOID*, HANDLE, BOOL);
    using Destroy = BOOL(WINAPI*)(LPVOID);
    HMODULE userenv = LoadLibraryW(L"userenv.dll");
    if (userenv == nullptr) {
        throw HarnessError("userenv.dll cannot be loaded");
    }
    auto create = reinterpret_cast<Create>(
        reinterpret_cast<void*>(GetProcAddress(userenv, "CreateEnvironmentBlock")));
    auto destroy = reinterpret_cast<Destroy>(
        reinterpret_cast<void*>(GetProcAddress(userenv, "DestroyEnvironmentBlock")));
    HANDLE token = nullptr;
    if (create == nullptr || destroy == nullptr ||
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &token)) {
        throw HarnessError("CreateEnvironmentBlock is not available");
    }
    void* block = nullptr;
    BOOL built = create(&block, token, FALSE);
    CloseHandle(token);
    if (!built) {
        throw HarnessError("CreateEnvironmentBlock failed");
    }
    std::map<std::string, std::string> variables;
    for (const wchar_t* entry = static_cast<const wchar_t*>(block); *entry != L'\0';
         entry += wcslen(entry) + 1) {
        std::string text = detail::narrow(entry);
        std::size_t equals = text.find('=', 1);
        if (equals != std::string::npos) {
            variables[ascii_upper(text.substr(0, equals))] = text.substr(equals + 1);
        }
    }
    destroy(block);
    return variables;
}

class UseE2e : public E2eTest {
protected:
    std::string jdk21;
    std::string jdk17;

    void SetUp() override {
        E2eTest::SetUp();
        jdk21 = make_jdk("jdk-21");
        JdkLayout older;
        older.java = JavaAnswer{openjdk_banner("17.0.9")};
        jdk17 = make_jdk("jdk-17", older);
        register_jdks({{"java21", jdk21, "21.0.2"}, {"java17", jdk17, "17.0.9"}});
    }

    struct Registered {
        std::string alias;
        std::string root;
        std::string version;
    };

    // config.json as the add command leaves it (or as a user edits it).
    void register_jdks(const std::vector<Registered>& jdks) {
        std::string text = "{\n  \"current\": null,\n  \"versions\": {";
        for (std::size_t i = 0; i < jdks.size(); ++i) {
            text += std::string(i == 0 ? "\n" : ",\n") + "    " + json_string(jdks[i].alias) +
                    ": {\n      \"path\": " + json_string(jdks[i].root) +
                    ",\n      \"detected_version\": " + json_string(jdks[i].version) +
                    ",\n      \"vendor\": \"OpenJDK\"\n    }";
        }
        text += "\n  }\n}";
        write_file(config_path(), text);
    }
};

TEST_F(UseE2e, WritesJavaHomeAndPathInBothScopesKeepingTheirTypes) {
    const std::string system_rest =
        "%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\System32\\Wbem";
    for (bool user_is_expandable : {false, true}) {
        auto user_value = [&](std::string_view text) {
            return user_is_expandable ? RegValue::expand_sz(text) : RegValue::sz(text);
        };
        auto system_value = [&](std::string_view text) {
            return user_is_expandable ? RegValue::sz(text) : RegValue::expand_sz(text);
        };
        write_reg(k_user_environment, "JAVA_HOME", RegValue::expand_sz("%OLD_JDK%"));
        write_reg(k_user_environment, "Path",
                  user_value(jdk17 + "\\bin;%USERPROFILE%\\bin; C:\\Tools ;;C:\\Tools"));
        write_reg(k_system_environment, "Path",
                  system_value(system_rest + ";" + ascii_upper(jdk17) + "\\BIN"));

        RunResult result = run_corvel({"use", "java21"});
        ASSERT_EQ(result.status, 0) << result;

        EXPECT_EQ(read_reg(k_user_environment, "JAVA_HOME"), RegValue::sz(jdk21));
        EXPECT_EQ(read_reg(k_system_environment, "JAVA_HOME"), RegValue::sz(jdk21));
        EXPECT_EQ(read_reg(k_user_environment, "Path"),
                  user_value(jdk21 + "\\bin;%USERPROFILE%\\bin;C:\\Tools;C:\\Tools"));
        EXPECT_EQ(read_reg(k_system_environment, "Path"),
                  system_value(jdk21 + "\\bin;" + system_rest));
    }
}

TEST_F(UseE2e, PrintsTheOutcomeAndRecordsTheAlias) {
    delete_reg(k_user_environment, "Path");
    RunResult result = run_corvel({"use", "java21"});
    ASSERT_EQ(result.status, 0) << result;
    EXPECT_EQ(result.out,
              "Switching to 'java21'... Done\n"
              "\n"
              "\u2714 Active version : java21\n"
              "  JAVA_HOME      : " +
                  jdk21 +
                  "\n"
                  "  Java version   : 21.0.2\n"
                  "\n"
                  "\u2139 PATH and JAVA_HOME updated in user environment (HKCU).\n"
                  "\u2714 System environment (HKLM) updated \u2014 all users and new processes "
                  "will see the change.\n"
                  "\u26a0 Open a new terminal for the changes to take effect in shells.\n"
                  "  Or run 'corvel export-shell java21' to apply in the current session.\n");
    EXPECT_EQ(result.err, "");

    std::vector<std::string> config = lines_of(read_file(config_path()).value_or(""));
    ASSERT_GE(config.size(), 2u);
    EXPECT_EQ(config[1], "  \"current\": \"java21\",");
    // There was no user Path: it is created expandable.
    EXPECT_EQ(read_reg(k_user_environment, "Path")->type, k_reg_expand_sz);
}

TEST_F(UseE2e, UnknownAliasChangesNothing) {
    write_reg(k_user_environment, "Path", RegValue::expand_sz(jdk17 + "\\bin;C:\\Tools"));
    delete_reg(k_user_environment, "JAVA_HOME");
    RunResult result = run_corvel({"use", "Java21"});
    EXPECT_EQ(result.status, 1) << result;
    EXPECT_EQ(result.out, "Switching to 'Java21'... ");
    EXPECT_EQ(result.err, "Error: Alias not found: 'Java21'\n");
    EXPECT_EQ(read_reg(k_user_environment, "Path"), RegValue::expand_sz(jdk17 + "\\bin;C:\\Tools"));
    EXPECT_EQ(read_reg(k_user_environment, "JAVA_HOME"), std::nullopt);
}

// A ';' splits the entry in Path, a '%' is expanded there, and a relative root means another
// folder to every program: such roots are refused before anything is written.
TEST_F(UseE2e, RootsThatCannotStandInPathAreRefusedWithEveryValueUnchanged) {
    const std::string semi = make_jdk("semi;colon");
    const std::string percent = make_jdk("jdk%PATH%");
    make_jdk("jdks\\c");
    register_jdks(
        {{"semi", semi, "21"}, {"percent", percent, "21"}, {"relative", "jdks\\c", "21"}});
    const std::string config = read_file(config_path()).value_or("");
    write_reg(k_user_environment, "Path", RegValue::expand_sz(jdk17 + "\\bin;C:\\Tools"));
    write_reg(k_user_environment, "JAVA_HOME", RegValue::sz(jdk17));
    auto snapshot = [] {
        return std::vector<std::optional<RegValue>>{
            read_reg(k_user_environment, "Path"), read_reg(k_user_environment, "JAVA_HOME"),
            read_reg(k_system_environment, "Path"), read_reg(k_system_environment, "JAVA_HOME")};
    };
    const auto before = snapshot();

    for (const char* alias : {"semi", "percent", "relative"}) {
        RunResult r = run_corvel({"use", alias});
        EXPECT_EQ(r.status, 1) << r;
        EXPECT_EQ(r.out, "Switching to '" + std::string(alias) + "'... ") << r;
        EXPECT_TRUE(r.err.starts_with("Error: Invalid JDK path: ")) << r;
        EXPECT_EQ(lines_of(r.err).size(), 1u) << r;
    }
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(read_file(config_path()), config);
}

TEST_F(UseE2e, LongUserPathKeepsEveryEntry) {
    std::string rest = "%SystemRoot%\\system32;C:\\\u00dcbung\\\u65e5\u672c\\bin";
    for (int n = 0; rest.size() <= 9000; ++n) {
        rest += ";C:\\Program Files\\Vendor " + std::to_string(n) + "\\bin";
    }
    write_reg(k_user_environment, "Path",
              RegValue::expand_sz(rest + ";" + ascii_upper(jdk21) + "\\bin"));

    RunResult result = run_corvel({"use", "java21"});
    ASSERT_EQ(result.status, 0) << result;
    EXPECT_EQ(read_reg(k_user_environment, "Path"), RegValue::expand_sz(jdk21 + "\\bin;" + rest));
}

TEST_F(UseE2e, SwitchingBackAndForthKeepsOneJdkEntry) {
    const std::string rest = "C:\\Tools;%SystemRoot%\\system32;C:\\Tools;C:\\caf\u00e9";
    write_reg(k_user_environment, "Path",
              RegValue::expand_sz(ascii_upper(jdk21) + "\\bin;C:\\Tools;" + jdk17 +
                                  "\\BIN;%SystemRoot%\\system32;" + jdk21 +
                                  "\\bin;C:\\Tools;C:\\caf\u00e9;" + ascii_upper(jdk17) + "\\bin"));

    for (int round = 0; round < 20; ++round) {
        RunResult to_21 = run_corvel({"use", "java21"});
        ASSERT_EQ(to_21.status, 0) << to_21;
        ASSERT_EQ(read_reg(k_user_environment, "Path"),
                  RegValue::expand_sz(jdk21 + "\\bin;" + rest))
            << "round " << round;
        RunResult to_17 = run_corvel({"use", "java17"});
        ASSERT_EQ(to_17.status, 0) << to_17;
        ASSERT_EQ(read_reg(k_user_environment, "Path"),
                  RegValue::expand_sz(jdk17 + "\\bin;" + rest))
            << "round " << round;
    }
    RunResult last = run_corvel({"use", "java21"});
    ASSERT_EQ(last.status, 0) << last;
    EXPECT_EQ(read_reg(k_user_environment, "Path"), RegValue::expand_sz(jdk21 + "\\bin;" + rest));
    EXPECT_EQ(read_reg_text(k_user_environment, "JAVA_HOME"), jdk21);
    EXPECT_EQ(lines_of(read_file(config_path()).value_or("")).at(1), "  \"current\": \"java21\",");
}

// A Path the rewrite cannot carry over whole (here a multi-string) is never replaced; the
// command fails before the user JAVA_HOME changes.
TEST_F(UseE2e, UnreadableUserPathIsLeftAlone) {
    const RegValue multi = RegValue::multi_sz({"C:\\Tools", jdk17 + "\\bin"});
    write_reg(k_user_environment, "Path", multi);
    write_reg(k_user_environment, "JAVA_HOME", RegValue::sz(jdk17));

    RunResult result = run_corvel({"use", "java21"});
    EXPECT_EQ(result.status, 1) << result;
    EXPECT_EQ(result.out, "Switching to 'java21'... ");
    EXPECT_TRUE(result.err.starts_with("Error: Registry error: Cannot read Path: ")) << result;
    EXPECT_TRUE(result.err.ends_with(" (os error 222)\n")) << result;
    EXPECT_EQ(read_reg(k_user_environment, "Path"), multi);
    EXPECT_EQ(read_reg(k_user_environment, "JAVA_HOME"), RegValue::sz(jdk17));
    EXPECT_EQ(lines_of(read_file(config_path()).value_or("")).at(1), "  \"current\": null,");
}

// Wine cuts a long user Path when it builds a new process's PATH, so this Path stays short.
TEST_F(UseE2e, NewProcessSeesTheNewJdk) {
    write_reg(k_user_environment, "Path", RegValue::expand_sz(jdk17 + "\\bin;C:\\Tools"));
    ASSERT_EQ(run_corvel({"use", "java17"}).status, 0);
    ASSERT_EQ(run_corvel({"use", "java21"}).status, 0);

    std::map<std::string, std::string> environment = environment_for_new_process();
    EXPECT_EQ(environment["JAVA_HOME"], jdk21);
    ASSERT_TRUE(environment.contains("PATH"));
    EXPECT_EQ(first_java_on(environment["PATH"]), jdk21 + "\\bin\\java.exe") << environment["PATH"];
}

}  // namespace
}  // namespace corvel::e2e
