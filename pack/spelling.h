// Names the user probably meant: the nearest known key, option or folder
// variable to a misspelt one.
#pragma once
#include <stddef.h>

#include <string>
#include <vector>

namespace vpack {

// Edits between two names, case ignored, a swap of neighbours counting as
// one ("DefualtPath").
size_t name_distance(const std::string& a, const std::string& b);

// The candidate nearest to `name` when it is close enough to be a slip of
// the keyboard (two edits, three for names of eight characters or more);
// empty otherwise.
std::string nearest_name(const std::string& name, const std::vector<std::string>& candidates);

}  // namespace vpack
