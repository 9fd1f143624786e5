#include "remote/web/web_settings_io.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/root.h"
#include "remote/web/web_settings.h"

std::optional<std::string> ReadWebSettingsFile(const char* path) {
  std::ifstream in(plat::MapPath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(kWebFileMax + 1, '\0');
  in.read(&text[0], static_cast<std::streamsize>(text.size()));
  if (in.bad()) return std::nullopt;
  const auto got = static_cast<size_t>(in.gcount());
  if (got > kWebFileMax) return std::nullopt;
  text.resize(got);
  return text;
}

bool WriteWebSettingsFile(const char* path, const std::string& text) {
  namespace fs = std::filesystem;
  const fs::path target(plat::MapPath(path));
  std::error_code ec;
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
  const fs::path temp = target.string() + ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
      out.close();
      fs::remove(temp, ec);
      return false;
    }
  }
  fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

std::optional<unsigned> ParseWebPort(const std::string& text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value < 1 || value > 65535) return std::nullopt;
  return value;
}
