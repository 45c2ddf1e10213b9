// Checks that a --stub file is a Windows program the payload can be
// appended to: MZ header, PE signature, an i386 or x86-64 executable.
#pragma once
#include <string>

namespace vpack {

struct StubImage {
  std::string machine;  // "i386" or "x86-64"
};

// `what` names the file in the message.
bool check_stub_image(const std::string& bytes, const std::string& what, StubImage* image,
                      std::string* error);

}  // namespace vpack
