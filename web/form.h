// The page's form turned into the command's arguments, and the command's
// failures turned back into the form's fields: pure, no process is run here.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// The files of one job, in its own folder: the names the command is given.
struct JobFiles {
  std::string Folder;   // absolute, ends without '/'
  std::string Picture;  // empty for a grid
  std::string Mirror;   // plane or mesh mirror's file
  std::string Face;     // mesh mirror's picture face
};

// The command line of the page's form for one job, every value checked and
// written by the server itself. output: the file to make (its kind by its
// extension). Throws FieldError naming the form's field.
struct FieldError : std::runtime_error {
  FieldError(std::string field, const std::string& what) : std::runtime_error(what), Field(std::move(field)) {}
  std::string Field;
};
std::vector<std::string> CommandArgs(const nlohmann::json& form, const JobFiles& files, const std::string& output);

// The form field an error line of the command is about ("" when none).
std::string FieldOfMessage(const std::string& message);

