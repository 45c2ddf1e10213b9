// The stub's application manifest: the level of rights the file asks
// Windows for. The builder rewrites the level in its copy of the stub, in
// the room the stub reserves after it, so that nothing in the image moves.
#pragma once
#include <stddef.h>

#include <string>
#include <vector>

namespace vpack {

const char kAsInvoker[] = "asInvoker";
const char kRequireAdministrator[] = "requireAdministrator";

enum ManifestLookup { kManifestFound, kManifestAbsent, kManifestDamaged };

// Where the manifest (resource 1 of type 24) lies in the file of a PE image.
struct ManifestSpan {
  size_t offset = 0;
  size_t size = 0;
};

// kManifestAbsent for an image without one, or whose headers lead to no
// resource directory; kManifestDamaged, with the reason, when the directory
// names a manifest that lies outside the image. Every language of the
// manifest, in the directory's order.
ManifestLookup find_manifests(const std::string& image, std::vector<ManifestSpan>* spans,
                              std::string* error);

// The requested level and the room it may take, in the manifest text.
struct ExecutionLevel {
  std::string level;
  size_t value_offset = 0;  // first byte of the level's value
  size_t room = 0;          // bytes up to the tag's end that a level may fill
  char quote = '"';         // the value's quote, kept when it is rewritten
};

// Checks that the manifest is well-formed XML with exactly one
// requestedExecutionLevel under assembly/trustInfo/security/
// requestedPrivileges, and reads it. `work`, when given, counts the
// attributes checked for repetition: one each, whatever their number.
bool read_execution_level(const std::string& manifest, ExecutionLevel* level,
                          std::string* error, size_t* work = nullptr);

// The level of the image's manifest, or "" when it has none; its languages
// must agree.
bool image_execution_level(const std::string& image, std::string* level, std::string* error);

// Writes `level` over the one in each language of the image's manifest, changing no byte
// outside the value and the room after it. kManifestAbsent leaves the
// image as it was.
ManifestLookup write_execution_level(std::string* image, const std::string& level,
                                     std::string* error);

}  // namespace vpack
