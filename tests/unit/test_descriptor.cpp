#include "platform/Descriptor.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace {

bool isOpen(int fd) {
  return ::fcntl(fd, F_GETFD) != -1;
}

} // namespace

// A write's last word may come at the close; and a descriptor closed once is
// never closed again, as its number may be another file's by then.
TEST(Descriptor, TellsHowTheCloseWentAndClosesOnlyOnce) {
  TempDir dir;
  const std::string file = (dir.path() / "f").string();

  platform::Descriptor first(::open(file.c_str(), O_WRONLY | O_CREAT, 0600));
  ASSERT_TRUE(first.valid());
  const int number = first.get();
  EXPECT_TRUE(first.close());
  EXPECT_FALSE(first.valid());
  EXPECT_FALSE(isOpen(number));
  // The same number, now another file's: neither a second close nor the end
  // of the first owner touches it.
  platform::Descriptor second(::open(file.c_str(), O_RDONLY));
  ASSERT_EQ(second.get(), number);
  EXPECT_TRUE(first.close());
  { platform::Descriptor ended = std::move(first); }
  EXPECT_TRUE(isOpen(number));

  // A close the system refuses is reported, with its cause.
  platform::Descriptor stale(::dup(second.get()));
  ASSERT_TRUE(stale.valid());
  ASSERT_EQ(::close(stale.get()), 0);
  platform::Result<void> refused = stale.close();
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.failure().code, EBADF);

  // Moved: the new owner closes it, the old one no longer owns it.
  platform::Descriptor moved = std::move(second);
  EXPECT_FALSE(second.valid());
  EXPECT_TRUE(isOpen(number));
  moved = platform::Descriptor();
  EXPECT_FALSE(isOpen(number));
}
