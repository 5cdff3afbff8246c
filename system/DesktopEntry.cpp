#include "system/DesktopEntry.h"

#include "identity/identity.h"
#include "platform/Utf8.h"

namespace {

bool isReserved(char c) {
  switch (c) {
  case ' ':
  case '\t':
  case '\n':
  case '\r': // not listed, but a shell would not keep it inside a word either
  case '"':
  case '\'':
  case '\\':
  case '>':
  case '<':
  case '~':
  case '|':
  case '&':
  case ';':
  case '$':
  case '*':
  case '?':
  case '#':
  case '(':
  case ')':
  case '`':
    return true;
  default:
    return false;
  }
}

} // namespace

std::string desktopExecArgument(std::string_view argument) {
  bool quote = argument.empty();
  for (char c : argument)
    quote = quote || isReserved(c);

  std::string out;
  if (quote)
    out += '"';
  for (char c : argument) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
      out += '\\';
    if (c == '%')
      out += '%';
    out += c;
  }
  if (quote)
    out += '"';
  return out;
}

namespace {

// A value with the file's string escapes applied; nothing when it is not
// valid UTF-8 or holds a control character no escape can carry.
std::optional<std::string> escapedValue(std::string_view text) {
  if (!platform::isValidUtf8(text))
    return std::nullopt;
  std::string value;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
    case '\\':
      value += "\\\\";
      break;
    case '\n':
      value += "\\n";
      break;
    case '\t':
      value += "\\t";
      break;
    case '\r':
      value += "\\r";
      break;
    default:
      if (byte < 0x20 || byte == 0x7F)
        return std::nullopt;
      value += c;
    }
  }
  return value;
}

} // namespace

std::optional<std::string> desktopExecValue(const std::vector<std::string>& arguments) {
  std::string quoted;
  for (const std::string& argument : arguments) {
    if (!platform::isValidUtf8(argument))
      return std::nullopt;
    if (!quoted.empty())
      quoted += ' ';
    quoted += desktopExecArgument(argument);
  }
  return escapedValue(quoted);
}

std::filesystem::path appIconPath(const std::filesystem::path& executable) {
  return executable.parent_path() / (std::string(PRODUCT_NAME) + ".png");
}

std::optional<std::string> desktopEntryText(const std::vector<std::string>& arguments,
                                            bool autostart) {
  // GLib refuses an entry whose program, as written in Exec, names no file,
  // and it looks before "%%" is turned back into "%". A program with "%" in
  // its path is therefore started through env, which gets the real path; env
  // would take a path that also holds "=" for a variable to set, so such a
  // path has no entry that could start it.
  std::vector<std::string> command = arguments;
  if (!command.empty() && command.front().find('%') != std::string::npos) {
    if (command.front().find('=') != std::string::npos)
      return std::nullopt;
    command.insert(command.begin(), std::string(ENV_PROGRAM));
  }
  std::optional<std::string> exec = desktopExecValue(command);
  if (!exec)
    return std::nullopt;
  std::string text = "[Desktop Entry]\n"
                     "Type=Application\n"
                     "Name=";
  text += APP_TITLE;
  text += "\nExec=" + *exec + "\n";
  if (!arguments.empty() && std::filesystem::path(arguments.front()).is_absolute()) {
    if (std::optional<std::string> icon = escapedValue(appIconPath(arguments.front()).string()))
      text += "Icon=" + *icon + "\n";
  }
  if (autostart)
    text += "X-GNOME-Autostart-enabled=true\n";
  return text;
}
