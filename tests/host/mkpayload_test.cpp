// The payload tool: what it writes, and the entries it refuses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "install/PayloadArchive.h"

namespace {
class MkPayload : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/mkpayload_test_XXXXXX";
    dir_ = mkdtemp(tmpl);
    mkdir((dir_ + "/files").c_str(), 0755);
    mkdir((dir_ + "/files/Sub").c_str(), 0755);
    Write(dir_ + "/files/a.txt", "alpha");
    Write(dir_ + "/files/Sub/b.txt", "");
    Write(dir_ + "/built.exe", "MZbuilt");
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  // Runs the tool on a manifest; returns its exit status and keeps stderr.
  int Run(const std::string& manifest) {
    Write(dir_ + "/manifest.txt", manifest);
    const std::string cmd = std::string(MKPAYLOAD_PATH) + " '" + dir_ + "/manifest.txt' '" + dir_ + "/files' '" +
                            dir_ + "/out.bin' built.exe='" + dir_ + "/built.exe' >/dev/null 2>'" + dir_ +
                            "/err.txt'";
    const int rc = std::system(cmd.c_str());
    std::ifstream err(dir_ + "/err.txt");
    error_.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    return WEXITSTATUS(rc);
  }
  bool OutputExists() const {
    struct stat st;
    return stat((dir_ + "/out.bin").c_str(), &st) == 0;
  }
  std::string dir_, error_;
};
}  // namespace

TEST_F(MkPayload, WritesRecordsInManifestOrderAsOneZlibStream) {
  ASSERT_EQ(Run("# comment\n2025-05-13 10:00:00\tbuilt.exe\n2004-01-19 08:30:02\ta.txt\n"
                "2010-02-03 04:05:06\tSub\\b.txt\n"),
            0)
      << error_;
  std::ifstream in(dir_ + "/out.bin", std::ios::binary);
  std::vector<uint8_t> packed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(packed.size(), 2u);
  EXPECT_EQ(packed[0], 0x78);
  EXPECT_EQ(packed[1], 0xDA);
  std::vector<uint8_t> archive(1 << 16);
  uLongf size = archive.size();
  ASSERT_EQ(uncompress(archive.data(), &size, packed.data(), packed.size()), Z_OK);
  std::vector<TArchiveRecord> recs;
  ASSERT_TRUE(WalkArchive(archive.data(), static_cast<uint32_t>(size), recs));
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[0].Name, "built.exe");
  EXPECT_EQ(recs[0].DataOffset, 13u + 9);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&archive[recs[0].DataOffset]), recs[0].Size), "MZbuilt");
  EXPECT_EQ(recs[1].Name, "a.txt");
  EXPECT_EQ(recs[1].Time, EncodeDateTime(2004, 1, 19, 8, 30, 2, 0));
  EXPECT_EQ(recs[2].Name, "Sub\\b.txt");
  EXPECT_EQ(recs[2].Size, 0u);
}

TEST_F(MkPayload, RefusesUnsafeNamesAndOddTimesNamingTheEntry) {
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"2004-01-19 08:30:02\t..\\a.txt\n", "..\\a.txt"},
      {"2004-01-19 08:30:02\t\\a.txt\n", "\\a.txt"},
      {"2004-01-19 08:30:02\tC:\\a.txt\n", "C:\\a.txt"},
      {"2004-01-19 08:30:02\tSub/b.txt\n", "Sub/b.txt"},
      {"2004-01-19 08:30:02\t..\n", "\"..\""},
      {"2004-01-19 08:30:02\t\n", "\"\""},
      {"2004-01-19 08:30:02\t" + std::string(256, 'x') + "\n", std::string(256, 'x')},
      {"2004-01-19 08:30:03\ta.txt\n", "a.txt"},      // odd second
      {"2004-01-19 08:30:02.500\ta.txt\n", "a.txt"},  // not whole
      {"2004-02-30 08:30:02\ta.txt\n", "a.txt"},      // no such day
      {"2004-01-19 08:30:02\tmissing.txt\n", "missing.txt"},
      {"2004-01-19 10:00:02junk\tSub\\b.txt\n", "Sub\\b.txt"},
      {"2004-01-19 -1:00:00\tSub\\b.txt\n", "Sub\\b.txt"},  // not the day before
      {"2004-01-19  8:30:02\tSub\\b.txt\n", "Sub\\b.txt"},
      {"2004-01-19 24:00:00\tSub\\b.txt\n", "Sub\\b.txt"},
      {"2004-13-01 08:30:02\tSub\\b.txt\n", "Sub\\b.txt"},
      {"1979-12-31 23:59:58\tSub\\b.txt\n", "Sub\\b.txt"},  // before any file stamp
      {"2004-01-19 08:30:02\ta.txt\n", "a.txt"},                // the same name twice
      {"2004-01-19 08:30:02\tA.TXT\n", "A.TXT"},                // ... in another case
      {"2004-01-19 08:30:02\tA.txt\\c.txt\n", "A.txt\\c.txt"},  // a file where its folder must go
      {"2004-01-19 08:30:02\tSub\\CON.rtf\n", "Sub\\CON.rtf"},
      {"2004-01-19 08:30:02\tnul\n", "nul"},
      {"2004-01-19 08:30:02\tSub.\\b.txt\n", "Sub.\\b.txt"},
  };
  for (const auto& [manifest, name] : bad) {
    Write(dir_ + "/out.bin", "stale");  // an earlier build's output must not survive a refusal either
    EXPECT_NE(Run("2004-01-19 08:30:02\ta.txt\n" + manifest), 0) << manifest;
    EXPECT_NE(error_.find("manifest.txt:2: "), std::string::npos) << error_;
    EXPECT_NE(error_.find(name), std::string::npos) << error_;
    EXPECT_FALSE(OutputExists()) << manifest;
  }
}
