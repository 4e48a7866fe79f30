#include <iostream>

#include "cilindro_program.h"

int main() {
  Console console{&std::cin, &std::cout};
  Cylinder mirror;
  return RunAnamorphosis(CilindroProgram(), mirror, console, RunOptions{DefaultThreads()});
}
