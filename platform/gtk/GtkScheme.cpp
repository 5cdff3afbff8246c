#include "platform/gtk/GtkWebKit.h"

#include <string>
#include <utility>

namespace platform::gtk {
namespace {

struct SchemeBinding {
  SchemeHandlerFunction handler;
  // The error domain when a failed response names none.
  std::string schemeName;
};

void onSchemeRequest(WebKitURISchemeRequest* request, gpointer data) {
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
        body->data(), body->size(), [](gpointer p) { delete static_cast<std::string*>(p); }, body));
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

} // namespace

void registerScheme(WebKitWebContext* context, const std::string& schemeName,
                    const SchemeHandlerFunction& handler) {
  auto* binding = new SchemeBinding{handler, schemeName};
  webkit_web_context_register_uri_scheme(context, schemeName.c_str(), &onSchemeRequest, binding,
                                         [](gpointer p) { delete static_cast<SchemeBinding*>(p); });
  WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
  webkit_security_manager_register_uri_scheme_as_secure(security, schemeName.c_str());
  webkit_security_manager_register_uri_scheme_as_cors_enabled(security, schemeName.c_str());
}

} // namespace platform::gtk
