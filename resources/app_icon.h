// The application icon (resources/pulsegen.png), built into the program.
#pragma once

#include <cstddef>

extern const unsigned char kAppIconPng[];
extern const std::size_t kAppIconPngSize;
