// An editor that embeds the library may have set a locale of its own, one
// that writes 1.5 as "1,5". Numbers the compiler reads and writes do not
// follow it.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

#include "catalogue/variant.h"
#include "test_support.h"

using namespace tavtest;

namespace {

class HostLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    // Built for the test: machines rarely have a comma locale installed.
    const std::string locale = (dir_.path() / "de_DE.UTF-8").string();
    const std::string cmd = "localedef -i de_DE -f UTF-8 '" + locale + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0 && !fs::exists(locale))
      GTEST_SKIP() << "localedef could not make de_DE.UTF-8";
    ::setenv("LOCPATH", dir_.path().c_str(), 1);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 not usable";
    char buf[8];
    std::snprintf(buf, sizeof buf, "%.1f", 1.5);
    ASSERT_STREQ(buf, "1,5");  // the locale is in force
  }
  void TearDown() override {
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");
  }
  TempDir dir_;
};

TEST_F(HostLocale, NumbersAndScriptsDoNotFollowIt) {
  using tavjit::ParseNumber;
  EXPECT_EQ(ParseNumber("2.5"), 2.5);
  EXPECT_EQ(ParseNumber("1.5e999"), std::nullopt);
  EXPECT_EQ(ParseNumber("1,5"), std::nullopt);
  EXPECT_EQ(tavjit::Variant("3.7").ToInt32(), 4);
  EXPECT_EQ(tavjit::DoubleToText(0.5), "0.5");
  EXPECT_EQ(tavjit::DoubleToText(-1.25e-7), "-1.25E-7");

  for (const fs::path& example : Examples()) {
    SCOPED_TRACE(example.string());
    tavjit::CTavJIT jit;
    jit.InitDefault();
    ASSERT_TRUE(jit.Execute(example.string())) << jit.ErrMsg();
    EXPECT_EQ(jit.Text(), ScriptBeside(example));
  }
}

}  // namespace
