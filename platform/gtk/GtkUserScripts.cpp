#include "platform/gtk/GtkWebKit.h"

#include <string>
#include <vector>

namespace platform::gtk {

// The content manager takes a reference of its own.
using UserScriptPtr = GOwned<WebKitUserScript, webkit_user_script_unref>;

void addUserScript(WebKitUserContentManager* content, const UserScript& script) {
  std::vector<const char*> allow;
  for (const std::string& pattern : script.allowList)
    allow.push_back(pattern.c_str());
  allow.push_back(nullptr);
  const char* const* allowList = script.allowList.empty() ? nullptr : allow.data();
  auto frames = script.mainFrameOnly ? WEBKIT_USER_CONTENT_INJECT_TOP_FRAME
                                     : WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES;
  auto time = script.atDocumentStart ? WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START
                                     : WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END;
  UserScriptPtr s(
      script.world.empty()
          ? webkit_user_script_new(script.source.c_str(), frames, time, allowList, nullptr)
          : webkit_user_script_new_for_world(script.source.c_str(), frames, time,
                                             script.world.c_str(), allowList, nullptr));
  webkit_user_content_manager_add_script(content, s.get());
}

} // namespace platform::gtk
