// The scene of a mapping subcommand, from its options.
#pragma once

#include <string>
#include <vector>

#include "pipeline/mirror_kinds.h"
#include "anamorfosi/options.h"
#include "pipeline/scene.h"

// The scene of a mapping subcommand, completed with the defaults and the
// automatic face; what was chosen for the user goes into chosen.

namespace anamorfosi {
Scene SceneFromOptions(const MirrorKindEntry& kind, const Options& o, std::vector<std::string>& chosen);

}  // namespace anamorfosi
