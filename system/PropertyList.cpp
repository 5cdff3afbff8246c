#include "system/PropertyList.h"

#include "platform/Utf8.h"

std::string plistEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    default:
      out += c;
    }
  }
  return out;
}

std::optional<std::string> launchAgentPropertyList(std::string_view label,
                                                   const std::vector<std::string>& arguments) {
  if (!platform::isValidUtf8(label))
    return std::nullopt;
  for (const std::string& argument : arguments)
    if (!platform::isValidUtf8(argument))
      return std::nullopt;

  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                     "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                     "<plist version=\"1.0\">\n"
                     "<dict>\n";
  // System Settings lists the login item under the app of this identifier
  // (macOS 13 and later), not under the executable's bare name.
  text += "\t<key>AssociatedBundleIdentifiers</key>\n"
          "\t<array>\n"
          "\t\t<string>" +
          plistEscaped(label) +
          "</string>\n"
          "\t</array>\n"
          "\t<key>Label</key>\n";
  text += "\t<string>" + plistEscaped(label) + "</string>\n";
  text += "\t<key>ProgramArguments</key>\n";
  if (arguments.empty()) {
    text += "\t<array/>\n";
  } else {
    text += "\t<array>\n";
    for (const std::string& argument : arguments)
      text += "\t\t<string>" + plistEscaped(argument) + "</string>\n";
    text += "\t</array>\n";
  }
  text += "\t<key>RunAtLoad</key>\n"
          "\t<true/>\n"
          "</dict>\n"
          "</plist>\n";
  return text;
}
