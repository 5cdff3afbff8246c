#include "platform/gtk/GtkWebKit.h"

#include "platform/MessageBody.h"

#include <cstdint>
#include <optional>
#include <string>

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

struct ChannelBinding {
  ChannelBinding(WebKitWebView* shown, const MessageChannel& channel)
      : handler(channel.handler), limits(channel.limits) {
    g_weak_ref_init(&view, shown);
  }
  ~ChannelBinding() { g_weak_ref_clear(&view); }
  ChannelBinding(const ChannelBinding&) = delete;
  ChannelBinding& operator=(const ChannelBinding&) = delete;

  // Weak: the view holds the content manager, which holds the binding.
  GWeakRef view;
  std::function<void(const ScriptMessage&)> handler;
  BodyLimits limits;
};

void onScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
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
  GObjectPtr<WebKitWebView> view(static_cast<WebKitWebView*>(g_weak_ref_get(&binding->view)));
  message.senderScheme = view ? schemeOf(webkit_web_view_get_uri(view.get())) : "";
  if (binding->handler)
    binding->handler(message);
}

} // namespace

gulong addMessageChannel(WebKitUserContentManager* content, const MessageChannel& channel,
                         WebKitWebView* view) {
  auto* binding = new ChannelBinding(view, channel);
  std::string signal = "script-message-received::" + channel.name;
  if (channel.world.empty())
    webkit_user_content_manager_register_script_message_handler(content, channel.name.c_str());
  else
    webkit_user_content_manager_register_script_message_handler_in_world(
        content, channel.name.c_str(), channel.world.c_str());
  return g_signal_connect_data(
      content, signal.c_str(), G_CALLBACK(&onScriptMessage), binding,
      [](gpointer p, GClosure*) { delete static_cast<ChannelBinding*>(p); }, GConnectFlags(0));
}

} // namespace platform::gtk
