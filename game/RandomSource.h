#pragma once

// Moved to the rules core.
#include "rules/RandomSource.h"
