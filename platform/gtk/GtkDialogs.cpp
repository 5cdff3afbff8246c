#include "platform/gtk/GtkInternal.h"

#include <optional>
#include <string>
#include <vector>

namespace platform::gtk {
namespace {

class GtkDialogs final : public Dialogs {
  // An alert may come before the application has started GTK (a start that
  // ends with it); without a display there is nobody to show it to.
  static bool readyToShow() { return gtk_init_check(nullptr, nullptr); }

public:
  std::optional<std::filesystem::path> runSavePanel(const SavePanelOptions& options) override {
    GObjectPtr<GtkFileChooserNative> chooser(gtk_file_chooser_native_new(
        nullptr, nullptr, GTK_FILE_CHOOSER_ACTION_SAVE, nullptr, nullptr));
    GtkFileChooser* fc = GTK_FILE_CHOOSER(chooser.get());
    gtk_file_chooser_set_do_overwrite_confirmation(fc, TRUE);
    gtk_file_chooser_set_create_folders(fc, options.canCreateDirectories);
    if (options.directory)
      gtk_file_chooser_set_current_folder(fc, options.directory->c_str());
    gtk_file_chooser_set_current_name(fc, options.nameFieldValue.c_str());
    std::optional<std::filesystem::path> result;
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser.get())) == GTK_RESPONSE_ACCEPT)
      if (GCharPtr name{gtk_file_chooser_get_filename(fc)})
        result = std::filesystem::path(name.get());
    return result;
  }

  std::optional<std::vector<std::filesystem::path>>
  runOpenPanel(const OpenPanelOptions& options) override {
    GtkFileChooserAction action = options.canChooseDirectories && !options.canChooseFiles
                                      ? GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER
                                      : GTK_FILE_CHOOSER_ACTION_OPEN;
    GObjectPtr<GtkFileChooserNative> chooser(
        gtk_file_chooser_native_new(nullptr, nullptr, action, nullptr, nullptr));
    GtkFileChooser* fc = GTK_FILE_CHOOSER(chooser.get());
    gtk_file_chooser_set_select_multiple(fc, options.allowsMultipleSelection);
    std::optional<std::vector<std::filesystem::path>> result;
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser.get())) == GTK_RESPONSE_ACCEPT) {
      std::vector<std::filesystem::path> files;
      GTextListPtr names(gtk_file_chooser_get_filenames(fc));
      for (GSList* n = names.get(); n; n = n->next)
        files.emplace_back(static_cast<const gchar*>(n->data));
      result = std::move(files);
    }
    return result;
  }

  void runAlert(const std::string& message, const std::string& informative) override {
    if (!readyToShow())
      return;
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                                               GTK_BUTTONS_OK, "%s", message.c_str());
    if (!informative.empty())
      gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                               informative.c_str());
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
  }

  AlertButton runAlertWithButtons(const std::string& message, const std::string& informative,
                                  const std::string& firstButton,
                                  const std::string& secondButton) override {
    enum { FIRST = 1, SECOND = 2 };
    if (!readyToShow())
      return AlertButton::First;
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                                               GTK_BUTTONS_NONE, "%s", message.c_str());
    if (!informative.empty())
      gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                               informative.c_str());
    // In GNOME's order the default button comes last, on the right.
    gtk_dialog_add_button(GTK_DIALOG(dialog), secondButton.c_str(), SECOND);
    gtk_dialog_add_button(GTK_DIALOG(dialog), firstButton.c_str(), FIRST);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), FIRST);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    int response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return response == SECOND ? AlertButton::Second : AlertButton::First;
  }
};

} // namespace

std::unique_ptr<Dialogs> makeDialogs() {
  return std::make_unique<GtkDialogs>();
}

} // namespace platform::gtk
