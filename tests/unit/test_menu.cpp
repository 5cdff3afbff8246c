#include "app/MainMenu.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using platform::StandardAction;

platform::MenuItem item(const char* title, const char* action, const char* key) {
  return {title, action, key, false};
}

platform::MenuItem item(const char* title, StandardAction action, const char* key) {
  return {title, "", key, false, action};
}

const platform::MenuItem separator{"", "", "", true};

} // namespace

TEST(MainMenu, HasTheApplicationMenuThenTheEditMenuThenTheViewMenu) {
  platform::MenuBar bar = mainMenu();
  ASSERT_EQ(bar.size(), 3u);

  EXPECT_EQ(bar[0].title, "");
  EXPECT_EQ(bar[0].items, (std::vector<platform::MenuItem>{
                              item("打开Dovrelist", "showMain", "o"),
                              item("关闭窗口", StandardAction::CloseWindow, "w"),
                              item("重新加载", "reloadPage", "r"),
                              separator,
                              item("退出Dovrelist", StandardAction::Quit, "q"),
                          }));

  EXPECT_EQ(bar[1].title, "编辑");
  EXPECT_EQ(bar[1].items, (std::vector<platform::MenuItem>{
                              item("撤销", StandardAction::Undo, "z"),
                              item("重做", StandardAction::Redo, "Z"),
                              separator,
                              item("剪切", StandardAction::Cut, "x"),
                              item("拷贝", StandardAction::Copy, "c"),
                              item("粘贴", StandardAction::Paste, "v"),
                              item("全选", StandardAction::SelectAll, "a"),
                          }));

  EXPECT_EQ(bar[2].title, "显示");
  EXPECT_EQ(bar[2].items, (std::vector<platform::MenuItem>{
                              item("放大", "zoomIn", "+"),
                              item("缩小", "zoomOut", "-"),
                              item("实际大小", "actualSize", "0"),
                          }));
}
