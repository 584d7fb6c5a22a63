#include "java/jdk_validation.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace corvel {
namespace {

using fakes::FakePlatform;

std::string rejection(FakePlatform& fake, std::string_view path) {
    auto result = validate_jdk_path(fake.platform, path);
    EXPECT_FALSE(result.has_value()) << path;
    if (result) {
        return {};
    }
    EXPECT_EQ(result.error().kind(), ErrorKind::InvalidJdkPath);
    return result.error().to_text();
}

TEST(ValidateJdkPath, AcceptsAFullJdk) {
    FakePlatform fake;
    fake.add_jdk("C:\\Java\\jdk-21");
    EXPECT_TRUE(validate_jdk_path(fake.platform, "C:\\Java\\jdk-21").has_value());
}

TEST(ValidateJdkPath, MissingPathFailsTheFirstCheckEvenWhenItsParentExists) {
    FakePlatform fake;
    fake.files.add_directory("C:\\Java");
    EXPECT_EQ(rejection(fake, "C:\\Java\\jdk-21"),
              "Invalid JDK path: Path does not exist: C:\\Java\\jdk-21");
}

TEST(ValidateJdkPath, RefusedAccessCountsAsMissing) {
    FakePlatform fake;
    fake.add_jdk("C:\\Java\\jdk-21");
    fake.files.set_failure_hook(
        [](std::string_view op, std::string_view path) -> std::optional<IoError> {
            if (op == "status" && path == "C:\\Java\\jdk-21") {
                return IoError{"Access is denied.", 5};
            }
            return std::nullopt;
        });
    EXPECT_EQ(rejection(fake, "C:\\Java\\jdk-21"),
              "Invalid JDK path: Path does not exist: C:\\Java\\jdk-21");
}

TEST(ValidateJdkPath, RegularFileIsNotADirectory) {
    FakePlatform fake;
    fake.files.add_file("C:\\Java\\jdk.zip", "PK");
    EXPECT_EQ(rejection(fake, "C:\\Java\\jdk.zip"),
              "Invalid JDK path: Path is not a directory: C:\\Java\\jdk.zip");
}

TEST(ValidateJdkPath, LauncherIsCheckedBeforeTheCompiler) {
    FakePlatform fake;
    fake.files.add_file("C:\\only-javac\\bin\\javac.exe");
    EXPECT_EQ(rejection(fake, "C:\\only-javac"),
              "Invalid JDK path: bin\\java.exe not found in: C:\\only-javac");
    fake.files.add_directory("C:\\empty");
    EXPECT_EQ(rejection(fake, "C:\\empty"),
              "Invalid JDK path: bin\\java.exe not found in: C:\\empty");
}

TEST(ValidateJdkPath, RuntimeOnlyFolderIsCalledAJre) {
    FakePlatform fake;
    fake.files.add_file("C:\\jre\\bin\\java.exe");
    EXPECT_EQ(rejection(fake, "C:\\jre"),
              "Invalid JDK path: bin\\javac.exe not found in: C:\\jre (this looks like a JRE, not "
              "a full JDK)");
}

TEST(ValidateJdkPath, AnythingNamedLikeTheProgramsPasses) {
    FakePlatform fake;
    fake.files.add_directory("C:\\odd\\bin\\java.exe");
    fake.files.add_directory("C:\\odd\\bin\\javac.exe");
    EXPECT_TRUE(validate_jdk_path(fake.platform, "C:\\odd").has_value());
}

TEST(ValidateJdkPath, TrailingSeparatorIsAcceptedAndRepeatedInMessages) {
    FakePlatform fake;
    fake.add_jdk("C:\\Java\\jdk-21");
    EXPECT_TRUE(validate_jdk_path(fake.platform, "C:\\Java\\jdk-21\\").has_value());
    EXPECT_TRUE(validate_jdk_path(fake.platform, "C:/Java/jdk-21/").has_value());
    fake.files.add_file("C:\\jre\\bin\\java.exe");
    EXPECT_EQ(rejection(fake, "C:\\jre\\"),
              "Invalid JDK path: bin\\javac.exe not found in: C:\\jre\\ (this looks like a JRE, "
              "not a full JDK)");
    EXPECT_EQ(rejection(fake, "C:\\nothing\\"),
              "Invalid JDK path: Path does not exist: C:\\nothing\\");
}

TEST(ValidateJdkPath, JoinsWithOneBackslashAndFollowsLinks) {
    FakePlatform fake;
    fake.add_jdk("D:\\real\\jdk");
    fake.files.add_link("C:\\Java\\current", "D:\\real\\jdk");
    EXPECT_TRUE(validate_jdk_path(fake.platform, "C:\\Java\\current").has_value());
    std::vector<std::string> asked;
    for (const std::string& entry : fake.files.log()) {
        asked.push_back(entry);
    }
    EXPECT_EQ(asked, (std::vector<std::string>{"status C:\\Java\\current",
                                               "status C:\\Java\\current\\bin\\java.exe",
                                               "status C:\\Java\\current\\bin\\javac.exe"}));
    fake.files.add_link("C:\\Java\\dangling", "D:\\gone");
    EXPECT_EQ(rejection(fake, "C:\\Java\\dangling"),
              "Invalid JDK path: Path does not exist: C:\\Java\\dangling");
}

TEST(ValidateJdkPath, PathIsQuotedVerbatim) {
    FakePlatform fake;
    EXPECT_EQ(rejection(fake, ""), "Invalid JDK path: Path does not exist: ");
    EXPECT_EQ(rejection(fake, "  C:\\J\xC3\xA4va 'x'  "),
              "Invalid JDK path: Path does not exist:   C:\\J\xC3\xA4va 'x'  ");
}

}  // namespace
}  // namespace corvel
