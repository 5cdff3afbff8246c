#include "platform/gtk/GtkWebKit.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::gtk {
namespace {

// The WebView a widget belongs to, on the widget, while that WebView lives.
constexpr const char* WEB_VIEW_KEY = "tessaloom-web-view";

class GtkWebViewImpl final : public WebView {
public:
  GtkWebViewImpl(const WebViewConfiguration& config, const StoreFolders& folders) {
    {
      GObjectPtr<WebKitWebsiteDataManager> manager(webkit_website_data_manager_new(
          "base-data-directory", folders.webDataDirectory.c_str(), "base-cache-directory",
          folders.webCacheDirectory.c_str(), nullptr));
      context_.reset(webkit_web_context_new_with_website_data_manager(manager.get()));
    }

    if (!config.schemeName.empty() && config.schemeHandler)
      registerScheme(context_.get(), config.schemeName, config.schemeHandler);
    downloads_ = std::make_unique<GtkDownloads>(context_.get(), delegate_);

    content_.reset(webkit_user_content_manager_new());
    for (const UserScript& script : config.userScripts)
      addUserScript(content_.get(), script);

    GtkWidget* widget = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_.get(),
                                                "user-content-manager", content_.get(), nullptr));
    view_.reset(WEBKIT_WEB_VIEW(g_object_ref_sink(widget)));
    g_object_set_data(G_OBJECT(view_.get()), WEB_VIEW_KEY, static_cast<WebView*>(this));
    // Once the view is there, so each channel reads its sender from it;
    // before anything loads, so the page finds them.
    for (const MessageChannel& channel : config.channels)
      channelSignals_.push_back(addMessageChannel(content_.get(), channel, view_.get()));
    WebKitSettings* settings = webkit_web_view_get_settings(view_.get());
    webkit_settings_set_allow_file_access_from_file_urls(settings,
                                                         config.allowFileAccessFromFileURLs);
    g_signal_connect(view_.get(), "decide-policy", G_CALLBACK(&GtkWebViewImpl::onDecidePolicy),
                     this);
    g_signal_connect(view_.get(), "run-file-chooser", G_CALLBACK(&GtkWebViewImpl::onFileChooser),
                     this);
    g_signal_connect(view_.get(), "create", G_CALLBACK(&GtkWebViewImpl::onCreate), this);
    g_signal_connect(view_.get(), "load-changed", G_CALLBACK(&GtkWebViewImpl::onLoadChanged), this);
    g_signal_connect(view_.get(), "load-failed", G_CALLBACK(&GtkWebViewImpl::onLoadFailed), this);
    g_signal_connect(view_.get(), "web-process-terminated",
                     G_CALLBACK(&GtkWebViewImpl::onWebProcessTerminated), this);
  }

  ~GtkWebViewImpl() override {
    g_object_set_data(G_OBJECT(view_.get()), WEB_VIEW_KEY, nullptr);
    g_signal_handlers_disconnect_by_data(view_.get(), this);
    downloads_.reset();
    for (gulong id : channelSignals_)
      g_signal_handler_disconnect(content_.get(), id);
    // The members then let go of the view, its content manager and its
    // context, in that order.
    gtk_widget_destroy(GTK_WIDGET(view_.get()));
  }

  void loadRequest(const std::string& url, double) override {
    webkit_web_view_load_uri(view_.get(), url.c_str());
  }
  void reload() override { webkit_web_view_reload(view_.get()); }
  void evaluateJavaScript(const std::string& script) override {
    webkit_web_view_evaluate_javascript(view_.get(), script.c_str(), -1, nullptr, nullptr, nullptr,
                                        nullptr, nullptr);
  }
  std::string currentURL() override {
    const char* uri = webkit_web_view_get_uri(view_.get());
    return uri ? uri : "";
  }
  void readTitle(std::function<void(std::string)> done) override {
    // get_title lags the page at load end; the document itself does not.
    using Done = std::function<void(std::string)>;
    auto pending = std::make_unique<Done>(std::move(done));
    // The engine calls back exactly once, even when the view goes first: the
    // callback takes the function back there.
    webkit_web_view_evaluate_javascript(
        view_.get(), "document.title", -1, nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          std::unique_ptr<Done> callback(static_cast<Done*>(data));
          std::string title;
          GObjectPtr<JSCValue> value(
              webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr));
          if (value && jsc_value_is_string(value.get())) {
            GCharPtr text(jsc_value_to_string(value.get()));
            title = text ? text.get() : "";
          }
          (*callback)(title);
        },
        pending.release());
  }
  void setDelegate(WebViewDelegate* delegate) override { *delegate_ = delegate; }
  void setAllowsBackForwardNavigationGestures(bool allow) override {
    webkit_settings_set_enable_back_forward_navigation_gestures(
        webkit_web_view_get_settings(view_.get()), allow);
  }

  void setZoom(double factor) override {
    // Text and layout alike, not the text alone.
    webkit_settings_set_zoom_text_only(webkit_web_view_get_settings(view_.get()), FALSE);
    webkit_web_view_set_zoom_level(view_.get(), factor);
  }

  GtkWidget* widget() { return GTK_WIDGET(view_.get()); }
  WebKitWebView* webView() { return view_.get(); }

private:
  WebViewDelegate* delegate() const { return *delegate_; }

  static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer data) {
    auto* self = static_cast<GtkWebViewImpl*>(data);
    if (!self->delegate())
      return FALSE;
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION)
      return decideNavigationAction(self, WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    if (type != WEBKIT_POLICY_DECISION_TYPE_RESPONSE)
      return FALSE;
    auto* responseDecision = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    WebKitURIResponse* response = webkit_response_policy_decision_get_response(responseDecision);
    const char* uri = webkit_uri_response_get_uri(response);
    // The first word that the navigation is the main frame's, and at the
    // address it ended at: refused, it is stopped before anything is shown.
    if (webkit_response_policy_decision_is_main_frame_main_resource(responseDecision) &&
        askForMainFrame(self, uri ? uri : "") != NavigationActionPolicy::Allow) {
      webkit_policy_decision_ignore(decision);
      return TRUE;
    }
    NavigationResponse reported;
    if (uri)
      reported.url = uri;
    reported.canShowMIMEType =
        webkit_response_policy_decision_is_mime_type_supported(responseDecision);
    reported.suggestedFilename = suggestedFilename(response);
    switch (self->delegate()->decidePolicyForNavigationResponse(reported)) {
    case ResponsePolicy::Allow:
      webkit_policy_decision_use(decision);
      break;
    case ResponsePolicy::Download:
      webkit_policy_decision_download(decision);
      break;
    case ResponsePolicy::Ignore:
      webkit_policy_decision_ignore(decision);
      break;
    }
    return TRUE;
  }

  // WebKitGTK tells neither the frame nor a download attribute here; the
  // main frame's navigations are asked about again once it tells the frame.
  // A new window's request goes on to "create", which opens none.
  static gboolean decideNavigationAction(GtkWebViewImpl* self,
                                         WebKitNavigationPolicyDecision* decision) {
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(decision);
    WebKitURIRequest* request = action ? webkit_navigation_action_get_request(action) : nullptr;
    const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
    NavigationAction reported;
    reported.url = uri ? uri : "";
    reported.frame = NavigationFrame::Unknown;
    applyNavigationPolicy(WEBKIT_POLICY_DECISION(decision),
                          self->delegate()->decidePolicyForNavigationAction(reported));
    return TRUE;
  }

  static void applyNavigationPolicy(WebKitPolicyDecision* decision, NavigationActionPolicy policy) {
    switch (policy) {
    case NavigationActionPolicy::Allow:
      webkit_policy_decision_use(decision);
      break;
    case NavigationActionPolicy::Download:
      webkit_policy_decision_download(decision);
      break;
    case NavigationActionPolicy::Cancel:
      webkit_policy_decision_ignore(decision);
      break;
    }
  }

  static gboolean onFileChooser(WebKitWebView*, WebKitFileChooserRequest* request, gpointer data) {
    auto* self = static_cast<GtkWebViewImpl*>(data);
    if (!self->delegate())
      return FALSE;
    OpenPanelParameters parameters;
    parameters.allowsMultipleSelection = webkit_file_chooser_request_get_select_multiple(request);
    parameters.allowsDirectories = false;
    self->delegate()->runOpenPanel(
        parameters, [held = GObjectRef<WebKitFileChooserRequest>(request)](
                        std::optional<std::vector<std::filesystem::path>> files) {
          if (files && !files->empty()) {
            std::vector<const gchar*> names;
            for (const auto& f : *files)
              names.push_back(f.c_str());
            names.push_back(nullptr);
            webkit_file_chooser_request_select_files(held.get(), names.data());
          } else {
            webkit_file_chooser_request_cancel(held.get());
          }
        });
    return TRUE;
  }

  static GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
    auto* self = static_cast<GtkWebViewImpl*>(data);
    if (self->delegate()) {
      std::optional<std::string> url;
      WebKitURIRequest* request = webkit_navigation_action_get_request(action);
      if (const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr)
        url = std::string(uri);
      self->delegate()->createWebView(url);
    }
    return nullptr;
  }

  static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    auto* self = static_cast<GtkWebViewImpl*>(data);
    if (event == WEBKIT_LOAD_FINISHED && self->delegate())
      self->delegate()->didFinishNavigation();
  }

  // A main-frame load that fails before any response was never asked about
  // as the main frame's; the engine would show its error page for it there.
  // One the main frame may not show is asked about now and, refused, shows
  // nothing: the page stays. A stopped load shows nothing anyway.
  static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, const char* uri, GError* error,
                               gpointer data) {
    auto* self = static_cast<GtkWebViewImpl*>(data);
    if (!self->delegate() || !uri ||
        g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
        g_error_matches(error, WEBKIT_POLICY_ERROR,
                        WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE))
      return FALSE;
    return askForMainFrame(self, uri) != NavigationActionPolicy::Allow;
  }

  static NavigationActionPolicy askForMainFrame(GtkWebViewImpl* self, const char* uri) {
    NavigationAction reported;
    reported.url = uri;
    reported.frame = NavigationFrame::Main;
    return self->delegate()->decidePolicyForNavigationAction(reported);
  }

  static void onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                     gpointer data) {
    auto* self = static_cast<GtkWebViewImpl*>(data);
    if (!self->delegate())
      return;
    PageProcessEnd end = PageProcessEnd::Unknown;
    switch (reason) {
    case WEBKIT_WEB_PROCESS_CRASHED:
      end = PageProcessEnd::Crashed;
      break;
    case WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT:
      end = PageProcessEnd::ExceededMemoryLimit;
      break;
    case WEBKIT_WEB_PROCESS_TERMINATED_BY_API:
      end = PageProcessEnd::EndedThroughAPI;
      break;
    }
    self->delegate()->webContentProcessDidTerminate(end);
  }

  // Declared in this order so that they go view first, context last.
  GObjectPtr<WebKitWebContext> context_;
  GObjectPtr<WebKitUserContentManager> content_;
  GObjectPtr<WebKitWebView> view_;
  // Shared with the downloads, which ask it too.
  std::shared_ptr<WebViewDelegate*> delegate_ = std::make_shared<WebViewDelegate*>(nullptr);
  std::vector<gulong> channelSignals_;
  std::unique_ptr<GtkDownloads> downloads_;
};

} // namespace

std::shared_ptr<WebView> makeWebView(const WebViewConfiguration& configuration,
                                     const StoreFolders& folders) {
  return std::make_shared<GtkWebViewImpl>(configuration, folders);
}

GtkWidget* webViewWidget(WebView& view) {
  return static_cast<GtkWebViewImpl&>(view).widget();
}

WebView* webViewOfWidget(GtkWidget* widget) {
  return static_cast<WebView*>(g_object_get_data(G_OBJECT(widget), WEB_VIEW_KEY));
}

void runEditingCommand(WebView& view, StandardAction action) {
  const char* command = nullptr;
  switch (action) {
  case StandardAction::Undo:
    command = WEBKIT_EDITING_COMMAND_UNDO;
    break;
  case StandardAction::Redo:
    command = WEBKIT_EDITING_COMMAND_REDO;
    break;
  case StandardAction::Cut:
    command = WEBKIT_EDITING_COMMAND_CUT;
    break;
  case StandardAction::Copy:
    command = WEBKIT_EDITING_COMMAND_COPY;
    break;
  case StandardAction::Paste:
    command = WEBKIT_EDITING_COMMAND_PASTE;
    break;
  case StandardAction::SelectAll:
    command = WEBKIT_EDITING_COMMAND_SELECT_ALL;
    break;
  case StandardAction::None:
  case StandardAction::CloseWindow:
  case StandardAction::Quit:
    return;
  }
  webkit_web_view_execute_editing_command(static_cast<GtkWebViewImpl&>(view).webView(), command);
}

} // namespace platform::gtk