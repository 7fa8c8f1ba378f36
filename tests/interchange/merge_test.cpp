// Merging an imported document into another: what moves, what stays, and in
// which order.
#include "interchange/merge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/errors.h"
#include "store/xbel_builder.h"

namespace tessellink {
namespace {

using Lines = std::vector<std::string>;

// Trees as lines: two blanks per level, "+Title" a folder, "title=href" a
// bookmark, "-" a separator, "@ref" an alias.
void Build(TXMLContainerType root, const Lines& lines) {
  std::vector<pugi::xml_node> parents = {root.Node()};
  for (const std::string& line : lines) {
    const std::size_t depth = line.find_first_not_of(' ') / 2;
    parents.resize(depth + 1);
    const std::string item = line.substr(depth * 2);
    pugi::xml_node parent = parents.back();
    if (item[0] == '+') {
      TXMLFolderType folder = TXbelBuilder::AppendFolder(TXMLContainerType(parent));
      folder.SetTitle(item.substr(1));
      parents.push_back(folder.Node());
    } else if (item[0] == '-') {
      parent.append_child("separator");
    } else if (item[0] == '@') {
      parent.append_child("alias").append_attribute("ref").set_value(item.c_str() + 1);
    } else {
      TXMLBookmarkType b = TXbelBuilder::AppendBookmark(TXMLContainerType(parent));
      b.SetTitle(item.substr(0, item.find('=')));
      b.SetHref(item.substr(item.find('=') + 1));
    }
  }
}

void Flatten(pugi::xml_node container, const std::string& indent, Lines& out) {
  for (pugi::xml_node c = container.first_child(); c; c = c.next_sibling()) {
    const std::string name = c.name();
    if (name == "folder") {
      out.push_back(indent + "+" + std::string(TXMLFolderType(c).Title()));
      Flatten(c, indent + "  ", out);
    } else if (name == "bookmark") {
      const TXMLBookmarkType b(c);
      out.push_back(indent + std::string(b.Title()) + "=" + std::string(b.Href()));
    } else if (name == "separator") {
      out.push_back(indent + "-");
    } else if (name == "alias") {
      out.push_back(indent + "@" + c.attribute("ref").value());
    }
  }
}
Lines Flatten(TXMLContainerType root) {
  Lines out;
  Flatten(root.Node(), "", out);
  return out;
}

struct MergeCase {
  const char* name;
  Lines target, source;
  Lines merged, left;  // the target afterwards, and what stays in the source
};

const MergeCase kCases[] = {
    {"the same tree twice adds nothing",
     {"+Tech", "  +Sub", "    s=http://s/", "  t=http://t/", "top=http://top/"},
     {"+Tech", "  +Sub", "    s=http://s/", "  t=http://t/", "top=http://top/"},
     {"+Tech", "  +Sub", "    s=http://s/", "  t=http://t/", "top=http://top/"},
     {"+Tech", "  +Sub", "    s=http://s/", "  t=http://t/", "top=http://top/"}},
    {"a new favorite lands after the folder's subfolders and bookmarks",
     {"+Tech", "  t=http://t/", "  +Sub", "    s=http://s/", "other=http://o/"},
     {"+Tech", "  +Sub", "    s=http://s/", "  t=http://t/", "  new=http://new/"},
     {"+Tech", "  t=http://t/", "  +Sub", "    s=http://s/", "  new=http://new/", "other=http://o/"},
     {"+Tech", "  +Sub", "    s=http://s/", "  t=http://t/"}},
    {"only ASCII letters ignore case in addresses",
     {"a=http://Example.com/Path", "b=http://x/\xC3\x89"},
     {"A=HTTP://EXAMPLE.COM/path", "B=http://x/\xC3\xA9"},
     {"a=http://Example.com/Path", "b=http://x/\xC3\x89", "B=http://x/\xC3\xA9"},
     {"A=HTTP://EXAMPLE.COM/path"}},
    {"folder titles match exactly, letter case included",
     {"+news", "  a=http://a/"},
     {"+News", "  a=http://a/"},
     {"+news", "  a=http://a/", "+News", "  a=http://a/"},
     {}},
    {"two same-titled source folders: the second merges into the first one moved in",
     {"x=http://x/"},
     {"+A", "  a=http://a/", "+A", "  b=http://b/", "  a2=http://A/", "  +Sub"},
     {"x=http://x/", "+A", "  a=http://a/", "  +Sub", "  b=http://b/"},
     {"+A", "  a2=http://A/"}},
    {"the first of two same-titled target folders takes the merge",
     {"+A", "  a=http://a/", "+A"},
     {"+A", "  b=http://b/"},
     {"+A", "  a=http://a/", "  b=http://b/", "+A"},
     {"+A"}},
    {"duplicates within the source both move; folders before bookmarks",
     {"t=http://t/"},
     {"d1=http://d/", "+G", "d2=http://d/", "t2=http://T/"},
     {"t=http://t/", "+G", "d1=http://d/", "d2=http://d/"},
     {"t2=http://T/"}},
    {"aliases and separators stay behind",
     {},
     {"-", "@b1", "+F", "  -", "  f=http://f/"},
     {"+F", "  -", "  f=http://f/"},
     {"-", "@b1"}},
};

TEST(Merge, MovesWhatTheTargetLacks) {
  for (const MergeCase& c : kCases) {
    SCOPED_TRACE(c.name);
    TXbelBuilder target, source;
    Build(target.Root(), c.target);
    Build(source.Root(), c.source);
    MergeDocument(target.Root(), source.Root());
    EXPECT_EQ(Flatten(target.Root()), c.merged);
    EXPECT_EQ(Flatten(source.Root()), c.left);
    // What moved over keeps its whole subtree and saves as a sound document.
    EXPECT_NO_THROW(TXbelDocument::Parse(target.Document().SaveText(XbelSaveMode::Ordinary), "merged"));
  }
}

TEST(Merge, WithinOneDocument) {
  TXbelBuilder builder;
  Build(builder.Root(), {"+Old", "  +Sub", "    s=http://s/", "  o=http://o/", "+New", "  +Sub", "    n=http://n/",
                         "  o=http://O/", "  p=http://p/"});
  TXMLFolderType oldFolder = builder.Root().Folder()[0], newFolder = builder.Root().Folder()[1];
  MergeFolder(oldFolder, newFolder);
  EXPECT_EQ(Flatten(builder.Root()), (Lines{"+Old", "  +Sub", "    s=http://s/", "    n=http://n/", "  o=http://o/",
                                            "  p=http://p/", "+New", "  +Sub", "  o=http://O/"}));
  const Lines before = Flatten(builder.Root());
  EXPECT_THROW(MergeFolder(oldFolder, oldFolder.Folder()[0]), AppError);
  EXPECT_THROW(MergeFolder(oldFolder.Folder()[0], oldFolder), AppError);
  MergeFolder(oldFolder, oldFolder);
  EXPECT_EQ(Flatten(builder.Root()), before);
}

// A large merge in nested folders goes through whole; its speed is measured
// by the benchmarks, not here.
TEST(Merge, LargeNestedMerge) {
  TXbelBuilder target, source;
  auto fill = [](TXMLContainerType root, int first, int count) {
    for (int f = 0; f < 100; ++f) {
      TXMLFolderType folder = TXbelBuilder::AppendFolder(root);
      folder.SetTitle("folder " + std::to_string(f));
      for (int s = 0; s < 10; ++s) {
        TXMLFolderType sub = TXbelBuilder::AppendFolder(folder);
        sub.SetTitle("sub " + std::to_string(s));
        for (int i = first; i < first + count; ++i) {
          TXMLBookmarkType b = TXbelBuilder::AppendBookmark(sub);
          b.SetHref("http://example.com/" + std::to_string(f) + "/" + std::to_string(s) + "/" + std::to_string(i));
        }
      }
    }
  };
  fill(target.Root(), 0, 100);   // 100 000 bookmarks
  fill(source.Root(), 50, 100);  // half of them known, half new
  MergeDocument(target.Root(), source.Root());
  EXPECT_EQ(TXbelBuilder::CountItems(target.Root()), 1100 + 150000);
  EXPECT_EQ(TXbelBuilder::CountItems(source.Root()), 1100 + 50000);
  const TXMLFolderType lastSub = target.Root().Folder()[99].Folder()[9];
  EXPECT_EQ(lastSub.Bookmark().Count(), 150u);
  EXPECT_EQ(lastSub.Bookmark()[149].Href(), "http://example.com/99/9/149");
}

}  // namespace
}  // namespace tessellink
