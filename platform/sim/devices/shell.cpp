// Shell commands on the simulated board: logged in the root, harmless file
// commands emulated inside it, everything else only recorded.
#include "platform/shell.h"

#include <fcntl.h>
#include <glob.h>
#include <spawn.h>
#include <sys/wait.h>

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "platform/clock.h"
#include "platform/devices/disk.h"
#include "platform/log_ring.h"
#include "platform/devices/net.h"
#include "platform/root.h"
#include "platform/devices/usb.h"

namespace fs = std::filesystem;

namespace plat {
namespace {
struct Log {
  std::mutex mu;
  LogRing<std::string, kShellLogLines> lines;
};
Log& TheLog() {
  static Log l;  // built on first use: commands may run during static initialisation
  return l;
}

// Splits a command line into words, honouring quotes and backslashes.
// Returns false when the line holds shell syntax we do not emulate.
bool Tokenize(const std::string& line, std::vector<std::string>* words) {
  std::string cur;
  bool have = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\'') {
      size_t j = line.find('\'', i + 1);
      if (j == std::string::npos) return false;
      cur += line.substr(i + 1, j - i - 1);
      i = j;
      have = true;
    } else if (c == '"') {
      size_t j = i + 1;
      for (; j < line.size() && line[j] != '"'; ++j) {
        if (line[j] == '\\' && j + 1 < line.size()) ++j;
        if (line[j] == '$' || line[j] == '`') return false;
        cur += line[j];
      }
      if (j >= line.size()) return false;
      i = j;
      have = true;
    } else if (c == '\\' && i + 1 < line.size()) {
      cur += line[++i];
      have = true;
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (have) words->push_back(cur);
      cur.clear();
      have = false;
    } else if (c == '|' || c == '&' || c == ';' || c == '$' || c == '`' || c == '<' || c == '(' ||
               c == ')') {
      return false;
    } else {
      cur += c;
      have = true;
    }
  }
  if (have) words->push_back(cur);
  return true;
}

// Expands one argument to host paths inside the root; false if it would leave it.
bool Expand(const std::string& arg, std::vector<std::string>* out) {
  std::string host = MapPath(arg);
  if (!InsideRoot(host)) return false;
  glob_t g{};
  if (host.find_first_of("*?[") != std::string::npos && glob(host.c_str(), 0, nullptr, &g) == 0) {
    for (size_t i = 0; i < g.gl_pathc; ++i) {
      if (!InsideRoot(g.gl_pathv[i])) {
        globfree(&g);
        return false;
      }
      out->push_back(g.gl_pathv[i]);
    }
    globfree(&g);
    return true;
  }
  globfree(&g);
  out->push_back(host);  // unmatched patterns stay literal, as in sh
  return true;
}

int RunFileCommand(std::vector<std::string> w) {
  const std::string cmd = w[0];
  std::string redirect;
  bool append = false;
  for (size_t i = 1; i < w.size(); ++i) {
    if (w[i] == ">" || w[i] == ">>") {
      if (i + 1 >= w.size()) return 2;
      append = w[i] == ">>";
      redirect = w[i + 1];
      w.erase(w.begin() + i, w.begin() + i + 2);
      break;
    }
  }
  std::string flags;
  std::vector<std::string> paths;
  for (size_t i = 1; i < w.size(); ++i) {
    if (w[i].size() > 1 && w[i][0] == '-') {
      flags += w[i].substr(1);
    } else if (!Expand(w[i], &paths)) {
      return 1;
    }
  }
  std::error_code ec;
  int rc = 0;
  std::string output;
  if (cmd == "sync") return 0;
  if (cmd == "mkdir") {
    for (const auto& p : paths) {
      bool ok = flags.find('p') != std::string::npos ? (fs::create_directories(p, ec), !ec)
                                                     : fs::create_directory(p, ec);
      if (!ok) rc = 1;
    }
  } else if (cmd == "rm") {
    bool recursive = flags.find('r') != std::string::npos || flags.find('R') != std::string::npos;
    bool force = flags.find('f') != std::string::npos;
    if (paths.empty() && !force) return 1;
    for (const auto& p : paths) {
      if (!fs::exists(fs::symlink_status(p, ec))) {
        if (!force) rc = 1;
        continue;
      }
      if (fs::is_directory(p, ec) && !recursive) {
        rc = 1;
        continue;
      }
      if (recursive ? fs::remove_all(p, ec) == static_cast<std::uintmax_t>(-1) : !fs::remove(p, ec))
        rc = 1;
    }
  } else if (cmd == "cp") {
    if (paths.size() < 2) return 1;
    std::string dst = paths.back();
    paths.pop_back();
    bool recursive = flags.find_first_of("rRa") != std::string::npos;
    for (const auto& p : paths) {
      fs::path target =
          fs::is_directory(dst, ec) ? fs::path(dst) / fs::path(p).filename() : fs::path(dst);
      auto opts = fs::copy_options::overwrite_existing;
      if (recursive) opts |= fs::copy_options::recursive;
      if (fs::is_directory(p, ec) && !recursive) {
        rc = 1;
        continue;
      }
      fs::copy(p, target, opts, ec);
      if (ec) rc = 1;
    }
  } else if (cmd == "ls") {
    if (paths.empty()) paths.push_back(".");
    for (const auto& p : paths) {
      if (fs::is_directory(p, ec)) {
        for (const auto& e : fs::directory_iterator(p, ec))
          output += e.path().filename().string() + "\n";
      } else if (fs::exists(p, ec)) {
        output += fs::path(p).filename().string() + "\n";
      } else {
        rc = 2;
      }
    }
  }
  if (!redirect.empty()) {
    std::string host = MapPath(redirect);
    if (!InsideRoot(host)) return 1;
    std::ofstream f(host, append ? std::ios::app : std::ios::trunc);
    f << output;
  } else if (!output.empty()) {
    std::fputs(output.c_str(), stdout);
  }
  return rc;
}

// The host's ffmpeg, standing in for the board's.
std::string HostFfmpeg() {
  const char* env = std::getenv("SCOPE_FFMPEG");
  return env && *env ? env : "/usr/bin/ffmpeg";
}

bool IsFfmpeg(const std::vector<std::string>& w) {
  const std::string& p = w[0];
  return p == "ffmpeg" || (p.size() > 7 && p.compare(p.size() - 7, 7, "/ffmpeg") == 0);
}

// "ffmpeg -i IN [-c:v copy] [-c:a copy] [-y] OUT": only these options, and
// files inside the root; anything else is refused (exit status 1).
int RunFfmpeg(const std::vector<std::string>& w) {
  std::vector<std::string> args{HostFfmpeg(), "-nostdin", "-loglevel", "error"};
  std::string output;
  for (size_t i = 1; i < w.size(); ++i) {
    const std::string& a = w[i];
    if (a == "-y") {
      args.push_back(a);
    } else if (a == "-c:v" || a == "-c:a") {
      if (i + 1 >= w.size() || w[i + 1] != "copy") return 1;
      args.push_back(a);
      args.push_back(w[++i]);
    } else if (a == "-i" || (!a.empty() && a[0] != '-')) {
      const bool input = a == "-i";
      if (input && ++i >= w.size()) return 1;
      const std::string host = MapPath(w[i]);
      if (host.find_first_of("*?[") != std::string::npos || !InsideRoot(host)) return 1;
      if (input) args.push_back("-i");
      if (!input) output = host;
      args.push_back(host);
    } else {
      return 1;
    }
  }
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  const std::string log = DevPath("ffmpeg.log");
  posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  pid_t pid = -1;
  const int err = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (err != 0) return 127;  // as sh reports a program it cannot run
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 1;
  }
  const int rc = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
  // A USB disk without room for the whole output stops ffmpeg as the board's
  // does: the output cut where the disk filled, exit status 1.
  if (rc == 0 && !output.empty() && !DiskKeptWhole(output)) return 1;
  return rc;
}

// "fdisk -l | grep ^/dev/sd. | grep FAT32 -c > message": the count of FAT disks.
bool AnswerFdisk(const std::string& line, int* rc) {
  if (line.rfind("fdisk -l", 0) != 0) return false;
  const char* types[] = {"FAT32", "FAT16"};
  for (const char* t : types) {
    if (line.find(std::string("grep ") + t + " -c") == std::string::npos) continue;
    size_t gt = line.find('>');
    int n = UsbDiskPresent() && UsbDiskFileSystem() == t ? 1 : 0;
    if (gt != std::string::npos) {
      std::string file = line.substr(gt + 1);
      file.erase(0, file.find_first_not_of(" \t"));
      file.erase(file.find_last_not_of(" \t\r\n") + 1);
      std::string host = MapPath(file);
      if (InsideRoot(host)) std::ofstream(host, std::ios::trunc) << n << "\n";
    }
    *rc = n > 0 ? 0 : 1;  // grep -c exits 1 when it counted nothing
    return true;
  }
  return false;
}
// The board's own settings: a networking restart applies the configuration
// file to the simulated interface; "date -s" sets the simulated clock. The
// host's network and clock are never touched.
bool AnswerBoard(const std::string& line, int* rc) {
  if (line == "/etc/init.d/networking restart") {
    NetRestart();
    *rc = 0;
    return true;
  }
  int y, mo, d, h, mi, s;
  char end;
  if (std::sscanf(line.c_str(), "date -s \"%d-%d-%d %d:%d:%d%c", &y, &mo, &d, &h, &mi, &s, &end) == 7 &&
      end == '"') {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    SetWallTime(int64_t(timegm(&t)));
    *rc = 0;
    return true;
  }
  return false;
}
}  // namespace

int ShellSystem(const char* command) {
  if (!command) return -1;
  std::string line = command;
  std::vector<std::string> words;
  const bool parsed = Tokenize(line, &words) && !words.empty();
  const bool ffmpeg = parsed && IsFfmpeg(words);
  bool runnable = parsed && (ffmpeg || words[0] == "mkdir" || words[0] == "rm" || words[0] == "cp" ||
                             words[0] == "ls" || words[0] == "sync");
  int rc = 0;
  bool answered = !runnable && (AnswerFdisk(line, &rc) || AnswerBoard(line, &rc));
  {
    std::lock_guard<std::mutex> lock(TheLog().mu);
    TheLog().lines.Push(line);
    std::ofstream log(DevPath("shell.log"), std::ios::app);
    log << (runnable ? "run      " : answered ? "answered " : "recorded ") << line << "\n";
  }
  if (!runnable) return rc;
  if (ffmpeg) return RunFfmpeg(words);
  try {
    return RunFileCommand(words);
  } catch (...) {
    return 1;  // a failing file command never takes the process down
  }
}

std::vector<std::string> ShellLog() {
  std::lock_guard<std::mutex> lock(TheLog().mu);
  return TheLog().lines.Entries();
}

void ClearShellLog() {
  std::lock_guard<std::mutex> lock(TheLog().mu);
  TheLog().lines.Clear();
}

}  // namespace plat
