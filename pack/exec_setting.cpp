#include "pack/exec_setting.h"

#include "pack/windows_names.h"

namespace vpack {
namespace {

// As the stub's launcher judges a file: by its last three characters alone.
const char* const kRunEndings[] = {"exe", "com", "bat"};
const char* const kOpenEndings[] = {"doc", "xls", "prc", "pdf", "ppt", "txt",
                                    "htm", "tml", "xml", "mp3", "chm"};

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool launched(const std::string& text) {
  std::string last = lower(text.size() >= 3 ? text.substr(text.size() - 3) : text);
  for (const char* e : kRunEndings)
    if (last == e) return true;
  for (const char* e : kOpenEndings)
    if (last == e) return true;
  return false;
}

// "app.exe /S", "setup.exe -q", "tool.exe file.txt": a blank after a name
// of a kind the stub launches, or before a switch.
bool has_arguments(const std::string& exec) {
  for (size_t blank = exec.find(' '); blank != std::string::npos;
       blank = exec.find(' ', blank + 1)) {
    std::string before = exec.substr(0, blank);
    size_t dot = before.rfind('.');
    bool named = dot != std::string::npos && before.size() - dot == 4 && launched(before);
    bool switched = blank + 1 < exec.size() && (exec[blank + 1] == '/' || exec[blank + 1] == '-');
    if (named || switched) return true;
  }
  return false;
}

// The entry name (UTF-8, '/' separators) of an Exec path inside the
// extraction folder: relative, or below $targetdir$ or $curdir$ (which Exec
// expands to the extraction folder). Empty when it may lie elsewhere.
std::string payload_name(const std::string& exec) {
  std::string rest = exec;
  for (const char* folder : {"targetdir", "curdir"}) {
    std::string name = folder;
    if (rest.size() > name.size() + 2 && (rest[0] == '$' || rest[0] == '%') &&
        lower(rest.substr(1, name.size())) == name &&
        (rest[name.size() + 1] == '$' || rest[name.size() + 1] == '%')) {
      rest = rest.substr(name.size() + 2);
      break;
    }
  }
  if (rest.find_first_of("$%:") != std::string::npos) return std::string();
  if (exec == rest && (rest[0] == '\\' || rest[0] == '/')) return std::string();
  std::string name, component;
  for (size_t i = 0; i <= rest.size(); ++i) {
    if (i < rest.size() && rest[i] != '\\' && rest[i] != '/') {
      component += rest[i];
      continue;
    }
    if (component == "..") return std::string();
    if (!component.empty() && component != ".") name += (name.empty() ? "" : "/") + component;
    component.clear();
  }
  return name;
}

}  // namespace

const Entry* exec_entry(const std::string& exec, const std::vector<Entry>& entries) {
  std::string name = payload_name(exec);
  if (name.empty()) return nullptr;
  std::u32string wanted = case_folded(name);
  for (const Entry& e : entries) {
    const std::string& entry_name = e.utf8_name.empty() ? e.name : e.utf8_name;
    if (case_folded(entry_name) == wanted) return &e;
  }
  return nullptr;
}

std::string exec_warning(const std::string& exec, const std::vector<Entry>& entries) {
  if (exec.empty()) return std::string();
  // A file of the payload is what the stub finds, blanks and dashes in its
  // name ("Setup - English.exe") or not.
  bool extracted = exec_entry(exec, entries) != nullptr;
  if (!extracted && has_arguments(exec)) {
    return "Exec: '" + exec + "' holds arguments, which the stub does not support: it takes "
           "the whole text as one file name, and no file of that name is extracted";
  }
  if (!launched(exec)) {
    return "Exec: the stub launches nothing for " + exec + ": it runs files ending in exe, "
           "com or bat and opens those ending in doc, xls, prc, pdf, ppt, txt, htm, tml, xml, "
           "mp3 or chm, judged by the last three characters";
  }
  std::string name = payload_name(exec);
  if (extracted || name.empty()) return std::string();
  return "Exec: " + exec + " is not in the payload (no file " + name +
         " below the source folder); the stub would find nothing to launch";
}

}  // namespace vpack
