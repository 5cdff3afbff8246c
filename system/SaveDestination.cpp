#include "system/SaveDestination.h"

#include "platform/Utf8.h"
#include "system/AtomicFile.h"
#include "system/Leftovers.h"
#include "system/UserTexts.h"

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

void appendAscii(std::string& out, unsigned char c) {
  out.push_back(c == '/' || c < 0x20 || c == 0x7F ? '_' : static_cast<char>(c));
}

} // namespace

std::string cleanFileName(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size();) {
    const platform::Utf8Sequence sequence = platform::utf8SequenceAt(in, i);
    const auto lead = static_cast<unsigned char>(in[i]);
    // A broken sequence becomes one replacement character for its longest
    // valid beginning; decoding goes on at the byte that broke it.
    if (lead < 0x80)
      appendAscii(out, lead);
    else if (sequence.wellFormed)
      out.append(in.substr(i, sequence.length));
    else
      out.append(kReplacementCharacter);
    i += sequence.length;
  }
  if (out == "." || out == "..")
    out.clear();
  return out;
}

std::optional<std::filesystem::path> chooseSaveDestination(platform::Dialogs& dialogs,
                                                           const platform::Environment& env,
                                                           std::string_view proposedName) {
  platform::SavePanelOptions options;
  options.nameFieldValue = cleanFileName(proposedName);
  options.directory = env.downloadsDirectory;
  options.canCreateDirectories = true;
  std::optional<std::filesystem::path> chosen = dialogs.runSavePanel(options);
  // The app is about to write there: what a killed write of its own left in
  // that folder goes first. A download still being written there stays.
  if (chosen && !chosen->empty())
    removeLeftovers(replacementFolder(*chosen), {saveTemporaryRule(), downloadFolderRule()});
  return chosen;
}

void showFailureAlert(platform::Dialogs& dialogs, const std::string& description) {
  dialogs.runAlert(FAILURE_ALERT_TEXT, description);
}
