// Finding and checking table files on the tablebase path.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "helpers/datacomp_writer.h"
#include "helpers/tb_probe_setup.h"
#include "helpers/tb_rows.h"
#include "helpers/temp_dir.h"
#include "tablebases/endgame_table.h"
#include "tablebases/probe.h"
#include "tablebases/registration.h"

using namespace tablebases;
using testing_tb::rowId;
using testing_tb::zeroFile;
namespace fs = std::filesystem;

namespace {

uint64_t entries(const char* name, int side) { return tbDesc[rowId(name)].positions[side]; }

class TbRegistration : public ::testing::Test {
 protected:
  std::unique_ptr<ScopedTempDir> scratch;
  fs::path root;
  void SetUp() override {
    scratch = std::make_unique<ScopedTempDir>("quillon_reg_");
    root = scratch->path;
    fs::create_directories(root / "a");
    fs::create_directories(root / "b");
  }
  void TearDown() override {
    tbInitialize(nullptr);
    scratch.reset();
  }
  std::string dir(const char* sub) { return (root / sub).string(); }
};

}  // namespace

TEST_F(TbRegistration, ManCountAndNullPath) {
  EXPECT_EQ(tbInitialize(nullptr), 0);
  EXPECT_EQ(tbInitialize(dir("a").c_str()), 0);  // nothing there
  zeroFile(root / "a" / "kqk.nbw", entries("kqk", 0));
  EXPECT_EQ(tbInitialize(dir("a").c_str()), 3);
  EXPECT_TRUE(tbIsAvailable(rowId("kqk"), 0));
  EXPECT_FALSE(tbIsAvailable(rowId("kqk"), 1));
  zeroFile(root / "b" / "kbnk.nbb", entries("kbnk", 1));
  EXPECT_EQ(tbInitialize((dir("a") + ";" + dir("b")).c_str()), 4);
  EXPECT_EQ(tbInitialize(nullptr), 0);
  EXPECT_FALSE(tbIsAvailable(rowId("kqk"), 0));
}

TEST_F(TbRegistration, BothSeparatorsAndTheFirstDirectoryWins) {
  zeroFile(root / "a" / "krk.nbw", entries("krk", 0));
  zeroFile(root / "b" / "krk.nbw", entries("krk", 0));
  zeroFile(root / "b" / "krk.nbb", entries("krk", 1));
  for (const char* separator : {",", ";"}) {
    ASSERT_EQ(tbInitialize((dir("a") + separator + dir("b")).c_str()), 3);
    int id = rowId("krk");
    EXPECT_EQ(tbDesc[id].fileName[0][0], dir("a") + "/krk.nbw");
    EXPECT_EQ(tbDesc[id].fileName[1][0], dir("b") + "/krk.nbb");
  }
}

TEST_F(TbRegistration, EmptyEntryIsTheCurrentDirectory) {
  zeroFile(root / "a" / "knk.nbw", entries("knk", 0));
  fs::path previous = fs::current_path();
  fs::current_path(root / "a");
  EXPECT_EQ(tbInitialize((dir("b") + ";").c_str()), 3);  // a trailing separator
  EXPECT_EQ(tbDesc[rowId("knk")].fileName[0][0], "knk.nbw");
  EXPECT_EQ(tbInitialize((dir("b") + ";;" + dir("b")).c_str()), 3);
  EXPECT_EQ(tbInitialize(""), 3);
  fs::current_path(previous);
}

TEST_F(TbRegistration, CompressedFallbackNames) {
  std::string names[5];
  tbBuildDescriptors();
  ASSERT_EQ(tbCandidateNames("tb.v1_x", rowId("kpk"), 0, 0, names), 5);
  EXPECT_EQ(names[0], "tb.v1_x/kpk.nbw");
  EXPECT_EQ(names[1], "tb.v1_x/kpk.nbw.emd");
  EXPECT_EQ(names[2], "tb.v1_x/kpk_nbw.emd");
  EXPECT_EQ(names[3], "tb.v1_x/kpk_nbw_emd");
  EXPECT_EQ(names[4], "tb.v1_x/kpknbw.emd");
  EXPECT_EQ(tbCandidateNames("d/", rowId("kbnknn"), 1, 0, names), 4);  // six men: no fourth fallback
  EXPECT_EQ(names[0], "d/kbnknn.nbb");
  EXPECT_EQ(tbCandidateNames("", rowId("kqqpkq"), 1, 3, names), 2);  // split: only ".emd"
  EXPECT_EQ(names[0], "kqqpkq.3.nbb");
  EXPECT_EQ(names[1], "kqqpkq.3.nbb.emd");
  tbCandidateNames("", rowId("kqqpkq"), 0, 12, names);
  EXPECT_EQ(names[0], "kqqpkq.c.nbw");

  // Each fallback is found in a real directory, and read as compressed.
  int krpkr = rowId("krpkr");
  std::vector<uint8_t> data(size_t(entries("krpkr", 0)), 0);
  testing_tb::writeFile((root / "a" / "krpkr_nbw.emd").string(), testing_tb::makeDatacompFile(data, {}));
  ASSERT_EQ(tbInitialize(dir("a").c_str()), 5);
  EXPECT_EQ(tbDesc[krpkr].fileName[0][0], dir("a") + "/krpkr_nbw.emd");
  EXPECT_NE(tbDesc[krpkr].compressed[0][0], nullptr);
  fs::rename(root / "a" / "krpkr_nbw.emd", root / "a" / "krpkrnbw.emd");
  ASSERT_EQ(tbInitialize(dir("a").c_str()), 5);
  EXPECT_EQ(tbDesc[krpkr].fileName[0][0], dir("a") + "/krpkrnbw.emd");
}

// Names are matched without regard to case, and the file found is the one
// probes read.
TEST_F(TbRegistration, TableNamesMatchInAnyCase) {
  zeroFile(root / "a" / "KQK.NBW", entries("kqk", 0));
  std::vector<uint8_t> draws(size_t(entries("kqkr", 0)), 0);
  testing_tb::writeFile((root / "a" / "KQKR.NBW.EMD").string(), testing_tb::makeDatacompFile(draws, {}));
  ASSERT_EQ(tbInitialize(dir("a").c_str()), 4);
  EXPECT_EQ(tbDesc[rowId("kqk")].fileName[0][0], dir("a") + "/KQK.NBW");
  EXPECT_EQ(tbDesc[rowId("kqkr")].fileName[0][0], dir("a") + "/KQKR.NBW.EMD");
  testing_tb::CacheMemory cache(4);
  auto board = testing_tb::probeBoard("Ka1 Qd1 kh8 rh1");
  int32_t score = 99;
  EXPECT_EQ(tbProbe(board.data(), 1, 0, &score), 1);
  EXPECT_EQ(score, 0);
}

TEST_F(TbRegistration, WrongSizesAreReportedAndSkipped) {
  zeroFile(root / "a" / "kpk.nbw", entries("kpk", 0) - 1);
  zeroFile(root / "a" / "kpk.nbb", entries("kpk", 1));
  testing::internal::CaptureStdout();
  EXPECT_EQ(tbInitialize(dir("a").c_str()), 3);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "*** " + dir("a") + "/kpk.nbw corrupted 81664 81664 81663\n");
  EXPECT_FALSE(tbIsAvailable(rowId("kpk"), 0));
  EXPECT_TRUE(tbIsAvailable(rowId("kpk"), 1));
}

TEST_F(TbRegistration, BrokenCompressedFilesAreReportedAndSkipped) {
  std::vector<uint8_t> data(size_t(entries("kqk", 0)), 0);
  std::vector<uint8_t> image = testing_tb::makeDatacompFile(data, {});
  image[3] ^= 1;  // the banner
  testing_tb::writeFile((root / "a" / "kqk.nbw.emd").string(), image);
  testing_tb::DatacompOptions small;
  small.blockSizeLog = 12;
  testing_tb::writeFile((root / "a" / "krk.nbw.emd").string(),
                        testing_tb::makeDatacompFile(std::vector<uint8_t>(size_t(entries("krk", 0)), 0), small));
  testing::internal::CaptureStdout();
  EXPECT_EQ(tbInitialize(dir("a").c_str()), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("*** Unable to read " + dir("a") + "/kqk.nbw.emd - read error\n"), std::string::npos) << out;
  EXPECT_NE(out.find("*** " + dir("a") + "/krk.nbw.emd: Unsupported block size 4096\n"), std::string::npos) << out;
}

TEST_F(TbRegistration, DirectoriesNamedLikeTablesAreIgnored) {
  fs::create_directories(root / "a" / "kqk.nbw");
  EXPECT_EQ(tbInitialize(dir("a").c_str()), 0);
}

TEST_F(TbRegistration, SplitExtentsStopAtTheFirstMissing) {
  // kqqpkq, White to move: four extents of 2^31 entries (the last shorter).
  int id = rowId("kqqpkq");
  uint64_t unit = uint64_t(1) << 31, total = entries("kqqpkq", 0);
  zeroFile(root / "a" / "kqqpkq.0.nbw", unit);
  zeroFile(root / "a" / "kqqpkq.2.nbw", unit);
  zeroFile(root / "b" / "kqqpkq.1.nbw", unit);
  zeroFile(root / "b" / "kqqpkq.2.nbw", unit);
  zeroFile(root / "b" / "kqqpkq.3.nbw", total % unit);
  ASSERT_EQ(tbInitialize(dir("a").c_str()), 6);
  EXPECT_FALSE(tbDesc[id].fileName[0][0].empty());
  EXPECT_TRUE(tbDesc[id].fileName[0][2].empty());  // extent 2 is not looked for
  ASSERT_EQ(tbInitialize((dir("a") + "," + dir("b")).c_str()), 6);
  for (int e = 0; e < 4; ++e) EXPECT_FALSE(tbDesc[id].fileName[0][e].empty()) << e;
  // A later entry only fills what is missing, in extent order.
  EXPECT_EQ(tbDesc[id].fileName[0][0], dir("a") + "/kqqpkq.0.nbw");
  EXPECT_EQ(tbDesc[id].fileName[0][2], dir("b") + "/kqqpkq.2.nbw");
}
