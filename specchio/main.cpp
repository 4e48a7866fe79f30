#include <iostream>

#include "specchio/specchio_program.h"

using namespace anamorfosi;

int main() {
  Console console{&std::cin, &std::cout};
  PlaneMirror mirror;
  return RunAnamorphosis(SpecchioProgram(), mirror, console, RunOptions{DefaultThreads()});
}
