#include "platform/gtk/GtkInternal.h"

#include "platform/RegularFile.h"

#include <cerrno>
#include <optional>
#include <string>
#include <system_error>

namespace platform::gtk {
namespace {

class GtkDefaults final : public Defaults {
public:
  explicit GtkDefaults(std::filesystem::path file) : file_(std::move(file)) {}
  std::optional<std::string> stringForKey(const std::string& key) override {
    load();
    GCharPtr value(g_key_file_get_string(keys_.get(), GROUP, key.c_str(), nullptr));
    if (!value)
      return std::nullopt;
    return std::string(value.get());
  }
  void setString(const std::string& key, const std::string& value) override {
    load();
    g_key_file_set_string(keys_.get(), GROUP, key.c_str(), value.c_str());
    // A file that is there but could not be read holds settings this run
    // never saw; writing would replace them. The change is kept for this run
    // only, as when any write fails.
    if (unreadable_)
      return;
    gsize length = 0;
    GCharPtr data(g_key_file_to_data(keys_.get(), &length, nullptr));
    std::error_code ignored;
    std::filesystem::create_directories(file_.parent_path(), ignored);
    // g_file_set_contents writes a temporary file and renames it over the old
    // one, so a crash never leaves half a settings file.
    g_file_set_contents(file_.c_str(), data.get(), gssize(length), nullptr);
  }

private:
  static constexpr const char* GROUP = "defaults";
  void load() {
    if (keys_)
      return;
    keys_.reset(g_key_file_new());
    // Read like the web files, so that a FIFO or a device in its place can
    // never hold up the start.
    Result<std::string> text = readRegularFile(file_, MAX_SETTINGS_BYTES);
    GError* failure = nullptr;
    if (!text || !g_key_file_load_from_data(keys_.get(), text->data(), text->size(),
                                            G_KEY_FILE_KEEP_COMMENTS, &failure)) {
      GErrorPtr ignored(failure);
      // Only a file that is not there is an empty store; anything else (no
      // rights, a folder, a FIFO, text the key file format rejects) is
      // unreadable, and none of what a partial read gave is used.
      unreadable_ = text || text.failure().code != ENOENT;
      keys_.reset(g_key_file_new());
    }
  }
  // Two short lines are all the app keeps here.
  static constexpr std::size_t MAX_SETTINGS_BYTES = 1024 * 1024;
  std::filesystem::path file_;
  GKeyFilePtr keys_;
  bool unreadable_ = false;
};

} // namespace

std::unique_ptr<Defaults> makeDefaults(std::filesystem::path file) {
  return std::make_unique<GtkDefaults>(std::move(file));
}

} // namespace platform::gtk
