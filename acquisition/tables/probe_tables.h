// Probe ratios by probe index (index 7 is the custom ratio, kept per channel)
// and their labels; the current-probe ratios of the channel menus.
#pragma once

constexpr int kProbeEntries = 7;
constexpr int kProbeCustom = 7;

inline constexpr float ChProbeScale[kProbeEntries] = {0.001f, 0.01f, 0.1f, 1.0f, 10.0f, 100.0f, 1000.0f};
inline constexpr char ChProbe[kProbeEntries][8] = {"0.001X", "0.01X", "0.1X", "1X", "10X", "100X", "1000X"};

constexpr int kCurrentProbeEntries = 4;
inline constexpr float ChProbeScale_A[kCurrentProbeEntries] = {200.0f, 100.0f, 20.0f, 10.0f};
inline constexpr char ChProbe_A[kCurrentProbeEntries][8] = {"200X", "100X", "20X", "10X"};
