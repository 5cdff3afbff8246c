#pragma once

#include "identity/identity.h"

#include <string>

// The native side's own Chinese texts: the menus, the alerts, the line a
// second start prints and the messages the page is given to show for
// autostart and install. The wording is kept here and nowhere else. Not here:
// the page's own texts (its files'), the system's descriptions of errors, and
// the English answers of the command channel and the scheme ("unknown cmd",
// "Resource not found"), which only the page and the engine read.

// The main window's menus.
inline const std::string OPEN_APP_TEXT = "打开" + std::string(APP_TITLE);
inline const std::string CLOSE_WINDOW_TEXT = "关闭窗口";
inline const std::string RELOAD_TEXT = "重新加载";
inline const std::string QUIT_APP_TEXT = "退出" + std::string(APP_TITLE);
inline const std::string EDIT_MENU_TEXT = "编辑";
inline const std::string UNDO_TEXT = "撤销";
inline const std::string REDO_TEXT = "重做";
inline const std::string CUT_TEXT = "剪切";
inline const std::string COPY_TEXT = "拷贝";
inline const std::string PASTE_TEXT = "粘贴";
inline const std::string SELECT_ALL_TEXT = "全选";
inline const std::string VIEW_MENU_TEXT = "显示";
inline const std::string ZOOM_IN_TEXT = "放大";
inline const std::string ZOOM_OUT_TEXT = "缩小";
inline const std::string ACTUAL_SIZE_TEXT = "实际大小";

// The ball's menu: OPEN_APP_TEXT, and this.
inline const std::string QUIT_TEXT = "退出";

// The message text of the system's one failure alert, for a failed save and a
// failed download alike; the system's description of the error is its
// informative text.
inline const std::string FAILURE_ALERT_TEXT = "导出失败";

// Why nothing was saved of a file the page made: it is larger than a save
// can carry. Sizes in whole megabytes (2^20 bytes), the file's rounded up.
inline std::string saveTooLargeReason(unsigned long long fileMegabytes,
                                      unsigned long long limitMegabytes) {
  return "文件有 " + std::to_string(fileMegabytes) + " MB，超过了一次能导出的 " +
         std::to_string(limitMegabytes) + " MB。";
}

// Informative texts of the failure alert for a download the engine called
// finished: fewer bytes arrived than the response announced, so the chosen
// file was left as it was.
inline const std::string DOWNLOAD_CUT_SHORT_TEXT =
    "下载提前中断，收到的内容比服务器声明的少。原来的文件已保留，没有被替换。";

// Nothing told whether the download arrived whole, and the previous file,
// which would have gone to the Trash first, could not; so nothing was
// replaced. Around the system's description of why.
inline std::string previousNotTrashedMessage(const std::string& reason) {
  return "无法确认下载是否完整，原来的文件也无法移到废纸篓（" + reason +
         "）。原来的文件已保留，没有被替换。";
}

// The previous file went to the Trash, then the new one could not take its
// place. Around the system's description of why.
inline std::string previousInTrashMessage(const std::string& reason) {
  return "无法保存下载的文件（" + reason + "）。原来的文件在废纸篓中。";
}

// The informative text of the failure alert for a download of one of the
// app's own addresses that the app could not read from its files (missing,
// too large, or not inside its folder).
inline const std::string OWN_FILE_UNREADABLE_TEXT =
    "无法读取 App 自带的这个文件：它可能已缺失、过大，或不在 App 的文件夹里。";

// The page's process ended too often in a row; the buttons are RELOAD_TEXT
// and QUIT_APP_TEXT.
inline const std::string PAGE_STOPPED_TITLE = "页面意外停止";
inline const std::string PAGE_STOPPED_MESSAGE = std::string(APP_TITLE) + " 的页面反复意外停止。";

// What a second start says when it cannot hand over to the running copy.
inline const std::string ALREADY_RUNNING_MESSAGE = std::string(APP_TITLE) + " 已在运行。";
// The informative text of the alert with it: the running copy was asked to
// show its window and did not answer.
inline const std::string NOT_ANSWERING_TEXT =
    "正在运行的 " + std::string(APP_TITLE) +
    " 没有响应，它可能已被暂停或卡住。请切换到它的窗口，或结束它后再打开。";

// A start that cannot take the lock that keeps to one running copy does not
// go on, and says why in an alert (and on standard error): this title, and
// the message around the lock file's path and the cause, one of the three
// below or the system's description of the error.
inline const std::string LOCK_UNAVAILABLE_TITLE = std::string(APP_TITLE) + " 无法启动";
inline const std::string LOCK_IS_LINK_CAUSE = "这里是一个链接";
inline const std::string LOCK_IS_FOLDER_CAUSE = "这里是一个文件夹";
inline const std::string LOCK_IS_OTHER_KIND_CAUSE = "这里不是普通文件";
// removeIt: what stands there is in the way and can go; otherwise the
// system refused the file or its folder.
inline std::string lockUnavailableMessage(const std::string& path, const std::string& cause,
                                          bool removeIt) {
  return "无法锁定 " + path + "（" + cause + "）。没有这把锁就无法确认没有另一个 " +
         std::string(APP_TITLE) + " 正在使用同一份数据，所以这次没有启动。" +
         (removeIt ? "请删除这个项目" : "请检查这个文件和它所在文件夹的权限") + "，再打开 " +
         std::string(APP_TITLE) + "。";
}

// Why turning autostart on was refused while translocated, for the page.
inline const std::string TRANSLOCATED_AUTOSTART_ERROR =
    "App 正从临时位置运行，登录后无法从这里启动。请先安装：把 App 放进「应用程序」，"
    "打开那里的 App，再在那里打开开机自启。";

// Why turning autostart on did not make it start at login although the item
// was written: the system has it switched off or awaits the user's approval.
// System Settings lists the item under the bundle's name.
inline const std::string AUTOSTART_NOT_ALLOWED_ERROR =
    "开机自启已设置，但 macOS 还没有允许它：请在「系统设置 › 通用 › 登录项」中打开「" +
    std::string(BUNDLE_NAME) + "」。";

// Why an install failed, for the page: installFailureMessage around the
// reason, the system's description of the failing step or one of the app's
// own refusals below.

// The app's path names no folder to copy (it is "/", say).
inline const std::string INSTALL_NO_APP_FOLDER_REASON = "App 的位置没有指明可以复制的文件夹";
// The program runs from outside the app's folder: a copy of the folder would
// not hold it.
inline const std::string INSTALL_PROGRAM_OUTSIDE_APP_REASON =
    "App 的程序文件不在 App 的文件夹里，复制出的 App 无法启动";
// The Applications folder lies inside the app's own folder.
inline const std::string INSTALL_INTO_ITSELF_REASON =
    "「应用程序」文件夹在 App 自己的文件夹里面，App 不能复制进它自己";
// Linux: the copy's path cannot be written into its launcher entry.
inline const std::string INSTALL_PATH_NOT_IN_ENTRY_REASON = "复制出的 App 的路径无法写进启动器条目";
// Linux: the finished copy holds no program to start.
inline const std::string INSTALL_COPY_HAS_NO_PROGRAM_REASON = "复制出的 App 里找不到它的程序文件";

// Why macOS refused to replace the copy in Applications: from macOS 13 the
// system's App Management protects apps there from other apps.
inline const std::string APP_MANAGEMENT_REFUSED_REASON =
    "macOS 不允许替换「应用程序」里的 App：请在「系统设置 › 隐私与安全性 › App 管理」中允许 " +
    std::string(BUNDLE_NAME) + "，再试一次";

// The frame of every install failure's message.
inline std::string installFailureMessage(const std::string& reason) {
  return "复制到应用程序文件夹失败（" + reason +
         "）。可以手动把 App 拖进「应用程序」再点一次开机自启。";
}
