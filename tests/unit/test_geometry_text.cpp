#include "platform/GeometryText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

using platform::Point;
using platform::Rect;

TEST(GeometryText, WritesAppKitForms) {
  EXPECT_EQ(stringFromRect({{0, 0}, {1360, 840}}), "{{0, 0}, {1360, 840}}");
  EXPECT_EQ(stringFromRect({{-12.5, 80}, {1500.25, 900}}), "{{-12.5, 80}, {1500.25, 900}}");
  EXPECT_EQ(stringFromPoint({1340, 114}), "{1340, 114}");
  EXPECT_EQ(stringFromPoint({-3.75, 0.1}), "{-3.75, 0.1}");
}

TEST(GeometryText, RoundTrips) {
  for (Rect r : {Rect{{0, 0}, {1360, 840}}, Rect{{-100.5, 3e-3}, {1170, 460}},
                 Rect{{1e5, -1e5}, {0.1, 0.2}}}) {
    EXPECT_EQ(rectFromString(stringFromRect(r)), r);
  }
  for (Point p : {Point{0, 0}, Point{1340, 114}, Point{-0.5, 12345.678}}) {
    EXPECT_EQ(pointFromString(stringFromPoint(p)), p);
  }
}

TEST(GeometryText, ParsesLeniently) {
  EXPECT_EQ(rectFromString("{{1, 2}, {3, 4}}"), (Rect{{1, 2}, {3, 4}}));
  EXPECT_EQ(rectFromString("1 2 3 4"), (Rect{{1, 2}, {3, 4}}));
  EXPECT_EQ(rectFromString("x=1;y=-2;w=+3;h=.5 and 99"), (Rect{{1, -2}, {3, 0.5}}));
  // Missing numbers are 0.
  EXPECT_EQ(rectFromString("{{10, 20}, {1500"), (Rect{{10, 20}, {1500, 0}}));
  EXPECT_EQ(rectFromString("not a rectangle"), Rect{});
  EXPECT_EQ(rectFromString(""), Rect{});
  EXPECT_EQ(pointFromString("{7}"), (Point{7, 0}));
  EXPECT_EQ(pointFromString("{-, .}"), (Point{0, 0}));
  EXPECT_EQ(pointFromString("--5, 1e2"), (Point{-5, 100}));
}

TEST(GeometryText, OddNumbersStayRecognisable) {
  // Values a caller must reject are kept, not turned into plausible sizes.
  Rect huge = rectFromString("{{0, 0}, {1e300, 1e999}}");
  EXPECT_EQ(huge.size.width, 1e300);
  EXPECT_TRUE(std::isinf(huge.size.height));
  Rect nan = rectFromString("{{0, 0}, {1500, nan}}");
  EXPECT_EQ(nan.size.width, 1500);
  EXPECT_FALSE(nan.size.height > 0);
  // Words are not numbers: "-inf" is skipped and the next number moves up.
  EXPECT_EQ(rectFromString("{{0, 0}, {-inf, 5}}"), (Rect{{0, 0}, {5, 0}}));
}

TEST(GeometryText, ReadsAndWritesTheSameUnderACommaDecimalLocale) {
  // GTK sets the process locale from the environment; a German one writes
  // 1360,5 with printf and reads "1360.5" as 1360 with strtod.
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
    GTEST_SKIP() << "no de_DE.UTF-8 locale (scripts/deps.sh makes one)";
  ASSERT_EQ(*std::localeconv()->decimal_point, ',');
  EXPECT_EQ(stringFromRect({{-12.5, 80}, {1360.5, 840.25}}), "{{-12.5, 80}, {1360.5, 840.25}}");
  EXPECT_EQ(rectFromString("{{-12.5, 80}, {1360.5, 840.25}}"),
            (Rect{{-12.5, 80}, {1360.5, 840.25}}));
  EXPECT_EQ(stringFromPoint({-3.75, 0.1}), "{-3.75, 0.1}");
  EXPECT_EQ(pointFromString("{-3.75, 0.1}"), (Point{-3.75, 0.1}));
  std::setlocale(LC_ALL, previous.c_str());
}
