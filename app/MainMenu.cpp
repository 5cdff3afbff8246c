#include "app/MainMenu.h"

#include "app/constants.h"

#include <string>

namespace {

platform::MenuItem item(std::string title, std::string_view action, std::string key) {
  return platform::MenuItem{std::move(title), std::string(action), std::move(key), false};
}

platform::MenuItem separator() {
  return platform::MenuItem{{}, {}, {}, true};
}

} // namespace

platform::MenuBar mainMenu() {
  platform::Menu application;
  application.items = {
      item("打开" + std::string(APP_TITLE), SHOW_MAIN_ACTION, "o"),
      item("关闭窗口", "performClose:", "w"),
      item("重新加载", RELOAD_PAGE_ACTION, "r"),
      separator(),
      item("退出" + std::string(APP_TITLE), "terminate:", "q"),
  };

  platform::Menu edit;
  edit.title = "编辑";
  edit.items = {
      item("撤销", "undo:", "z"),      item("重做", "redo:", "Z"), separator(),
      item("剪切", "cut:", "x"),       item("拷贝", "copy:", "c"), item("粘贴", "paste:", "v"),
      item("全选", "selectAll:", "a"),
  };

  return {application, edit};
}
