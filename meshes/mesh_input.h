// What Assimp may see of a mirror mesh: the file's own bytes, served from
// memory under one name, and nothing else (a glTF's buffer named by a path,
// an OBJ's material library, any name at all: refused, and recorded). And the
// checks that run before Assimp reads a glTF's JSON or a 3MF's zip, where
// Assimp recurses once per level of nesting (a deep file overflows its stack)
// or allocates what the zip declares (gigabytes).
#pragma once

#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/geometry.h"

namespace anamorfosi {

class OwnBytesIOSystem : public Assimp::IOSystem {
 public:
  // Serves data (not copied: it must outlive the system) under name.
  OwnBytesIOSystem(std::string name, const std::uint8_t* data, std::size_t size);
  bool Exists(const char* file) const override;
  char getOsSeparator() const override { return '/'; }
  // The own name, opened for reading: its bytes; any other name or mode: null.
  Assimp::IOStream* Open(const char* file, const char* mode = "rb") override;
  void Close(Assimp::IOStream* stream) override;
  // Every other name asked for (to open, or whether it exists), in order of
  // first asking, each once.
  const std::vector<std::string>& Refused() const { return refused_; }

 private:
  void Refuse(const char* file) const;
  std::string name_;
  const std::uint8_t* data_;
  std::size_t size_;
  mutable std::vector<std::string> refused_;
};

// A glTF reader goes one level of its JSON parser's recursion per level of
// nesting; no glTF needs more than this.
inline constexpr int kMostJsonNesting = 100;

// The JSON of a glTF (text) or of a binary glTF's first chunk: an empty
// string when its arrays and objects nest at most kMostJsonNesting deep, else
// what is wrong. A file too short for its chunk is left to the reader.
std::string JsonNestingProblem(const char* data, std::size_t size, bool binary);

// A 3MF is a zip: an empty string when its directory can be read, its
// entries together declare at most bound bytes, and each inflates to what it
// declares with the right check sum, and the model part its _rels/.rels names
// is one of them; else what is wrong. expanded gets what they declare.
std::string ZipExpansionProblem(const std::uint8_t* data, std::size_t size, unsigned long long bound,
                                unsigned long long& expanded);

// The first bytes (at most most) of the first entry of a zip whose name ends
// in suffix; empty when there is none or it cannot be read.
std::string ZipEntryHead(const std::uint8_t* data, std::size_t size, const std::string& suffix, std::size_t most);

// The unit of a 3MF's model, in millimetres (its <model unit="...">,
// millimetre when it names none), from the text of its model part; 0 for a
// unit 3MF does not define.
Real ThreeMfUnitMm(const std::string& model);

// A name for a message: at most 80 characters, control characters as '?'.
std::string PrintableName(const std::string& name);

}  // namespace anamorfosi
