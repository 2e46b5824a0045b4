// Binding the service library: which library, and every way it can fail.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "device/ServiceLibrary.h"

namespace kst {
namespace {

TEST(ServiceLibraryTest, SimulatedKeyboardByOptionOrEnvironment) {
  struct Case {
    std::vector<std::string_view> args;
    const char* env;
    bool simulated;
  };
  const Case cases[] = {
      {{}, nullptr, false},
      {{"/Start"}, nullptr, false},
      {{"/Start", "--simulate"}, nullptr, true},
      {{}, "sim", true},
      {{}, "real", false},
      {{}, "", false},
      {{"--simulated"}, nullptr, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SimulatedKeyboardRequested(c.args, c.env), c.simulated)
        << (c.env ? c.env : "(unset)") << " " << c.args.size();
  }
  EXPECT_STREQ(ServiceLibraryFileName(false), "libTolvane.so");
  EXPECT_STREQ(ServiceLibraryFileName(true), "libTolvaneSim.so");
}

TEST(ServiceLibraryTest, FailuresNameWhatWasMissing) {
  struct Case {
    const char* folder;
    const char* file;
    const char* mentions;
  };
  const Case cases[] = {
      {KST_FAKE_SERVICE_DIR, "libnot_there.so", "libnot_there.so"},
      {KST_FAKE_SERVICE_DIR, "libfake_no_end.so", "no entry point End"},
      {KST_FAKE_SERVICE_DIR, "libfake_init_fails.so", "Init gave 0"},
  };
  for (const Case& c : cases) {
    const ServiceBinding b = BindServiceLibrary(c.folder, c.file);
    EXPECT_FALSE(b.ok) << c.file;
    EXPECT_NE(b.message.find(c.mentions), std::string::npos) << b.message;
    EXPECT_EQ(b.message.find('\n'), std::string::npos) << b.message;
    EXPECT_FALSE(b.api.Complete());
  }
}

TEST(ServiceLibraryTest, CompleteLibraryIsBoundAndStarted) {
  const ServiceBinding b = BindServiceLibrary(KST_FAKE_SERVICE_DIR, "libfake_complete.so");
  ASSERT_TRUE(b.ok) << b.message;
  EXPECT_TRUE(b.message.empty());
  EXPECT_TRUE(b.api.Complete());
  EXPECT_EQ(b.api.Debug(7), 7);
}

TEST(ServiceLibraryDeathTest, MissingLibraryEndsTheProcessQuietlyWithOneLine) {
  EXPECT_EXIT(BindServiceLibraryOrExit(KST_FAKE_SERVICE_DIR, "libfake_no_end.so"),
              ::testing::ExitedWithCode(0), "^kestrune: .*no entry point End\n$");
}

}  // namespace
}  // namespace kst
