#pragma once

#include <functional>
#include <string>

// Loading routines name each step they start (the progress window shows it)
// and report failures to the player through a message sink. Both are handed in
// as callables so that tests can record them instead of showing windows.
using TTaskReporter = std::function<void(const std::string& task)>;
using TMessageSink = std::function<void(const std::string& message)>;

// The default message sink: a modal message box with an OK button.
void ShowMessageBox(const std::string& message);
