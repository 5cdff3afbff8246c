#include "platform/gtk/GtkInternal.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform::gtk {
namespace {

// For a run() that was not registered before.
constexpr std::chrono::milliseconds REGISTER_WAIT{2000};

struct MenuAction {
  class GtkApplicationImpl* app;
  MainWindowHost* host;
  StandardAction standard;
  std::string action;
};

class GtkApplicationImpl final : public GtkApp {
public:
  GtkApplicationImpl(int argc, char** argv, const Identity& identity) : title_(identity.title) {
    for (int i = 0; i < argc; ++i)
      arguments_.emplace_back(argv[i] ? argv[i] : "");
    argv0_ = arguments_.empty() ? identity.folderName : arguments_.front();
    app_.reset(gtk_application_new(identity.applicationId.c_str(), G_APPLICATION_DEFAULT_FLAGS));
    g_signal_connect(app_.get(), "activate", G_CALLBACK(&GtkApplicationImpl::onActivate), this);
  }

  std::vector<std::string> arguments() override { return arguments_; }
  void setDelegate(ApplicationDelegate* delegate) override { delegate_ = delegate; }

  bool registerFirstCopy(std::chrono::milliseconds giveUpAfter) override {
    GApplication* app = G_APPLICATION(app_.get());
    if (g_application_get_is_registered(app))
      return !g_application_get_is_remote(app);
    // A registered copy that is stopped or hung never answers the register's
    // question about its actions, and the bus would only give up after 25 s.
    // GCancellable may be cancelled from any thread.
    GObjectPtr<GCancellable> cancellable(g_cancellable_new());
    std::mutex mutex;
    std::condition_variable done;
    bool registered = false;
    std::thread timer([&] {
      std::unique_lock<std::mutex> hold(mutex);
      if (!done.wait_for(hold, giveUpAfter, [&] { return registered; }))
        g_cancellable_cancel(cancellable.get());
    });
    const bool reached = g_application_register(app, cancellable.get(), nullptr);
    {
      std::lock_guard<std::mutex> hold(mutex);
      registered = true;
    }
    done.notify_one();
    timer.join();
    if (!reached) {
      // No session bus, or no answer on it: still start, just without the
      // bus's one-copy rule.
      g_application_set_flags(app, G_APPLICATION_NON_UNIQUE);
      return true;
    }
    return !g_application_get_is_remote(app);
  }

  int run() override {
    registerFirstCopy(REGISTER_WAIT);
    // GOption must not see our own arguments such as --ball-only.
    char* argv[] = {argv0_.data(), nullptr};
    return g_application_run(G_APPLICATION(app_.get()), 1, argv);
  }
  // A GTK app has its taskbar entry from its first window on, and a window
  // it shows is presented to the window manager, which brings it forward.
  void showInAppSwitcher() override {}
  void activate() override {}
  void terminate() override {
    if (quitting_)
      return;
    quitting_ = true;
    auto quit = [app = app_.get()] { g_application_quit(G_APPLICATION(app)); };
    if (delegate_)
      delegate_->prepareToTerminate(quit);
    else
      quit();
  }
  void setIconFile(const std::filesystem::path& file) override {
    // Every window and dialog of the app; a missing file keeps GTK's default.
    gtk_window_set_default_icon_from_file(file.c_str(), nullptr);
  }

  void setMainMenu(const MenuBar& menu) override {
    menu_ = menu;
    for (MainWindowHost* host : windows_)
      installMenuBar(host);
  }

  void addWindow(MainWindowHost* host) override {
    windows_.push_back(host);
    gtk_application_add_window(app_.get(), host->gtkWindow());
    installMenuBar(host);
  }
  void removeWindow(MainWindowHost* host) override {
    windows_.erase(std::remove(windows_.begin(), windows_.end(), host), windows_.end());
  }
  bool launching() const override { return launching_; }
  void lastWindowMayHaveClosed() override {
    if (!delegate_ || !delegate_->applicationShouldTerminateAfterLastWindowClosed())
      return;
    // The list is ours; the windows in it are not.
    GListPtr toplevels(gtk_window_list_toplevels());
    for (GList* w = toplevels.get(); w; w = w->next)
      if (gtk_widget_get_visible(GTK_WIDGET(w->data)))
        return;
    terminate();
  }

  static std::vector<guint> keyAliases(guint key) {
    switch (key) {
    case GDK_KEY_plus:
      return {GDK_KEY_equal, GDK_KEY_KP_Add};
    case GDK_KEY_minus:
      return {GDK_KEY_KP_Subtract};
    case GDK_KEY_0:
      return {GDK_KEY_KP_0};
    default:
      return {};
    }
  }

  GtkWidget* buildMenuBar(MainWindowHost* host, GtkAccelGroup* accelerators) {
    GtkWidget* bar = gtk_menu_bar_new();
    for (const Menu& menu : menu_) {
      GtkWidget* top =
          gtk_menu_item_new_with_label(menu.title.empty() ? title_.c_str() : menu.title.c_str());
      GtkWidget* sub = gtk_menu_new();
      gtk_menu_set_accel_group(GTK_MENU(sub), accelerators);
      for (const MenuItem& item : menu.items) {
        if (item.separator) {
          gtk_menu_shell_append(GTK_MENU_SHELL(sub), gtk_separator_menu_item_new());
          continue;
        }
        GtkWidget* entry = gtk_menu_item_new_with_label(item.title.c_str());
        if (!item.keyEquivalent.empty()) {
          gunichar c = g_utf8_get_char(item.keyEquivalent.c_str());
          GdkModifierType mods = GDK_CONTROL_MASK;
          if (g_unichar_isupper(c))
            mods = GdkModifierType(mods | GDK_SHIFT_MASK);
          guint key = gdk_unicode_to_keyval(g_unichar_tolower(c));
          gtk_widget_add_accelerator(entry, "activate", accelerators, key, mods, GTK_ACCEL_VISIBLE);
          // The other keys that type the same sign, unshown: "+" is Shift and
          // "=" on most layouts, and the keypad has its own.
          for (guint alias : keyAliases(key))
            gtk_widget_add_accelerator(entry, "activate", accelerators, alias, mods,
                                       GtkAccelFlags(0));
        }
        auto* data = new MenuAction{this, host, item.standard, item.action};
        g_signal_connect_data(entry, "activate", G_CALLBACK(&GtkApplicationImpl::onMenuItem), data,
                              &GtkApplicationImpl::freeMenuAction, GConnectFlags(0));
        gtk_menu_shell_append(GTK_MENU_SHELL(sub), entry);
      }
      gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), sub);
      gtk_menu_shell_append(GTK_MENU_SHELL(bar), top);
    }
    return bar;
  }

  void perform(MainWindowHost* host, StandardAction standard, const std::string& action) {
    switch (standard) {
    case StandardAction::None:
      if (delegate_)
        delegate_->performAction(action);
      return;
    case StandardAction::CloseWindow:
      if (host)
        host->performClose();
      return;
    case StandardAction::Quit:
      terminate();
      return;
    case StandardAction::Undo:
    case StandardAction::Redo:
    case StandardAction::Cut:
    case StandardAction::Copy:
    case StandardAction::Paste:
    case StandardAction::SelectAll:
      if (host && host->contentWebView())
        runEditingCommand(*host->contentWebView(), standard);
      return;
    }
  }

private:
  void installMenuBar(MainWindowHost* host) {
    if (menu_.empty())
      return;
    host->installMenuBar();
  }

  static void onMenuItem(GtkMenuItem*, gpointer data) {
    auto* item = static_cast<MenuAction*>(data);
    item->app->perform(item->host, item->standard, item->action);
  }
  static void freeMenuAction(gpointer data, GClosure*) { delete static_cast<MenuAction*>(data); }

  static void onActivate(GtkApplication*, gpointer data) {
    auto* self = static_cast<GtkApplicationImpl*>(data);
    if (!self->launched_) {
      self->launched_ = true;
      // Keep running with every window hidden: the ball may be all there is.
      g_application_hold(G_APPLICATION(self->app_.get()));
      self->launching_ = true;
      if (self->delegate_)
        self->delegate_->applicationDidFinishLaunching();
      self->launching_ = false;
      return;
    }
    bool visible = false;
    for (MainWindowHost* host : self->windows_)
      visible = visible || gtk_widget_get_visible(GTK_WIDGET(host->gtkWindow()));
    if (self->delegate_)
      self->delegate_->applicationShouldHandleReopen(visible);
  }

  std::vector<std::string> arguments_;
  std::string title_;
  std::string argv0_;
  GObjectPtr<GtkApplication> app_;
  ApplicationDelegate* delegate_ = nullptr;
  MenuBar menu_;
  std::vector<MainWindowHost*> windows_;
  bool launched_ = false;
  bool launching_ = false;
  // Asked to quit, and waiting for the delegate to let it.
  bool quitting_ = false;
};

} // namespace

std::unique_ptr<GtkApp> makeApplication(int argc, char** argv, const Identity& identity) {
  return std::make_unique<GtkApplicationImpl>(argc, argv, identity);
}

GtkWidget* buildMenuBarFor(GtkApp& app, MainWindowHost* host, GtkAccelGroup* accelerators) {
  return static_cast<GtkApplicationImpl&>(app).buildMenuBar(host, accelerators);
}

} // namespace platform::gtk
