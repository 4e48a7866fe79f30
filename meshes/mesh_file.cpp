#include "meshes/mesh_file.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "meshes/child_process.h"
#include "meshes/dxf_facets.h"
#include "core/errors.h"
#include "meshes/mesh_input.h"
#include "picture/picture_error.h"
#include "picture/picture_file.h"

namespace anamorfosi {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string ExtensionOf(const std::string& fileName) {
  std::string ext = std::filesystem::path(fileName).extension().string();
  if (!ext.empty()) ext.erase(0, 1);
  return Lower(ext);
}

// The first bytes of a file and its size; false when it cannot be opened.
bool ReadHead(const std::string& fileName, std::string& head, unsigned long long& size) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(fileName, ec)) return false;
  std::FILE* f = std::fopen(fileName.c_str(), "rb");
  if (!f) return false;
  char buffer[512];
  const std::size_t n = std::fread(buffer, 1, sizeof buffer, f);
  std::fclose(f);
  head.assign(buffer, n);
  size = std::filesystem::file_size(fileName, ec);
  return !ec;
}

std::uint32_t LittleEndian32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint32_t>(u[0]) | static_cast<std::uint32_t>(u[1]) << 8 |
         static_cast<std::uint32_t>(u[2]) << 16 | static_cast<std::uint32_t>(u[3]) << 24;
}

bool StartsWithWord(const std::string& text, std::size_t at, const char* word) {
  const std::size_t n = std::strlen(word);
  return text.compare(at, n, word) == 0;
}

std::size_t SkipBlanks(const std::string& text, std::size_t at) {
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  return at;
}

// The format the bytes announce, or an empty string.
std::string ExtensionByContent(const std::string& head, unsigned long long size) {
  // A binary STL: an 80-byte header, a count, and 50 bytes for each triangle.
  if (size >= 84 && head.size() >= 84 && size == 84 + 50ULL * LittleEndian32(head.data() + 80)) return "stl";
  const std::size_t first = SkipBlanks(head, 0);
  if (StartsWithWord(head, first, "solid") && head.find("facet", first) != std::string::npos) return "stl";
  if (head.compare(0, 4, "ply\n") == 0 || head.compare(0, 5, "ply\r\n") == 0) return "ply";
  if (head.compare(0, 3, "OFF") == 0 && head.size() > 3 && std::isspace(static_cast<unsigned char>(head[3])))
    return "off";
  if (head.compare(0, 4, "glTF") == 0) return "glb";
  // A DXF: group code 0 on the first line, SECTION on the second.
  if (head[first] == '0' && SkipBlanks(head, first + 1) > first + 1 &&
      StartsWithWord(head, SkipBlanks(head, first + 1), "SECTION"))
    return "dxf";
  return {};
}

MeshFormat FormatOf(const std::string& ext) {
  if (ext == "dxf") return MeshFormat::kDxf;
  if (ext == "stl") return MeshFormat::kStl;
  if (ext == "obj") return MeshFormat::kObj;
  if (ext == "ply") return MeshFormat::kPly;
  if (ext == "off") return MeshFormat::kOff;
  return MeshFormat::kOther;
}

// The extensions a mirror mesh is read from.
bool AcceptedExtension(const std::string& ext) {
  return ext == "stl" || ext == "obj" || ext == "ply" || ext == "off" || ext == "gltf" || ext == "glb" || ext == "3mf";
}

bool AssimpReadsExtension(const std::string& ext) {
  if (ext.empty()) return false;
  Assimp::Importer importer;
  return importer.IsExtensionSupported("." + ext);
}


// The whole file; a failure to open or read it is the runtime's error of the
// DXF reader.
std::vector<std::uint8_t> ReadWholeFile(const std::string& fileName) {
  std::FILE* probe = OpenForReading(fileName);
  std::fclose(probe);
  try {
    return ReadFileBytes(fileName, std::numeric_limits<std::size_t>::max() / 2);
  } catch (const PictureError& e) {
    throw RuntimeFailure(e.Errno ? RuntimeCodeFromErrno(e.Errno) : kDiskReadError, fileName);
  }
}

// The name Assimp reads a file's bytes under, followed by its extension.
const std::string kMemoryName = "$$$___magic___$$$.";

// Assimp names a file read from memory after its hint; the user's name is put back.
std::string AssimpMessage(const Assimp::Importer& importer, const std::string& fileName) {
  std::string text = importer.GetErrorString();
  const std::string& magic = kMemoryName;
  for (std::size_t at = text.find(magic); at != std::string::npos; at = text.find(magic)) {
    std::size_t end = at + magic.size();
    while (end < text.size() && std::isalnum(static_cast<unsigned char>(text[end]))) ++end;
    text.replace(at, end - at, fileName);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text.empty() ? "no reason given" : text;
}

// Millimetres per unit that the file's format states: glTF is in metres by
// its own definition; a 3MF's model names its unit (millimetres unless it says
// otherwise).
Real StatedUnitMm(const MeshFileKind& kind, const std::vector<std::uint8_t>& bytes) {
  if (kind.Extension == "gltf" || kind.Extension == "glb") return 1000;
  if (kind.Extension != "3mf") return 0;
  // Its model part's <model> element, which opens the part.
  return static_cast<Real>(ThreeMfUnitMm(ZipEntryHead(bytes.data(), bytes.size(), ".model", 4096)));
}

// A mesh placed in the scene by a node, with the node's transform.
struct Placement {
  unsigned Mesh;
  aiMatrix4x4 Transform;
  bool Identity;
};

// The meshes in the order of the node tree (depth first, a node's own meshes
// before its children's), each with its whole transform.
std::vector<Placement> PlacementsOf(const aiScene& scene) {
  std::vector<Placement> out;
  if (!scene.mRootNode) {
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) out.push_back({m, aiMatrix4x4(), true});
    return out;
  }
  struct Pending {
    const aiNode* node;
    aiMatrix4x4 parent;
  };
  std::vector<Pending> stack{{scene.mRootNode, aiMatrix4x4()}};
  while (!stack.empty()) {
    const Pending p = stack.back();
    stack.pop_back();
    const aiMatrix4x4 whole = p.parent * p.node->mTransformation;
    for (unsigned k = 0; k < p.node->mNumMeshes; ++k) {
      if (p.node->mMeshes[k] < scene.mNumMeshes) out.push_back({p.node->mMeshes[k], whole, whole.IsIdentity()});
    }
    if (p.node->mNumChildren > 0 && !p.node->mChildren) continue;
    // Children pushed last first, so that the first is walked first.
    for (unsigned c = p.node->mNumChildren; c-- > 0;) {
      if (p.node->mChildren[c]) stack.push_back({p.node->mChildren[c], whole});
    }
  }
  // A scene whose nodes place no mesh: its meshes as they are.
  if (out.empty()) {
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) out.push_back({m, aiMatrix4x4(), true});
  }
  return out;
}

// The original faces of a mesh before triangulation: their sizes, and the
// corners of the quadrilaterals.
struct FaceRecord {
  std::vector<unsigned> Sizes;
  std::vector<std::array<unsigned, 4>> Quads;
};

// Faces naming missing vertices, and corners that are not finite numbers, are
// refused before anything else looks at them.
void CheckFaces(const aiMesh& mesh, const std::string& fileName, unsigned long long& faceNumber) {
  for (unsigned f = 0; f < mesh.mNumFaces; ++f, ++faceNumber) {
    const aiFace& face = mesh.mFaces[f];
    for (unsigned k = 0; k < face.mNumIndices; ++k) {
      const unsigned i = face.mIndices[k];
      if (i >= mesh.mNumVertices) {
        throw MeshError(fileName, MeshProblem::kBadIndex,
                        "face " + std::to_string(faceNumber + 1) + " names vertex " + std::to_string(i + 1) +
                            " of a mesh of " + std::to_string(mesh.mNumVertices) + " vertices");
      }
      const aiVector3D& v = mesh.mVertices[i];
      if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) {
        throw MeshError(fileName, MeshProblem::kNotFinite,
                        "face " + std::to_string(faceNumber + 1) + " has a corner whose coordinates are not all numbers");
      }
    }
  }
}

// Keeps the normals of the facet just added, when every facet before it had
// theirs (a gap would pair later normals with the wrong facets).
void KeepNormals(FacetSet& set, const FacetNormals& n) {
  if (set.FileNormals.size() + 1 == set.Facets.size()) set.FileNormals.push_back(n);
}

// Where a mesh's triangles go: the table, or the pipe to the parent.
struct FacetOutput {
  virtual ~FacetOutput() = default;
  virtual void Expect(unsigned long long triangles) = 0;
  virtual void Unit(Real fileUnitMm) = 0;
  // False once the table is full (the triangle is not kept).
  virtual bool Add(const Point3& a, const Point3& b, const Point3& c) = 0;
  // The file's normals at the corners of the triangle just kept.
  virtual void Normals(const FacetNormals& n) = 0;
};

struct Emitter {
  FacetOutput& sink;
  const std::string& fileName;
  const std::string& format;
  Real scale;  // into drawing units
  bool yUp;    // a format whose up is +Y
  bool normals;  // pass on the normals the file stores at its corners
  unsigned long long triangles = 0;  // triangles of the file, degenerate ones included
  bool full = false;

  // The file's unit normal at vertex i, turned as the corners are (the
  // transform's linear part, then +Y up to +Z); nothing when the file has none
  // or it is no direction.
  bool Normal(const aiMesh& mesh, const Placement& place, unsigned i, Point3& n) const {
    if (!normals || !mesh.mNormals) return false;
    const aiVector3D& v = mesh.mNormals[i];
    n = {v.x, v.y, v.z};
    if (!place.Identity) {
      const aiMatrix4x4& t = place.Transform;
      n = {static_cast<Real>(t.a1) * v.x + static_cast<Real>(t.a2) * v.y + static_cast<Real>(t.a3) * v.z,
           static_cast<Real>(t.b1) * v.x + static_cast<Real>(t.b2) * v.y + static_cast<Real>(t.b3) * v.z,
           static_cast<Real>(t.c1) * v.x + static_cast<Real>(t.c2) * v.y + static_cast<Real>(t.c3) * v.z};
    }
    if (yUp) n = {n.x, -n.z, n.y};
    const Real l = std::sqrt(Dot(n, n));
    if (!(l > 0) || !std::isfinite(l)) return false;
    n = (1 / l) * n;
    return true;
  }
  void NormalsOf(const aiMesh& mesh, const Placement& place, unsigned a, unsigned b, unsigned c) {
    FacetNormals n;
    if (Normal(mesh, place, a, n.N1) && Normal(mesh, place, b, n.N2) && Normal(mesh, place, c, n.N3)) sink.Normals(n);
  }

  Point3 Corner(const aiMesh& mesh, const Placement& place, unsigned i) const {
    const aiVector3D& v = mesh.mVertices[i];
    Point3 p{v.x, v.y, v.z};
    if (!place.Identity) {
      const aiMatrix4x4& t = place.Transform;
      p = {static_cast<Real>(t.a1) * v.x + static_cast<Real>(t.a2) * v.y + static_cast<Real>(t.a3) * v.z + t.a4,
           static_cast<Real>(t.b1) * v.x + static_cast<Real>(t.b2) * v.y + static_cast<Real>(t.b3) * v.z + t.b4,
           static_cast<Real>(t.c1) * v.x + static_cast<Real>(t.c2) * v.y + static_cast<Real>(t.c3) * v.z + t.c4};
    }
    // glTF's up is +Y; the sheet's is +Z.
    if (yUp) p = {p.x, -p.z, p.y};
    if (scale != 1) p = {p.x * scale, p.y * scale, p.z * scale};
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
      throw MeshError(fileName, MeshProblem::kNotFinite, "a corner placed by the file's transform is not finite");
    }
    return p;
  }
  // False once the table is full.
  bool Triangle(const aiMesh& mesh, const Placement& place, unsigned a, unsigned b, unsigned c) {
    ++triangles;
    const Point3 p = Corner(mesh, place, a), q = Corner(mesh, place, b), r = Corner(mesh, place, c);
    if (!IsDegenerateTriangle(p, q, r)) {
      if (sink.Add(p, q, r))
        NormalsOf(mesh, place, a, b, c);
      else
        full = true;
    }
    return !full;
  }
  bool Quad(const aiMesh& mesh, const Placement& place, const std::array<unsigned, 4>& q) {
    triangles += 2;
    // As AddFace splits a 3DFACE: from its third corner to its first.
    const Point3 c1 = Corner(mesh, place, q[0]), c2 = Corner(mesh, place, q[1]), c3 = Corner(mesh, place, q[2]),
                 c4 = Corner(mesh, place, q[3]);
    if (!IsDegenerateTriangle(c1, c2, c3)) {
      if (sink.Add(c1, c2, c3))
        NormalsOf(mesh, place, q[0], q[1], q[2]);
      else
        full = true;
    }
    if (!IsDegenerateTriangle(c3, c4, c1)) {
      if (sink.Add(c3, c4, c1))
        NormalsOf(mesh, place, q[2], q[3], q[0]);
      else
        full = true;
    }
    return !full;
  }
};

// Whether the triangulated mesh holds, face after face, two triangles fewer
// than corners for each original polygon (one face for a point or a line),
// and the two of a quadrilateral on its own corners. Assimp drops the
// triangles without area of a polygon it splits, and then they do not.
bool TrianglesFollowFaces(const aiMesh& mesh, const FaceRecord& record) {
  std::size_t t = 0, quad = 0;
  for (const unsigned n : record.Sizes) {
    const std::size_t made = n < 3 ? 1 : n - 2;
    if (t + made > mesh.mNumFaces) return false;
    for (std::size_t k = t; k < t + made && n >= 3; ++k) {
      const aiFace& face = mesh.mFaces[k];
      if (face.mNumIndices != 3) return false;
      if (n == 4) {
        const std::array<unsigned, 4>& q = record.Quads[quad];
        for (unsigned c = 0; c < 3; ++c) {
          if (std::find(q.begin(), q.end(), face.mIndices[c]) == q.end()) return false;
        }
      }
    }
    if (n == 4) ++quad;
    t += made;
  }
  return t == mesh.mNumFaces;
}

// Stores the triangles of one triangulated mesh, walking its original faces
// beside the triangles Assimp made of them, or, where those do not follow the
// faces, the triangles as they are. False once the table is full.
bool EmitMesh(Emitter& out, const aiMesh& mesh, const Placement& place, const FaceRecord* record) {
  if (!record || !TrianglesFollowFaces(mesh, *record)) {
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      const aiFace& face = mesh.mFaces[f];
      if (face.mNumIndices == 3 && !out.Triangle(mesh, place, face.mIndices[0], face.mIndices[1], face.mIndices[2]))
        return false;
    }
    return true;
  }
  std::size_t t = 0, quad = 0;
  for (const unsigned n : record->Sizes) {
    const std::size_t made = n < 3 ? 1 : n - 2;
    if (n == 4) {
      // Assimp's first triangle starts at one end of the diagonal it chose.
      const std::array<unsigned, 4>& q = record->Quads[quad++];
      const aiFace& first = mesh.mFaces[t];
      const unsigned d0 = first.mIndices[0], d1 = first.mIndices[2];
      const bool diagonal13 = (d0 == q[0] && d1 == q[2]) || (d0 == q[2] && d1 == q[0]);
      if (!out.Quad(mesh, place, diagonal13 ? q : std::array<unsigned, 4>{q[1], q[2], q[3], q[0]})) return false;
    } else if (n >= 3) {
      for (std::size_t k = t; k < t + made; ++k) {
        const aiFace& face = mesh.mFaces[k];
        if (!out.Triangle(mesh, place, face.mIndices[0], face.mIndices[1], face.mIndices[2])) return false;
      }
    }
    t += made;
  }
  return true;
}

}  // namespace

std::string FormatName(const MeshFileKind& kind) {
  std::string name = kind.Extension;
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

MeshFileKind MeshFileKindOf(const std::string& fileName) {
  MeshFileKind kind;
  const std::string ext = ExtensionOf(fileName);
  std::string head;
  unsigned long long size = 0;
  if (ReadHead(fileName, head, size)) {
    const std::string byContent = ExtensionByContent(head, size);
    if (!byContent.empty()) {
      kind.Extension = byContent == "dxf" ? std::string() : byContent;
      kind.Format = FormatOf(byContent);
      kind.ByContent = true;
      return kind;
    }
  }
  if (AcceptedExtension(ext)) {
    kind.Extension = ext;
    kind.Format = FormatOf(ext);
  } else if (ext != "dxf" && AssimpReadsExtension(ext)) {
    kind.Extension = ext;
    kind.Format = MeshFormat::kRefused;
  }
  return kind;
}

namespace {

// The triangles into the table, in this process.
struct TableOutput : FacetOutput {
  explicit TableOutput(FacetSet& s) : set(s) {}
  void Expect(unsigned long long triangles) override {
    set.Facets.reserve(static_cast<std::size_t>(std::min<unsigned long long>(triangles, static_cast<unsigned>(set.Limit))));
  }
  void Unit(Real fileUnitMm) override { set.FileUnitMm = fileUnitMm; }
  bool Add(const Point3& a, const Point3& b, const Point3& c) override { return AddFacet(set, a, b, c); }
  void Normals(const FacetNormals& n) override { KeepNormals(set, n); }
  FacetSet& set;
};

// Checks the file's layout where Assimp would go astray on it, reads it
// through Assimp from its bytes alone and sends its triangles to sink.
void ImportMesh(const std::vector<std::uint8_t>& bytes, const std::string& fileName, const MeshFileKind& kind,
                const FacetLoadOptions& options, FacetOutput& sink) {
  const char* text = reinterpret_cast<const char*>(bytes.data());
  if (kind.Format == MeshFormat::kPly) {
    const std::string problem = PlyCountProblem(text, bytes.size());
    if (!problem.empty()) throw MeshError(fileName, MeshProblem::kBadCounts, "PLY: " + problem);
  }
  if (kind.Format == MeshFormat::kOff) {
    const std::string problem = OffLayoutProblem(text, bytes.size());
    if (!problem.empty()) throw MeshError(fileName, MeshProblem::kBadCounts, "OFF: " + problem);
  }
  const bool gltf = kind.Extension == "gltf" || kind.Extension == "glb";
  if (gltf) {
    const std::string problem = JsonNestingProblem(text, bytes.size(), kind.Extension == "glb");
    if (!problem.empty()) throw MeshError(fileName, MeshProblem::kNotRead, problem, FormatName(kind));
  }
  if (kind.Extension == "3mf") {
    // Assimp holds an entry whole, and its XML twice over and parsed: a
    // quarter of the reader's memory is the most the entries may declare.
    unsigned long long expanded = 0;
    const std::string problem =
        ZipExpansionProblem(bytes.data(), bytes.size(), MeshReaderBudget(bytes.size()).Bytes / 4, expanded);
    if (!problem.empty()) throw MeshError(fileName, MeshProblem::kNotRead, problem, FormatName(kind));
  }
  Assimp::Importer importer;
  const std::string name = kMemoryName + kind.Extension;
  auto* own = new OwnBytesIOSystem(name, bytes.data(), bytes.size());
  importer.SetIOHandler(own);  // the importer's own from here
  // No post-processing at import: the triangulation comes once the faces are known.
  const aiScene* scene = importer.ReadFile(name, 0);
  if (!scene) {
    if (gltf && !own->Refused().empty()) {
      throw MeshError(fileName, MeshProblem::kOtherFile,
                      "its geometry lies in another file (\"" + PrintableName(own->Refused().front()) +
                          "\"), which is not read: a mirror file must hold all its data (a glTF's buffers as "
                          "data: URIs, or a .glb)");
    }
    throw MeshError(fileName, MeshProblem::kNotRead, "Assimp: " + AssimpMessage(importer, fileName), FormatName(kind));
  }

  std::vector<FaceRecord> records(scene->mNumMeshes);
  std::vector<bool> hasPolygons(scene->mNumMeshes, false);
  bool anyPolygon = false;
  unsigned long long faceNumber = 0;
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
    const aiMesh* mesh = scene->mMeshes[m];
    if (!mesh || !mesh->mFaces || (!mesh->mVertices && mesh->mNumVertices > 0)) continue;
    CheckFaces(*mesh, fileName, faceNumber);
    for (unsigned f = 0; f < mesh->mNumFaces && !hasPolygons[m]; ++f) hasPolygons[m] = mesh->mFaces[f].mNumIndices > 3;
    if (!hasPolygons[m]) continue;
    anyPolygon = true;
    FaceRecord& r = records[m];
    r.Sizes.reserve(mesh->mNumFaces);
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
      const aiFace& face = mesh->mFaces[f];
      r.Sizes.push_back(face.mNumIndices);
      if (face.mNumIndices == 4)
        r.Quads.push_back({face.mIndices[0], face.mIndices[1], face.mIndices[2], face.mIndices[3]});
    }
  }
  if (anyPolygon) {
    scene = importer.ApplyPostProcessing(aiProcess_Triangulate);
    if (!scene) {
      throw MeshError(fileName, MeshProblem::kNotRead, "Assimp could not triangulate its polygons: " +
                      AssimpMessage(importer, fileName), FormatName(kind));
    }
  }

  const std::vector<Placement> placements = PlacementsOf(*scene);
  // Room for the triangles there are, up to the table's limit.
  unsigned long long expected = 0;
  for (const Placement& place : placements) {
    const aiMesh* mesh = scene->mMeshes[place.Mesh];
    if (mesh) expected += mesh->mNumFaces;
  }
  sink.Expect(expected);

  const Real fileUnitMm = StatedUnitMm(kind, bytes);
  sink.Unit(fileUnitMm);
  const Real scale = options.DrawingUnitMm > 0 && fileUnitMm > 0 ? fileUnitMm / options.DrawingUnitMm : 1;
  const std::string format = FormatName(kind);
  // An STL's normals are its facets' own (Assimp repeats them at the
  // corners): only OBJ, PLY and glTF store normals of a smooth surface.
  const bool storesNormals = kind.Format == MeshFormat::kObj || kind.Format == MeshFormat::kPly ||
                             kind.Extension == "gltf" || kind.Extension == "glb";
  Emitter out{sink, fileName, format, scale, kind.Extension == "gltf" || kind.Extension == "glb",
              options.Normals && storesNormals};
  for (const Placement& place : placements) {
    const aiMesh* mesh = scene->mMeshes[place.Mesh];
    if (!mesh || !mesh->mFaces || !mesh->mVertices) continue;
    if (!EmitMesh(out, *mesh, place, hasPolygons[place.Mesh] ? &records[place.Mesh] : nullptr)) break;
  }
  if (out.triangles == 0) throw MeshError(fileName, MeshProblem::kNoTriangles, "holds no triangle");
}

// The child's records: a tag, then its fields as this program lays them out.
constexpr char kExpectRecord = 'R', kUnitRecord = 'U', kTriangleRecord = 'T', kFullRecord = 'O',
               kErrorRecord = 'E', kDoneRecord = 'D', kNormalsRecord = 'N';
// The longest text a child's error record may carry.
constexpr std::uint32_t kLongestRecordText = 1 << 16;

// The triangles into the pipe to the parent, which fills its table with them.
class PipeOutput : public FacetOutput {
 public:
  PipeOutput(int fd, int limit) : fd_(fd), limit_(limit) { buffer_.reserve(kFlushAt + 512); }
  void Expect(unsigned long long triangles) override { Put(kExpectRecord, triangles); }
  void Unit(Real fileUnitMm) override { Put(kUnitRecord, fileUnitMm); }
  bool Add(const Point3& a, const Point3& b, const Point3& c) override {
    // The table's limit counted here: the parent's table refuses no triangle.
    if (count_ >= limit_) {
      full_ = true;
      return false;
    }
    ++count_;
    const Point3 corners[3] = {a, b, c};
    Put(kTriangleRecord, corners);
    return true;
  }
  void Normals(const FacetNormals& n) override { Put(kNormalsRecord, n); }
  void Error(const MeshError& e) {
    Put(kErrorRecord, static_cast<std::uint8_t>(e.Problem));
    for (const std::string* text : {&e.Detail, &e.Format}) {
      const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(text->size(), kLongestRecordText));
      Append(&n, sizeof n);
      Append(text->data(), n);
    }
    Flush();
  }
  void Done() {
    if (full_) buffer_.push_back(kFullRecord);
    buffer_.push_back(kDoneRecord);
    Flush();
  }

 private:
  static constexpr std::size_t kFlushAt = 1 << 16;
  template <typename T>
  void Put(char tag, const T& value) {
    buffer_.push_back(tag);
    Append(&value, sizeof value);
  }
  void Append(const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    buffer_.insert(buffer_.end(), p, p + size);
    if (buffer_.size() >= kFlushAt) Flush();
  }
  void Flush() {
    std::size_t at = 0;
    while (at < buffer_.size()) {
      const ssize_t n = ::write(fd_, buffer_.data() + at, buffer_.size() - at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) ::_exit(1);  // the parent is gone
      at += static_cast<std::size_t>(n);
    }
    buffer_.clear();
  }
  int fd_;
  int limit_;
  int count_ = 0;
  bool full_ = false;
  std::vector<char> buffer_;
};

// The parent's side: the child's records into the table.
class RecordReader {
 public:
  explicit RecordReader(FacetSet& set) : set_(set) {}
  void Receive(const char* data, std::size_t size) {
    pending_.insert(pending_.end(), data, data + size);
    std::size_t at = 0;
    while (at < pending_.size() && !broken_ && !done_) {
      const std::size_t used = One(pending_.data() + at, pending_.size() - at);
      if (used == 0) break;
      at += used;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
  }
  bool Done() const { return done_ && !broken_; }
  bool Failed() const { return failed_; }
  MeshProblem Problem = MeshProblem::kNotRead;
  std::string Detail, Format;

 private:
  // Bytes of the record at p, or 0 when it is not whole yet.
  std::size_t One(const char* p, std::size_t size) {
    auto take = [&](std::size_t at, void* out, std::size_t n) {
      if (at + n > size) return false;
      std::memcpy(out, p + at, n);
      return true;
    };
    switch (p[0]) {
      case kExpectRecord: {
        unsigned long long n = 0;
        if (!take(1, &n, sizeof n)) return 0;
        set_.Facets.reserve(static_cast<std::size_t>(std::min<unsigned long long>(n, static_cast<unsigned>(set_.Limit))));
        return 1 + sizeof n;
      }
      case kUnitRecord:
        if (!take(1, &set_.FileUnitMm, sizeof set_.FileUnitMm)) return 0;
        return 1 + sizeof set_.FileUnitMm;
      case kTriangleRecord: {
        Point3 c[3];
        if (!take(1, c, sizeof c)) return 0;
        if (!AddFacet(set_, c[0], c[1], c[2])) broken_ = true;
        return 1 + sizeof c;
      }
      case kNormalsRecord: {
        FacetNormals n;
        if (!take(1, &n, sizeof n)) return 0;
        KeepNormals(set_, n);
        return 1 + sizeof n;
      }
      case kFullRecord:
        set_.FacetOverflow = true;
        return 1;
      case kDoneRecord:
        done_ = true;
        return 1;
      case kErrorRecord: {
        std::uint8_t problem = 0;
        std::uint32_t n = 0, m = 0;
        if (!take(1, &problem, 1) || !take(2, &n, sizeof n)) return 0;
        if (n > kLongestRecordText) return broken_ = true, 0;
        if (!take(2 + sizeof n + n, &m, sizeof m)) return 0;
        if (m > kLongestRecordText || problem > static_cast<std::uint8_t>(MeshProblem::kReaderFailed)) return broken_ = true, 0;
        const std::size_t whole = 2 + sizeof n + n + sizeof m + m;
        if (whole > size) return 0;
        Problem = static_cast<MeshProblem>(problem);
        Detail.assign(p + 2 + sizeof n, n);
        Format.assign(p + 2 + sizeof n + n + sizeof m, m);
        failed_ = done_ = true;
        return whole;
      }
      default:
        broken_ = true;
        return 0;
    }
  }
  FacetSet& set_;
  std::vector<char> pending_;
  bool done_ = false, failed_ = false, broken_ = false;
};

std::string ReaderEnd(const ChildOutcome& outcome, const MeshReaderLimits& limits) {
  switch (outcome.End) {
    case ChildEnd::kOutOfMemory:
      return "it ran out of the " + std::to_string(limits.Bytes >> 20) + " MiB of memory it may use";
    case ChildEnd::kTimedOut: {
      std::ostringstream s;
      s << "it took more than the " << limits.Seconds << " s it may use";
      return s.str();
    }
    case ChildEnd::kCrashed: {
      const char* name = ::sigabbrev_np(outcome.Signal);
      return std::string("it crashed: ") + (name ? std::string("SIG") + name : "signal " + std::to_string(outcome.Signal));
    }
    case ChildEnd::kFailed:
      return outcome.Status < 0 ? std::string("it could not be started") : "it stopped with status " + std::to_string(outcome.Status);
    case ChildEnd::kFinished:
      break;
  }
  return "it ended without an answer";
}

}  // namespace

MeshReaderLimits MeshReaderBudget(unsigned long long fileSize) {
  // Three times the time where sanitizers slow the reader (and leave its
  // memory unbounded, ChildMemoryBoundApplies).
  const double slowdown = ChildMemoryBoundApplies() ? 1 : 3;
  return {(192ULL << 20) + 6 * fileSize, slowdown * (6 + static_cast<double>(fileSize) / (4 << 20))};
}

void LoadMeshFacets(const std::string& fileName, const MeshFileKind& kind, FacetSet& set,
                    const FacetLoadOptions& options) {
  ClearFacets(set, options.Limit);
  const std::vector<std::uint8_t> bytes = ReadWholeFile(fileName);
  if (kind.Format == MeshFormat::kRefused) {
    throw MeshError(fileName, MeshProblem::kNotAccepted,
                    "a mirror is not read from " + FormatName(kind) +
                        " files, only from a DXF of 3DFACEs or an STL, OBJ, PLY, OFF, glTF, GLB or 3MF mesh");
  }
  if (options.MeshInProcess) {
    TableOutput out(set);
    ImportMesh(bytes, fileName, kind, options, out);
    return;
  }
  MeshReaderLimits limits = MeshReaderBudget(bytes.size());
  if (options.MeshSeconds > 0) limits.Seconds = options.MeshSeconds;
  RecordReader reader(set);
  const ChildOutcome outcome = RunInChild(
      {limits.Bytes, limits.Seconds},
      [&](int fd) {
        PipeOutput out(fd, options.Limit);
        // Out of memory, whatever the reader made of it.
        const MeshError exhausted(fileName, MeshProblem::kReaderFailed,
                                  "the mesh reader failed on this " + FormatName(kind) + " file (" +
                                      ReaderEnd({ChildEnd::kOutOfMemory, 0, 0}, limits) + ")");
        try {
          ImportMesh(bytes, fileName, kind, options, out);
          if (ChildNearItsMemoryBound()) out.Error(exhausted);
          else out.Done();
        } catch (const MeshError& e) {
          out.Error(ChildNearItsMemoryBound() ? exhausted : e);
        } catch (const std::exception& e) {
          out.Error(MeshError(fileName, MeshProblem::kReaderFailed,
                              "the mesh reader failed on this " + FormatName(kind) + " file (" + e.what() + ")"));
        }
      },
      [&](const char* data, std::size_t size) { reader.Receive(data, size); });
  if (outcome.End == ChildEnd::kFinished && reader.Done()) {
    if (reader.Failed()) throw MeshError(fileName, reader.Problem, reader.Detail, reader.Format);
    return;
  }
  ClearFacets(set, options.Limit);
  throw MeshError(fileName, MeshProblem::kReaderFailed,
                  "the mesh reader failed on this " + FormatName(kind) + " file (" + ReaderEnd(outcome, limits) + ")");
}

void LoadMirrorFacets(const std::string& fileName, FacetSet& set, const FacetLoadOptions& options) {
  const MeshFileKind kind = MeshFileKindOf(fileName);
  if (kind.Format != MeshFormat::kDxf) {
    LoadMeshFacets(fileName, kind, set, options);
    return;
  }
  LoadDxfFacets(fileName, set, options);
}

}  // namespace anamorfosi
