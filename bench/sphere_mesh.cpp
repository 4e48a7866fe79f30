// Writes a sphere mesh as solid modellers make one (testing/mesh_shapes.h's
// RingSphereFaces) as binary STL: the smooth-mesh measurements' mirrors.
//
//   sphere_mesh SEGMENTS RADIUS OUT.stl
//
// The sphere stands on the sheet: its centre at (0, 0, RADIUS).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "testing/mesh_samples.h"
#include "testing/mesh_shapes.h"

int main(int argc, char** argv) {
  using namespace anamorfosi;
  if (argc != 4) {
    std::fprintf(stderr, "usage: sphere_mesh SEGMENTS RADIUS OUT.stl\n");
    return 2;
  }
  const int segments = std::atoi(argv[1]);
  const double radius = std::atof(argv[2]);
  if (segments < 3 || segments > 4096 || !(radius > 0)) {
    std::fprintf(stderr, "sphere_mesh: SEGMENTS must be 3 to 4096 and RADIUS above 0\n");
    return 2;
  }
  const Real r = radius;
  const std::string stl = BinaryStl(TrianglesOfFaces(RingSphereFaces({0, 0, r}, r, segments)), "sphere mesh");
  std::ofstream out(argv[3], std::ios::binary);
  out.write(stl.data(), static_cast<std::streamsize>(stl.size()));
  if (!out.flush()) {
    std::fprintf(stderr, "sphere_mesh: %s: cannot be written\n", argv[3]);
    return 1;
  }
  return 0;
}
