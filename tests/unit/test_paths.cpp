#include "system/Paths.h"

#include <gtest/gtest.h>

// The install counts an app that is the Applications folder itself as
// installed there; the scheme never serves the resource folder itself.
TEST(IsWithin, TheFolderItselfCountsOnlyWhenAskedAndNothingBesideItEver) {
  for (FolderItself itself : {FolderItself::Counts, FolderItself::DoesNotCount}) {
    EXPECT_TRUE(isWithin("/a/b/c", "/a/b", itself));
    EXPECT_TRUE(isWithin("/a/b/c/d", "/a/b", itself));
    EXPECT_FALSE(isWithin("/a/bc", "/a/b", itself));
    EXPECT_FALSE(isWithin("/a", "/a/b", itself));
    EXPECT_FALSE(isWithin("/x/b/c", "/a/b", itself));
    EXPECT_FALSE(isWithin("a/b/c", "/a/b", itself));
  }
  EXPECT_TRUE(isWithin("/a/b", "/a/b", FolderItself::Counts));
  EXPECT_FALSE(isWithin("/a/b", "/a/b", FolderItself::DoesNotCount));
}
