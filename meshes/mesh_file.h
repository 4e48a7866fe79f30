// Mirror meshes read through Assimp: STL (binary and ASCII), OBJ, PLY, OFF,
// glTF (text and binary) and 3MF, into the same facet table as the DXF
// 3DFACEs. Assimp reads the file's bytes from memory and no other file
// (mesh_input.h), in a child process with bounded memory and time
// (child_process.h), so that no file can crash, hang or bloat the reader.
//
// Assimp triangulates polygons; nothing else of its post-processing runs, so
// vertices are not joined or moved and the order of the file's triangles and
// of their corners is kept. A quadrilateral is stored as a 3DFACE of the same
// corners would be (AddFace): along the diagonal from its third corner to its
// first when Assimp splits it there, otherwise (a quadrilateral bent in at its
// first or third corner) from its fourth corner to its second, as a 3DFACE
// starting at the second corner. So a mesh of quadrilaterals and the DXF of
// the same faces give the same table, triangle for triangle. A glTF, whose up
// is +Y by its definition, is turned so that its up is the sheet's +Z.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

#include "mirrors/facets.h"

// Fills set from the file (replacing what it held): the 3DFACE entities of a
// DXF file, or the triangles of a mesh file, told apart as MeshFileKindOf says
// (mesh_file.h). The scan stops at the first triangle that finds the table
// full. Throws RuntimeFailure as the DXF reader does (missing file, coordinate
// that is not a number), and MeshError for a mesh file that cannot be used.

namespace anamorfosi {
void LoadMirrorFacets(const std::string& fileName, FacetSet& set, const FacetLoadOptions& options = {});

// kOther: glTF, GLB, 3MF; kRefused: a format Assimp reads that a mirror is
// not taken from (FBX, Collada, Blender and the rest).
enum class MeshFormat { kDxf, kStl, kObj, kPly, kOff, kOther, kRefused };

struct MeshFileKind {
  MeshFormat Format = MeshFormat::kDxf;
  std::string Extension;  // the extension Assimp is told, lower case, without the dot
  bool ByContent = false;  // told by the file's bytes rather than by its name
};

// How a mirror file is read. By its bytes where they tell: a binary STL whose
// size is that of the triangles it counts, an ASCII STL ("solid", then
// "facet"), a PLY ("ply"), an OFF ("OFF"), a binary glTF ("glTF"), a DXF
// (group code 0, then SECTION). Else by its extension: .stl, .obj, .ply, .off,
// .gltf, .glb, .3mf; another extension Assimp reads is kRefused. Any other
// file is read as a DXF, as always. A file that cannot be read is judged by
// its name (its reader reports).
MeshFileKind MeshFileKindOf(const std::string& fileName);

// The format's name as messages give it: the extension in capitals (STL, OFF).
std::string FormatName(const MeshFileKind& kind);

enum class MeshProblem {
  kNotRead,      // Assimp refused the file (cut short, malformed, out-of-range index)
  kBadCounts,    // a PLY or OFF whose header counts do not match its data
  kBadIndex,     // a face naming a vertex the mesh does not have
  kNotFinite,    // a corner with a coordinate that is not a finite number
  kNoTriangles,  // a mesh with no triangle at all
  kNotAccepted,  // a format a mirror is not read from
  kOtherFile,    // its geometry lies in another file, which is not read
  kReaderFailed, // the reader crashed, ran out of its memory or its time on it
};

// A mesh file that cannot be used; what() is one English line naming the file.
class MeshError : public std::runtime_error {
 public:
  MeshError(std::string file, MeshProblem problem, const std::string& detail, const std::string& format = {})
      : std::runtime_error(file + ": " + (problem == MeshProblem::kNotRead ? "not a readable " + format + " mesh (" + detail + ")" : detail)),
        File(std::move(file)), Problem(problem), Detail(detail), Format(format) {}
  std::string File;
  MeshProblem Problem;
  std::string Detail;  // what is wrong (Assimp's words for kNotRead), without the file's name
  std::string Format;  // STL, OBJ, PLY, ... as the file was read
};

// Fills set with the triangles of a mesh file of the given kind (replacing
// what it held), in the file's order, degenerate ones dropped; stops at the
// first triangle that finds the table full (FacetOverflow). Throws
// RuntimeFailure when the file cannot be opened (2, 3, 5), MeshError when it
// cannot be used. Assimp runs in a child process (unless
// options.MeshInProcess) with at most MeshReaderBudget's memory and time.
void LoadMeshFacets(const std::string& fileName, const MeshFileKind& kind, FacetSet& set,
                    const FacetLoadOptions& options);

// What the reader of a file of the given size may use: 192 MiB of memory
// beyond what the process holds plus 6 bytes for each of the file's, and 6 s
// plus 1 s for each 4 MiB (three times as long in a build with sanitizers).
struct MeshReaderLimits {
  unsigned long long Bytes;
  double Seconds;
};
MeshReaderLimits MeshReaderBudget(unsigned long long fileSize);

// Checks that a PLY file's header holds only the lines of the format (one
// format line, comments, elements, properties) and that its data holds exactly
// the elements its header counts: Assimp reads the counts as given and fills
// what is missing with earlier values, and strays on other header lines. Answers an empty string when it does, else what is wrong.
std::string PlyCountProblem(const char* data, std::size_t size);

// Checks that an OFF file is laid out as Assimp reads it right: the word OFF
// (with its C, N, ST, 4, n prefixes) and the counts, then one line for each
// vertex starting with its coordinates, then one line for each face with its
// corner count (1 to 9) and that many vertex numbers, each of a vertex the file
// has, and nothing but comments after them. Assimp would read a file that is
// not so with wrong corners, clamped indices, dropped faces, or fail unsafely.
// Answers an empty string when it is, else what is wrong.
std::string OffLayoutProblem(const char* data, std::size_t size);

}  // namespace anamorfosi
