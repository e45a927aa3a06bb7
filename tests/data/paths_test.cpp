// paths_test.cpp -- search paths, the catalogue, archives and name resolution.
#include <cstring>
#include <set>

#include "data_fixture.h"

namespace {

TEST_F(DataTest, SearchPathsAreHomeThenKtHome) {
  EXPECT_EQ(std::string(search_path(0)), home.string() + "/");
  EXPECT_EQ(std::string(search_path(1)), install.string() + "/");
  EXPECT_EQ(search_path(2), nullptr);
  EXPECT_EQ(search_path(-1), nullptr);
}

TEST_F(DataTest, WithoutKtHomeTheProgramFolderIsSearched) {
  unsetenv("KT_HOME");
  data_paths_reset();
  std::string program = fs::canonical("/proc/self/exe").parent_path().string() + "/";
  EXPECT_EQ(std::string(search_path(1)), program);
}

TEST_F(DataTest, PathsAreNormalised) {
  setenv("KT_HOME", (install.string() + "//sub\\dir/").c_str(), 1);
  data_paths_reset();
  EXPECT_EQ(std::string(search_path(1)), install.string() + "/sub/dir/");
}

TEST_F(DataTest, ArchiveHeaderRules) {
  write_bytes(install / "good.saf", saf_bytes({{"tracks//mud/desc", "Mud Pit\n"},
                                               {"Sky.PPM", "sky"},
                                               {"terrain.hf.gz", gzip_bytes("plain text\n", "x")}}));
  write_bytes(install / "bad.saf", saf_bytes({{"rejected/file", "nope"}}, "- "));
  write_bytes(install / "cut.saf", "4 cut/file\nabcd");  // header never ends
  struct Case {
    const char* name;
    std::string expect;
  } cases[] = {
      {"@tracks/mud/desc", "Mud Pit\n"},   // doubled "/" collapsed
      {"@sky.ppm", "sky"},                 // letter case ignored
      {"@SKY.ppm", "sky"},
      {"@terrain.hf", "plain text\n"},     // the ".gz" member, decompressed
      {"@terrain.hf.gz", gzip_bytes("plain text\n", "x")},
      {"@rejected/file", "<null>"},
      {"@cut/file", "<null>"},
      {"@missing", "<null>"},
  };
  for (const Case& c : cases) EXPECT_EQ(slurp(c.name), c.expect) << c.name;
}

TEST_F(DataTest, MemberReadsExactlyItsBytes) {
  // A member of 10 bytes at offset 100 of its archive, after a padding member.
  std::string archive;
  for (size_t pad = 0; archive.size() != 100; pad++)
    archive = std::to_string(pad) + " pad\n10 ten\n-\n" + std::string(pad, '.');
  archive += "0123456789trailing";
  ASSERT_EQ(archive.find("0123456789"), 100u);
  write_bytes(install / "a.saf", archive);
  int count;
  const CatalogueEntry* entries = catalogue_entries(&count);
  bool found = false;
  for (int i = 0; i < count; i++)
    if (strcmp(entries[i].name, "ten") == 0) {
      EXPECT_EQ(entries[i].offset, 100);
      EXPECT_EQ(entries[i].size, 10);
      found = true;
    }
  EXPECT_TRUE(found);
  Stream* s = open_stream("@ten", "rb");
  ASSERT_NE(s, nullptr);
  char buffer[32];
  EXPECT_EQ(stream_read(s, buffer, 32), 10);
  EXPECT_EQ(std::string(buffer, 10), "0123456789");
  EXPECT_EQ(stream_getc(s), -1);
  EXPECT_TRUE(stream_seek(s, 3));
  EXPECT_EQ(stream_getc(s), '3');
  EXPECT_FALSE(stream_seek(s, 10));  // not below the limit
  close_stream(s);
}

TEST_F(DataTest, LooseFilesOverrideArchivesAndHomeOverridesInstall) {
  write_bytes(install / "data.saf", saf_bytes({{"config/a", "archive"}, {"config/b", "archive"}}));
  write_bytes(install / "config/b", "install loose");
  write_bytes(home / "config/a", "home loose");
  write_bytes(home / "config/c", "home only");
  write_bytes(install / "config/c", "install");
  EXPECT_EQ(slurp("@config/a"), "home loose");
  EXPECT_EQ(slurp("@config/b"), "install loose");
  EXPECT_EQ(slurp("@config/c"), "home only");
}

TEST_F(DataTest, FirstArchiveByNameWinsAndEachNameIsListedOnce) {
  write_bytes(install / "b.saf", saf_bytes({{"shared", "from b"}, {"only-b", "b"}}));
  write_bytes(install / "a.saf", saf_bytes({{"shared", "from a"}}));
  write_bytes(home / "shared", "x");
  write_bytes(install / "shared", "y");
  EXPECT_EQ(slurp("@shared"), "x");
  fs::remove(home / "shared");
  fs::remove(install / "shared");
  data_paths_reset();
  EXPECT_EQ(slurp("@shared"), "from a");
  std::multiset<std::string> names;
  for (const char* const* n = list_files(); *n; n++) names.insert(*n);
  EXPECT_EQ(names.count("shared"), 1u);
  EXPECT_EQ(names.count("only-b"), 1u);
  EXPECT_EQ(names.count("a.saf"), 1u);
  // The list is sorted byte-wise.
  std::string previous;
  for (const char* const* n = list_files(); *n; n++) {
    EXPECT_LT(previous, std::string(*n));
    previous = *n;
  }
}

TEST_F(DataTest, WritingAnAtNameGoesToTheHomeFolder) {
  Stream* s = open_stream("@demos/new/race.ktdemo", "wb");
  ASSERT_NE(s, nullptr);
  stream_puts(s, "demo");
  EXPECT_TRUE(close_stream(s));
  EXPECT_EQ(read_bytes(home / "demos/new/race.ktdemo"), "demo");
  EXPECT_TRUE(rename_file("@demos/new/race.ktdemo", "@demos/kept.ktdemo"));
  EXPECT_EQ(read_bytes(home / "demos/kept.ktdemo"), "demo");
  EXPECT_FALSE(rename_file("@no/such/file", "@other"));
}

TEST_F(DataTest, MakeHomeFolderCreatesEveryLevel) {
  fs::remove_all(root / "xdg");
  make_home_folder();
  EXPECT_TRUE(fs::is_directory(home));
}

TEST_F(DataTest, DirectoryLinksAreWalkedOnce) {
  write_bytes(install / "tracks/t/desc", "T\n");
  fs::create_directory_symlink(install, install / "tracks/loop");
  int count;
  catalogue_entries(&count);
  std::set<std::string> names;
  for (const char* const* n = list_files(); *n; n++) names.insert(*n);
  EXPECT_TRUE(names.count("tracks/t/desc"));
  EXPECT_LT(count, 10);
}

}  // namespace
