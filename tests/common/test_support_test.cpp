// The shared skip rule of the tests: a missing tool skips a test on a
// developer's machine and fails it under CI.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/fixtures.h"

namespace dudorazu {
namespace {

void needsAMissingTool() { DUDORAZU_SKIP_UNLESS(test::haveTool("no-such-tool-here"), "no-such-tool-here is missing"); }

TEST(TestSupport, AMissingToolFailsUnderCi) {
  EXPECT_TRUE(test::haveTool("sh"));
  const char* was = std::getenv("CI");
  std::string saved = was ? was : "";
  ::setenv("CI", "true", 1);
  EXPECT_FATAL_FAILURE(needsAMissingTool(), "no-such-tool-here is missing");
  if (was) ::setenv("CI", saved.c_str(), 1);
  else ::unsetenv("CI");
}

}  // namespace
}  // namespace dudorazu
