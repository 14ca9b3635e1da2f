#pragma once

#include <string>

// Which server a stored match in play belongs to, among servers sharing one
// database: it resumes its own after a restart and leaves the others'.

// 1 to 64 ASCII letters, digits, '.', '-', '_' and ':'.
bool IsValidInstanceName(const std::string& name);

// The name kept in file, made on first use (the host's name and eight random
// hexadecimal digits, so that copies of one machine image still differ);
// empty with error set when the file cannot be read, made or holds no valid name.
std::string LoadOrMakeInstanceName(const std::string& file, std::string& error);
