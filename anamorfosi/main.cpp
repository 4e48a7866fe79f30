#include <unistd.h>

#include <iostream>

#include "command.h"
#include "server.h"

int main(int argc, char** argv) { return RunCommand(argc, argv, std::cout, std::cerr, ::isatty(2) != 0, &ServePage); }
