// Prints the mirror kinds as the page takes them (KindsJson): the browser's
// module must give the same list (site/tests/engine_test.mjs).
#include <iostream>

#include "web/form.h"

int main() {
  std::cout << anamorfosi::KindsJson().dump() << "\n";
  return 0;
}
