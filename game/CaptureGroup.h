#pragma once

// Moved to the rules core.
#include "rules/CaptureGroup.h"
