#pragma once

#include <QByteArray>
#include <string>
#include <vector>

// The analysis command: reads a position as JSON, solves it and writes the
// answer as JSON. Returns the exit status: 0 answered, 2 refused (with a
// one-line reason in `error`).
int RunSolveCommand(const std::vector<std::string>& arguments, const QByteArray& input, QByteArray& output,
                    std::string& error);
