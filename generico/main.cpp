#include <iostream>

#include "generico_program.h"

int main() {
  Console console{&std::cin, &std::cout};
  FacetedMirror mirror;
  return RunAnamorphosis(GenericoProgram(), mirror, console, RunOptions{DefaultThreads()});
}
