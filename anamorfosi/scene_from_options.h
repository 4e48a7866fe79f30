// The scene of a mapping subcommand, from its options.
#pragma once

#include <string>
#include <vector>

#include "mirror_kinds.h"
#include "options.h"
#include "scene.h"

// The scene of a mapping subcommand, completed with the defaults and the
// automatic face; what was chosen for the user goes into chosen.
Scene SceneFromOptions(const MirrorKindEntry& kind, const Options& o, std::vector<std::string>& chosen);
