#include "pulse/wave.h"
