#include <unistd.h>

#include <iostream>

#include "command.h"

int main(int argc, char** argv) { return RunCommand(argc, argv, std::cout, std::cerr, ::isatty(2) != 0); }
