#include "app/PageZoom.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(PageZoom, StepsUpAndDownTheLadderFromAnyLevelAndStopsAtTheEnds) {
  std::vector<int> up{50};
  while (up.back() != zoomedIn(up.back()))
    up.push_back(zoomedIn(up.back()));
  EXPECT_EQ(up, (std::vector<int>{50, 67, 75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300}));
  std::vector<int> down{300};
  while (down.back() != zoomedOut(down.back()))
    down.push_back(zoomedOut(down.back()));
  EXPECT_EQ(down, (std::vector<int>{300, 250, 200, 175, 150, 125, 110, 100, 90, 80, 75, 67, 50}));
  // A level between steps (written by hand) goes to the next step past it.
  EXPECT_EQ(zoomedIn(130), 150);
  EXPECT_EQ(zoomedOut(130), 125);
}

TEST(PageZoom, AStoredLevelIsAWholePercentWithinRangeElseTheActualSize) {
  EXPECT_EQ(pageZoomFromString(std::nullopt), 100);
  EXPECT_EQ(pageZoomFromString(stringFromPageZoom(175)), 175);
  EXPECT_EQ(stringFromPageZoom(67), "67");
  EXPECT_EQ(pageZoomFromString("50"), 50);
  EXPECT_EQ(pageZoomFromString("300"), 300);
  for (std::string bad : {"", "49", "301", "-100", "1.5", "150%", " 150", "abc", "99999999999999"})
    EXPECT_EQ(pageZoomFromString(bad), 100) << bad;
}
