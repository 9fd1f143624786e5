// The one path for shell commands (in place of system()). On the PC every
// command is appended to "<root>/dev/shell.log"; only harmless file commands
// (mkdir, rm, cp, ls, sync) are carried out, emulated in-process and confined
// to the root, and the one outside program the instrument converts videos
// with, `ffmpeg`, is run without a shell, its files confined to the root
// (the host's program: $SCOPE_FFMPEG, else /usr/bin/ffmpeg; its output goes
// to "<root>/dev/ffmpeg.log"). Everything else is recorded, not run; where the instrument reads
// back what a command prints (the FAT-disk count of fdisk), the simulated board
// answers from its own state.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace plat {

// Returns 0 on success, non-zero as a failed command would.
int ShellSystem(const char* command);

// The commands seen so far in this process, in order: the last
// kShellLogLines of them.
constexpr size_t kShellLogLines = 1024;
std::vector<std::string> ShellLog();
void ClearShellLog();

// Quotes one argument for a shell command line, so names from outside (SCPI,
// the web, a USB disk) never reach a shell unquoted.
std::string ShellQuote(const std::string& arg);

}  // namespace plat
