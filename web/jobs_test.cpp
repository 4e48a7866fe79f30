// The uploads kept between requests: which go, and when.
#include "jobs.h"

#include <gtest/gtest.h>

TEST(Uploads, LeastRecentlyUsedGoFirstBeyondTheTotal) {
  // Used at 10, 30, 20 and 40 s; 100 bytes each.
  const std::vector<UploadUse> four = {{"a", 100, 10}, {"b", 100, 30}, {"c", 100, 20}, {"d", 100, 40}};
  EXPECT_TRUE(UploadsToRemove(four, 400, 1000, 50, "d").empty());
  EXPECT_EQ(UploadsToRemove(four, 399, 1000, 50, "d"), std::vector<std::string>{"a"});
  EXPECT_EQ(UploadsToRemove(four, 200, 1000, 50, "d"), (std::vector<std::string>{"a", "c"}));
  // The one just made stays even when it alone is beyond the total.
  EXPECT_EQ(UploadsToRemove(four, 50, 1000, 50, "d"), (std::vector<std::string>{"a", "c", "b"}));
  EXPECT_EQ(UploadsToRemove(four, 50, 1000, 50, "a"), (std::vector<std::string>{"c", "b", "d"}));
  // Sizes count, not numbers: the oldest go until the rest fit.
  const std::vector<UploadUse> sizes = {{"small", 10, 1}, {"large", 500, 2}, {"new", 10, 3}};
  EXPECT_EQ(UploadsToRemove(sizes, 400, 1000, 5, "new"), (std::vector<std::string>{"small", "large"}));
  EXPECT_EQ(UploadsToRemove(sizes, 520, 1000, 5, "new"), std::vector<std::string>{});
  EXPECT_EQ(UploadsToRemove(sizes, 519, 1000, 5, "new"), std::vector<std::string>{"small"});
}

TEST(Uploads, LongUnusedGoWhateverTheTotal) {
  const std::vector<UploadUse> three = {{"old", 1, 0}, {"recent", 1, 900}, {"older", 1, 50}};
  EXPECT_EQ(UploadsToRemove(three, 1'000'000, 600, 1000, ""), (std::vector<std::string>{"old", "older"}));
  EXPECT_EQ(UploadsToRemove(three, 1'000'000, 950, 1000, ""), std::vector<std::string>{"old"});
  EXPECT_EQ(UploadsToRemove(three, 1'000'000, 1000, 1000, ""), std::vector<std::string>{});  // just at the age
  EXPECT_EQ(UploadsToRemove(three, 1'000'000, 600, 1000, "old"), std::vector<std::string>{"older"});
}
