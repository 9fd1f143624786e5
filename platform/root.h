// The instrument root: every path of the system resolves under one directory.
// On the board the root is "/"; on the PC it is chosen at start-up, and the
// process works with it as its current directory.
#pragma once
#include <string>

namespace plat {

// Makes `dir` the instrument root: creates it, copies the factory resources
// that are missing, creates the simulated devices' folder and changes into it.
// An empty `dir` takes $SCOPE_ROOT, else "./root". Returns false on failure.
bool InitRoot(const std::string& dir);

// The root's absolute path ("" before InitRoot).
const std::string& RootDir();

// Maps a path of the instrument's file system to the host: absolute paths are
// placed under the root, relative ones are left as they are (the working
// directory is the root). ".." never climbs above the root.
std::string MapPath(const std::string& path);

// True when `hostPath` (an absolute or relative host path) lies inside the root.
bool InsideRoot(const std::string& hostPath);

// Path of a simulated device's state file, "<root>/dev/<name>".
std::string DevPath(const std::string& name);

// Folder of the factory image the root is populated from.
const char* FactoryDir();

}  // namespace plat
