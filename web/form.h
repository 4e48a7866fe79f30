// The mirror kinds as the page's form builds itself from them.
#pragma once

#include <nlohmann/json.hpp>

namespace anamorfosi {

// The mirror kinds as the page builds its mirror choice and fields from them
// (mirror_kinds.h): {"kinds": [{"name", "words", "choice", "accept",
// "file_words", "automatic_face", "eye": {"per", "offset"}, "parameters":
// [{"option", "key", "value", "unit", "default", "required", "field",
// "label", "start"}]}]}, in the registry's order. A kind without an automatic
// face takes its face as a file and its eye as given; "eye" is where the page
// draws the usual eye ("per": "" for the one the engine names).
nlohmann::json KindsJson();

}  // namespace anamorfosi
