// Placeholder: the pulse-train image builder (being written).
#pragma once
