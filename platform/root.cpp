#include "platform/root.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace plat {
namespace {
std::string& RootRef() {
  static std::string root;  // built on first use
  return root;
}

// Lexically normalises an absolute path without letting ".." climb above "/".
std::string Normalise(const std::string& path) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    std::string part = path.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out;
  for (const auto& p : parts) out += "/" + p;
  return out.empty() ? "/" : out;
}

void CopyMissing(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  if (!fs::exists(from, ec)) return;
  for (auto it = fs::recursive_directory_iterator(from, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::path rel = fs::relative(it->path(), from, ec);
    fs::path dst = to / rel;
    if (it->is_directory(ec)) {
      fs::create_directories(dst, ec);
    } else if (!fs::exists(dst, ec)) {
      fs::create_directories(dst.parent_path(), ec);
      fs::copy_file(it->path(), dst, ec);
    }
  }
}
}  // namespace

const char* FactoryDir() {
  const char* env = std::getenv("SCOPE_FACTORY");
  if (env && *env) return env;
#ifdef SCOPE_FACTORY_DIR
  return SCOPE_FACTORY_DIR;
#else
  return "factory";
#endif
}

bool InitRoot(const std::string& dir) {
  std::string d = dir;
  if (d.empty()) {
    const char* env = std::getenv("SCOPE_ROOT");
    d = (env && *env) ? env : "root";
  }
  std::error_code ec;
  fs::create_directories(d, ec);
  fs::path abs = fs::absolute(d, ec);
  if (ec) return false;
  abs = fs::weakly_canonical(abs, ec);
  if (ec) return false;
  RootRef() = abs.string();
  CopyMissing(FactoryDir(), abs);
  for (const char* sub : {"dev", "Data/Storage/Set", "Data/Storage/Wave", "home/user/Hardware"})
    fs::create_directories(abs / sub, ec);
  return chdir(RootRef().c_str()) == 0;
}

const std::string& RootDir() { return RootRef(); }

std::string MapPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string n = Normalise(path);
  if (RootRef().empty()) return n;
  return n == "/" ? RootRef() : RootRef() + n;
}

bool InsideRoot(const std::string& hostPath) {
  if (RootRef().empty()) return false;
  std::string abs = hostPath;
  if (abs.empty() || abs[0] != '/') {
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return false;
    abs = std::string(cwd) + "/" + abs;
  }
  abs = Normalise(abs);
  return abs == RootRef() || abs.compare(0, RootRef().size() + 1, RootRef() + "/") == 0;
}

std::string DevPath(const std::string& name) {
  return (RootRef().empty() ? std::string("dev") : RootRef() + "/dev") + "/" + name;
}

}  // namespace plat
