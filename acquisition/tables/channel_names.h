// Unit texts by unit and prefix (the micro sign is the Latin-1 byte 0xB5) and
// the source names.
#pragma once

inline constexpr char ChannelUnit[5][5][5] = {
    {"\xB5V", "mV", "V", "kV", "MV"},
    {"\xB5" "A", "mA", "A", "kA", "MA"},
    {"\xB5W", "mW", "W", "kW", "MW"},
    {"\xB5U", "mU", "U", "kU", "MU"},
    {"\xB5" "dB", "mdB", "dB", "kdB", "MdB"},
};

inline constexpr char ChName[9][6] = {"CH1", "CH2", "CH3", "CH4", "Math", "RefA", "RefB", "RefC", "RefD"};
