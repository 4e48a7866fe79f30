#include <iostream>

#include "specchio_program.h"

int main() {
  Console console{&std::cin, &std::cout};
  PlaneMirror mirror;
  return RunAnamorphosis(SpecchioProgram(), mirror, console, RunOptions{DefaultThreads()});
}
