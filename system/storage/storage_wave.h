// Waveform files: a channel's 7,000-point record saved in the instrument's
// binary form (.wav: the run state and the samples, 24,499 bytes), which
// loads back into reference RefA or RefB, or as a table of times and values
// (.csv) on the USB disk.
#pragma once
#include <cstdint>
#include <functional>

#include "core/state/ids.h"

// Layout of a binary waveform file.
constexpr int kWaveFileBytes = 24499;
constexpr int kWaveLabelBytes = 12;  // "TASK-STORAGE"
constexpr int kWaveImageAt = 15, kWaveSamplesAt = 17473, kWaveTrailerAt = 24473;
constexpr int kWaveSamples = 7000;
constexpr int kRefA = kSourceRefA;  // reference traces RefA, then RefB

// Runs a job later, on a thread of its own; false when it was dropped.
using StorageJobRunner = bool (*)(std::function<void()>&&);

// `name` with its extension; source 0 CH1, 1 CH2; disk 0 internal, 1 USB,
// 2 USB as CSV. 0, or -1 with the failure's message raised (nothing
// written; an older file of the name stays whole). A CSV of a record deeper
// than the screen's is taken here and its lines written by `later` when
// given (which then gives the outcome's message); without it, here.
int StorageSaveWaveFunc(const char* name, int source, int disk, StorageJobRunner later = nullptr);
// ref 0 RefA, 1 RefB; disk 0 internal, another the USB disk. Nothing of the
// run state or the references changes unless the whole file is good.
int StorageLoadWaveFunc(const char* name, int ref, int disk);

// Lays out the display slot of reference `ref` (0 RefA, 1 RefB) for the
// time base in force: full area, zoom view, or its half of a split view.
void StorageRefLayout(int ref);

// The progress bar of a CSV save: kind 2 draws it empty, kind 3 advances it
// by `value` of its 40 steps; kind 1 draws nothing.
void Storage_Draw_Process(int kind, int value);
