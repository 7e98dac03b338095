#pragma once
// Time stamps the engine writes into directory items: the current local time at the 2-second
// grain of a DOS date and time, stored as a UTC file time.
#include <cstdint>

std::int64_t CFSFileTimeNow();
