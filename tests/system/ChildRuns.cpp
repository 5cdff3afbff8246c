#include "ChildRuns.h"

#include <glib.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <vector>

ChildOutcome runSelf(const std::vector<std::string>& arguments) {
  std::vector<std::string> args{std::filesystem::read_symlink("/proc/self/exe").string()};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  ChildOutcome outcome;
  gchar* out = nullptr;
  gchar* err = nullptr;
  gint wait = 0;
  GError* error = nullptr;
  outcome.started = g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr,
                                 &out, &err, &wait, &error);
  if (!outcome.started) {
    outcome.err = error ? error->message : "not started";
    g_clear_error(&error);
    return outcome;
  }
  outcome.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
  outcome.killed = WIFSIGNALED(wait) && WTERMSIG(wait) == SIGKILL;
  outcome.out = out ? out : "";
  outcome.err = err ? err : "";
  g_free(out);
  g_free(err);
  return outcome;
}
