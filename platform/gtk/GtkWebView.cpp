#include "platform/gtk/GtkInternal.h"

#include "platform/MessageBody.h"

#include <webkit2/webkit2.h>

#include <cstdint>
#include <string>
#include <vector>

namespace platform::gtk {
namespace {

// Reads JavaScriptCore values for convertBody. Values are borrowed: every
// value this reader creates lives only for the call it is handed to. The
// values are the engine's copy of what the page posted, made in a context of
// this process, so no page code runs while they are read.
class JscReader {
public:
  explicit JscReader(JSCContext* context)
      : textLength_(jsc_context_evaluate(context, TEXT_LENGTH_JS, -1)),
        pieceEnd_(jsc_context_evaluate(context, PIECE_END_JS, -1)),
        slice_(jsc_context_evaluate(context, SLICE_JS, -1)),
        keys_(jsc_context_evaluate(context, "(function (o) { return Object.keys(o); })", -1)),
        member_(jsc_context_evaluate(context, "(function (o, k) { return o[k]; })", -1)) {}
  JscReader(const JscReader&) = delete;
  JscReader& operator=(const JscReader&) = delete;

  BodyKind kind(JSCValue* v) const {
    if (jsc_value_is_null(v) || jsc_value_is_undefined(v))
      return BodyKind::Null;
    if (jsc_value_is_boolean(v))
      return BodyKind::Boolean;
    if (jsc_value_is_number(v))
      return BodyKind::Floating;
    if (jsc_value_is_string(v))
      return BodyKind::String;
    if (jsc_value_is_array(v))
      return BodyKind::Array;
    // Binary data has no JSON form, and listing its indices as members
    // would cost one string per byte.
    if (jsc_value_is_function(v) || jsc_value_is_typed_array(v) || jsc_value_is_array_buffer(v))
      return BodyKind::Other;
    if (jsc_value_is_object(v))
      return BodyKind::Dictionary;
    return BodyKind::Other;
  }
  bool boolean(JSCValue* v) const { return jsc_value_to_boolean(v); }
  std::int64_t integer(JSCValue* v) const { return jsc_value_to_int32(v); }
  std::uint64_t unsignedInteger(JSCValue* v) const { return std::uint64_t(jsc_value_to_double(v)); }
  double floating(JSCValue* v) const { return jsc_value_to_double(v); }

  // The text's UTF-8, read once into its place, a piece at a time: a whole
  // conversion would hold two more copies of a long text at once.
  std::optional<std::string> utf8(JSCValue* v, std::size_t maxBytes) const {
    double units = call(textLength_.get(), v);
    // Every UTF-16 unit takes at least one byte of UTF-8.
    if (!(units >= 0) || units > double(maxBytes))
      return std::nullopt;
    std::string text;
    text.reserve(std::size_t(units));
    if (units <= PIECE_UNITS)
      return append(text, v, maxBytes) ? std::optional<std::string>(std::move(text)) : std::nullopt;
    for (double from = 0; from < units;) {
      double to = call(pieceEnd_.get(), v, from);
      if (!(to > from) || to > units)
        return std::nullopt;
      GObjectPtr<JSCValue> piece(jsc_value_function_call(
          slice_.get(), JSC_TYPE_VALUE, v, G_TYPE_DOUBLE, from, G_TYPE_DOUBLE, to, G_TYPE_NONE));
      bool ok = piece && jsc_value_is_string(piece.get()) && append(text, piece.get(), maxBytes);
      if (!ok)
        return std::nullopt;
      from = to;
    }
    return text;
  }

  std::optional<std::size_t> elementCount(JSCValue* v) const {
    GObjectPtr<JSCValue> lengthValue(jsc_value_object_get_property(v, "length"));
    if (!lengthValue)
      return std::nullopt;
    double length = jsc_value_to_double(lengthValue.get());
    // An array's length is a whole number below 2^32.
    if (!(length >= 0 && length < 4294967296.0))
      return std::nullopt;
    return std::size_t(length);
  }
  template <class F> bool forEachElement(JSCValue* v, F each) const {
    std::optional<std::size_t> length = elementCount(v);
    if (!length)
      return false;
    for (std::size_t i = 0; i < *length; ++i) {
      GObjectPtr<JSCValue> element(jsc_value_object_get_property_at_index(v, guint(i)));
      if (!element || !each(element.get()))
        return false;
    }
    return true;
  }
  // Keys are read as texts like any other: as C strings they would come
  // converted, cut at a NUL or emptied by an unpaired surrogate.
  template <class F> bool forEachEntry(JSCValue* v, F each) const {
    GObjectPtr<JSCValue> keys(
        keys_ ? jsc_value_function_call(keys_.get(), JSC_TYPE_VALUE, v, G_TYPE_NONE) : nullptr);
    std::optional<std::size_t> count = keys ? elementCount(keys.get()) : std::nullopt;
    bool complete = count.has_value();
    for (std::size_t i = 0; complete && i < *count; ++i) {
      GObjectPtr<JSCValue> key(jsc_value_object_get_property_at_index(keys.get(), guint(i)));
      GObjectPtr<JSCValue> entry(key ? jsc_value_function_call(member_.get(), JSC_TYPE_VALUE, v,
                                                               JSC_TYPE_VALUE, key.get(),
                                                               G_TYPE_NONE)
                                     : nullptr);
      complete = key && entry && each(key.get(), entry.get());
    }
    return complete;
  }

private:
  // A text's length in UTF-16 units, or -1 when it holds an unpaired
  // surrogate, which UTF-8 cannot carry.
  static constexpr const char* TEXT_LENGTH_JS =
      "(function (s) {"
      "  if (typeof s.isWellFormed === 'function') return s.isWellFormed() ? s.length : -1;"
      "  for (var i = 0; i < s.length; i++) {"
      "    var c = s.charCodeAt(i);"
      "    if (c < 0xD800 || c > 0xDFFF) continue;"
      "    var d = s.charCodeAt(i + 1);"
      "    if (c > 0xDBFF || !(d >= 0xDC00 && d <= 0xDFFF)) return -1;"
      "    i++;"
      "  }"
      "  return s.length;"
      "})";
  // Where a piece that starts at `from` ends: PIECE_UNITS on, or one more so
  // that a surrogate pair is not cut in two.
  static constexpr double PIECE_UNITS = 1 << 20;
  static constexpr const char* PIECE_END_JS =
      "(function (s, from) {"
      "  var to = Math.min(s.length, from + 1048576);"
      "  var c = s.charCodeAt(to - 1);"
      "  return to < s.length && c >= 0xD800 && c <= 0xDBFF ? to + 1 : to;"
      "})";
  static constexpr const char* SLICE_JS = "(function (s, from, to) { return s.slice(from, to); })";

  static double call(JSCValue* function, JSCValue* v, double from = 0) {
    if (!function)
      return -1;
    GObjectPtr<JSCValue> result(
        jsc_value_function_call(function, JSC_TYPE_VALUE, v, G_TYPE_DOUBLE, from, G_TYPE_NONE));
    if (!result)
      return -1;
    return jsc_value_is_number(result.get()) ? jsc_value_to_double(result.get()) : -1;
  }

  // Appends a well-formed text's UTF-8, NULs included.
  static bool append(std::string& text, JSCValue* piece, std::size_t maxBytes) {
    GBytesPtr bytes(jsc_value_to_string_as_bytes(piece));
    if (!bytes)
      return false;
    gsize size = 0;
    const char* data = static_cast<const char*>(g_bytes_get_data(bytes.get(), &size));
    bool fits = text.size() <= maxBytes && size <= maxBytes - text.size();
    if (fits && size > 0)
      text.append(data, size);
    return fits;
  }

  GObjectPtr<JSCValue> textLength_;
  GObjectPtr<JSCValue> pieceEnd_;
  GObjectPtr<JSCValue> slice_;
  GObjectPtr<JSCValue> keys_;
  GObjectPtr<JSCValue> member_;
};

std::string schemeOf(const char* uri) {
  if (!uri)
    return "";
  GCharPtr scheme(g_uri_parse_scheme(uri));
  return scheme ? std::string(scheme.get()) : "";
}

// The last segment of the address's path, decoded: what a browser proposes
// for a download that names itself nothing.
std::string filenameFromURL(const char* url) {
  std::string name;
  GUriPtr uri(url ? g_uri_parse(url, G_URI_FLAGS_ENCODED, nullptr) : nullptr);
  if (!uri)
    return name;
  std::string path = g_uri_get_path(uri.get());
  std::string last = path.substr(path.find_last_of('/') + 1);
  if (GCharPtr decoded{g_uri_unescape_string(last.c_str(), nullptr)})
    name = decoded.get();
  else
    name = last;
  return name;
}

std::string suggestedFilename(WebKitURIResponse* response) {
  if (const char* given = webkit_uri_response_get_suggested_filename(response); given && *given)
    return given;
  return filenameFromURL(webkit_uri_response_get_uri(response));
}

class GtkWebViewImpl;

struct ChannelBinding {
  GtkWebViewImpl* view;
  std::function<void(const ScriptMessage&)> handler;
  BodyLimits limits;
};

struct SchemeBinding {
  SchemeHandlerFunction handler;
  // The error domain when a failed response names none.
  std::string schemeName;
};

class GtkWebViewImpl final : public WebView {
public:
  GtkWebViewImpl(const WebViewConfiguration& config, const StoreFolders& folders) {
    {
      GObjectPtr<WebKitWebsiteDataManager> manager(webkit_website_data_manager_new(
          "base-data-directory", folders.webDataDirectory.c_str(), "base-cache-directory",
          folders.webCacheDirectory.c_str(), nullptr));
      context_.reset(webkit_web_context_new_with_website_data_manager(manager.get()));
    }

    if (!config.schemeName.empty() && config.schemeHandler) {
      auto* binding = new SchemeBinding{config.schemeHandler, config.schemeName};
      webkit_web_context_register_uri_scheme(
          context_.get(), config.schemeName.c_str(), &GtkWebViewImpl::onSchemeRequest, binding,
          [](gpointer p) { delete static_cast<SchemeBinding*>(p); });
      WebKitSecurityManager* security = webkit_web_context_get_security_manager(context_.get());
      webkit_security_manager_register_uri_scheme_as_secure(security, config.schemeName.c_str());
      webkit_security_manager_register_uri_scheme_as_cors_enabled(security,
                                                                  config.schemeName.c_str());
    }
    g_signal_connect(context_.get(), "download-started", G_CALLBACK(&GtkWebViewImpl::onDownload),
                     this);

    content_.reset(webkit_user_content_manager_new());
    for (const UserScript& script : config.userScripts)
      addScript(script);
    for (const MessageChannel& channel : config.channels)
      addChannel(channel);

    GtkWidget* widget = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_.get(),
                                                "user-content-manager", content_.get(), nullptr));
    view_.reset(WEBKIT_WEB_VIEW(g_object_ref_sink(widget)));
    WebKitSettings* settings = webkit_web_view_get_settings(view_.get());
    webkit_settings_set_allow_file_access_from_file_urls(settings,
                                                         config.allowFileAccessFromFileURLs);
    g_signal_connect(view_.get(), "decide-policy", G_CALLBACK(&GtkWebViewImpl::onDecidePolicy),
                     this);
    g_signal_connect(view_.get(), "run-file-chooser", G_CALLBACK(&GtkWebViewImpl::onFileChooser),
                     this);
    g_signal_connect(view_.get(), "create", G_CALLBACK(&GtkWebViewImpl::onCreate), this);
    g_signal_connect(view_.get(), "load-changed", G_CALLBACK(&GtkWebViewImpl::onLoadChanged), this);
    g_signal_connect(view_.get(), "web-process-terminated",
                     G_CALLBACK(&GtkWebViewImpl::onWebProcessTerminated), this);
  }

  ~GtkWebViewImpl() override {
    g_signal_handlers_disconnect_by_data(view_.get(), this);
    g_signal_handlers_disconnect_by_data(context_.get(), this);
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
    auto* pending = new std::function<void(std::string)>(std::move(done));
    webkit_web_view_evaluate_javascript(
        view_.get(), "document.title", -1, nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          auto* callback = static_cast<std::function<void(std::string)>*>(data);
          std::string title;
          GObjectPtr<JSCValue> value(
              webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr));
          if (value && jsc_value_is_string(value.get())) {
            GCharPtr text(jsc_value_to_string(value.get()));
            title = text ? text.get() : "";
          }
          (*callback)(title);
          delete callback;
        },
        pending);
  }
  void setDelegate(WebViewDelegate* delegate) override { delegate_ = delegate; }
  void setAllowsBackForwardNavigationGestures(bool allow) override {
    webkit_settings_set_enable_back_forward_navigation_gestures(
        webkit_web_view_get_settings(view_.get()), allow);
  }

  GtkWidget* widget() { return GTK_WIDGET(view_.get()); }
  WebKitWebView* webView() { return view_.get(); }

private:
  void addScript(const UserScript& script) {
    std::vector<const char*> allow;
    for (const std::string& pattern : script.allowList)
      allow.push_back(pattern.c_str());
    allow.push_back(nullptr);
    const char* const* allowList = script.allowList.empty() ? nullptr : allow.data();
    auto frames = script.mainFrameOnly ? WEBKIT_USER_CONTENT_INJECT_TOP_FRAME
                                       : WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES;
    auto time = script.atDocumentStart ? WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START
                                       : WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END;
    WebKitUserScript* s =
        script.world.empty()
            ? webkit_user_script_new(script.source.c_str(), frames, time, allowList, nullptr)
            : webkit_user_script_new_for_world(script.source.c_str(), frames, time,
                                               script.world.c_str(), allowList, nullptr);
    webkit_user_content_manager_add_script(content_.get(), s);
    webkit_user_script_unref(s);
  }

  void addChannel(const MessageChannel& channel) {
    auto* binding = new ChannelBinding{this, channel.handler, channel.limits};
    std::string signal = "script-message-received::" + channel.name;
    if (channel.world.empty())
      webkit_user_content_manager_register_script_message_handler(content_.get(),
                                                                  channel.name.c_str());
    else
      webkit_user_content_manager_register_script_message_handler_in_world(
          content_.get(), channel.name.c_str(), channel.world.c_str());
    channelSignals_.push_back(g_signal_connect_data(
        content_.get(), signal.c_str(), G_CALLBACK(&GtkWebViewImpl::onScriptMessage), binding,
        [](gpointer p, GClosure*) { delete static_cast<ChannelBinding*>(p); }, GConnectFlags(0)));
  }

  static void onScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                              gpointer data) {
    auto* binding = static_cast<ChannelBinding*>(data);
    ScriptMessage message;
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (value) {
      JscReader reader(jsc_value_get_context(value));
      message.body = convertBody(reader, value, binding->limits);
    }
    // The engine does not say who posted. A channel in a world of its own
    // hears only from where that world's scripts are (the gate puts them in
    // the top frame of the app's pages alone); other channels are best effort.
    message.fromMainFrame = true;
    message.senderScheme = schemeOf(webkit_web_view_get_uri(binding->view->view_.get()));
    if (binding->handler)
      binding->handler(message);
  }

  static void onSchemeRequest(WebKitURISchemeRequest* request, gpointer data) {
    auto* binding = static_cast<SchemeBinding*>(data);
    SchemeRequest req;
    if (const char* uri = webkit_uri_scheme_request_get_uri(request))
      req.url = std::string(uri);
    SchemeResponse response = binding->handler(req);
    if (response.ok) {
      // The engine reads the very bytes the handler read: a large file is
      // not held twice.
      auto* body = new std::string(std::move(response.data));
      GBytesPtr bytes(g_bytes_new_with_free_func(
          body->data(), body->size(), [](gpointer p) { delete static_cast<std::string*>(p); },
          body));
      GObjectPtr<GInputStream> stream(g_memory_input_stream_new_from_bytes(bytes.get()));
      GObjectPtr<WebKitURISchemeResponse> r(
          webkit_uri_scheme_response_new(stream.get(), gint64(body->size())));
      // The engine takes the encoding from the content type's charset; without
      // it a page that declares none is read as windows-1252.
      std::string contentType = response.mimeType;
      if (!contentType.empty() && !response.textEncodingName.empty())
        contentType += "; charset=" + response.textEncodingName;
      if (!contentType.empty())
        webkit_uri_scheme_response_set_content_type(r.get(), contentType.c_str());
      webkit_uri_scheme_request_finish_with_response(request, r.get());
    } else {
      const std::string& domain =
          response.errorDomain.empty() ? binding->schemeName : response.errorDomain;
      GErrorPtr error(g_error_new_literal(g_quark_from_string(domain.c_str()), response.errorCode,
                                          response.errorDescription.c_str()));
      webkit_uri_scheme_request_finish_error(request, error.get());
    }
  }

  static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer data) {
    auto* self = static_cast<GtkWebViewImpl*>(data);
    if (type != WEBKIT_POLICY_DECISION_TYPE_RESPONSE || !self->delegate_)
      return FALSE;
    auto* responseDecision = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    WebKitURIResponse* response = webkit_response_policy_decision_get_response(responseDecision);
    NavigationResponse reported;
    if (const char* uri = webkit_uri_response_get_uri(response))
      reported.url = uri;
    reported.canShowMIMEType =
        webkit_response_policy_decision_is_mime_type_supported(responseDecision);
    reported.suggestedFilename = suggestedFilename(response);
    switch (self->delegate_->decidePolicyForNavigationResponse(reported)) {
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

  static void onDownload(WebKitWebContext*, WebKitDownload* download, gpointer data) {
    auto* self = static_cast<GtkWebViewImpl*>(data);
    // Nobody to ask where it goes.
    if (!self->delegate_) {
      webkit_download_cancel(download);
      return;
    }
    DownloadRequest reported;
    WebKitURIRequest* request = webkit_download_get_request(download);
    if (const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr)
      reported.url = uri;
    // The name a download attribute gave is not exposed, so the address
    // names it.
    reported.suggestedFilename = filenameFromURL(reported.url.c_str());
    if (self->delegate_->decidePolicyForDownload(reported) == DownloadPolicy::Cancel) {
      // Stopped before it reports anything.
      webkit_download_cancel(download);
      return;
    }
    // Held until the download ends, so a late destination still has it.
    g_object_ref(download);
    g_signal_connect(download, "decide-destination",
                     G_CALLBACK(&GtkWebViewImpl::onDecideDestination), data);
    g_signal_connect(download, "failed", G_CALLBACK(&GtkWebViewImpl::onDownloadFailed), data);
    g_signal_connect(download, "finished", G_CALLBACK(&GtkWebViewImpl::onDownloadFinished), data);
  }

  // Where the engine was told to write the download, if anywhere yet.
  static std::optional<std::filesystem::path> destinationOf(WebKitDownload* download) {
    const char* uri = webkit_download_get_destination(download);
    GCharPtr path(uri ? g_filename_from_uri(uri, nullptr, nullptr) : nullptr);
    if (!path)
      return std::nullopt;
    return std::filesystem::path(path.get());
  }

  static gboolean onDecideDestination(WebKitDownload* download, gchar* suggested, gpointer data) {
    auto* self = static_cast<GtkWebViewImpl*>(data);
    if (!self->delegate_) {
      webkit_download_cancel(download);
      return TRUE;
    }
    g_object_ref(download);
    std::string name = suggested ? suggested : "";
    self->delegate_->downloadDecideDestination(
        name, [download](std::optional<std::filesystem::path> path) {
          if (path) {
            if (GCharPtr uri{g_filename_to_uri(path->c_str(), nullptr, nullptr)}) {
              webkit_download_set_destination(download, uri.get());
            } else {
              webkit_download_cancel(download);
            }
          } else {
            webkit_download_cancel(download);
          }
          g_object_unref(download);
        });
    return TRUE;
  }

  static void onDownloadFailed(WebKitDownload* download, GError* error, gpointer data) {
    auto* self = static_cast<GtkWebViewImpl*>(data);
    // "finished" follows a failure too; it must not report one as done.
    g_object_set_data(G_OBJECT(download), FAILED_KEY, GINT_TO_POINTER(1));
    if (!self->delegate_)
      return;
    DownloadError e;
    e.localizedDescription = error && error->message ? error->message : "";
    e.cancelled = error && g_error_matches(error, WEBKIT_DOWNLOAD_ERROR,
                                           WEBKIT_DOWNLOAD_ERROR_CANCELLED_BY_USER);
    e.destination = destinationOf(download);
    self->delegate_->downloadDidFail(e);
  }

  static void onDownloadFinished(WebKitDownload* download, gpointer data) {
    auto* self = static_cast<GtkWebViewImpl*>(data);
    if (!g_object_get_data(G_OBJECT(download), FAILED_KEY) && self->delegate_)
      if (std::optional<std::filesystem::path> destination = destinationOf(download))
        self->delegate_->downloadDidFinish(*destination);
    g_object_unref(download);
  }

  static constexpr const char* FAILED_KEY = "hlvn-failed";

  static gboolean onFileChooser(WebKitWebView*, WebKitFileChooserRequest* request, gpointer data) {
    auto* self = static_cast<GtkWebViewImpl*>(data);
    if (!self->delegate_)
      return FALSE;
    OpenPanelParameters parameters;
    parameters.allowsMultipleSelection = webkit_file_chooser_request_get_select_multiple(request);
    parameters.allowsDirectories = false;
    g_object_ref(request);
    self->delegate_->runOpenPanel(
        parameters, [request](std::optional<std::vector<std::filesystem::path>> files) {
          if (files && !files->empty()) {
            std::vector<const gchar*> names;
            for (const auto& f : *files)
              names.push_back(f.c_str());
            names.push_back(nullptr);
            webkit_file_chooser_request_select_files(request, names.data());
          } else {
            webkit_file_chooser_request_cancel(request);
          }
          g_object_unref(request);
        });
    return TRUE;
  }

  static GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
    auto* self = static_cast<GtkWebViewImpl*>(data);
    if (self->delegate_) {
      std::optional<std::string> url;
      WebKitURIRequest* request = webkit_navigation_action_get_request(action);
      if (const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr)
        url = std::string(uri);
      self->delegate_->createWebView(url);
    }
    return nullptr;
  }

  static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    auto* self = static_cast<GtkWebViewImpl*>(data);
    if (event == WEBKIT_LOAD_FINISHED && self->delegate_)
      self->delegate_->didFinishNavigation();
  }

  static void onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                     gpointer data) {
    auto* self = static_cast<GtkWebViewImpl*>(data);
    if (!self->delegate_)
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
    self->delegate_->webContentProcessDidTerminate(end);
  }

  // Declared in this order so that they go view first, context last.
  GObjectPtr<WebKitWebContext> context_;
  GObjectPtr<WebKitUserContentManager> content_;
  GObjectPtr<WebKitWebView> view_;
  WebViewDelegate* delegate_ = nullptr;
  std::vector<gulong> channelSignals_;
};

} // namespace

std::shared_ptr<WebView> makeWebView(const WebViewConfiguration& configuration,
                                     const StoreFolders& folders) {
  return std::make_shared<GtkWebViewImpl>(configuration, folders);
}

GtkWidget* webViewWidget(WebView& view) {
  return static_cast<GtkWebViewImpl&>(view).widget();
}

bool runEditingCommand(WebView& view, const std::string& action) {
  const char* command = nullptr;
  if (action == "undo:")
    command = WEBKIT_EDITING_COMMAND_UNDO;
  else if (action == "redo:")
    command = WEBKIT_EDITING_COMMAND_REDO;
  else if (action == "cut:")
    command = WEBKIT_EDITING_COMMAND_CUT;
  else if (action == "copy:")
    command = WEBKIT_EDITING_COMMAND_COPY;
  else if (action == "paste:")
    command = WEBKIT_EDITING_COMMAND_PASTE;
  else if (action == "selectAll:")
    command = WEBKIT_EDITING_COMMAND_SELECT_ALL;
  if (!command)
    return false;
  webkit_web_view_execute_editing_command(static_cast<GtkWebViewImpl&>(view).webView(), command);
  return true;
}

} // namespace platform::gtk
