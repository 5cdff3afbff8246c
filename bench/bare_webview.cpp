// The baselines Tessaloom is measured against: the least a GTK program needs
// to do what Tessaloom's windows do.
//
//   bare_webview [--report] [--scheme DIR] URL
//       A GtkWindow of the main window's default size holding one WebKitWebView
//       that loads URL. At the end of the load the window takes the document's
//       title, read the way Tessaloom reads it. With --report, strings the page
//       posts on "benchReport" are printed, and "done" ends the program. With
//       --scheme, the files of DIR are served as bare://local/NAME through
//       WebKitGTK's custom scheme API in the plainest way (whole file, one
//       memory stream), which separates the engine's cost for a custom scheme
//       from what Tessaloom's scheme handler adds.
//   bare_webview --ball X Y TITLE
//       An undecorated 66 x 66 window at (X, Y) in X11 coordinates that follows
//       left-button drags the way the ball does: the global pointer read on every
//       motion event, the window moved by the pointer's offset.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

GtkWidget* window = nullptr;

void onTitleRead(GObject* source, GAsyncResult* result, gpointer) {
  JSCValue* value =
      webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr);
  if (!value)
    return;
  if (jsc_value_is_string(value)) {
    gchar* text = jsc_value_to_string(value);
    gtk_window_set_title(GTK_WINDOW(window), text);
    g_free(text);
  }
  g_object_unref(value);
}

void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer) {
  if (event == WEBKIT_LOAD_FINISHED)
    webkit_web_view_evaluate_javascript(view, "document.title", -1, nullptr, nullptr, nullptr,
                                        onTitleRead, nullptr);
}

void onReport(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer) {
  JSCValue* value = webkit_javascript_result_get_js_value(result);
  if (!value || !jsc_value_is_string(value))
    return;
  gchar* text = jsc_value_to_string(value);
  bool done = std::strcmp(text, "done") == 0;
  if (!done)
    std::printf("%s\n", text);
  std::fflush(stdout);
  g_free(text);
  if (done)
    gtk_main_quit();
}

const char* schemeFolder = nullptr;

void onSchemeRequest(WebKitURISchemeRequest* request, gpointer) {
  const char* path = webkit_uri_scheme_request_get_path(request);
  const char* slash = path ? std::strrchr(path, '/') : nullptr;
  gchar* file = g_build_filename(schemeFolder, slash ? slash + 1 : "index.html", nullptr);
  gchar* contents = nullptr;
  gsize length = 0;
  GError* error = nullptr;
  if (g_file_get_contents(file, &contents, &length, &error)) {
    GBytes* bytes = g_bytes_new_take(contents, length);
    GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
    WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(stream, gint64(length));
    webkit_uri_scheme_response_set_content_type(
        response, g_str_has_suffix(file, ".html") ? "text/html"
                  : g_str_has_suffix(file, ".js") ? "application/javascript"
                                                  : "application/octet-stream");
    webkit_uri_scheme_request_finish_with_response(request, response);
    g_object_unref(response);
    g_object_unref(stream);
    g_bytes_unref(bytes);
  } else {
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
  }
  g_free(file);
}

int runPage(const char* url, bool report) {
  if (schemeFolder) {
    WebKitWebContext* context = webkit_web_context_get_default();
    webkit_web_context_register_uri_scheme(context, "bare", onSchemeRequest, nullptr, nullptr);
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
    webkit_security_manager_register_uri_scheme_as_secure(security, "bare");
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, "bare");
  }
  window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 1360, 840);
  gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);

  WebKitUserContentManager* content = webkit_user_content_manager_new();
  if (report) {
    webkit_user_content_manager_register_script_message_handler(content, "benchReport");
    g_signal_connect(content, "script-message-received::benchReport", G_CALLBACK(onReport),
                     nullptr);
  }
  GtkWidget* view = webkit_web_view_new_with_user_content_manager(content);
  webkit_settings_set_allow_file_access_from_file_urls(
      webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view)), TRUE);
  g_signal_connect(view, "load-changed", G_CALLBACK(onLoadChanged), nullptr);
  gtk_container_add(GTK_CONTAINER(window), view);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), url);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}

// ---- the ball baseline ----------------------------------------------------------

int startPointerX = 0, startPointerY = 0, startWindowX = 0, startWindowY = 0;

void pointer(GtkWidget* widget, int& x, int& y) {
  GdkSeat* seat = gdk_display_get_default_seat(gtk_widget_get_display(widget));
  gdk_device_get_position(gdk_seat_get_pointer(seat), nullptr, &x, &y);
}

gboolean onPress(GtkWidget* widget, GdkEventButton* event, gpointer) {
  if (event->type == GDK_BUTTON_PRESS && event->button == 1) {
    pointer(widget, startPointerX, startPointerY);
    gtk_window_get_position(GTK_WINDOW(window), &startWindowX, &startWindowY);
  }
  return TRUE;
}

gboolean onMotion(GtkWidget* widget, GdkEventMotion* event, gpointer) {
  if (!(event->state & GDK_BUTTON1_MASK))
    return TRUE;
  int x = 0, y = 0;
  pointer(widget, x, y);
  gtk_window_move(GTK_WINDOW(window), startWindowX + x - startPointerX,
                  startWindowY + y - startPointerY);
  return TRUE;
}

gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer) {
  cairo_set_source_rgb(cr, 1.0, 0.55, 0.65);
  cairo_arc(cr, 33, 33, 29, 0, 2 * G_PI);
  cairo_fill(cr);
  return TRUE;
}

int runBall(int x, int y, const char* title) {
  window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  gtk_window_set_keep_above(GTK_WINDOW(window), TRUE);
  gtk_window_set_title(GTK_WINDOW(window), title);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  GtkWidget* area = gtk_drawing_area_new();
  gtk_widget_set_size_request(area, 66, 66);
  gtk_widget_add_events(area,
                        GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_BUTTON1_MOTION_MASK);
  g_signal_connect(area, "button-press-event", G_CALLBACK(onPress), nullptr);
  g_signal_connect(area, "motion-notify-event", G_CALLBACK(onMotion), nullptr);
  g_signal_connect(area, "draw", G_CALLBACK(onDraw), nullptr);
  gtk_container_add(GTK_CONTAINER(window), area);
  gtk_window_move(GTK_WINDOW(window), x, y);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  gdk_set_allowed_backends("x11");
  gtk_init(&argc, &argv);
  if (argc == 5 && std::strcmp(argv[1], "--ball") == 0)
    return runBall(std::atoi(argv[2]), std::atoi(argv[3]), argv[4]);
  bool report = false;
  int i = 1;
  for (; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--report") == 0)
      report = true;
    else if (std::strcmp(argv[i], "--scheme") == 0)
      schemeFolder = argv[++i];
    else
      break;
  }
  if (i == argc - 1)
    return runPage(argv[i], report);
  std::fprintf(stderr, "usage: bare_webview [--report] [--scheme DIR] URL | --ball X Y TITLE\n");
  return 2;
}
