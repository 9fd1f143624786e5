// Volts per division by V/div index, 1-2-5 steps from 100 uV to 500 MV, and
// their labels.
#pragma once

constexpr int kVoltageEntries = 39;
// The 500 uV/div range: the 1 mV hardware range, its samples read at twice the gain.
constexpr int kVoltage500uV = 2;

inline constexpr float Voltage[kVoltageEntries] = {
    0.0001f,     0.0002f,     0.0005f,                               // 0..2
    0.001f,      0.002f,      0.005f,                                // 3..5
    0.01f,       0.02f,       0.05f,                                 // 6..8
    0.1f,        0.2f,        0.5f,                                  // 9..11
    1.0f,        2.0f,        5.0f,                                  // 12..14
    10.0f,       20.0f,       50.0f,                                 // 15..17
    100.0f,      200.0f,      500.0f,                                // 18..20
    1000.0f,     2000.0f,     5000.0f,                               // 21..23
    10000.0f,    20000.0f,    50000.0f,                              // 24..26
    100000.0f,   200000.0f,   500000.0f,                             // 27..29
    1000000.0f,  2000000.0f,  5000000.0f,                            // 30..32
    10000000.0f, 20000000.0f, 50000000.0f,                           // 33..35
    100000000.0f, 200000000.0f, 500000000.0f,                        // 36..38
};

inline constexpr char VoltageStr[kVoltageEntries][10] = {
    "100uV", "200uV", "500uV", "1mV",   "2mV",   "5mV",   "10mV",  "20mV",  "50mV",  "100mV",
    "200mV", "500mV", "1.0V",  "2.0V",  "5.0V",  "10V",   "20V",   "50V",   "100V",  "200V",
    "500V",  "1KV",   "2KV",   "5KV",   "10KV",  "20KV",  "50KV",  "100KV", "200KV", "500KV",
    "1MV",   "2MV",   "5MV",   "10MV",  "20MV",  "50MV",  "100MV", "200MV", "500MV",
};

// The same labels without the unit letter.
inline constexpr char VoltageNotUnit[kVoltageEntries][10] = {
    "100u", "200u", "500u", "1m",   "2m",   "5m",   "10m",  "20m",  "50m",  "100m",
    "200m", "500m", "1.0",  "2.0",  "5.0",  "10",   "20",   "50",   "100",  "200",
    "500",  "1K",   "2K",   "5K",   "10K",  "20K",  "50K",  "100K", "200K", "500K",
    "1M",   "2M",   "5M",   "10M",  "20M",  "50M",  "100M", "200M", "500M",
};
