// Full Unicode lower-casing and White_Space trimming. The tables come from the Unicode Character
// Database at build time (cmake/GenerateUnicodeTables.cmake writes unicode_tables.inc).
#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "text/text.h"
#include "text/utf8_codec.h"

namespace corvel {

namespace {

struct LowerSingle {
    char32_t from;
    char32_t to;
};

// A lower-case form of two or three code points; an unused last slot holds 0.
struct LowerExpanded {
    char32_t from;
    std::array<char32_t, 3> to;
};

struct CodeRange {
    char32_t first;
    char32_t last;
};

#include "unicode_tables.inc"

// The lookups below are binary searches: the tables must be strictly ascending.
template <typename Entry>
constexpr bool ascending_by_from(std::span<const Entry> table) {
    return std::ranges::adjacent_find(table, [](const Entry& a, const Entry& b) {
               return a.from >= b.from;
           }) == table.end();
}

constexpr bool ascending_and_disjoint(std::span<const CodeRange> ranges) {
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (ranges[i].first > ranges[i].last || (i > 0 && ranges[i - 1].last >= ranges[i].first)) {
            return false;
        }
    }
    return true;
}

static_assert(ascending_by_from<LowerSingle>(k_lower_single));
static_assert(ascending_by_from<LowerExpanded>(k_lower_expanded));
static_assert(ascending_and_disjoint(k_cased));
static_assert(ascending_and_disjoint(k_case_ignorable));
static_assert(ascending_and_disjoint(k_white_space));

constexpr char32_t k_capital_sigma = 0x03A3;
constexpr char32_t k_small_sigma = 0x03C3;
constexpr char32_t k_final_small_sigma = 0x03C2;

bool in_ranges(std::span<const CodeRange> ranges, char32_t c) {
    auto it = std::ranges::lower_bound(ranges, c, {}, &CodeRange::last);
    return it != ranges.end() && it->first <= c;
}

bool is_cased(char32_t c) {
    return in_ranges(k_cased, c);
}

bool is_case_ignorable(char32_t c) {
    return in_ranges(k_case_ignorable, c);
}

bool is_white_space(char32_t c) {
    return in_ranges(k_white_space, c);
}

// Appends the full lower-case form of the non-ASCII scalar `c` (other than capital sigma).
void append_lower(std::string& out, char32_t c) {
    auto single = std::ranges::lower_bound(k_lower_single, c, {}, &LowerSingle::from);
    if (single != std::end(k_lower_single) && single->from == c) {
        utf8::append(out, single->to);
        return;
    }
    auto expanded = std::ranges::lower_bound(k_lower_expanded, c, {}, &LowerExpanded::from);
    if (expanded != std::end(k_lower_expanded) && expanded->from == c) {
        for (char32_t part : expanded->to) {
            if (part != 0) {
                utf8::append(out, part);
            }
        }
        return;
    }
    utf8::append(out, c);
}

// Final_Sigma: the sigma at [start, end) ends a word when a cased letter comes before it and
// none after it, case-ignorable characters on either side being skipped. A character that is
// both cased and case-ignorable is skipped as ignorable, and an invalid byte ends the search
// like any character that is neither.
bool is_final_sigma(std::string_view text, std::size_t start, std::size_t end) {
    bool cased_before = false;
    std::size_t pos = start;
    while (std::optional<utf8::Located> previous = utf8::decode_before(text, pos)) {
        if (!is_case_ignorable(previous->value)) {
            cased_before = is_cased(previous->value);
            break;
        }
        pos = previous->start;
    }
    if (!cased_before) {
        return false;
    }
    pos = end;
    while (pos < text.size()) {
        std::optional<char32_t> next = utf8::decode(text, pos);
        if (!next) {
            return true;
        }
        if (!is_case_ignorable(*next)) {
            return !is_cased(*next);
        }
    }
    return true;
}

}  // namespace

std::string to_lower(std::string_view text) {
    std::string lowered;
    lowered.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        // Most texts are ASCII paths: copy a whole ASCII run at once and lower it in place.
        std::size_t run_end = pos;
        while (run_end < text.size() && static_cast<std::uint8_t>(text[run_end]) < 0x80) {
            ++run_end;
        }
        if (run_end > pos) {
            std::size_t first = lowered.size();
            lowered.append(text.substr(pos, run_end - pos));
            for (std::size_t i = first; i < lowered.size(); ++i) {
                if (lowered[i] >= 'A' && lowered[i] <= 'Z') {
                    lowered[i] = static_cast<char>(lowered[i] - 'A' + 'a');
                }
            }
            pos = run_end;
            if (pos == text.size()) {
                break;
            }
        }
        std::size_t start = pos;
        std::optional<char32_t> c = utf8::decode(text, pos);
        if (!c) {
            lowered.append(text.substr(start, pos - start));  // invalid bytes stay as they are
        } else if (*c == k_capital_sigma) {
            utf8::append(lowered,
                         is_final_sigma(text, start, pos) ? k_final_small_sigma : k_small_sigma);
        } else {
            append_lower(lowered, *c);
        }
    }
    return lowered;
}

std::string_view trim_whitespace(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t next = begin;
        std::optional<char32_t> c = utf8::decode(text, next);
        if (!c || !is_white_space(*c)) {
            break;
        }
        begin = next;
    }
    std::size_t end = text.size();
    while (end > begin) {
        std::optional<utf8::Located> c = utf8::decode_before(text, end);
        if (!c || c->start < begin || !is_white_space(c->value)) {
            break;
        }
        end = c->start;
    }
    return text.substr(begin, end - begin);
}

}  // namespace corvel
