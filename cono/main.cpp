#include <iostream>

#include "cono_program.h"

int main() {
  Console console{&std::cin, &std::cout};
  ConeMirror cone;
  return RunAnamorphosis(ConoProgram(), cone, console, RunOptions{DefaultThreads()});
}
