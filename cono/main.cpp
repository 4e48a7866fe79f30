#include <iostream>

#include "cono/cono_program.h"

using namespace anamorfosi;

int main() {
  Console console{&std::cin, &std::cout};
  ConeMirror cone;
  return RunAnamorphosis(ConoProgram(), cone, console, RunOptions{DefaultThreads()});
}
