#include <gtest/gtest.h>

#include "tests/e2e/e2e_support.h"

namespace kst::e2e {
namespace {

TEST(E2eSupport, ReportsExitCodesAndMissingPrograms) {
  auto process = TProcess::Start(L"C:\\windows\\system32\\cmd.exe", L"/c exit 7");
  ASSERT_TRUE(process);
  EXPECT_EQ(process->WaitExit(), 7u);
  EXPECT_FALSE(process->Running());

  EXPECT_FALSE(TProcess::Start(L"C:\\no\\such\\program.exe"));
}

}  // namespace
}  // namespace kst::e2e
