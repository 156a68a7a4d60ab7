// Conversion between the program's Windows-1251 texts and UTF-8, for the
// toolkit boundary. Uses the C library's iconv.
//
// Threads: any thread.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Every Windows-1251 byte has a UTF-8 form except 0x98, which becomes U+FFFD.
std::string Utf8From1251(std::string_view text);

// Characters with no Windows-1251 form become '?'; invalid UTF-8 bytes too.
std::string Utf8To1251(std::string_view text);

}  // namespace platform
