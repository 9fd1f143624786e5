// The instrument the fuzz targets feed. Set up once per process: a fresh root
// in a temporary folder (removed at exit), start-up on the simulated board,
// then only the SCPI thread and its worker running beside the target, as in
// the SCPI tests. Every file a target writes lies under that root.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Sets the instrument up on the first call; later calls do nothing.
void FuzzInstrument();

// Replaces the file at instrument path `path` (under the root) with `size`
// bytes of `data`, creating its folder.
void FuzzWriteFile(const std::string& path, const uint8_t* data, size_t size);

// Waits until the SCPI thread has handled every message posted so far and the
// worker has run every call they queued. A stuck engine is a hang: the
// process aborts, so the fuzzer keeps the input.
void FuzzScpiSettle();
