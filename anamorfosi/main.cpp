#include <unistd.h>

#include <iostream>

#include "anamorfosi/command.h"
#include "web/server.h"

using namespace anamorfosi;

int main(int argc, char** argv) { return RunCommand(argc, argv, std::cout, std::cerr, ::isatty(2) != 0, &ServePage); }
