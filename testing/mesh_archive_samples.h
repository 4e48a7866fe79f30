// glTF, binary glTF and 3MF files written from code for the tests: a glTF of
// triangles whose buffer is embedded (a data: URI) or named, a binary glTF of
// given JSON, a 3MF (a zip, written with minizip) of triangles in a unit, and
// zips of any entries, deflated as they are written so that a large entry
// never sits in memory whole.
#pragma once

#include <openssl/evp.h>
#include <zip.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "testing/mesh_samples.h"

// The bytes in base64, as a data: URI holds them.

namespace anamorfosi {
inline std::string Base64(const std::string& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

namespace mesh_samples_detail {
// Float corners, then 32-bit indices, of the triangles.
inline std::string GltfBuffer(const std::vector<MeshTriangle>& triangles) {
  std::string bin;
  for (const MeshTriangle& t : triangles) {
    for (const Point3& p : {t.A, t.B, t.C}) {
      PutFloat(bin, p.x);
      PutFloat(bin, p.y);
      PutFloat(bin, p.z);
    }
  }
  for (std::uint32_t i = 0; i < 3 * triangles.size(); ++i) PutU32(bin, i);
  return bin;
}

// The JSON of a glTF of the triangles whose buffers are given (their JSON),
// the corners in the first, the indices in the last.
inline std::string GltfJson(std::size_t triangles, const std::string& buffers, int indexBuffer) {
  const std::size_t corners = 3 * triangles;
  return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],)"
         R"("meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1,"mode":4}]}],)"
         R"("buffers":[)" + buffers + R"(],)"
         R"("bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":)" + std::to_string(12 * corners) +
         R"(},{"buffer":)" + std::to_string(indexBuffer) + R"(,"byteOffset":)" + std::to_string(12 * corners) +
         R"(,"byteLength":)" + std::to_string(4 * corners) + R"(}],)"
         R"("accessors":[{"bufferView":0,"componentType":5126,"count":)" + std::to_string(corners) +
         R"(,"type":"VEC3"},{"bufferView":1,"componentType":5125,"count":)" + std::to_string(corners) +
         R"(,"type":"SCALAR"}]})";
}

inline std::string Chunk(std::string data, const char* type, char pad) {
  while (data.size() % 4) data += pad;
  std::string out;
  PutU32(out, static_cast<std::uint32_t>(data.size()));
  return out + std::string(type, 4) + data;
}
}  // namespace mesh_samples_detail

// The triangles as a glTF 2.0 (float corners, 32-bit indices, one node): its
// buffer as a data: URI, or named by uri (a file that holds it, or not).
inline std::string GltfOfTriangles(const std::vector<MeshTriangle>& triangles, const std::string& uri = "") {
  using namespace mesh_samples_detail;
  const std::string bin = GltfBuffer(triangles);
  const std::string where = uri.empty() ? "data:application/octet-stream;base64," + Base64(bin) : uri;
  return GltfJson(triangles.size(), R"({"byteLength":)" + std::to_string(bin.size()) + R"(,"uri":")" + where + "\"}", 0);
}

// A binary glTF: the JSON chunk, then the binary chunk when bin is not empty.
inline std::string GlbOf(const std::string& json, const std::string& bin = "") {
  using namespace mesh_samples_detail;
  const std::string chunks = Chunk(json, "JSON", ' ') + (bin.empty() ? "" : Chunk(bin, "BIN\0", '\0'));
  std::string out = "glTF";
  PutU32(out, 2);
  PutU32(out, static_cast<std::uint32_t>(12 + chunks.size()));
  return out + chunks;
}

// The triangles as a binary glTF: the buffer in its binary chunk, or (a
// hostile file) the indices in a second buffer named by uri.
inline std::string GlbOfTriangles(const std::vector<MeshTriangle>& triangles, const std::string& uri = "") {
  using namespace mesh_samples_detail;
  const std::string bin = GltfBuffer(triangles);
  const std::string own = R"({"byteLength":)" + std::to_string(bin.size()) + "}";
  if (uri.empty()) return GlbOf(GltfJson(triangles.size(), own, 0), bin);
  return GlbOf(GltfJson(triangles.size(), own + R"(,{"byteLength":)" + std::to_string(bin.size()) + R"(,"uri":")" + uri + "\"}", 1),
               bin);
}

// A zip entry: its name, and its bytes written in pieces by the writer (so
// that a large one is never whole in memory).
struct ZipEntry {
  std::string Name;
  std::function<void(const std::function<void(const std::string&)>& write)> Content;
};

inline void WriteZip(const std::string& path, const std::vector<ZipEntry>& entries) {
  zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  if (!zip) throw std::runtime_error("cannot write " + path);
  for (const ZipEntry& e : entries) {
    zip_fileinfo info{};
    zipOpenNewFileInZip64(zip, e.Name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 6, 1);
    e.Content([&](const std::string& piece) {
      zipWriteInFileInZip(zip, piece.data(), static_cast<unsigned>(piece.size()));
    });
    zipCloseFileInZip(zip);
  }
  zipClose(zip, nullptr);
}

inline ZipEntry TextEntry(const std::string& name, const std::string& text) {
  return {name, [text](const std::function<void(const std::string&)>& write) { write(text); }};
}

// The model part of a 3MF of the triangles, in the unit given ("" names none),
// padded with pad bytes of blanks inside its vertex list.
inline std::string ThreeMfModelHead(const std::string& unit) {
  return R"(<?xml version="1.0" encoding="UTF-8"?>)" "\n<model" +
         (unit.empty() ? std::string() : " unit=\"" + unit + "\"") +
         R"( xml:lang="en-US" xmlns="http://schemas.microsoft.com/3dmanufacturing/core/2015/02">)"
         "\n<resources><object id=\"1\" type=\"model\"><mesh><vertices>\n";
}

inline std::string ThreeMfModelTail(const std::vector<MeshTriangle>& triangles) {
  using mesh_samples_detail::Num;
  std::string out;
  for (const MeshTriangle& t : triangles) {
    for (const Point3& p : {t.A, t.B, t.C})
      out += "<vertex x=\"" + Num(p.x) + "\" y=\"" + Num(p.y) + "\" z=\"" + Num(p.z) + "\"/>\n";
  }
  out += "</vertices><triangles>\n";
  for (std::size_t i = 0; i < triangles.size(); ++i) {
    out += "<triangle v1=\"" + std::to_string(3 * i) + "\" v2=\"" + std::to_string(3 * i + 1) + "\" v3=\"" +
           std::to_string(3 * i + 2) + "\"/>\n";
  }
  return out + "</triangles></mesh></object></resources><build><item objectid=\"1\"/></build></model>\n";
}

// A 3MF of the triangles; pad bytes of blanks, or of filler repeated (whole
// pieces of it), in its list of vertices: a model that expands as much as
// wanted from a small file.
inline void WriteThreeMf(const std::string& path, const std::vector<MeshTriangle>& triangles,
                         const std::string& unit = "millimeter", unsigned long long pad = 0,
                         const std::string& filler = " ") {
  const std::string types =
      R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
      R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
      R"(<Default Extension="model" ContentType="application/vnd.ms-package.3dmanufacturing-3dmodel+xml"/></Types>)";
  const std::string rels =
      R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
      R"(<Relationship Target="/3D/3dmodel.model" Id="rel0" Type="http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel"/>)"
      R"(</Relationships>)";
  WriteZip(path, {TextEntry("[Content_Types].xml", types), TextEntry("_rels/.rels", rels),
                  {"3D/3dmodel.model", [&](const std::function<void(const std::string&)>& write) {
                     write(ThreeMfModelHead(unit));
                     std::string block;
                     while (block.size() + filler.size() <= (1 << 20)) block += filler;
                     for (unsigned long long left = pad; left > 0;) {
                       const std::size_t n = static_cast<std::size_t>(std::min<unsigned long long>(left, block.size()));
                       write(block.substr(0, n));
                       left -= n;
                     }
                     write(ThreeMfModelTail(triangles));
                   }}});
}

// Sets the size a zip's directory declares for its entry name (the bytes of
// the entry stay as they are), as a hostile file would.
inline std::string WithDeclaredSize(std::string zip, const std::string& name, std::uint32_t size) {
  for (std::size_t at = zip.find("PK\1\2"); at != std::string::npos; at = zip.find("PK\1\2", at + 4)) {
    const auto u16 = [&](std::size_t k) {
      return static_cast<std::size_t>(static_cast<unsigned char>(zip[k])) |
             static_cast<std::size_t>(static_cast<unsigned char>(zip[k + 1])) << 8;
    };
    if (zip.compare(at + 46, u16(at + 28), name) != 0) continue;
    for (int k = 0; k < 4; ++k) zip[at + 24 + k] = static_cast<char>(size >> (8 * k));
  }
  return zip;
}

}  // namespace anamorfosi
