#include "platform/linux/desktop_file.h"

#include <gtest/gtest.h>

namespace tessellink {
namespace {

TEST(KeyFile, EditsChangeOnlyTheirLine) {
  const std::string original =
      "# kept comment\n"
      "[Added Associations]\n"
      "text/html=firefox.desktop;\n"
      "\n"
      "[Default Applications]\n"
      "text/html = firefox.desktop\n"
      "x-scheme-handler/tslink=old.desktop\n"
      "\n"
      "[Removed Associations]\n"
      "image/png=gimp.desktop;\n";
  TKeyFile file(original);
  EXPECT_EQ(file.Get("Default Applications", "text/html"), "firefox.desktop");
  EXPECT_EQ(file.Get("Added Associations", "x-scheme-handler/tslink"), std::nullopt);
  EXPECT_EQ(file.Get("Nowhere", "text/html"), std::nullopt);

  file.Set("Default Applications", "x-scheme-handler/tslink", "tessellink.desktop");
  file.Set("Default Applications", "application/x-xbel", "tessellink.desktop");
  file.Set("New Group", "k", "v");
  EXPECT_EQ(file.Text(),
            "# kept comment\n"
            "[Added Associations]\n"
            "text/html=firefox.desktop;\n"
            "\n"
            "[Default Applications]\n"
            "text/html = firefox.desktop\n"
            "x-scheme-handler/tslink=tessellink.desktop\n"
            "application/x-xbel=tessellink.desktop\n"
            "\n"
            "[Removed Associations]\n"
            "image/png=gimp.desktop;\n"
            "\n"
            "[New Group]\n"
            "k=v\n");
}

TEST(KeyFile, CrLfFileAndMissingGroup) {
  TKeyFile file("[Desktop Entry]\r\nExec=a %u\r\n");
  EXPECT_EQ(file.Get("Desktop Entry", "Exec"), "a %u");
  TKeyFile empty;
  empty.Set("Default Applications", "x", "y");
  EXPECT_EQ(empty.Text(), "[Default Applications]\nx=y\n");
}

TEST(ExecLine, PathsSurviveQuotingAndEscaping) {
  for (const std::string path : {"/usr/bin/tessellink", "/opt/My Apps/tessellink", "/opt/a\"b/$HOME`x`\\y",
                                 "/opt/100%/run", "/opt/tab\there", " /lead"}) {
    const std::string value = EscapeKeyValue(ExecPathToken(path) + " %u");
    const std::vector<std::string> tokens = ExecTokens(UnescapeKeyValue(value));
    ASSERT_EQ(tokens.size(), 2u) << value;
    EXPECT_EQ(ExecTokenPath(tokens[0]), path) << value;
    EXPECT_EQ(tokens[1], "%u");
  }
  EXPECT_EQ(EscapeKeyValue(ExecPathToken("/opt/My Apps/t")), "\"/opt/My Apps/t\"");
  EXPECT_EQ(ExecPathToken("/usr/bin/t"), "/usr/bin/t");
}

TEST(ListValue, SplitsAndJoins) {
  EXPECT_EQ(SplitListValue("a.desktop;;b.desktop; "), (std::vector<std::string>{"a.desktop", "b.desktop"}));
  EXPECT_EQ(JoinListValue({"x", "y"}), "x;y;");
}

}  // namespace
}  // namespace tessellink
