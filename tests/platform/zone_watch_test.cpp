// Tests of ZoneWatch: every way the environment can change TZ is seen (and
// the zone re-read), and nothing else counts as a change.
#include <gtest/gtest.h>
#include <korvo/platform/zone_watch_internal.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace korvo::test {
namespace {

using korvo::platform::LocalOffsetAt;
using korvo::platform::ZoneWatch;

long OffsetNow() {
  long offset = 0;
  EXPECT_TRUE(LocalOffsetAt(1700000000, &offset));
  return offset;
}

// Puts the process's environment back as it was when the test began.
class SavedEnvironment {
 public:
  SavedEnvironment() : saved_(environ) {}
  ~SavedEnvironment() { environ = saved_; }

 private:
  char** saved_;
};

TEST(ZoneWatch, SeesEveryChangeOfTzAndNothingElse) {
  SavedEnvironment restore;
  static ZoneWatch watch;  // large: not on the stack
  unsetenv("TZ");
  EXPECT_TRUE(watch.Changed());  // the first look
  EXPECT_FALSE(watch.Changed());

  setenv("TZ", "EST5", 1);
  EXPECT_TRUE(watch.Changed());
  EXPECT_EQ(-5 * 3600, OffsetNow());
  EXPECT_FALSE(watch.Changed());
  setenv("TZ", "EST5", 1);  // the same zone again
  EXPECT_FALSE(watch.Changed());

  // Other variables come and go, before and after TZ in the list.
  setenv("KORVO_ZONE_WATCH_OTHER", "1", 1);
  EXPECT_FALSE(watch.Changed());
  unsetenv("KORVO_ZONE_WATCH_OTHER");
  EXPECT_FALSE(watch.Changed());

  // A string given to putenv is the environment: editing it edits TZ.
  static char given[] = "TZ=CET-1";
  putenv(given);
  EXPECT_TRUE(watch.Changed());
  EXPECT_EQ(3600, OffsetNow());
  given[4] = 'S';  // "TZ=CST-1"
  given[7] = '2';  // "TZ=CST-2"
  EXPECT_TRUE(watch.Changed());
  EXPECT_EQ(2 * 3600, OffsetNow());

  unsetenv("TZ");
  EXPECT_TRUE(watch.Changed());
  EXPECT_FALSE(watch.Changed());

  // A list of one's own; its last string then becomes a TZ entry at the
  // same address, as a string freed and reused by setenv would.
  static char other[] = "KORVO_A=1";
  static char last[] = "XZ=JST-9";
  char* own[] = {other, last, nullptr};
  environ = own;
  EXPECT_FALSE(watch.Changed());  // still no TZ
  last[0] = 'T';
  EXPECT_TRUE(watch.Changed());
  EXPECT_EQ(9 * 3600, OffsetNow());

  clearenv();
  EXPECT_TRUE(watch.Changed());
  EXPECT_FALSE(watch.Changed());
  EXPECT_EQ(0, setenv("TZ", "EST5", 1));
  EXPECT_TRUE(watch.Changed());
  EXPECT_EQ(-5 * 3600, OffsetNow());
}

// Past what the watch keeps a copy of (a long list, a long TZ), every
// change is still seen.
TEST(ZoneWatch, FollowsTzInALongEnvironmentAndALongZone) {
  SavedEnvironment restore;
  static ZoneWatch watch;
  for (int i = 0; i < 300; ++i) {
    setenv(("KORVO_ZONE_WATCH_" + std::to_string(i)).c_str(), "x", 1);
  }
  setenv("TZ", "EST5", 1);
  watch.Changed();
  EXPECT_FALSE(watch.Changed());
  setenv("TZ", "JST-9", 1);
  EXPECT_TRUE(watch.Changed());
  EXPECT_EQ(9 * 3600, OffsetNow());

  // Not a zone the C library can read: it answers in UTC.
  const std::string long_zone(200, 'x');
  setenv("TZ", long_zone.c_str(), 1);
  EXPECT_TRUE(watch.Changed());
  setenv("TZ", "EST5", 1);
  EXPECT_TRUE(watch.Changed());
  EXPECT_EQ(-5 * 3600, OffsetNow());
  setenv("TZ", long_zone.c_str(), 1);
  EXPECT_TRUE(watch.Changed());
  EXPECT_EQ(0, OffsetNow());
}

}  // namespace
}  // namespace korvo::test
