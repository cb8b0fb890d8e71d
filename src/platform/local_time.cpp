#include "platform/local_time.hpp"

#include <ctime>

const char* calendar_text(int64_t unix_seconds) {
    const time_t seconds = unix_seconds;
    const char* text = ctime(&seconds);
    // ctime fails only for years beyond what its text can hold.
    return text != nullptr ? text : "(out of range)\n";
}
