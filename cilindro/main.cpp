#include <iostream>

#include "cilindro/cilindro_program.h"

using namespace anamorfosi;

int main() {
  Console console{&std::cin, &std::cout};
  Cylinder mirror;
  return RunAnamorphosis(CilindroProgram(), mirror, console, RunOptions{DefaultThreads()});
}
