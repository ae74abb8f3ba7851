// Base fixture for tests that write below a fresh temporary folder and read the install log.
#include "LogFolderTest.h"

#include "FileHelpers.h"
#include "install/InstUtils.h"

void TLogFolderTest::SetUp() {
  dir_ = testfiles::MakeTestFolder(tag_);
  ASSERT_FALSE(dir_.empty());
  log_ = new TStringList;
  LogList = log_;
  LogSuspendCount = 0;
}

void TLogFolderTest::TearDown() {
  LogList = nullptr;
  delete log_;
  log_ = nullptr;
  LogSuspendCount = 0;
  testfiles::RemoveTree(dir_);
  EXPECT_FALSE(IsExistingFolder(dir_)) << "test folder left behind";
}

std::vector<std::string> TLogFolderTest::Lines() const {
  std::vector<std::string> out;
  for (int32_t i = 0; i < log_->LineCount(); ++i) out.push_back(log_->GetLine(i));
  return out;
}
