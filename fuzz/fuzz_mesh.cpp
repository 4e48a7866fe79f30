// Mirror meshes through Assimp and our side of their loading: the choice of
// format, the PLY and OFF layout checks, the triangulation's bookkeeping and the table.
// The first byte picks the file's extension (.stl, .obj, .ply, .off, .dxf,
// .gltf, .glb, .3mf), the rest is the file. A file is refused in one line
// naming it, or gives a table within its limit whose facets have finite
// corners inside their boxes. Assimp runs in this process for the first five,
// where the fuzzer sees and steers it and our side of the triangles (the
// programs run it in a child process of its own). Its glTF and 3MF readers
// abort on some damaged files, which is what the child is there for: those
// run as the programs run them, a death in the child being the one line the
// file gets, and the checks made before Assimp run here as well.
#include "core/errors.h"
#include "fuzz/fuzz_facet_checks.h"
#include "meshes/mesh_file.h"
#include "meshes/mesh_input.h"

using namespace anamorfosi;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const char* const kExtensions[] = {"stl", "obj", "ply", "off", "dxf", "gltf", "glb", "3mf"};
  const std::string name = FuzzScratchFile("mesh") + "." + kExtensions[data[0] % 8];
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) std::abort();
  if (size > 1 && std::fwrite(data + 1, 1, size - 1, f) != size - 1) std::abort();
  std::fclose(f);

  PlyCountProblem(reinterpret_cast<const char*>(data + 1), size - 1);
  OffLayoutProblem(reinterpret_cast<const char*>(data + 1), size - 1);
  JsonNestingProblem(reinterpret_cast<const char*>(data + 1), size - 1, data[0] % 2 == 0);
  unsigned long long expanded = 0;
  ZipExpansionProblem(data + 1, size - 1, 64ULL << 20, expanded);
  FacetSet set;
  FacetLoadOptions options;
  options.Limit = 2000;
  options.DrawingUnitMm = 10;
  options.MeshInProcess = data[0] % 8 < 5;
  // Within the fuzzer's 10 s for one input.
  options.MeshSeconds = 4;
  try {
    LoadMirrorFacets(name, set, options);
  } catch (const MeshError& e) {
    const std::string line = e.what();
    FUZZ_CHECK(line.rfind(name + ": ", 0) == 0);
    FUZZ_CHECK(line.find('\n') == std::string::npos);
    std::remove(name.c_str());
    return 0;
  } catch (const RuntimeFailure& e) {
    FUZZ_CHECK(e.code() == kInvalidNumber);
    std::remove(name.c_str());
    return 0;
  }
  std::remove(name.c_str());
  CheckFacetTable(set, options.Limit);
  return 0;
}
