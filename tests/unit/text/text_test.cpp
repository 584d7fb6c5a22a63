#include "text/text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvel {
namespace {

using namespace std::string_view_literals;

// UTF-8 of one scalar value, written out by hand so that the tests do not lean on the code
// under test.
std::string utf8_of(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

TEST(TextToLower, AsciiLowersOnlyTheLetters) {
    EXPECT_EQ(to_lower("C:\\Program Files\\Java\\JDK-21.0.2+13\\BIN"),
              "c:\\program files\\java\\jdk-21.0.2+13\\bin");
    EXPECT_EQ(to_lower(""), "");
    for (int c = 0; c < 0x80; ++c) {
        char expected = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : static_cast<char>(c);
        EXPECT_EQ(to_lower(std::string(1, static_cast<char>(c))), std::string(1, expected)) << c;
    }
    EXPECT_EQ(to_lower("A\0B"sv), "a\0b"sv);
}

TEST(TextToLower, MapsLettersOfOtherScripts) {
    EXPECT_EQ(to_lower("\u00c9COLE \u00c0 \u00de"), "\u00e9cole \u00e0 \u00fe");  // Latin-1
    EXPECT_EQ(to_lower("\u0178"), "\u00ff");  // Ÿ leaves its block
    EXPECT_EQ(to_lower("\u041f\u0420\u0418\u0412\u0415\u0422 \u0401"),
              "\u043f\u0440\u0438\u0432\u0435\u0442 \u0451");  // Cyrillic
    EXPECT_EQ(to_lower("\u0391\u0392\u0393"), "\u03b1\u03b2\u03b3");
    EXPECT_EQ(to_lower("\u01c4\u01c5"), "\u01c6\u01c6");  // DŽ and the title-case Dž
    EXPECT_EQ(to_lower("\u1e9e"), "\u00df");              // capital sharp s
    EXPECT_EQ(to_lower("\u2160\u24b6"), "\u2170\u24d0");  // Roman numeral, circled letter
    EXPECT_EQ(to_lower("\u1c90"), "\u10d0");              // Georgian Mtavruli
    EXPECT_EQ(to_lower("\uff21"), "\uff41");              // full-width A
    EXPECT_EQ(to_lower("\u1f88"), "\u1f80");              // with prosgegrammeni: one code point
}

TEST(TextToLower, MapsSupplementaryPlaneLetters) {
    EXPECT_EQ(to_lower("\U00010400\U00010427"), "\U00010428\U0001044f");  // Deseret
    EXPECT_EQ(to_lower("\U0001e900"), "\U0001e922");                      // Adlam
    EXPECT_EQ(to_lower("C:\\\U00010400\\X"), "c:\\\U00010428\\x");
}

TEST(TextToLower, DottedCapitalIExpandsWithoutLanguageRules) {
    EXPECT_EQ(to_lower("\u0130"), "i\u0307");
    EXPECT_EQ(to_lower("\u0130STANBUL"), "i\u0307stanbul");
    EXPECT_EQ(to_lower("I"), "i");            // no Turkish dotless i
    EXPECT_EQ(to_lower("\u00cc"), "\u00ec");  // no Lithuanian dot above
}

TEST(TextToLower, ByteLengthCanGrowOrShrink) {
    EXPECT_EQ(to_lower("\u0130").size(), 3u);  // 2 bytes become 3
    EXPECT_EQ(to_lower("\u023a"), "\u2c65");   // 2 bytes become 3
    EXPECT_EQ(to_lower("\u023a\u023a\u023a").size(), 9u);
    EXPECT_EQ(to_lower("\u212a"), "k");       // Kelvin sign: 3 bytes become 1
    EXPECT_EQ(to_lower("\u2126"), "\u03c9");  // Ohm sign
    EXPECT_EQ(to_lower("\u212b"), "\u00e5");  // Angstrom sign
}

TEST(TextToLower, LeavesCharactersWithoutLowerCaseAlone) {
    for (std::string_view text :
         {"\u00df"sv, "\u0149"sv, "\ufb00"sv, "\u00aa"sv, "\u4e2d\u6587"sv, "\U0001f600"sv,
          "\ufffd"sv, "\U0010ffff"sv, "\u03c2\u03c3"sv, "123 _-.;%"sv, "\u02b0"sv}) {
        EXPECT_EQ(to_lower(text), text);
    }
}

TEST(TextToLower, SigmaIsFinalOnlyAtTheEndOfAWord) {
    EXPECT_EQ(to_lower("\u039f\u0394\u039f\u03a3"), "\u03bf\u03b4\u03bf\u03c2");  // ΟΔΟΣ
    EXPECT_EQ(to_lower("\u03a3"), "\u03c3");                                      // Σ alone
    EXPECT_EQ(to_lower("\u0391\u03a3."), "\u03b1\u03c2.");                        // ΑΣ.
    EXPECT_EQ(to_lower("\u03a3."), "\u03c3.");                                    // Σ.
    EXPECT_EQ(to_lower("\u0391\u03a3\u0391"), "\u03b1\u03c3\u03b1");              // inside
    EXPECT_EQ(to_lower("\u03a3\u0391"), "\u03c3\u03b1");                          // first
    EXPECT_EQ(to_lower("\u0391\u03a3 \u0392\u03a3"), "\u03b1\u03c2 \u03b2\u03c2");
    EXPECT_EQ(to_lower("C:\\\u039f\u0394\u039f\u03a3\\BIN"), "c:\\\u03bf\u03b4\u03bf\u03c2\\bin");
    EXPECT_EQ(to_lower("A\u03a3"), "a\u03c2");  // any cased letter counts
    EXPECT_EQ(to_lower("1\u03a3"), "1\u03c3");  // a digit is not cased
    EXPECT_EQ(to_lower("\u03a3\u03a3"), "\u03c3\u03c2");
}

TEST(TextToLower, SigmaContextSkipsCaseIgnorableCharacters) {
    EXPECT_EQ(to_lower("\u0391'\u03a3"), "\u03b1'\u03c2");
    EXPECT_EQ(to_lower("\u0391\u03a3\u0301"), "\u03b1\u03c2\u0301");  // combining acute after
    EXPECT_EQ(to_lower("\u0391\u03a3'\u0391"), "\u03b1\u03c3'\u03b1");
    EXPECT_EQ(to_lower("'\u03a3"), "'\u03c3");
    // A modifier letter is cased and case-ignorable at once; it is skipped as ignorable.
    EXPECT_EQ(to_lower("\u02b0\u03a3"), "\u02b0\u03c3");
}

TEST(TextToLower, KeepsInvalidBytesAsTheyAre) {
    EXPECT_EQ(to_lower("\xff"
                       "ABC\xc3"),
              "\xff"
              "abc\xc3");
    EXPECT_EQ(to_lower("\xc0\xaf"
                       "A"),
              "\xc0\xaf"
              "a");  // overlong slash
    EXPECT_EQ(to_lower("\xed\xa0\x80"
                       "A"),
              "\xed\xa0\x80"
              "a");                                           // encoded surrogate
    EXPECT_EQ(to_lower("\u00c9\xe2\x82"), "\u00e9\xe2\x82");  // truncated at the end
    EXPECT_EQ(to_lower("\xe2\x82\u00c9"), "\xe2\x82\u00e9");
    EXPECT_EQ(to_lower("\x80\x80\xc4\xb0"), "\x80\x80i\u0307");
    // An invalid byte beside a sigma is neither cased nor ignorable.
    EXPECT_EQ(to_lower("\u0391\x80\u03a3"), "\u03b1\x80\u03c3");
    EXPECT_EQ(to_lower("\u0391\u03a3\xff"
                       "B"),
              "\u03b1\u03c2\xff"
              "b");
}

TEST(TextToLower, EveryLetterLowersToStableValidText) {
    // All cased letters lie in the first two planes; a table cut short or mis-encoded shows here.
    int changed = 0;
    for (char32_t c = 0x80; c <= 0x1FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) {
            continue;
        }
        std::string text = utf8_of(c);
        std::string lowered = to_lower(text);
        if (lowered == text) {
            continue;
        }
        ++changed;
        std::size_t length = count_characters(lowered);
        if (!is_valid_utf8(lowered) || length < 1 || length > 3 || to_lower(lowered) != lowered) {
            ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(c);
        }
    }
    EXPECT_GT(changed, 1300);
}

TEST(TextTrimWhitespace, RemovesEveryUnicodeWhiteSpaceAtBothEnds) {
    EXPECT_EQ(trim_whitespace(" \t\r\n\v\fjava 21\t \n"), "java 21");
    const char32_t white_space[] = {0x09,   0x0A,   0x0B,   0x0C,   0x0D,   0x20,   0x85,
                                    0xA0,   0x1680, 0x2000, 0x2001, 0x2002, 0x2003, 0x2004,
                                    0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x2028,
                                    0x2029, 0x202F, 0x205F, 0x3000};
    for (char32_t c : white_space) {
        std::string space = utf8_of(c);
        EXPECT_EQ(trim_whitespace(space + "a" + space + "b" + space), "a" + space + "b")
            << std::hex << static_cast<unsigned>(c);
    }
    EXPECT_EQ(trim_whitespace("\u00a0\u3000\u0085C:\\jdk\u0085\u3000\u00a0"), "C:\\jdk");
}

TEST(TextTrimWhitespace, KeepsCharactersThatAreNotWhiteSpace) {
    for (std::string_view text : {"\u200bx\u200b"sv, "\ufeffx\ufeff"sv, "\u180ex\u180e"sv,
                                  "\x1cx\x1f"sv, "\u2060x"sv, "\u00b7x"sv}) {
        EXPECT_EQ(trim_whitespace(text), text);
    }
    EXPECT_EQ(trim_whitespace(" \u200b "), "\u200b");
}

TEST(TextTrimWhitespace, EdgeCasesAndInvalidBytes) {
    EXPECT_EQ(trim_whitespace(""), "");
    EXPECT_EQ(trim_whitespace(" \u3000\r\n"), "");
    EXPECT_EQ(trim_whitespace("\xa0x\xa0"), "\xa0x\xa0");  // lone continuation, not NBSP
    EXPECT_EQ(trim_whitespace(" \xc2"), "\xc2");           // truncated NBSP
    EXPECT_EQ(trim_whitespace("x\x80\u00a0"), "x\x80");
    EXPECT_EQ(trim_whitespace("\xe0\u00a0"), "\xe0");
    EXPECT_EQ(trim_whitespace("\xe3\x80 "), "\xe3\x80");  // half an ideographic space
    std::string_view text = "  ab  ";
    std::string_view trimmed = trim_whitespace(text);
    EXPECT_EQ(trimmed.data(), text.data() + 2);  // a view into the input
}

TEST(TextUtf8Validation, AcceptsWellFormedTextUpToTheLimits) {
    for (std::string_view text :
         {""sv, "ascii"sv, "a\0b"sv, "\xc2\x80"sv, "\xdf\xbf"sv, "\xe0\xa0\x80"sv, "\xed\x9f\xbf"sv,
          "\xee\x80\x80"sv, "\xef\xbf\xbf"sv, "\xf0\x90\x80\x80"sv, "\xf4\x8f\xbf\xbf"sv,
          "\u00e9\u20ac\U0001f600"sv}) {
        EXPECT_TRUE(is_valid_utf8(text)) << testing::PrintToString(text);
    }
}

TEST(TextUtf8Validation, RejectsOverlongSurrogateOutOfRangeAndTruncated) {
    for (std::string_view text : {"\xc0\xaf"sv,
                                  "\xc1\xbf"sv,
                                  "\xe0\x80\xaf"sv,
                                  "\xe0\x9f\xbf"sv,
                                  "\xf0\x80\x80\xaf"sv,
                                  "\xf0\x8f\xbf\xbf"sv,  // overlong
                                  "\xed\xa0\x80"sv,
                                  "\xed\xbf\xbf"sv,  // surrogates
                                  "\xf4\x90\x80\x80"sv,
                                  "\xf5\x80\x80\x80"sv,
                                  "\xfe"sv,
                                  "\xff"sv,  // above U+10FFFF
                                  "\x80"sv,
                                  "\xbf"sv,
                                  "a\x80"sv,  // stray continuation
                                  "\xc3"sv,
                                  "\xe2\x82"sv,
                                  "\xf0\x9f\x98"sv,
                                  "\xe2\x82"
                                  "a"sv,
                                  "\xc3\xc3\xa9"sv}) {
        EXPECT_FALSE(is_valid_utf8(text)) << testing::PrintToString(text);
    }
}

TEST(TextUtf8Lossy, ReplacesEachMaximalInvalidSubsequence) {
    EXPECT_EQ(decode_utf8_lossy("valid \u00e9\U0001f600"), "valid \u00e9\U0001f600");
    EXPECT_EQ(decode_utf8_lossy(""), "");
    EXPECT_EQ(decode_utf8_lossy("\xe2\x82"), "\ufffd");  // truncated: one replacement
    EXPECT_EQ(decode_utf8_lossy("\xe2\x82"
                                "a"),
              "\ufffd"
              "a");
    EXPECT_EQ(decode_utf8_lossy("\xf0\x9f\x98"), "\ufffd");
    EXPECT_EQ(decode_utf8_lossy("\xc0\xaf"), "\ufffd\ufffd");  // never-valid lead byte
    EXPECT_EQ(decode_utf8_lossy("\xed\xa0\x80"), "\ufffd\ufffd\ufffd");
    EXPECT_EQ(decode_utf8_lossy("\xf4\x90\x80\x80"), "\ufffd\ufffd\ufffd\ufffd");
    // The example of the Unicode Standard for the U+FFFD substitution practice.
    EXPECT_EQ(decode_utf8_lossy("\x61\xf1\x80\x80\xe1\x80\xc2\x62\x80\x63\x80\xbf\x64"),
              "a\ufffd\ufffd\ufffdb\ufffdc\ufffd\ufffdd");
}

TEST(TextUtf16, EncodesPairsAndReplacesInvalidUtf8) {
    EXPECT_EQ(to_utf16("a\u00e9\u20ac\U0001f600\U0010ffff"), u"a\u00e9\u20ac\U0001f600\U0010ffff");
    EXPECT_EQ(to_utf16(""), u"");
    EXPECT_EQ(to_utf16("a\xff"
                       "b"),
              u"a\ufffdb");
    // An encoded surrogate must not come out as a lone UTF-16 surrogate.
    EXPECT_EQ(to_utf16("\xed\xa0\x80"), u"\ufffd\ufffd\ufffd");
    EXPECT_EQ(to_utf16("\xe2\x82"), u"\ufffd");
}

TEST(TextUtf16, DecodingReplacesOrRefusesUnpairedSurrogates) {
    const std::u16string pair{char16_t{0xD800}, char16_t{0xDC00}};
    EXPECT_EQ(from_utf16_lossy(pair), "\U00010000");
    EXPECT_EQ(from_utf16_lossy(std::u16string{char16_t{0xDBFF}, char16_t{0xDFFF}}), "\U0010ffff");
    const std::vector<std::pair<std::u16string, std::string>> unpaired = {
        {{u'a', char16_t{0xD800}, u'b'}, "a\ufffdb"},            // lone high
        {{u'a', char16_t{0xDC00}}, "a\ufffd"},                   // lone low
        {{char16_t{0xD800}}, "\ufffd"},                          // high at the end
        {{char16_t{0xDC00}, char16_t{0xD800}}, "\ufffd\ufffd"},  // reversed
        {{char16_t{0xD800}, char16_t{0xD800}, char16_t{0xDC00}}, "\ufffd\U00010000"},
    };
    for (const auto& [units, expected] : unpaired) {
        EXPECT_EQ(from_utf16_lossy(units), expected);
        EXPECT_EQ(from_utf16_strict(units), std::nullopt);
    }
    EXPECT_EQ(from_utf16_strict(u""), "");
    EXPECT_EQ(from_utf16_strict(pair), "\U00010000");
    for (std::string_view text : {"C:\\Program Files\\Java"sv, "\u00e9\u4e2d\U0001f600"sv}) {
        EXPECT_EQ(from_utf16_strict(to_utf16(text)), text);
    }
}

TEST(TextSplitLines, SplitsAtLineFeedsOnly) {
    using Lines = std::vector<std::string_view>;
    EXPECT_EQ(split_lines(""), Lines{});
    EXPECT_EQ(split_lines("a"), Lines{"a"});
    EXPECT_EQ(split_lines("a\n"), Lines{"a"});
    EXPECT_EQ(split_lines("a\nb"), (Lines{"a", "b"}));
    EXPECT_EQ(split_lines("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(split_lines("\n"), Lines{""});
    EXPECT_EQ(split_lines("\r\n"), Lines{""});
    EXPECT_EQ(split_lines("a\n\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(split_lines("\n\n"), (Lines{"", ""}));
    EXPECT_EQ(split_lines("a\rb\r"), Lines{"a\rb\r"});  // a lone carriage return stays
    EXPECT_EQ(split_lines("a\r\r\n"), Lines{"a\r"});
    EXPECT_EQ(split_lines(" x \t\n"), Lines{" x \t"});  // nothing else trimmed
}

TEST(TextControlCharacters, C0ButTabDelAndC1AreRemovedOrReplaced) {
    const std::string text("a\0b\tc\x1b\x7f\xC2\x85\xC2\xA0\xFF\xC2", 13);
    EXPECT_TRUE(has_display_control_character(text));
    EXPECT_FALSE(has_display_control_character("\t\xC2\xA0\xFF\xC2"));
    EXPECT_EQ(remove_control_characters(text), "ab\tc\xC2\xA0\xFF\xC2");
    EXPECT_EQ(replace_control_characters(text), "a\uFFFDb\tc\uFFFD\uFFFD\uFFFD\xC2\xA0\xFF\xC2");
    // Bidirectional formatting characters go too; their neighbours (U+200D, U+202F, U+2065,
    // U+206A) and a sequence cut short stay.
    const std::string bidi =
        "a\u061C\u200E\u200F\u202A\u202E\u2066\u2069b\u200D\u202F\u2065\u206A\xE2\x80";
    EXPECT_EQ(remove_control_characters(bidi), "ab\u200D\u202F\u2065\u206A\xE2\x80");
    EXPECT_EQ(replace_control_characters("jdk-17\u202Egpj.exe"), "jdk-17\uFFFDgpj.exe");
    EXPECT_TRUE(has_display_control_character("jdk-17\u202Egpj.exe"));
    // Some terminals end a line at the line and paragraph separators; U+2027 is no separator.
    EXPECT_EQ(replace_control_characters("a\u2028b\u2029c\u2027"), "a\uFFFDb\uFFFDc\u2027");
}

TEST(TextCountCharacters, CountsScalarValuesNotBytes) {
    EXPECT_EQ(count_characters(""), 0u);
    EXPECT_EQ(count_characters("java21"), 6u);
    EXPECT_EQ(count_characters("\u00e9\u20ac\U0001f600"), 3u);
    // Invalid input counts as many characters as its lossy decoding shows.
    for (std::string_view text : {"\xff\xfe"sv, "\xe2\x82"sv, "\xc0\xaf"sv,
                                  "a\xed\xa0\x80"
                                  "b"sv,
                                  "\xf0\x9f\x98"
                                  "x"sv}) {
        EXPECT_EQ(count_characters(text), count_characters(decode_utf8_lossy(text)))
            << testing::PrintToString(text);
    }
    EXPECT_EQ(count_characters("\xe2\x82"), 1u);
    EXPECT_EQ(count_characters("\xc0\xaf"), 2u);
}

}  // namespace
}  // namespace corvel
