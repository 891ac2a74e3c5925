// The test side of helpers/uci_process.h, which itself needs no GoogleTest
// (tools/referee drives engines with it too).
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "helpers/uci_process.h"

// Starts the real engine or fails the running test with the reason: the
// build makes the module, so a missing or broken one is a fault.
#define START_REAL_ENGINE(process, timeoutMs)                                                \
  do {                                                                                       \
    std::string reason_;                                                                     \
    ASSERT_TRUE(testing_uci::startRealEngine(&(process), (timeoutMs), &reason_)) << reason_; \
  } while (0)
