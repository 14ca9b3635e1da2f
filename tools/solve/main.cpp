// vantaro-solve: reads a position as JSON on standard input and prints every
// legal move with the score it forces (or only the best with --best); with
// --review FILE it scores every move of a match record instead.
#include "tools/solve/SolveCommand.h"

#include <QFile>
#include <algorithm>
#include <cstdio>
#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    QByteArray input;
    // A review reads its record from the file it names, not from standard input.
    if (std::find(arguments.begin(), arguments.end(), "--review") == arguments.end()) {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly)) {
            std::cerr << "vantaro-solve: cannot read standard input\n";
            return 2;
        }
        input = in.readAll();
    }
    QByteArray output;
    std::string error;
    const int status = RunSolveCommand(arguments, input, output, error);
    if (status != 0) {
        std::cerr << "vantaro-solve: " << error << '\n';
        return status;
    }
    std::cout.write(output.constData(), output.size());
    std::cout.flush();
    return std::cout ? 0 : 1;
}
