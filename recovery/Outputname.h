#pragma once
// Names that come from a disc become one safe leaf name of the output folder.
#include <set>
#include <string>
#include <string_view>

// Longest leaf we make: room is left for the "~N" a second file of the same name gets.
constexpr size_t kMaxLeafBytes = 240;

// '/', '\\', control characters and NUL become '_'; "", "." and ".." become "_", "_." and
// "_.."; an overlong name is cut at a character boundary, keeping a short extension.
std::string SafeLeafName(std::string_view name);

// The safe leaf of `name` that none of `used` has yet ("~N" numbered on a clash), added to it.
std::string UniqueLeafName(std::string_view name, std::set<std::string>& used);
