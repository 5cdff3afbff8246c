#include "app/MainMenu.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

platform::MenuItem item(const char* title, const char* action, const char* key) {
  return {title, action, key, false};
}

const platform::MenuItem separator{"", "", "", true};

} // namespace

TEST(MainMenu, HasTheApplicationMenuThenTheEditMenuThenTheViewMenu) {
  platform::MenuBar bar = mainMenu();
  ASSERT_EQ(bar.size(), 3u);

  EXPECT_EQ(bar[0].title, "");
  EXPECT_EQ(bar[0].items, (std::vector<platform::MenuItem>{
                              item("打开Dovrelist", "showMain", "o"),
                              item("关闭窗口", "performClose:", "w"),
                              item("重新加载", "reloadPage", "r"),
                              separator,
                              item("退出Dovrelist", "terminate:", "q"),
                          }));

  EXPECT_EQ(bar[1].title, "编辑");
  EXPECT_EQ(bar[1].items, (std::vector<platform::MenuItem>{
                              item("撤销", "undo:", "z"),
                              item("重做", "redo:", "Z"),
                              separator,
                              item("剪切", "cut:", "x"),
                              item("拷贝", "copy:", "c"),
                              item("粘贴", "paste:", "v"),
                              item("全选", "selectAll:", "a"),
                          }));

  EXPECT_EQ(bar[2].title, "显示");
  EXPECT_EQ(bar[2].items, (std::vector<platform::MenuItem>{
                              item("放大", "zoomIn", "+"),
                              item("缩小", "zoomOut", "-"),
                              item("实际大小", "actualSize", "0"),
                          }));
}

TEST(MainMenu, TheDelegateActionsAreTheOnesTheMenuSends) {
  platform::MenuBar bar = mainMenu();
  EXPECT_EQ(bar[0].items[0].action, SHOW_MAIN_ACTION);
  EXPECT_EQ(bar[0].items[2].action, RELOAD_PAGE_ACTION);
  EXPECT_EQ(bar[2].items[0].action, ZOOM_IN_ACTION);
  EXPECT_EQ(bar[2].items[1].action, ZOOM_OUT_ACTION);
  EXPECT_EQ(bar[2].items[2].action, ACTUAL_SIZE_ACTION);
}
