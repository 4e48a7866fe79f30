// The faceted mirror loader: the table never outgrows its limit, and every
// facet has finite corners, a box around them and a plane through them. A file
// whose bytes make it a mesh goes to Assimp and may be refused in one line.
#include "core/errors.h"
#include "mirrors/facets.h"
#include "fuzz/fuzz_facet_checks.h"
#include "meshes/mesh_file.h"

using namespace anamorfosi;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& name = WriteFuzzInput("facets", data, size);
  FacetSet set;
  FacetLoadOptions options;
  // Assimp in this process, where the fuzzer sees it, but for the formats
  // whose readers abort on some damaged files (a binary glTF, told by its
  // bytes): those are read as the programs read them, in the reader's child,
  // within the fuzzer's time for one input.
  options.MeshInProcess = MeshFileKindOf(name).Format != MeshFormat::kOther;
  options.MeshSeconds = 4;
  try {
    LoadMirrorFacets(name, set, options);
  } catch (const RuntimeFailure& e) {
    FUZZ_CHECK(e.code() == kInvalidNumber);
    return 0;
  } catch (const MeshError& e) {
    FUZZ_CHECK(std::string(e.what()).find('\n') == std::string::npos);
    return 0;
  }
  CheckFacetTable(set, MaxFacets);
  return 0;
}
