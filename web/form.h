// The page's form turned into the command's arguments, and the command's
// failures turned back into the form's fields: pure, no process is run here.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// The files of one job, in its own folder: the names the command is given.

namespace anamorfosi {
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

// The mirror kinds as the page builds its mirror choice and fields from them
// (mirror_kinds.h): {"kinds": [{"name", "words", "choice", "accept",
// "file_words", "automatic_face", "eye": {"per", "offset"}, "parameters":
// [{"option", "key", "value", "unit", "default", "required", "field",
// "label", "start"}]}]}, in the registry's order. A kind without an automatic
// face takes its face as a file and its eye as given; "eye" is where the page
// draws the usual eye ("per": "" for the one the server names).
nlohmann::json KindsJson();

// The command line of a job: the command's own arguments (args[0] the
// program) with --error-json first, so that a failure comes back as one line
// of JSON naming its option.
std::vector<std::string> JobArgs(std::vector<std::string> args);

// The form's field for an option the command names in its failure ("base-radius"
// -> "radius", "mirror" -> "mirror_file", ...): "" for one the form has no field for.
std::string FieldOfOption(const std::string& option);

// A failure of the command as the page shows it: its message and the form's field.
struct CommandFailure {
  std::string Message;
  std::string Field;
};
// The failure a line of the command's error stream tells: its JSON line
// {"error": "...", "field": "radius"} gives both; any other line (the command
// stopped before it read --error-json, or killed) is the message itself, its
// field found by FieldOfMessage.
CommandFailure FailureOfLine(const std::string& line);
// The form field of a failure line ("" when none).
std::string FieldOfLine(const std::string& line);

// The form field a plain error line of the command is about ("" when none),
// from the option or the words it starts with.
std::string FieldOfMessage(const std::string& message);

// The lines of a run of the command for the page: without the progress lines
// and the "anamorfosi: " of each, and with no name of the machine's folders:
// the run's folder (folder) and its parent (root) are cut out.
std::vector<std::string> Messages(const std::string& text, const std::string& folder, const std::string& root);

}  // namespace anamorfosi
