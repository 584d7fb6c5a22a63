#include "config/core_error.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

TEST(CoreError, RendersEveryKindWithItsPrefix) {
    EXPECT_EQ(CoreError::config("Cannot locate user config directory").to_text(),
              "Configuration error: Cannot locate user config directory");
    EXPECT_EQ(CoreError::invalid_jdk_path("Path does not exist: C:\\x").to_text(),
              "Invalid JDK path: Path does not exist: C:\\x");
    EXPECT_EQ(CoreError::duplicate_alias("java21").to_text(), "Alias already exists: 'java21'");
    EXPECT_EQ(CoreError::alias_not_found("java21").to_text(), "Alias not found: 'java21'");
    EXPECT_EQ(CoreError::registry("Cannot write Path: x").to_text(),
              "Registry error: Cannot write Path: x");
    EXPECT_EQ(CoreError::permission_denied("no").to_text(), "Permission denied: no");
    EXPECT_EQ(CoreError::io(IoError{"Access is denied.", 5}).to_text(),
              "IO error: Access is denied. (os error 5)");
    EXPECT_EQ(CoreError::json("expected value at line 1, column 1").to_text(),
              "JSON parse error: expected value at line 1, column 1");
    EXPECT_EQ(CoreError::other("abc").to_text(), "abc");
}

TEST(CoreError, InsertsPayloadVerbatim) {
    EXPECT_EQ(CoreError::alias_not_found("").to_text(), "Alias not found: ''");
    EXPECT_EQ(CoreError::duplicate_alias(" 'x' ").to_text(), "Alias already exists: ' 'x' '");
    EXPECT_EQ(CoreError::other("line\n").to_text(), "line\n");
}

TEST(CoreError, KindAndDebugText) {
    CoreError error = CoreError::alias_not_found("java21");
    EXPECT_EQ(error.kind(), ErrorKind::AliasNotFound);
    EXPECT_EQ(error.debug_text(), "AliasNotFound(\"java21\")");
}

TEST(IoErrorText, OmitsCodeForOwnFailures) {
    EXPECT_EQ(invalid_utf8_error().to_text(), "stream did not contain valid UTF-8");
}

TEST(IoErrorText, CodeWithoutMessageTextHasNoSpaceInFront) {
    EXPECT_EQ((IoError{"Access is denied.", 5}).to_text(), "Access is denied. (os error 5)");
    EXPECT_EQ((IoError{"", 317}).to_text(), "(os error 317)");
}

}  // namespace
}  // namespace corvel
