#include "environment/path_rewrite.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace corvel {
namespace {

const std::vector<std::string> k_bins = {"D:\\jdk21\\bin", "C:\\Java\\jdk-17\\bin"};

std::string rewrite(std::string_view current) {
    return rewrite_path(current, "D:\\jdk21\\bin", k_bins);
}

TEST(RegisteredBinDirs, StripsEveryTrailingSeparatorBeforeAddingBin) {
    Config config;
    for (const char* root :
         {"D:\\jdk21", "D:\\jdk22\\", "C:\\jdk-17\\/", "E:\\J\u00c9K\\\\x", "J:/", "\\"}) {
        config.versions[root] = JdkEntry{root, std::nullopt, std::nullopt};
    }
    std::vector<std::string> bins = registered_bin_dirs(config);
    std::sort(bins.begin(), bins.end());
    EXPECT_EQ(bins, (std::vector<std::string>{
                        "C:\\jdk-17\\/\\bin", "C:\\jdk-17\\bin", "D:\\jdk21\\bin",
                        "D:\\jdk22\\\\bin", "D:\\jdk22\\bin", "E:\\J\u00c9K\\\\x\\bin", "J:/\\bin",
                        "J:/bin", "J:\\bin", "\\\\bin", "\\bin"}));
    EXPECT_TRUE(registered_bin_dirs(Config{}).empty());
}

TEST(RewritePath, PutsTheNewEntryFirstAndDropsEmptyPieces) {
    EXPECT_EQ(rewrite(""), "D:\\jdk21\\bin");
    EXPECT_EQ(rewrite("C:\\Windows;;  C:\\Tools  ;"), "D:\\jdk21\\bin;C:\\Windows;C:\\Tools");
    EXPECT_EQ(rewrite(";;; ;\t;"), "D:\\jdk21\\bin");
    EXPECT_EQ(rewrite("  "), "D:\\jdk21\\bin");
}

TEST(RewritePath, RemovesRegisteredBinFoldersWhateverTheirCase) {
    EXPECT_EQ(rewrite("c:\\JAVA\\JDK-17\\BIN;C:\\Windows"), "D:\\jdk21\\bin;C:\\Windows");
    EXPECT_EQ(rewrite("C:\\Windows;d:\\JDK21\\BIN"), "D:\\jdk21\\bin;C:\\Windows");
    EXPECT_EQ(rewrite("D:\\jdk21\\bin;C:\\Windows;D:\\JDK21\\bin;C:\\Java\\jdk-17\\bin"),
              "D:\\jdk21\\bin;C:\\Windows");
}

TEST(RewritePath, MatchesWholeEntriesOnlyAndNormalisesNothing) {
    EXPECT_EQ(rewrite("C:\\Java\\jdk-17\\bin\\;C:\\Windows"),
              "D:\\jdk21\\bin;C:\\Java\\jdk-17\\bin\\;C:\\Windows");
    EXPECT_EQ(rewrite("%JAVA_HOME%\\bin;C:\\Windows"),
              "D:\\jdk21\\bin;%JAVA_HOME%\\bin;C:\\Windows");
    EXPECT_EQ(rewrite("C:\\Java\\\\jdk-17\\bin;C:/Java/jdk-17/bin;D:\\jdk21\\bin\\..\\bin"),
              "D:\\jdk21\\bin;C:\\Java\\\\jdk-17\\bin;C:/Java/jdk-17/bin;D:\\jdk21\\bin\\..\\bin");
    EXPECT_EQ(rewrite("D:\\jdk21;D:\\jdk21\\bin\\java.exe;\"D:\\jdk21\\bin\""),
              "D:\\jdk21\\bin;D:\\jdk21;D:\\jdk21\\bin\\java.exe;\"D:\\jdk21\\bin\"");
}

TEST(RewritePath, KeepsUnregisteredJdksAndDuplicatesInOrder) {
    EXPECT_EQ(rewrite("C:\\old-jdk\\bin;C:\\Windows"),
              "D:\\jdk21\\bin;C:\\old-jdk\\bin;C:\\Windows");
    EXPECT_EQ(rewrite("C:\\Tools;C:\\Tools"), "D:\\jdk21\\bin;C:\\Tools;C:\\Tools");
    EXPECT_EQ(rewrite("B;a;C;a;b"), "D:\\jdk21\\bin;B;a;C;a;b");
}

TEST(RewritePath, KeepsReferencesToOtherVariablesUnexpanded) {
    EXPECT_EQ(rewrite("%SystemRoot%\\system32;%SystemRoot%;%USERPROFILE%\\AppData\\Local\\"
                      "Microsoft\\WindowsApps;%%;%"),
              "D:\\jdk21\\bin;%SystemRoot%\\system32;%SystemRoot%;%USERPROFILE%\\AppData\\Local\\"
              "Microsoft\\WindowsApps;%%;%");
}

TEST(RewritePath, TrimsPiecesButKeepsInnerTextAndCase) {
    EXPECT_EQ(rewrite(" C:\\Program Files\\Git\\cmd \r\n; C:\\Mixed Case\\ "),
              "D:\\jdk21\\bin;C:\\Program Files\\Git\\cmd;C:\\Mixed Case\\");
    EXPECT_EQ(rewrite("\tc:\\java\\JDK-17\\bin \t"), "D:\\jdk21\\bin");
}

TEST(RewritePath, InsertsTheNewEntryAsGivenNotLowerCased) {
    EXPECT_EQ(rewrite_path("c:\\windows", "E:\\JDK\\Bin", {}), "E:\\JDK\\Bin;c:\\windows");
    EXPECT_EQ(rewrite_path("e:\\jdk\\BIN;x", "E:\\JDK\\Bin", {}), "E:\\JDK\\Bin;x");
}

TEST(RewritePath, KeepsNonAsciiEntriesByteForByte) {
    EXPECT_EQ(rewrite("C:\\\u00dcbung\\\u65e5\u672c\\bin;C:\\caf\u00e9;\U0001F600"),
              "D:\\jdk21\\bin;C:\\\u00dcbung\\\u65e5\u672c\\bin;C:\\caf\u00e9;\U0001F600");
}

TEST(RewritePath, ComparesWithTheFullUnicodeLowerCase) {
    const std::vector<std::string> bins = {"C:\\\u00c4RGER\\jdk\\bin", "C:\\\u0394\\bin"};
    EXPECT_EQ(
        rewrite_path("c:\\\u00e4rger\\JDK\\BIN;C:\\\u03b4\\bin;C:\\x", "D:\\jdk21\\bin", bins),
        "D:\\jdk21\\bin;C:\\x");
    // U+0130 lowers to "i" and a combining dot, so it does not match a plain "i".
    EXPECT_EQ(rewrite_path("C:\\\u0130\\bin", "D:\\jdk21\\bin", {"C:\\i\\bin"}),
              "D:\\jdk21\\bin;C:\\\u0130\\bin");
    EXPECT_EQ(rewrite_path("C:\\\u0130\\bin", "D:\\jdk21\\bin", {"c:\\i\u0307\\bin"}),
              "D:\\jdk21\\bin");
}

TEST(RewritePath, TrimsUnicodeWhiteSpace) {
    // No-break space, ideographic space, line separator, next line.
    EXPECT_EQ(rewrite("\u00a0C:\\Tools\u3000;\u2028c:\\java\\jdk-17\\bin\u0085"),
              "D:\\jdk21\\bin;C:\\Tools");
    // A zero-width space is not white space and keeps its entry apart.
    EXPECT_EQ(rewrite("\u200bC:\\Tools"), "D:\\jdk21\\bin;\u200bC:\\Tools");
}

TEST(RewritePath, KeepsAPathFarBeyondTheEnvironmentLimitWhole) {
    std::string current = "%SystemRoot%\\system32";
    int entries = 1;
    while (current.size() <= 70000) {
        current += ";C:\\Program Files\\Vendor " + std::to_string(entries) + "\\bin";
        ++entries;
    }
    EXPECT_EQ(rewrite(current), "D:\\jdk21\\bin;" + current);
    EXPECT_EQ(rewrite("c:\\java\\jdk-17\\bin;" + current + ";D:\\jdk21\\bin"),
              "D:\\jdk21\\bin;" + current);
}

TEST(RewritePath, RewritingTwiceChangesNothingMore) {
    const std::string once = rewrite(" C:\\a ;;c:\\java\\jdk-17\\bin;D:\\JDK21\\BIN;C:\\a;");
    EXPECT_EQ(once, "D:\\jdk21\\bin;C:\\a;C:\\a");
    EXPECT_EQ(rewrite(once), once);
}

// A hand-edited root ending in a backslash, for which earlier versions inserted two backslashes.
TEST(RewritePath, RootEndingInASeparator) {
    Config config;
    config.versions["java21"] = JdkEntry{"D:\\jdk21", std::nullopt, std::nullopt};
    config.versions["java17"] = JdkEntry{"C:\\Java\\jdk-17", std::nullopt, std::nullopt};
    config.versions["java22"] = JdkEntry{"D:\\jdk22\\", std::nullopt, std::nullopt};
    const std::vector<std::string> bins = registered_bin_dirs(config);

    const std::string with_22 =
        rewrite_path("C:\\Windows;D:\\jdk21\\bin", "D:\\jdk22\\\\bin", bins);
    EXPECT_EQ(with_22, "D:\\jdk22\\\\bin;C:\\Windows");
    EXPECT_EQ(rewrite_path(with_22, "D:\\jdk22\\\\bin", bins), with_22);
    EXPECT_EQ(rewrite_path(with_22, "D:\\jdk21\\bin", bins), "D:\\jdk21\\bin;C:\\Windows");
    EXPECT_EQ(rewrite_path("D:\\jdk22\\bin;C:\\Windows", "D:\\jdk21\\bin", bins),
              "D:\\jdk21\\bin;C:\\Windows");
}

}  // namespace
}  // namespace corvel
