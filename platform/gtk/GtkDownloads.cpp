#include "platform/gtk/GtkWebKit.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace platform::gtk {
namespace {

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

// Where the engine was told to write the download, if anywhere yet.
std::optional<std::filesystem::path> destinationOf(WebKitDownload* download) {
  const char* uri = webkit_download_get_destination(download);
  GCharPtr path(uri ? g_filename_from_uri(uri, nullptr, nullptr) : nullptr);
  if (!path)
    return std::nullopt;
  return std::filesystem::path(path.get());
}

constexpr const char* FAILED_KEY = "hlvn-failed";

// The body's length as the response announced it. Over HTTP only a
// Content-Length framing counts (a chunked body, or one read to the close,
// announces none), and only for a body not decoded on the way, whose length
// the header does not give. Elsewhere (blob:, data:) the engine's own
// length, where it has one.
std::optional<std::uint64_t> announcedLength(WebKitDownload* download) {
  WebKitURIResponse* response = webkit_download_get_response(download);
  if (!response)
    return std::nullopt;
  if (SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(response)) {
    if (soup_message_headers_get_encoding(headers) != SOUP_ENCODING_CONTENT_LENGTH)
      return std::nullopt;
    const char* coding = soup_message_headers_get_one(headers, "Content-Encoding");
    if (coding && g_ascii_strcasecmp(coding, "identity") != 0)
      return std::nullopt;
    goffset length = soup_message_headers_get_content_length(headers);
    if (length < 0)
      return std::nullopt;
    return static_cast<std::uint64_t>(length);
  }
  // Zero stands for none there.
  if (guint64 length = webkit_uri_response_get_content_length(response);
      length > 0 && length < G_MAXINT64)
    return length;
  return std::nullopt;
}

} // namespace

std::string suggestedFilename(WebKitURIResponse* response) {
  if (const char* given = webkit_uri_response_get_suggested_filename(response); given && *given)
    return given;
  return filenameFromURL(webkit_uri_response_get_uri(response));
}

GtkDownloads::GtkDownloads(WebKitWebContext* context,
                           std::shared_ptr<WebViewDelegate* const> delegate)
    : context_(context), delegate_(std::move(delegate)) {
  g_signal_connect(context, "download-started", G_CALLBACK(&GtkDownloads::onStarted), this);
}

GtkDownloads::~GtkDownloads() {
  g_signal_handlers_disconnect_by_data(context_.get(), this);
  for (const GObjectRef<WebKitDownload>& download : running_)
    g_signal_handlers_disconnect_by_data(download.get(), this);
}

void GtkDownloads::onStarted(WebKitWebContext*, WebKitDownload* download, gpointer data) {
  auto* self = static_cast<GtkDownloads*>(data);
  // Nobody to ask where it goes.
  if (!self->delegate()) {
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
  if (self->delegate()->decidePolicyForDownload(reported) == DownloadPolicy::Cancel) {
    // Stopped before it reports anything.
    webkit_download_cancel(download);
    return;
  }
  self->running_.emplace_back(download);
  g_signal_connect(download, "decide-destination", G_CALLBACK(&GtkDownloads::onDecideDestination),
                   data);
  g_signal_connect(download, "failed", G_CALLBACK(&GtkDownloads::onFailed), data);
  g_signal_connect(download, "finished", G_CALLBACK(&GtkDownloads::onFinished), data);
}

gboolean GtkDownloads::onDecideDestination(WebKitDownload* download, gchar* suggested,
                                           gpointer data) {
  auto* self = static_cast<GtkDownloads*>(data);
  if (!self->delegate()) {
    webkit_download_cancel(download);
    return TRUE;
  }
  std::string name = suggested ? suggested : "";
  self->delegate()->downloadDecideDestination(name, [held = GObjectRef<WebKitDownload>(download)](
                                                        std::optional<std::filesystem::path> path) {
    if (path) {
      if (GCharPtr uri{g_filename_to_uri(path->c_str(), nullptr, nullptr)}) {
        webkit_download_set_destination(held.get(), uri.get());
      } else {
        webkit_download_cancel(held.get());
      }
    } else {
      webkit_download_cancel(held.get());
    }
  });
  return TRUE;
}

void GtkDownloads::onFailed(WebKitDownload* download, GError* error, gpointer data) {
  auto* self = static_cast<GtkDownloads*>(data);
  // "finished" follows a failure too; it must not report one as done.
  g_object_set_data(G_OBJECT(download), FAILED_KEY, GINT_TO_POINTER(1));
  if (!self->delegate())
    return;
  DownloadError e;
  e.localizedDescription = error && error->message ? error->message : "";
  e.cancelled = error && g_error_matches(error, WEBKIT_DOWNLOAD_ERROR,
                                         WEBKIT_DOWNLOAD_ERROR_CANCELLED_BY_USER);
  e.destination = destinationOf(download);
  self->delegate()->downloadDidFail(e);
}

void GtkDownloads::onFinished(WebKitDownload* download, gpointer data) {
  auto* self = static_cast<GtkDownloads*>(data);
  if (!g_object_get_data(G_OBJECT(download), FAILED_KEY) && self->delegate())
    if (std::optional<std::filesystem::path> destination = destinationOf(download))
      self->delegate()->downloadDidFinish(*destination, announcedLength(download));
  // Held no longer: nothing more comes from it.
  g_signal_handlers_disconnect_by_data(download, self);
  std::erase_if(self->running_, [download](const GObjectRef<WebKitDownload>& held) {
    return held.get() == download;
  });
}

} // namespace platform::gtk
