// Fixture for tests that read the stub's resources: the image is opened once
// per test and must open.
#pragma once

#include <gtest/gtest.h>

#include "stub_image.h"

class StubResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(image.Module(), nullptr) << "cannot load the stub as a data file: error " << GetLastError();
  }
  StubImage image;
};
