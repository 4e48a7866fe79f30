#include <iostream>

#include "generico/generico_program.h"

using namespace anamorfosi;

int main() {
  Console console{&std::cin, &std::cout};
  FacetedMirror mirror;
  return RunAnamorphosis(GenericoProgram(), mirror, console, RunOptions{DefaultThreads()});
}
