#pragma once

#include "app/VantaroForm.h"

// The program's four windows, made hidden in the order the program has always
// made them (the main window first) and destroyed in the reverse order.
void CreateWindows(TShellEnvironment environment = {});
void DestroyWindows();
