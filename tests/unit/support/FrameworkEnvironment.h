// Included by a test program whose tests need the framework started: once before the first test, stopped
// after the last.
#pragma once
#include <gtest/gtest.h>

#include "framework/Forms.h"

namespace testsupport {
class FrameworkEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { StartFramework(); }
  void TearDown() override { StopFramework(); }
};
inline const auto* const frameworkEnvironment = ::testing::AddGlobalTestEnvironment(new FrameworkEnvironment);
}  // namespace testsupport
