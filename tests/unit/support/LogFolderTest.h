// Base fixture for tests that write below a fresh temporary folder and read the install log.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/Classes.h"

class TLogFolderTest : public ::testing::Test {
 protected:
  explicit TLogFolderTest(const wchar_t* tag) : tag_(tag) {}
  void SetUp() override;
  void TearDown() override;
  std::vector<std::string> Lines() const;

  WideString dir_;  // with trailing backslash
  TStringList* log_ = nullptr;

 private:
  const wchar_t* tag_;
};
