#pragma once

// The web view's jobs other than the view itself, each in a file of its own:
// user scripts, script messages, the app's scheme and downloads.

#include "platform/gtk/GtkInternal.h"

#include <webkit2/webkit2.h>

#include <memory>
#include <string>
#include <vector>

namespace platform::gtk {

void addUserScript(WebKitUserContentManager* content, const UserScript& script);

// Registers the channel and connects its handler; the id returned is the
// connection's, for the view to disconnect. The sender is read, as each
// message arrives, from the view, which the channel does not keep alive: a
// message after the view has gone has no sender.
gulong addMessageChannel(WebKitUserContentManager* content, const MessageChannel& channel,
                         WebKitWebView* view);

// Serves the scheme's addresses through the handler, as a secure scheme
// that may answer cross-origin requests.
void registerScheme(WebKitWebContext* context, const std::string& schemeName,
                    const SchemeHandlerFunction& handler);

// The name a response proposes for itself, or else the last segment of its
// address.
std::string suggestedFilename(WebKitURIResponse* response);

// Follows the downloads a context starts, asking the delegate the view has
// at the time whether each goes ahead and where it goes. The view's delegate
// is shared with it, not referred to: it never reaches into the view.
class GtkDownloads {
public:
  GtkDownloads(WebKitWebContext* context, std::shared_ptr<WebViewDelegate* const> delegate);
  ~GtkDownloads();
  GtkDownloads(const GtkDownloads&) = delete;
  GtkDownloads& operator=(const GtkDownloads&) = delete;

private:
  static void onStarted(WebKitWebContext*, WebKitDownload* download, gpointer data);
  static gboolean onDecideDestination(WebKitDownload* download, gchar* suggested, gpointer data);
  static void onFailed(WebKitDownload* download, GError* error, gpointer data);
  static void onFinished(WebKitDownload* download, gpointer data);

  WebViewDelegate* delegate() const { return *delegate_; }

  GObjectRef<WebKitWebContext> context_;
  std::shared_ptr<WebViewDelegate* const> delegate_;
  // Held until each ends, so a late destination still has it.
  std::vector<GObjectRef<WebKitDownload>> running_;
};

} // namespace platform::gtk
