// End-to-end tests of config.json under Wine: its location and exact bytes as corvel.exe writes
// it, the reading rules for hand-edited and damaged files, keeping a damaged file, and saves that
// meet a file another program holds open.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "harness.h"

namespace corvel::e2e {
namespace {

class ConfigE2e : public E2eTest {};

const std::string k_empty_document =
    "{\n"
    "  \"current\": null,\n"
    "  \"versions\": {}\n"
    "}";

const std::string k_one_jdk_document =
    "{\n"
    "  \"current\": \"java21\",\n"
    "  \"versions\": {\n"
    "    \"java21\": {\n"
    "      \"path\": \"C:\\\\Java\\\\jdk-21\",\n"
    "      \"detected_version\": \"21.0.2\",\n"
    "      \"vendor\": \"OpenJDK\"\n"
    "    }\n"
    "  }\n"
    "}";

// The names in the configuration folder, sorted.
std::vector<std::string> config_folder_names() {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& item :
         std::filesystem::directory_iterator(std::filesystem::path(config_folder()), error)) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string corrupt_warning(const std::string& description) {
    return "Warning: config file is corrupted (" + description + "), starting fresh.\n";
}

TEST_F(ConfigE2e, FilesWrittenByCorvelMatchTheDocumentedBytes) {
    std::string jdk = make_jdk("C:\\Java\\jdk-21");
    ASSERT_EQ(jdk, "C:\\Java\\jdk-21");

    RunResult listed = run_corvel({"list"});
    EXPECT_EQ(listed.status, 0) << listed;
    EXPECT_FALSE(path_exists(config_folder())) << "reading creates nothing";

    RunResult added = run_corvel({"add", "java21", jdk});
    ASSERT_EQ(added.status, 0) << added;
    std::string after_add = k_one_jdk_document;
    after_add.replace(after_add.find("\"java21\","), 9, "null,");
    EXPECT_EQ(read_file(config_path()), after_add);

    RunResult used = run_corvel({"use", "java21"});
    ASSERT_EQ(used.status, 0) << used;
    EXPECT_EQ(read_file(config_path()), k_one_jdk_document);

    RunResult removed = run_corvel({"remove", "java21", "--force"});
    ASSERT_EQ(removed.status, 0) << removed;
    EXPECT_EQ(read_file(config_path()), k_empty_document);

    // The new content replaced the file in one step: nothing but the file and its lock is left.
    EXPECT_EQ(config_folder_names(), (std::vector<std::string>{"config.json", "config.json.lock"}));
}

TEST_F(ConfigE2e, AwkwardPathsAndAliasesRoundTrip) {
    std::string jdk = make_jdk("J\xC3\xA4va 'x' \xE6\x97\xA5\xE6\x9C\xAC & (1)");
    std::string alias = "j\xC3\xBC\"\\'21";
    RunResult added = run_corvel({"add", alias, jdk});
    ASSERT_EQ(added.status, 0) << added;
    std::optional<std::string> text = read_file(config_path());
    ASSERT_TRUE(text.has_value());
    EXPECT_NE(text->find("\"j\xC3\xBC\\\"\\\\'21\": {"), std::string::npos) << escaped(*text);
    EXPECT_NE(text->find("\"path\": \"C:\\\\corvel-e2e\\\\J\xC3\xA4va 'x' \xE6\x97\xA5\xE6\x9C\xAC "
                         "& (1)\""),
              std::string::npos)
        << escaped(*text);

    RunResult exported = run_corvel({"export-shell", alias});
    EXPECT_EQ(exported.status, 0) << exported;
    EXPECT_EQ(lines_of(exported.out).at(1),
              "$env:JAVA_HOME = 'C:\\corvel-e2e\\J' + [char]0x00E4 + 'va ''x'' ' + [char]0x65E5 + "
              "[char]0x672C + ' & (1)'");
}

TEST_F(ConfigE2e, HandEditedFileIsReadByTheRules) {
    write_file(config_path(),
               "\r\n{\"versions\": {\"java21\": {\"path\": \"C:\\\\old\"},\n"
               "  \"java21\": {\"path\": \"C:\\\\new\", \"vendor\": null, \"note\": [1, {}]}},\n"
               "  \"settings\": {\"current\": 5}}\r\n");
    RunResult r = run_corvel({"export-shell", "java21", "--shell", "cmd"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "") << r;
    EXPECT_EQ(lines_of(r.out).at(1), "SET JAVA_HOME=C:\\new");
}

TEST_F(ConfigE2e, DamagedFilesWarnOnEveryLoadAndAreKeptBeforeTheNextSave) {
    struct Case {
        std::string content;
        std::string description;
    };
    const std::vector<Case> cases = {
        {"{}", "missing field `versions` at line 1, column 2"},
        {"",
         "syntax error while parsing value - unexpected end of input; expected '[', '{', or "
         "a literal at line 1, column 1"},
        {"\xEF\xBB\xBF" + k_empty_document,
         "syntax error while parsing value - unexpected byte-order mark; expected '{' at line 1, "
         "column 1"},
        {"{\n  \"versions\": {\n    \"a\": {\n      \"path\": \"x\",\n      \"path\": \"y\"\n    "
         "}\n  }\n}",
         "duplicate field `path` at line 5, column 12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(escaped(c.content));
        reset_state();
        write_file(config_path(), c.content);
        RunResult listed = run_corvel({"list"});
        EXPECT_EQ(listed.status, 0) << listed;
        EXPECT_EQ(listed.err, corrupt_warning(c.description)) << listed;
        EXPECT_EQ(read_file(config_path()), c.content) << "reading never writes";

        std::string jdk = make_jdk("jdk-21");
        RunResult added = run_corvel({"add", "java21", jdk});
        EXPECT_EQ(added.status, 0) << added;
        EXPECT_NE(added.err.find(corrupt_warning(c.description)), std::string::npos) << added;
        EXPECT_EQ(read_file(config_path() + ".corrupt"), c.content);
        RunResult again = run_corvel({"list"});
        EXPECT_EQ(again.err, "") << again;
        EXPECT_NE(again.out.find("java21"), std::string::npos) << again;
    }
}

// On a console both streams show in one place: the warning comes where it was written, after the
// header that was printed before the file was read.
TEST_F(ConfigE2e, WarningShowsAfterWhatWasPrintedBeforeIt) {
    write_file(config_path(), "{}");
    RunOptions options;
    options.merge_streams = true;
    RunResult r = run_corvel({"doctor"}, options);
    EXPECT_TRUE(r.out.starts_with("Diagnostics Report\n\n" +
                                  corrupt_warning("missing field `versions` at line 1, column 2") +
                                  "\u2714  Config"))
        << r;
}

TEST_F(ConfigE2e, EarlierKeptCopiesAreNeverOverwritten) {
    std::string jdk = make_jdk("jdk-21");
    write_file(config_path() + ".corrupt", "older");
    write_file(config_path(), "damaged");
    ASSERT_EQ(run_corvel({"add", "a", jdk}).status, 0);
    write_file(config_path(), "damaged again");
    ASSERT_EQ(run_corvel({"add", "b", jdk}).status, 0);
    EXPECT_EQ(read_file(config_path() + ".corrupt"), "older");
    EXPECT_EQ(read_file(config_path() + ".corrupt-2"), "damaged");
    EXPECT_EQ(read_file(config_path() + ".corrupt-3"), "damaged again");
}

TEST_F(ConfigE2e, InvalidUtf8FailsEveryCommandThatReadsAndChangesNothing) {
    const std::string latin1 =
        "{\"current\": null, \"versions\": {\"caf\xE9\": {\"path\": \"C:\\\\x\"}}}";
    write_file(config_path(), latin1);
    std::string jdk = make_jdk("jdk-21");
    for (const std::vector<Arg>& args : std::vector<std::vector<Arg>>{
             {"list"}, {"add", "java21", jdk}, {"remove", "x", "-f"}, {"export-shell", "x"}}) {
        RunResult r = run_corvel(args);
        EXPECT_EQ(r.status, 1) << r;
        EXPECT_NE(r.err.find("Error: Configuration error: Cannot read config file: stream did "
                             "not contain valid UTF-8\n"),
                  std::string::npos)
            << r;
    }
    EXPECT_EQ(read_file(config_path()), latin1);
    EXPECT_FALSE(path_exists(config_path() + ".corrupt"));
}

// Opens config.json the way an editor or a scanner might: readable by others, but neither
// writable nor replaceable while the handle is open.
HANDLE hold_open(const std::string& path) {
    std::wstring wide(path.size(), L'\0');
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                            static_cast<int>(wide.size()))));
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE) << GetLastError();
    return handle;
}

TEST_F(ConfigE2e, FileHeldOpenForGoodFailsTheSaveAndKeepsTheFileWhole) {
    std::string jdk = make_jdk("jdk-21");
    ASSERT_EQ(run_corvel({"add", "java17", jdk}).status, 0);
    std::optional<std::string> before = read_file(config_path());
    HANDLE handle = hold_open(config_path());
    RunResult r = run_corvel({"add", "java21", jdk});
    CloseHandle(handle);
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("Error: Configuration error: Cannot write config file: "),
              std::string::npos)
        << r;
    // Refused as held by another program: the kind of refusal the save waits out.
    EXPECT_TRUE(r.err.ends_with("(os error 32)\n") || r.err.ends_with("(os error 5)\n")) << r;
    EXPECT_EQ(read_file(config_path()), before);
    EXPECT_EQ(config_folder_names(), (std::vector<std::string>{"config.json", "config.json.lock"}));
}

TEST_F(ConfigE2e, FileHeldOpenForAMomentIsReplacedOnceReleased) {
    std::string jdk = make_jdk("jdk-21");
    ASSERT_EQ(run_corvel({"add", "java17", jdk}).status, 0);
    HANDLE handle = hold_open(config_path());
    StartedProgram adding = start_corvel({"add", "java21", jdk});
    // Released well within the program's retries, whenever it reaches the replace.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    CloseHandle(handle);
    RunResult r = adding.wait();
    EXPECT_EQ(r.status, 0) << r;
    RunResult listed = run_corvel({"list"});
    EXPECT_NE(listed.out.find("java17"), std::string::npos) << listed;
    EXPECT_NE(listed.out.find("java21"), std::string::npos) << listed;
}

// Gives the file a hole up to `size` bytes: a huge file that takes no room on the disk.
void extend_sparse(const std::string& path, LONGLONG size) {
    std::wstring wide(path.begin(), path.end());
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << GetLastError();
    LARGE_INTEGER end{};
    end.QuadPart = size;
    EXPECT_TRUE(SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle))
        << GetLastError();
    CloseHandle(handle);
}

// Whole or nothing at the edges: a failed use changes nothing and creates nothing, output that
// cannot be written fails the run, and inputs without an end are read no further than a bound.
TEST_F(ConfigE2e, EdgesAreWholeOrNothing) {
    RunResult unknown = run_corvel({"use", "x"});
    EXPECT_EQ(unknown.status, 1) << unknown;
    EXPECT_FALSE(path_exists(config_folder()));

    RunOptions measured;
    measured.measure_memory = true;
    const std::string huge =
        make_jdk("huge", {.release = "JAVA_VERSION=\"17.0.9\"\nIMPLEMENTOR=\"Big\"\n"});
    extend_sparse(huge + "\\release", LONGLONG{2} << 30);
    RunResult added = run_corvel({"add", "java17", huge}, measured);
    EXPECT_NE(added.out.find("Done (Big 17.0.9)"), std::string::npos) << added;
    EXPECT_LT(added.peak_memory, std::size_t{64} << 20);
    const std::string endless = make_jdk("endless");
    make_linux_link(endless + "\\release", "/dev/zero");
    added = run_corvel({"add", "java21", endless});
    EXPECT_NE(added.out.find("Done (OpenJDK 21.0.2)"), std::string::npos) << added;

    RunOptions full;
    full.stdout_file = "Z:\\dev\\full";
    RunResult exported = run_corvel({"export-shell", "java17", "--shell", "cmd"}, full);
    EXPECT_EQ(exported.status, 1) << exported;
    EXPECT_TRUE(exported.err.starts_with("Error: Cannot write to standard output: ")) << exported;
    EXPECT_EQ(lines_of(exported.err).size(), 1u) << exported;

    RunOptions answer;
    answer.stdin_bytes = std::string(std::size_t{32} << 20, 'y');
    answer.measure_memory = true;
    RunResult removed = run_corvel({"remove", "java17"}, answer);
    EXPECT_EQ(removed.out, "Remove alias 'java17'? [y/N] Cancelled.\n") << removed;
    EXPECT_LT(removed.peak_memory, std::size_t{32} << 20);

    write_reg(k_user_environment, "JAVA_HOME", RegValue::expand_sz("%JDKS%\\17"));
    delete_reg(k_system_environment, "JAVA_HOME");
    auto snapshot = [] {
        return std::vector<std::optional<RegValue>>{
            read_reg(k_user_environment, "Path"), read_reg(k_user_environment, "JAVA_HOME"),
            read_reg(k_system_environment, "Path"), read_reg(k_system_environment, "JAVA_HOME")};
    };
    const auto before = snapshot();
    const std::optional<std::string> config = read_file(config_path());
    HANDLE handle = hold_open(config_path());
    RunResult used = run_corvel({"use", "java21"});
    CloseHandle(handle);
    EXPECT_EQ(used.status, 1) << used;
    EXPECT_TRUE(used.err.starts_with("Error: Configuration error: Cannot write config file: "))
        << used;
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(read_file(config_path()), config);
}

}  // namespace
}  // namespace corvel::e2e
