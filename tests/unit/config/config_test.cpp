#include "config/config.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "config/config_operations.h"
#include "fake_platform.h"

namespace corvel {
namespace {

using fakes::FakePlatform;

constexpr std::string_view k_folder = "C:\\Users\\user\\AppData\\Roaming\\corvel";
constexpr std::string_view k_file = FakePlatform::k_config_path;

constexpr std::string_view k_empty_document =
    "{\n"
    "  \"current\": null,\n"
    "  \"versions\": {}\n"
    "}";

constexpr std::string_view k_one_jdk_document =
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

Config one_jdk_config() {
    Config config;
    config.current = "java21";
    config.versions["java21"] = JdkEntry{"C:\\Java\\jdk-21", "21.0.2", "OpenJDK"};
    return config;
}

std::string parse_error_of(std::string_view text) {
    auto parsed = parse_config(text);
    EXPECT_FALSE(parsed.has_value()) << "accepted: " << text;
    return parsed ? std::string() : parsed.error();
}

// ---- Writing ---------------------------------------------------------------------------------

TEST(SerializeConfig, EmptyConfigurationIsFourLinesWithoutFinalLineEnd) {
    EXPECT_EQ(serialize_config(Config{}), k_empty_document);
}

TEST(SerializeConfig, OneDetectedJdkMatchesTheDocumentedLayout) {
    EXPECT_EQ(serialize_config(one_jdk_config()), k_one_jdk_document);
}

TEST(SerializeConfig, AbsentVersionAndVendorAreWrittenAsNull) {
    Config config;
    config.versions["x"] = JdkEntry{"D:\\jdk", std::nullopt, std::nullopt};
    EXPECT_EQ(serialize_config(config),
              "{\n  \"current\": null,\n  \"versions\": {\n    \"x\": {\n      \"path\": "
              "\"D:\\\\jdk\",\n      \"detected_version\": null,\n      \"vendor\": null\n    }\n"
              "  }\n}");
}

TEST(SerializeConfig, EscapesOnlyQuoteBackslashAndControlCharacters) {
    Config config;
    config.current = std::string("q\"b\\/\b\t\n\f\r\x01\x1f\x7f\xC3\xA9\xE6\x97\xA5") + '\0';
    std::string text = serialize_config(config);
    EXPECT_EQ(text,
              "{\n  \"current\": \"q\\\"b\\\\/\\b\\t\\n\\f\\r\\u0001\\u001f\x7f\xC3\xA9\xE6\x97\xA5"
              "\\u0000\",\n  \"versions\": {}\n}");
}

TEST(SerializeConfig, WritesAliasesInTheMapsIterationOrder) {
    Config config;
    for (const char* alias : {"b", "a", "c", "java8", "java17"}) {
        config.versions[alias] = JdkEntry{alias, std::nullopt, "V"};
    }
    std::string expected = "{\n  \"current\": null,\n  \"versions\": {\n";
    bool first = true;
    for (const auto& [alias, entry] : config.versions) {
        expected += first ? "" : ",\n";
        first = false;
        expected += "    \"" + alias + "\": {\n      \"path\": \"" + entry.path +
                    "\",\n      \"detected_version\": null,\n      \"vendor\": \"V\"\n    }";
    }
    expected += "\n  }\n}";
    EXPECT_EQ(serialize_config(config), expected);
}

TEST(SerializeConfig, AwkwardTextsRoundTrip) {
    Config config;
    config.current = "al\"ias\\ \x01 \xF0\x9F\x98\x80";
    config.versions[*config.current] =
        JdkEntry{"C:\\Program Files\\\"Java\"\\jdk\\", "21\t\n", "Ven\x7f/dor \xE2\x80\x99"};
    config.versions[""] = JdkEntry{"", "", ""};
    config.versions["JAVA"] = JdkEntry{"\\\\server\\share\\jdk", std::nullopt, std::nullopt};
    auto parsed = parse_config(serialize_config(config));
    ASSERT_TRUE(parsed.has_value()) << parsed.error();
    EXPECT_EQ(*parsed, config);
}

// The document as the JSON library writes it, built member by member: the reference the writer
// must match byte for byte. `strict` makes it throw on text that is not UTF-8.
std::string library_dump(const Config& config, bool strict) {
    using OrderedJson = nlohmann::ordered_json;
    auto optional = [](const std::optional<std::string>& text) {
        return text ? OrderedJson(*text) : OrderedJson(nullptr);
    };
    OrderedJson versions = OrderedJson::object();
    for (const auto& [alias, entry] : config.versions) {
        OrderedJson record = OrderedJson::object();
        record["path"] = entry.path;
        record["detected_version"] = optional(entry.detected_version);
        record["vendor"] = optional(entry.vendor);
        versions[alias] = std::move(record);
    }
    OrderedJson top = OrderedJson::object();
    top["current"] = optional(config.current);
    top["versions"] = std::move(versions);
    return top.dump(
        2, ' ', false,
        strict ? OrderedJson::error_handler_t::strict : OrderedJson::error_handler_t::replace);
}

TEST(SerializeConfig, WritesWhatTheJsonLibraryWritesForVariedConfigurations) {
    // Escapes, "/", DEL, NUL, non-ASCII; then bytes that are not UTF-8: a lone continuation
    // byte, sequences cut short (also at the very end), a surrogate, overlong and too-large forms.
    const std::vector<std::string> clean = {"java21",
                                            "C:",
                                            "\\",
                                            "\"",
                                            "/",
                                            " ",
                                            "\x7f",
                                            "\b\t\n\f\r",
                                            "\x01\x1f",
                                            std::string(1, '\0'),
                                            "\xC3\xA9",
                                            "\xE6\x97\xA5",
                                            "\xF0\x9F\x98\x80",
                                            "\xEF\xBF\xBD"};
    const std::vector<std::string> broken = {
        "\xFF",         "\x80",         "\xC3",     "\xE6\x97",
        "\xF0\x9F\x98", "\xED\xA0\x80", "\xC0\x80", "\xF4\x90\x80\x80"};
    std::mt19937 random(20261208);
    auto pick = [&random](std::size_t count) { return static_cast<std::size_t>(random() % count); };
    auto text = [&](bool allow_broken) {
        std::string result;
        for (std::size_t piece = pick(6); piece > 0; --piece) {
            result += allow_broken && pick(4) == 0 ? broken[pick(broken.size())]
                                                   : clean[pick(clean.size())];
        }
        return result;
    };
    auto maybe = [&](bool allow_broken) -> std::optional<std::string> {
        return pick(3) == 0 ? std::nullopt : std::optional(text(allow_broken));
    };
    int refused = 0;
    for (int round = 0; round < 300; ++round) {
        bool allow_broken = round % 3 == 0;
        Config config;
        config.current = maybe(allow_broken);
        std::size_t entries = round == 0 ? 1000 : pick(5);
        for (std::size_t i = 0; i < entries; ++i) {
            config.versions[text(allow_broken) + std::to_string(i)] =
                JdkEntry{text(allow_broken), maybe(allow_broken), maybe(allow_broken)};
        }
        ASSERT_EQ(serialize_config(config), library_dump(config, false)) << "round " << round;

        FakePlatform fake;
        auto saved = save_config(fake.platform, config);
        try {
            std::string expected = library_dump(config, true);
            ASSERT_TRUE(saved.has_value()) << "round " << round;
            EXPECT_EQ(fake.files.content(k_file), expected) << "round " << round;
        } catch (const nlohmann::json::type_error& error) {
            ++refused;
            std::string message = error.what();
            message.erase(0, message.find("] ") + 2);
            ASSERT_FALSE(saved.has_value()) << "round " << round;
            EXPECT_EQ(saved.error().to_text(),
                      "Configuration error: Cannot serialize config: " + message);
        }
    }
    EXPECT_GT(refused, 20);  // both outcomes were exercised
    EXPECT_LT(refused, 100);
}

// ---- Reading ---------------------------------------------------------------------------------

TEST(ParseConfig, ReadsBothDocumentedExamples) {
    auto empty = parse_config(k_empty_document);
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ(*empty, Config{});
    auto one = parse_config(k_one_jdk_document);
    ASSERT_TRUE(one.has_value());
    EXPECT_EQ(*one, one_jdk_config());
}

TEST(ParseConfig, CurrentMayBeMissingNullOrText) {
    EXPECT_EQ(parse_config(R"({"versions":{}})")->current, std::nullopt);
    EXPECT_EQ(parse_config(R"({"current":null,"versions":{}})")->current, std::nullopt);
    EXPECT_EQ(parse_config(R"({"versions":{},"current":"x"})")->current, "x");
    EXPECT_EQ(parse_config(R"({"current":"","versions":{}})")->current, "");
}

TEST(ParseConfig, EntryOptionalsMayBeMissingNullOrText) {
    auto config = parse_config(
        R"({"versions":{"a":{"path":"p"},"b":{"vendor":null,"path":"q","detected_version":null},)"
        R"("c":{"detected_version":"17","vendor":"V","path":"r"}}})");
    ASSERT_TRUE(config.has_value()) << config.error();
    EXPECT_EQ(config->versions.at("a"), (JdkEntry{"p", std::nullopt, std::nullopt}));
    EXPECT_EQ(config->versions.at("b"), (JdkEntry{"q", std::nullopt, std::nullopt}));
    EXPECT_EQ(config->versions.at("c"), (JdkEntry{"r", "17", "V"}));
}

TEST(ParseConfig, UnknownMembersAreIgnoredAtBothLevelsWhateverTheyHold) {
    auto config = parse_config(
        R"({"extra":{"current":1,"versions":[{"path":2}],"x":{"x":1,"x":2}},"current":"a",)"
        R"("list":[[],{},[null,true,1.5,-3,"s"]],"versions":{"a":{"path":"p","notes":{"path":)"
        R"(7},"tags":["path","path"]}},"n":null})");
    ASSERT_TRUE(config.has_value()) << config.error();
    EXPECT_EQ(config->current, "a");
    ASSERT_EQ(config->versions.size(), 1u);
    EXPECT_EQ(config->versions.at("a"), (JdkEntry{"p", std::nullopt, std::nullopt}));
}

TEST(ParseConfig, RepeatedAliasIsNotAnErrorAndTheLaterOneWins) {
    auto config = parse_config(
        R"({"versions":{"a":{"path":"first","vendor":"V"},"b":{"path":"b"},"a":{"path":"second"}}})");
    ASSERT_TRUE(config.has_value()) << config.error();
    EXPECT_EQ(config->versions.size(), 2u);
    EXPECT_EQ(config->versions.at("a"), (JdkEntry{"second", std::nullopt, std::nullopt}));
}

TEST(ParseConfig, AliasesAreExactBytes) {
    auto config =
        parse_config(R"({"versions":{"Java":{"path":"1"},"java":{"path":"2"},"java ":{"path":"3"},)"
                     R"("\u00e9":{"path":"4"},"e\u0301":{"path":"5"}}})");
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->versions.size(), 5u);
    EXPECT_EQ(config->versions.at("\xC3\xA9").path, "4");
    EXPECT_EQ(config->versions.at("e\xCC\x81").path, "5");
}

TEST(ParseConfig, SurroundingWhitespaceIsAllowed) {
    EXPECT_TRUE(parse_config(" \t\r\n{\"versions\":{}}\r\n\t ").has_value());
}

TEST(ParseConfig, MissingVersionsIsNamedWithItsPosition) {
    EXPECT_EQ(parse_error_of("{}"), "missing field `versions` at line 1, column 2");
    EXPECT_EQ(parse_error_of("{\n  \"current\": \"a\"\n}"),
              "missing field `versions` at line 3, column 1");
}

TEST(ParseConfig, MissingPathIsNamed) {
    EXPECT_EQ(parse_error_of(R"({"versions":{"a":{"vendor":"V"}}})"),
              "missing field `path` at line 1, column 31");
    EXPECT_EQ(parse_error_of(R"({"versions":{"a":{}}})"),
              "missing field `path` at line 1, column 19");
}

TEST(ParseConfig, RepeatedRecordMemberIsAnErrorNamingIt) {
    EXPECT_EQ(parse_error_of(R"({"current":"a","versions":{},"current":"b"})"),
              "duplicate field `current` at line 1, column 38");
    EXPECT_EQ(parse_error_of(R"({"current":null,"current":null,"versions":{}})"),
              "duplicate field `current` at line 1, column 25");
    EXPECT_EQ(parse_error_of(R"({"versions":{},"versions":{}})"),
              "duplicate field `versions` at line 1, column 25");
    EXPECT_EQ(parse_error_of("{\n  \"versions\": {\n    \"a\": {\n      \"path\": \"x\",\n"
                             "      \"path\": \"y\"\n    }\n  }\n}"),
              "duplicate field `path` at line 5, column 12");
    EXPECT_NE(
        parse_error_of(
            R"({"versions":{"a":{"path":"p","detected_version":"1","detected_version":"1"}}})")
            .find("duplicate field `detected_version`"),
        std::string::npos);
    EXPECT_NE(parse_error_of(R"({"versions":{"a":{"vendor":null,"path":"p","vendor":null}}})")
                  .find("duplicate field `vendor`"),
              std::string::npos);
}

TEST(ParseConfig, WrongTypesSayWhatWasFoundAndExpected) {
    EXPECT_EQ(parse_error_of(R"({"versions":{},"current":3})"),
              "invalid type: integer `3`, expected a string at line 1, column 26");
    EXPECT_EQ(parse_error_of(R"({"versions":{},"current":true})"),
              "invalid type: boolean `true`, expected a string at line 1, column 29");
    EXPECT_EQ(parse_error_of(R"({"versions":{},"current":["a"]})"),
              "invalid type: sequence, expected a string at line 1, column 26");
    EXPECT_EQ(parse_error_of(R"({"versions":[]})"),
              "invalid type: sequence, expected an object at line 1, column 13");
    EXPECT_EQ(parse_error_of(R"({"versions":null})"),
              "invalid type: null, expected an object at line 1, column 16");
    EXPECT_EQ(parse_error_of(R"({"versions":{"a":"C:\\jdk"}})"),
              "invalid type: string \"C:\\\\jdk\", expected an object at line 1, column 26");
    EXPECT_EQ(parse_error_of(R"({"versions":{"a":{"path":null}}})"),
              "invalid type: null, expected a string at line 1, column 29");
    EXPECT_EQ(parse_error_of(R"({"versions":{"a":{"path":1.5}}})"),
              "invalid type: floating point `1.5`, expected a string at line 1, column 28");
    EXPECT_EQ(parse_error_of(R"({"versions":{"a":{"path":"p","vendor":{}}}})"),
              "invalid type: map, expected a string at line 1, column 39");
    EXPECT_EQ(parse_error_of(R"({"versions":{"a":{"path":"p","detected_version":21}}})"),
              "invalid type: integer `21`, expected a string at line 1, column 50");
}

TEST(ParseConfig, TopValueMustBeAnObject) {
    EXPECT_EQ(parse_error_of("[]"),
              "invalid type: sequence, expected an object at line 1, column 1");
    EXPECT_EQ(parse_error_of("null"), "invalid type: null, expected an object at line 1, column 4");
    EXPECT_EQ(parse_error_of("\"x\""),
              "invalid type: string \"x\", expected an object at line 1, column 3");
    EXPECT_EQ(parse_error_of("42"),
              "invalid type: integer `42`, expected an object at line 1, column 2");
}

TEST(ParseConfig, SyntaxErrorsAreTheLibrarysWordsWithPositionAndWithoutItsTag) {
    std::string unterminated = parse_error_of("{\n  \"versions\": {\n");
    EXPECT_EQ(unterminated,
              "syntax error while parsing object key - unexpected end of input; expected string "
              "literal at line 3, column 1");
    std::string missing_comma = parse_error_of("{\"versions\":{} \"current\":null}");
    EXPECT_EQ(missing_comma.find("[json.exception"), std::string::npos);
    EXPECT_TRUE(
        missing_comma.starts_with("syntax error while parsing object - unexpected string "
                                  "literal"))
        << missing_comma;
    EXPECT_TRUE(missing_comma.ends_with("at line 1, column 24")) << missing_comma;
}

TEST(ParseConfig, EmptyAndBlankTextAreCorrupt) {
    EXPECT_EQ(parse_error_of(""),
              "syntax error while parsing value - unexpected end of input; expected '[', '{', or "
              "a literal at line 1, column 1");
    EXPECT_FALSE(parse_config(" \n ").has_value());
}

TEST(ParseConfig, AnythingAfterTheValueIsAnError) {
    EXPECT_NE(parse_error_of("{\"versions\":{}} x").find("expected end of input"),
              std::string::npos);
    EXPECT_FALSE(parse_config("{\"versions\":{}}{}").has_value());
    // The JSON library takes a NUL byte for the end of the text; it is not.
    EXPECT_EQ(parse_error_of(std::string("{\"versions\":{}}\0{}", 18)),
              "syntax error while parsing value - unexpected NUL character; expected end of input "
              "at line 1, column 16");
    EXPECT_FALSE(parse_config(std::string("{\"versions\":{}}\n\0", 17)).has_value());
    EXPECT_FALSE(parse_config(std::string("{\"versions\":{\0}}", 16)).has_value());
    EXPECT_FALSE(parse_config("{\"versions\":{}}\f").has_value());
}

TEST(ParseConfig, ByteOrderMarkIsAnError) {
    std::string with_mark = std::string("\xEF\xBB\xBF") + std::string(k_empty_document);
    EXPECT_EQ(parse_error_of(with_mark),
              "syntax error while parsing value - unexpected byte-order mark; expected '{' at line "
              "1, column 1");
}

TEST(ParseConfig, NoCommentsTrailingCommasOrNonStandardLiterals) {
    EXPECT_FALSE(parse_config("// c\n{\"versions\":{}}").has_value());
    EXPECT_FALSE(parse_config("{\"versions\":{},}").has_value());
    EXPECT_FALSE(parse_config("{'versions':{}}").has_value());
    EXPECT_FALSE(parse_config("{\"versions\":{},\"x\":NaN}").has_value());
}

TEST(ParseConfig, NumberOverflowInIgnoredMemberIsAnErrorWithPosition) {
    EXPECT_EQ(parse_error_of("{\"versions\":{},\"x\":1e999}"),
              "number overflow parsing '1e999' at line 1, column 24");
}

TEST(ParseConfig, LoneSurrogateEscapeIsAnError) {
    EXPECT_FALSE(parse_config(R"({"versions":{},"current":"\ud800"})").has_value());
    auto paired = parse_config(R"({"versions":{},"current":"\ud83d\ude00"})");
    ASSERT_TRUE(paired.has_value());
    EXPECT_EQ(paired->current, "\xF0\x9F\x98\x80");
}

TEST(ParseConfig, DeepNestingNeitherCrashesNorIsAccepted) {
    constexpr std::size_t k_depth = 1'000'000;
    std::string open_only(k_depth, '[');
    EXPECT_FALSE(parse_config(open_only).has_value());

    std::string nested_in_ignored =
        "{\"versions\":{},\"x\":" + std::string(k_depth, '[') + std::string(k_depth, ']') + "}";
    EXPECT_TRUE(parse_config(nested_in_ignored).has_value());

    std::string objects;
    for (std::size_t i = 0; i < k_depth / 10; ++i) {
        objects += "{\"a\":";
    }
    EXPECT_FALSE(parse_config("{\"versions\":{},\"x\":" + objects).has_value());
}

TEST(ParseConfig, BinaryGarbageIsAnError) {
    std::string garbage;
    for (int i = 0; i < 256; ++i) {
        garbage += static_cast<char>(255 - i);
    }
    EXPECT_FALSE(parse_config(garbage).has_value());
    EXPECT_FALSE(parse_config(std::string("{\"versions\":{},\"current\":\"\xFF\"}")).has_value());
    EXPECT_FALSE(parse_config(std::string("\0", 1)).has_value());
}

TEST(ParseConfig, RawControlCharacterInsideAStringIsAnError) {
    EXPECT_FALSE(parse_config("{\"versions\":{},\"current\":\"a\nb\"}").has_value());
}

// ---- Location --------------------------------------------------------------------------------

TEST(ConfigLocation, IsCorvelUnderTheRoamingFolder) {
    FakePlatform fake;
    EXPECT_EQ(config_dir(fake.platform).value(), k_folder);
    EXPECT_EQ(config_path(fake.platform).value(), k_file);
    fake.known_folders.app_data = "D:\\roaming\\";
    EXPECT_EQ(config_path(fake.platform).value(), "D:\\roaming\\corvel\\config.json");
}

TEST(ConfigLocation, FailedLookupFailsEveryOperation) {
    FakePlatform fake;
    fake.known_folders.app_data.reset();
    const std::string expected = "Configuration error: Cannot locate user config directory";
    EXPECT_EQ(config_dir(fake.platform).error().to_text(), expected);
    EXPECT_EQ(config_path(fake.platform).error().to_text(), expected);
    EXPECT_EQ(load_config(fake.platform).error().to_text(), expected);
    EXPECT_EQ(save_config(fake.platform, Config{}).error().to_text(), expected);
    EXPECT_TRUE(fake.files.log().empty());
}

// ---- load_config -----------------------------------------------------------------------------

TEST(LoadConfig, MissingFileIsEmptyAndCreatesNothing) {
    FakePlatform fake;
    auto config = load_config(fake.platform);
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(*config, Config{});
    EXPECT_FALSE(fake.files.exists(k_folder));
    for (const std::string& entry : fake.files.log()) {
        EXPECT_TRUE(entry.starts_with("status ")) << entry;
    }
    EXPECT_EQ(fake.console.error, "");
    EXPECT_EQ(fake.console.output, "");
}

// Only a file (or folder) that is not there is no configuration; one that cannot be examined may
// hold the user's JDKs and must never be taken for empty and then replaced.
TEST(LoadConfig, UnexaminableFileIsAReadErrorAndMissingFolderIsEmpty) {
    FakePlatform fake;
    fake.files.add_file(k_file, k_one_jdk_document);
    IoError failure{"Access is denied.", 5};
    fake.files.set_failure_hook([&](std::string_view op, std::string_view) {
        return op == "status" ? std::optional<IoError>(failure) : std::nullopt;
    });
    EXPECT_EQ(load_config(fake.platform).error().to_text(),
              "Configuration error: Cannot read config file: Access is denied. (os error 5)");
    EXPECT_EQ(add_version(fake.platform, "x", JdkEntry{"C:\\x", std::nullopt, std::nullopt})
                  .error()
                  .to_text(),
              "Configuration error: Cannot read config file: Access is denied. (os error 5)");
    EXPECT_EQ(fake.files.content(k_file), k_one_jdk_document);

    failure = IoError{"The system cannot find the path specified.", 3};
    EXPECT_EQ(load_config(fake.platform).value(), Config{});
    EXPECT_EQ(fake.console.error, "");
}

TEST(LoadConfig, ReadsAValidFile) {
    FakePlatform fake;
    fake.files.add_file(k_file, k_one_jdk_document);
    EXPECT_EQ(load_config(fake.platform).value(), one_jdk_config());
    EXPECT_EQ(fake.console.error, "");
}

TEST(LoadConfig, CorruptFileWarnsOnStandardErrorAndStartsEmpty) {
    FakePlatform fake;
    fake.files.add_file(k_file, "{}");
    auto config = load_config(fake.platform);
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(*config, Config{});
    EXPECT_EQ(fake.console.error,
              "Warning: config file is corrupted (missing field `versions` at line 1, column 2), "
              "starting fresh.\n");
    EXPECT_EQ(fake.console.output, "");
    EXPECT_EQ(fake.files.content(k_file), "{}");
}

TEST(LoadConfig, EveryLoadOfACorruptFileWarnsAgain) {
    FakePlatform fake;
    fake.files.add_file(k_file, "");
    ASSERT_TRUE(load_config(fake.platform).has_value());
    ASSERT_TRUE(load_config(fake.platform).has_value());
    const std::string warning =
        "Warning: config file is corrupted (syntax error while parsing value - unexpected end of "
        "input; expected '[', '{', or a literal at line 1, column 1), starting fresh.\n";
    EXPECT_EQ(fake.console.error, warning + warning);
}

TEST(LoadConfig, ByteOrderMarkMakesTheFileCorrupt) {
    FakePlatform fake;
    fake.files.add_file(k_file, "\xEF\xBB\xBF" + std::string(k_one_jdk_document));
    EXPECT_EQ(load_config(fake.platform).value(), Config{});
    EXPECT_TRUE(fake.console.error.starts_with("Warning: config file is corrupted ("));
}

TEST(LoadConfig, InvalidUtf8IsAReadErrorNotCorruption) {
    FakePlatform fake;
    fake.files.add_file(k_file, "{\"versions\":{},\"current\":\"\xC3\x28\"}");
    auto config = load_config(fake.platform);
    ASSERT_FALSE(config.has_value());
    EXPECT_EQ(config.error().to_text(),
              "Configuration error: Cannot read config file: stream did not contain valid UTF-8");
    EXPECT_EQ(fake.console.error, "");
}

TEST(LoadConfig, ReadFailureIsAConfigError) {
    FakePlatform fake;
    fake.files.add_file(k_file, k_empty_document);
    fake.files.set_failure_hook(
        [](std::string_view op, std::string_view) -> std::optional<IoError> {
            if (op == "read") {
                return IoError{
                    "The process cannot access the file because it is being used by "
                    "another process.",
                    32};
            }
            return std::nullopt;
        });
    EXPECT_EQ(load_config(fake.platform).error().to_text(),
              "Configuration error: Cannot read config file: The process cannot access the file "
              "because it is being used by another process. (os error 32)");
}

TEST(LoadConfig, FolderInPlaceOfTheFileIsAReadError) {
    FakePlatform fake;
    fake.files.add_directory(k_file);
    auto config = load_config(fake.platform);
    ASSERT_FALSE(config.has_value());
    EXPECT_EQ(config.error().kind(), ErrorKind::Config);
    EXPECT_TRUE(config.error().payload().starts_with("Cannot read config file: "));
}

// ---- save_config -----------------------------------------------------------------------------

// Fails the first operation `op` whose path contains `fragment`.
fakes::MemoryFileSystem::FailureHook fail_on(std::string op, std::string fragment, IoError error,
                                             int times = 1'000'000) {
    auto remaining = std::make_shared<int>(times);
    return [=](std::string_view asked, std::string_view path) -> std::optional<IoError> {
        if (asked == op && path.find(fragment) != std::string_view::npos && *remaining > 0) {
            --*remaining;
            return error;
        }
        return std::nullopt;
    };
}

std::vector<std::string> files_in_folder(const FakePlatform& fake) {
    return fake.files.files_below(k_folder);
}

TEST(SaveConfig, CreatesTheFolderAndWritesTheExactDocument) {
    FakePlatform fake;
    ASSERT_TRUE(save_config(fake.platform, Config{}).has_value());
    EXPECT_EQ(fake.files.content(k_file), k_empty_document);
    EXPECT_EQ(files_in_folder(fake), std::vector<std::string>{std::string(k_file)});
    ASSERT_TRUE(save_config(fake.platform, one_jdk_config()).has_value());
    EXPECT_EQ(fake.files.content(k_file), k_one_jdk_document);
    EXPECT_EQ(files_in_folder(fake), std::vector<std::string>{std::string(k_file)});
    EXPECT_EQ(fake.console.error, "");
}

TEST(SaveConfig, WritesATemporaryFileBesideItAndReplacesInOneStep) {
    FakePlatform fake;
    fake.files.add_file(k_file, k_empty_document);
    ASSERT_TRUE(save_config(fake.platform, one_jdk_config()).has_value());
    std::vector<std::string> changes;
    for (const std::string& entry : fake.files.log()) {
        if (!entry.starts_with("status ") && !entry.starts_with("read ")) {
            changes.push_back(entry);
        }
    }
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0], "mkdir " + std::string(k_folder));
    std::string temporary_prefix = std::string(k_file) + ".tmp-";
    EXPECT_TRUE(changes[1].starts_with("write " + temporary_prefix)) << changes[1];
    std::string temporary = changes[1].substr(6);
    EXPECT_EQ(changes[2], "replace " + temporary + " -> " + std::string(k_file));
    EXPECT_EQ(fake.files.content(k_file), k_one_jdk_document);
}

TEST(SaveConfig, TemporaryNamesDifferBetweenSaves) {
    FakePlatform fake;
    ASSERT_TRUE(save_config(fake.platform, Config{}).has_value());
    ASSERT_TRUE(save_config(fake.platform, Config{}).has_value());
    std::vector<std::string> writes;
    for (const std::string& entry : fake.files.log()) {
        if (entry.starts_with("write ")) {
            writes.push_back(entry);
        }
    }
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_NE(writes[0], writes[1]);
}

TEST(SaveConfig, FolderThatCannotBeCreatedIsAConfigError) {
    FakePlatform fake;
    fake.files.set_failure_hook(fail_on("mkdir", "corvel", IoError{"Access is denied.", 5}));
    EXPECT_EQ(save_config(fake.platform, Config{}).error().to_text(),
              "Configuration error: Cannot create config dir: Access is denied. (os error 5)");
    EXPECT_FALSE(fake.files.exists(k_file));
}

// A failure at any step of a save leaves the previous file whole and no temporary file behind.
TEST(SaveConfig, FailureAtEveryStepKeepsThePreviousFileWhole) {
    struct Step {
        const char* op;
        const char* fragment;
        const char* message;
    };
    const Step steps[] = {
        {"mkdir", "corvel", "Configuration error: Cannot create config dir: "},
        {"status", "config.json", "Configuration error: Cannot read config file: "},
        {"read", "config.json", "Configuration error: Cannot read config file: "},
        {"write", ".tmp-", "Configuration error: Cannot write config file: "},
        {"replace", ".tmp-", "Configuration error: Cannot write config file: "},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.op);
        FakePlatform fake;
        fake.files.add_file(k_file, k_one_jdk_document);
        fake.files.set_failure_hook(fail_on(
            step.op, step.fragment, IoError{"There is not enough space on the disk.", 112}));
        auto saved = save_config(fake.platform, Config{});
        if (step.message == nullptr) {
            EXPECT_TRUE(saved.has_value());
            continue;
        }
        ASSERT_FALSE(saved.has_value());
        EXPECT_EQ(
            saved.error().to_text(),
            std::string(step.message) + "There is not enough space on the disk. (os error 112)");
        EXPECT_EQ(fake.files.content(k_file), k_one_jdk_document);
        EXPECT_EQ(files_in_folder(fake), std::vector<std::string>{std::string(k_file)});
    }
}

TEST(SaveConfig, FailedWriteWhoseCleanupAlsoFailsStillReportsTheWrite) {
    FakePlatform fake;
    fake.files.add_file(k_file, k_empty_document);
    fake.files.set_failure_hook(
        [](std::string_view op, std::string_view) -> std::optional<IoError> {
            if (op == "replace" || op == "remove") {
                return IoError{"The device is not ready.", 21};
            }
            return std::nullopt;
        });
    EXPECT_EQ(save_config(fake.platform, one_jdk_config()).error().to_text(),
              "Configuration error: Cannot write config file: The device is not ready. (os error "
              "21)");
    EXPECT_EQ(fake.files.content(k_file), k_empty_document);
}

TEST(SaveConfig, ReplaceHeldBrieflyByAnotherProgramIsRetried) {
    for (int code : {5, 32}) {
        SCOPED_TRACE(code);
        FakePlatform fake;
        fake.files.add_file(k_file, k_empty_document);
        fake.files.set_failure_hook(
            fail_on("replace", ".tmp-", IoError{"Sharing violation.", code}, 3));
        ASSERT_TRUE(save_config(fake.platform, one_jdk_config()).has_value());
        EXPECT_EQ(fake.files.content(k_file), k_one_jdk_document);
        EXPECT_EQ(fake.files.pauses().size(), 3u);
        for (int pause : fake.files.pauses()) {
            EXPECT_GE(pause, 10);
            EXPECT_LE(pause, 200);
        }
        EXPECT_EQ(files_in_folder(fake), std::vector<std::string>{std::string(k_file)});
    }
}

TEST(SaveConfig, ReplaceHeldForGoodGivesUpAfterTenTries) {
    FakePlatform fake;
    fake.files.add_file(k_file, k_empty_document);
    fake.files.set_failure_hook(fail_on(
        "replace", ".tmp-",
        IoError{"The process cannot access the file because it is being used by another process.",
                32}));
    EXPECT_EQ(save_config(fake.platform, one_jdk_config()).error().to_text(),
              "Configuration error: Cannot write config file: The process cannot access the file "
              "because it is being used by another process. (os error 32)");
    int replaces = 0;
    for (const std::string& entry : fake.files.log()) {
        replaces += entry.starts_with("replace ") ? 1 : 0;
    }
    EXPECT_EQ(replaces, 10);
    EXPECT_EQ(fake.files.pauses().size(), 9u);
    EXPECT_EQ(fake.files.content(k_file), k_empty_document);
    EXPECT_EQ(files_in_folder(fake), std::vector<std::string>{std::string(k_file)});
}

TEST(SaveConfig, OtherReplaceFailuresAreNotRetried) {
    FakePlatform fake;
    fake.files.set_failure_hook(fail_on("replace", ".tmp-", IoError{"The disk is full.", 112}));
    EXPECT_FALSE(save_config(fake.platform, Config{}).has_value());
    EXPECT_TRUE(fake.files.pauses().empty());
}

TEST(SaveConfig, TextThatIsNotUtf8CannotBeSerialized) {
    FakePlatform fake;
    fake.files.add_file(k_file, k_empty_document);
    Config config;
    config.versions["bad\xFF"] = JdkEntry{"p", std::nullopt, std::nullopt};
    auto saved = save_config(fake.platform, config);
    ASSERT_FALSE(saved.has_value());
    EXPECT_TRUE(saved.error().to_text().starts_with(
        "Configuration error: Cannot serialize config: invalid UTF-8 byte"))
        << saved.error().to_text();
    EXPECT_EQ(fake.files.content(k_file), k_empty_document);
}

// ---- Keeping a damaged file ------------------------------------------------------------------

TEST(SaveConfig, DamagedFileIsKeptBesideItBeforeBeingReplaced) {
    FakePlatform fake;
    const std::string damaged = "{\"versions\": {\"java21\": {\"path\": \"C:\\\\jdk\"";
    fake.files.add_file(k_file, damaged);
    ASSERT_TRUE(save_config(fake.platform, Config{}).has_value());
    EXPECT_EQ(fake.files.content(k_file), k_empty_document);
    EXPECT_EQ(fake.files.content(std::string(k_file) + ".corrupt"), damaged);
}

TEST(SaveConfig, EarlierKeptCopiesAreNeverOverwritten) {
    FakePlatform fake;
    const std::string corrupt = std::string(k_file) + ".corrupt";
    fake.files.add_file(corrupt, "first");
    fake.files.add_file(corrupt + "-2", "second");
    fake.files.add_file(k_file, "third");
    ASSERT_TRUE(save_config(fake.platform, Config{}).has_value());
    EXPECT_EQ(fake.files.content(corrupt), "first");
    EXPECT_EQ(fake.files.content(corrupt + "-2"), "second");
    EXPECT_EQ(fake.files.content(corrupt + "-3"), "third");

    fake.files.add_file(k_file, "fourth");
    ASSERT_TRUE(save_config(fake.platform, Config{}).has_value());
    EXPECT_EQ(fake.files.content(corrupt + "-4"), "fourth");
}

TEST(SaveConfig, FilesThatFailToLoadForAnyReasonAreKept) {
    for (std::string damaged : {std::string("\xEF\xBB\xBF") + std::string(k_empty_document),
                                std::string("{\"versions\":{},\"current\":\"\xFF\"}"),
                                std::string(), std::string("{}")}) {
        FakePlatform fake;
        fake.files.add_file(k_file, damaged);
        ASSERT_TRUE(save_config(fake.platform, Config{}).has_value());
        EXPECT_EQ(fake.files.content(std::string(k_file) + ".corrupt"), damaged);
    }
}

TEST(SaveConfig, ValidFilesAreNotCopied) {
    FakePlatform fake;
    fake.files.add_file(k_file, "{\"versions\":{},\"extra\":1}");
    ASSERT_TRUE(save_config(fake.platform, Config{}).has_value());
    EXPECT_EQ(files_in_folder(fake), std::vector<std::string>{std::string(k_file)});
}

TEST(SaveConfig, FailureToKeepTheDamagedFileKeepsItInPlace) {
    FakePlatform fake;
    fake.files.add_file(k_file, "damaged");
    fake.files.set_failure_hook(fail_on("write", ".corrupt", IoError{"Access is denied.", 5}));
    EXPECT_EQ(save_config(fake.platform, Config{}).error().to_text(),
              "Configuration error: Cannot write config file: Access is denied. (os error 5)");
    EXPECT_EQ(fake.files.content(k_file), "damaged");
    EXPECT_EQ(files_in_folder(fake), std::vector<std::string>{std::string(k_file)});
}

}  // namespace
}  // namespace corvel
