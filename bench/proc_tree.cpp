#include "proc_tree.h"

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>

namespace bench {
namespace {

struct Stat {
  pid_t parent = 0;
  char state = '?';
};

// /proc/<pid>/stat: "pid (comm) state ppid ..."; comm may hold spaces and
// parentheses, so parse from the last ')'.
bool readStat(pid_t pid, Stat& out) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t close = text.rfind(')');
  if (close == std::string::npos)
    return false;
  std::istringstream rest(text.substr(close + 1));
  rest >> out.state >> out.parent;
  return bool(rest);
}

bool alive(pid_t pid) {
  Stat s;
  return readStat(pid, s) && s.state != 'Z' && s.state != 'X';
}

std::map<pid_t, pid_t> parents() {
  std::map<pid_t, pid_t> result;
  DIR* dir = opendir("/proc");
  if (!dir)
    return result;
  while (dirent* entry = readdir(dir)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (!end || *end != '\0' || pid <= 0)
      continue;
    Stat s;
    if (readStat(pid_t(pid), s) && s.state != 'Z' && s.state != 'X')
      result[pid_t(pid)] = s.parent;
  }
  closedir(dir);
  return result;
}

} // namespace

std::vector<pid_t> descendants(pid_t pid) {
  std::map<pid_t, pid_t> all = parents();
  std::vector<pid_t> found{pid};
  for (std::size_t i = 0; i < found.size(); ++i)
    for (const auto& [child, parent] : all)
      if (parent == found[i])
        found.push_back(child);
  found.erase(found.begin());
  return found;
}

std::string commandName(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

long statusKiB(pid_t pid, const char* field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  std::size_t n = std::strlen(field);
  while (std::getline(in, line))
    if (line.compare(0, n, field) == 0)
      return std::strtol(line.c_str() + n, nullptr, 10);
  return -1;
}

bool resetPeak(pid_t pid) {
  std::ofstream out("/proc/" + std::to_string(pid) + "/clear_refs");
  out << "5";
  out.flush();
  return bool(out);
}

pid_t findDescendant(pid_t pid, const std::string& prefix) {
  for (pid_t d : descendants(pid))
    if (commandName(d).compare(0, prefix.size(), prefix) == 0)
      return d;
  return 0;
}

void stopProcessTree(pid_t pid) {
  std::vector<pid_t> helpers = descendants(pid);
  kill(pid, SIGTERM);
  for (int i = 0; i < 500; ++i) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || r < 0)
      break;
    if (i == 499) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
    usleep(10000);
  }
  // WebKit's helper processes end by themselves once their parent has gone.
  for (int i = 0; i < 300; ++i) {
    bool any = false;
    for (pid_t h : helpers)
      any = any || alive(h);
    if (!any)
      return;
    usleep(10000);
  }
  for (pid_t h : helpers)
    if (alive(h))
      kill(h, SIGKILL);
}

double monotonicMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double epochMs() {
  timespec t{};
  clock_gettime(CLOCK_REALTIME, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

} // namespace bench
