#include "system/DesktopEntry.h"

#include "app/constants.h"
#include "platform/MessageBody.h"

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

std::optional<std::string> desktopExecValue(const std::vector<std::string>& arguments) {
  std::string quoted;
  for (const std::string& argument : arguments) {
    if (!platform::isValidUtf8(argument))
      return std::nullopt;
    if (!quoted.empty())
      quoted += ' ';
    quoted += desktopExecArgument(argument);
  }

  std::string value;
  for (char c : quoted) {
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

std::optional<std::string> desktopEntryText(const std::vector<std::string>& arguments,
                                            bool autostart) {
  std::optional<std::string> exec = desktopExecValue(arguments);
  if (!exec)
    return std::nullopt;
  std::string text = "[Desktop Entry]\n"
                     "Type=Application\n"
                     "Name=";
  text += APP_TITLE;
  text += "\nExec=" + *exec + "\n";
  if (autostart)
    text += "X-GNOME-Autostart-enabled=true\n";
  return text;
}
