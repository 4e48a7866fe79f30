// Measures the faceted mirror at its limit of 50000 triangles: loading, the
// index build, and the time per ray through the index and through a search of
// the whole table, on the rays of a picture face in front of a faceted cylinder.
//
// Times are processor seconds of the bench itself.
//
// usage: generico_bench [DXF_OUT]   (DXF_OUT: also keep the mirror's DXF there)
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mirrors/faceted_mirror.h"
#include "meshes/mesh_file.h"
#include "testing/mesh_shapes.h"

using namespace anamorfosi;

namespace {

// Processor time of this process: the machine may be busy with other work.
struct Clock {
  static double now() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }
};

double SecondsSince(double start) { return Clock::now() - start; }

void WriteDxf(const std::string& path, const std::vector<Face>& faces) {
  std::ofstream out(path, std::ios::binary);
  out << "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n";
  char buf[64];
  for (const Face& f : faces) {
    out << "  0\r\n3DFACE\r\n  8\r\n0\r\n";
    const Point3 c[4] = {f.C1, f.C2, f.C3, f.C4};
    for (int i = 0; i < 4; ++i) {
      const Real v[3] = {c[i].x, c[i].y, c[i].z};
      for (int k = 0; k < 3; ++k) {
        std::snprintf(buf, sizeof buf, " %d\r\n%.12Lf\r\n", 10 * (k + 1) + i, static_cast<long double>(v[k]));
        out << buf;
      }
    }
  }
  out << "  0\r\nENDSEC\r\n  0\r\nEOF\r\n";
}

}  // namespace

int main(int argc, char** argv) {
  // 500 quadrilaterals round, 50 up: 50000 triangles, the table's limit.
  const std::vector<Face> faces = FacetedCylinderFaces(0, 0, 25, 0, 60, 500, 50);
  const std::string dxf = argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "generico_bench.dxf").string();
  WriteDxf(dxf, faces);

  FacetedMirror mirror;
  auto start = Clock::now();
  LoadMirrorFacets(dxf, mirror.Facets);
  const double loadSeconds = SecondsSince(start);
  start = Clock::now();
  BuildFacetIndex(mirror.Facets, mirror.Index);
  const double buildSeconds = SecondsSince(start);
  std::printf("facets %d, load %.3f s, index build %.4f s (%zu nodes, depth %d)\n", mirror.Facets.FacetCount,
              loadSeconds, buildSeconds, mirror.Index.Nodes.size(), mirror.Index.Depth);

  // The picture face and eye of the cylinder example scene.
  const Face face{{-20, 0, 35}, {20, 0, 35}, {20, 0, 5}, {-20, 0, 5}};
  const Point3 eye{0, -300, 250};
  const int n = 400;
  auto facePoint = [&](int i, int j) {
    const Real u = static_cast<Real>(i) / (n - 1), v = static_cast<Real>(j) / (n - 1);
    const Point3 top = face.C1 + u * (face.C2 - face.C1), bottom = face.C4 + u * (face.C3 - face.C4);
    return top + v * (bottom - top);
  };

  MissRecord misses;
  Real checksum = 0;
  start = Clock::now();
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      Point3 r;
      if (ReflectRay(mirror, eye, facePoint(i, j), r, misses)) checksum += r.x + r.y;
    }
  }
  const double indexSeconds = SecondsSince(start);
  const double indexPerRay = indexSeconds / (static_cast<double>(n) * n);

  // The table search on every 20th ray of each line and column.
  std::vector<int> tableFacets;
  start = Clock::now();
  for (int i = 0; i < n; i += 20) {
    for (int j = 0; j < n; j += 20) {
      Point3 h;
      tableFacets.push_back(NearestFacetByTable(mirror.Facets, eye, UnitDirection(eye, facePoint(i, j)), h));
    }
  }
  const double tableSeconds = SecondsSince(start);
  const long tableRays = static_cast<long>(tableFacets.size());
  long same = 0, k = 0;
  for (int i = 0; i < n; i += 20) {
    for (int j = 0; j < n; j += 20) {
      Point3 h;
      if (NearestFacet(mirror, eye, UnitDirection(eye, facePoint(i, j)), h) == tableFacets[k++]) ++same;
    }
  }
  const double tablePerRay = tableSeconds / static_cast<double>(tableRays);
  std::printf("index: %d rays in %.3f s, %.2f us a ray (%lld misses, checksum %.3Lf)\n", n * n, indexSeconds,
              indexPerRay * 1e6, misses.MissCount, static_cast<long double>(checksum));
  std::printf("table search: %ld rays in %.3f s, %.1f us a ray; same facet on %ld of %ld rays\n", tableRays,
              tableSeconds, tablePerRay * 1e6, same, tableRays);
  std::printf("speed-up %.0fx\n", tablePerRay / indexPerRay);
  return same == tableRays ? 0 : 1;
}
