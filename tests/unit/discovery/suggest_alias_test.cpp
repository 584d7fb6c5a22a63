#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "discovery/discovery.h"

namespace corvel {
namespace {

using Case = std::pair<std::string, std::string>;  // input, expected alias

TEST(SuggestAliasFromVersion, TakesTheTextBeforeTheFirstDotAndTheOldOneDotScheme) {
    const std::vector<Case> cases = {
        {"17.0.2", "java17"},    {"21", "java21"},
        {"11.0.21+9", "java11"}, {"1.8.0_392", "java8"},
        {"1.7.0_80", "java7"},   {"1", "java8"},
        {"1.", "java"},          {"1.8", "java8"},
        {"21-ea", "java21-ea"},  {"", "java"},
        {".17", "java"},         {"10.0.2", "java10"},
        {"25.0.1", "java25"},    {"1.11.0", "java11"},
        {"01.8", "java01"},      {"17 LTS.1", "java17 LTS"},
        {"1..8", "java"},
    };
    for (const auto& [version, expected] : cases) {
        EXPECT_EQ(suggest_alias("C:\\Program Files\\Java\\jdk-21", version), expected)
            << "version '" << version << "'";
    }
}

TEST(SuggestAliasFromVersion, IgnoresTheFolderWhenAVersionIsPresent) {
    EXPECT_EQ(suggest_alias("C:\\Program Files\\Java\\jdk-21", std::string("17.0.1")), "java17");
    // Even an empty version text is a version: the folder is not consulted.
    EXPECT_EQ(suggest_alias("C:\\Program Files\\Java\\jdk-21", std::string()), "java");
}

TEST(SuggestAliasFromFolder, ReadsTheMajorFromCommonFolderNames) {
    const std::vector<Case> cases = {
        {"C:\\Program Files\\Eclipse Adoptium\\jdk-17.0.9.9-hotspot", "java17"},
        {"C:\\Program Files\\Zulu\\zulu21.30.15-ca-jdk21.0.1-win_x64", "java21"},
        {"C:\\Program Files\\Java\\jdk-11.0.21+9", "java11"},
        {"C:\\Program Files\\Java\\jdk8u392-b08", "java8"},
        {"C:\\Program Files\\Java\\jdk1.8.0_392", "java"},
        {"C:\\Program Files\\Java\\JDK-17", "java17"},
        {"C:\\Program Files\\Java\\jdk-10", "java"},
        {"C:\\Program Files\\Java\\jdk-9.0.4", "java"},
        {"C:\\Program Files\\Java\\jdk-25", "java"},
        {"C:\\Program Files\\Java\\current", "java"},
        {"", "java"},
    };
    for (const auto& [folder, expected] : cases) {
        EXPECT_EQ(suggest_alias(folder, std::nullopt), expected) << folder;
    }
}

TEST(SuggestAliasFromFolder, EachPatternAloneIsEnough) {
    const std::vector<Case> cases = {
        {"C:\\x\\corretto-17.0.1", "java17"},    // "-" before, "." after
        {"C:\\x\\tools-17\\current", "java17"},  // "-" before, "\" after: only in a parent
        {"C:\\x\\corretto_17.0.1", "java17"},    // "_" before, "." after
        {"C:\\x\\openjdk17", "java17"},          // "jdk" before
        {"C:\\x\\jdk-17", "java17"},             // "jdk-" before
        {"C:\\x\\Java jdk 17", "java17"},        // "jdk " before
        // Near misses: the number without any of the six surroundings.
        {"C:\\x\\corretto-17", "java"},
        {"C:\\x\\corretto_17", "java"},
        {"C:\\x\\java17", "java"},
        {"C:\\x\\jdk_17", "java"},
        {"C:\\x\\v17.0.1", "java"},
        {"C:\\x\\tools-17/current", "java"},
    };
    for (const auto& [folder, expected] : cases) {
        EXPECT_EQ(suggest_alias(folder, std::nullopt), expected) << folder;
    }
}

TEST(SuggestAliasFromFolder, KnowsExactlyTheFifteenCandidateNumbers) {
    for (int major : {24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 8}) {
        std::string number = std::to_string(major);
        EXPECT_EQ(suggest_alias("C:\\jdks\\jdk-" + number, std::nullopt), "java" + number);
    }
    for (int major : {1, 2, 7, 9, 10, 25, 26, 30}) {
        std::string number = std::to_string(major);
        EXPECT_EQ(suggest_alias("C:\\jdks\\jdk-" + number, std::nullopt), "java") << number;
    }
}

TEST(SuggestAliasFromFolder, TheHighestNumberFoundAnywhereInThePathWins) {
    // A parent folder counts as much as the JDK's own name.
    EXPECT_EQ(suggest_alias("C:\\tools-24.1\\jdk-11", std::nullopt), "java24");
    // The number decides before the pattern: 21 in pattern 1 beats 17 in pattern 4.
    EXPECT_EQ(suggest_alias("C:\\jdk17-21.0", std::nullopt), "java21");
    EXPECT_EQ(suggest_alias("C:\\jdk-11\\sub-17.1", std::nullopt), "java17");
    // A plain substring search: longer numbers contain candidates.
    EXPECT_EQ(suggest_alias("C:\\x\\jdk-240", std::nullopt), "java24");
    EXPECT_EQ(suggest_alias("C:\\x\\jdk-180", std::nullopt), "java18");
    // 18 is tried before 8, so "jdk-18" is never read as 8.
    EXPECT_EQ(suggest_alias("C:\\x\\jdk-18", std::nullopt), "java18");
}

TEST(SuggestAliasFromFolder, LowerCasesBeyondAscii) {
    EXPECT_EQ(suggest_alias("C:\\X\\OPENJDK_17.0.1", std::nullopt), "java17");
    EXPECT_EQ(suggest_alias("C:\\X\\JDK 21", std::nullopt), "java21");
    // The Kelvin sign lower-cases to a plain "k", so this names jdk-17.
    EXPECT_EQ(suggest_alias("C:\\Programme\\JD\u212A-17", std::nullopt), "java17");
    EXPECT_EQ(suggest_alias("C:\\Программы\\Java\\JDK-21", std::nullopt), "java21");
}

}  // namespace
}  // namespace corvel
