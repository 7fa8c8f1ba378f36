// Escaping of untrusted texts for JSON and for one-line text output.

#include "cli/cli_text.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace tessellink {
namespace {

struct EscapeCase {
  std::string name, input, json, oneLine;
};
void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.name; }

class CliTextTest : public testing::TestWithParam<EscapeCase> {};

TEST_P(CliTextTest, EscapesForJsonAndForOneLine) {
  const EscapeCase& c = GetParam();
  EXPECT_EQ(JsonString(c.input), c.json);
  EXPECT_EQ(OneLine(c.input), c.oneLine);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliTextTest,
    testing::Values(
        EscapeCase{"empty", "", "\"\"", ""}, EscapeCase{"plain", "plain", "\"plain\"", "plain"},
        EscapeCase{"quotes", "say \"hi\"", "\"say \\\"hi\\\"\"", "say \"hi\""},
        EscapeCase{"backslashes", "a\\b\\", "\"a\\\\b\\\\\"", "a\\b\\"},
        EscapeCase{"named_controls", "t\tn\nr\rb\bf\f", "\"t\\tn\\nr\\rb\\bf\\f\"", "t n r b f "},
        EscapeCase{"other_controls", std::string("nul\0one\1us\37del\177", 15),
                   "\"nul\\u0000one\\u0001us\\u001fdel\\u007f\"", "nul one us del "},
        // A terminal escape sequence loses its ESC in text output.
        EscapeCase{"terminal_escape", "\x1b[31mred", "\"\\u001b[31mred\"", " [31mred"},
        // UTF-8 passes through; C1 controls are valid JSON but not printable.
        EscapeCase{"non_ascii", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
                   "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\"", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        EscapeCase{"c1_control", "a\u0085b\u00A0c", "\"a\u0085b\u00A0c\"", "a b\u00A0c"},
        // Bytes that are not UTF-8 must not make the document invalid.
        EscapeCase{"invalid_bytes", "x\xFFy\xC3", "\"x\\ufffdy\\ufffd\"", "x\xEF\xBF\xBDy\xEF\xBF\xBD"},
        EscapeCase{"surrogate", "\xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\"", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}),
    [](const testing::TestParamInfo<EscapeCase>& info) { return info.param.name; });

}  // namespace
}  // namespace tessellink
