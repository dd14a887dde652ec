// The wall clock as the user's time zone shows it, for names stamped with the time of day.
#pragma once

#include <ctime>

// The local time of a moment (the system's time zone), as localtime gives it but safe to call
// from any thread. All fields 0 where the system cannot tell.
std::tm LocalTime(std::time_t moment);
