#include "pack/path_settings.h"

#include <vector>

#include "pack/spelling.h"

namespace vpack {
namespace {

// An environment name such as $temp$ (C:\Users\...\AppData\Local\Temp).
const size_t kTypicalEnvironmentLength = 40;
const size_t kTypicalCurrentDirectory = 31;

// Typical expansions: C:\Users\ and a 12-byte user name, then the folder.
const FolderVariable kFolderVariables[] = {
    {"startmenu", 75},    // ...\AppData\Roaming\Microsoft\Windows\Start Menu\Programs
    {"desktop", 29},      // ...\Desktop
    {"sendto", 62},       // ...\AppData\Roaming\Microsoft\Windows\SendTo
    {"favorites", 31},    // ...\Favorites
    {"startup", 83},      // ...\Start Menu\Programs\Startup
    {"targetdir", 0},     // not known yet while the destination is chosen
    {"curdir", kTypicalCurrentDirectory},  // where the user started the file: ...\Downloads
    {"quicklaunch", 78},  // ...\AppData\Roaming\Microsoft\Internet Explorer\Quick Launch
    {"programfiles", 22},  // C:\Program Files (x86) for a 32-bit program
    {"sysdir", 19},       // C:\Windows\system32
};

bool is_delimiter(char c) { return c == '$' || c == '%'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

const FolderVariable* find_variable(const std::string& name) {
  for (const FolderVariable& v : kFolderVariables) {
    std::string n = v.name;
    if (n.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < n.size() && same; ++i) same = lower(name[i]) == n[i];
    if (same) return &v;
  }
  return nullptr;
}

// Names the environment can define and %...% expansion finds: letters,
// digits, '_' and the parentheses of ProgramFiles(x86), not led by a digit.
bool is_variable_name(const std::string& name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '(' || c == ')';
    if (!ok) return false;
  }
  return true;
}

// 1-based character position of byte `offset` in a UTF-8 text.
size_t character_at(const std::string& utf8, size_t offset) {
  size_t n = 1;
  for (size_t i = 0; i < offset && i < utf8.size(); ++i)
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) ++n;
  return n;
}

std::string as_stub_reads(std::string text) {
  for (char& c : text)
    if (c == '$') c = '%';
  return text;
}

std::string lower_text(std::string text) {
  for (char& c : text) c = lower(c);
  return text;
}

}  // namespace

const FolderVariable* folder_variables(size_t* count) {
  *count = sizeof kFolderVariables / sizeof kFolderVariables[0];
  return kFolderVariables;
}

bool check_path_setting(const std::string& what, const std::string& utf8, bool in_default_path,
                        std::string* error, std::vector<std::string>* warnings) {
  size_t i = 0;
  while ((i = utf8.find_first_of("$%", i)) != std::string::npos) {
    std::string where = what + ": the '" + utf8[i] + "' at character " +
                        std::to_string(character_at(utf8, i));
    size_t close = utf8.find_first_of("$%", i + 1);
    std::string name =
        close == std::string::npos ? std::string() : utf8.substr(i + 1, close - i - 1);
    if (close == std::string::npos || !is_variable_name(name)) {
      *error = where + " opens no variable such as $desktop$ or $temp$; ";
      if (utf8[i] == '$') {
        *error += "the stub reads every '$' as '%' and would make '" + as_stub_reads(utf8) +
                  "' of it";
      } else {
        *error += "the stub takes every '%' for a variable's delimiter";
      }
      return false;
    }
    const FolderVariable* v = find_variable(name);
    // Other names are the user's environment's, but one a slip away from a
    // folder variable may be a misspelling: the stub would find it nowhere
    // and make a folder of that name, '%' signs and all. Environment names
    // are written in '%' (%outdir%, %srcdir%): those near a folder
    // variable are warned about; a '$' name one letter off is refused.
    std::string meant;
    if (!v) {
      std::vector<std::string> names;
      for (const FolderVariable& known : kFolderVariables) names.push_back(known.name);
      meant = nearest_name(name, names);
    }
    if (!meant.empty()) {
      std::string delimiter(1, utf8[i]);
      std::string message = what + ": " + utf8.substr(i, close - i + 1) +
                            " is no folder variable the stub knows; did you mean " + delimiter +
                            meant + delimiter + "?";
      if (utf8[i] == '$' && name_distance(name, meant) <= 1) {
        *error = message;
        return false;
      }
      if (warnings)
        warnings->push_back(message + " (kept as the environment variable " + name + ")");
    }
    if (v) {
      std::string written = utf8.substr(i, close - i + 1);
      if (i != 0 || (close + 1 < utf8.size() && utf8[close + 1] != '\\')) {
        *error = what + ": " + written + " must be the whole first component of the path ('" +
                 written + "\\...'); elsewhere the stub keeps it as text or drops what "
                 "comes before it";
        return false;
      }
      if (in_default_path && std::string(v->name) == "targetdir") {
        *error = what + ": $targetdir$ is empty while the destination is being chosen";
        return false;
      }
    }
    i = close + 1;
  }
  return true;
}

size_t typical_destination_length(const std::string& default_path, bool auto_extract,
                                  bool* known) {
  *known = false;
  if (default_path.empty())
    return auto_extract ? kTypicalEnvironmentLength : kTypicalCurrentDirectory;
  std::string path = default_path;
  // The stub appends the backslash itself: C:\ and C: give the same paths.
  while (!path.empty() && path.back() == '\\') path.pop_back();
  bool absolute = (path.size() >= 2 && path[1] == ':') || path.compare(0, 2, "\\\\") == 0;
  bool has_variable = false;
  size_t length = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    size_t close = is_delimiter(path[i]) ? path.find_first_of("$%", i + 1) : std::string::npos;
    if (close == std::string::npos) {
      ++length;
      continue;
    }
    const FolderVariable* v = find_variable(path.substr(i + 1, close - i - 1));
    length += v ? v->typical_length : kTypicalEnvironmentLength;
    has_variable = true;
    if (i == 0) absolute = true;
    i = close;
  }
  if (!absolute) return kTypicalCurrentDirectory + 1 + length;
  *known = !has_variable;
  return length;
}

namespace {

// A path setting as Windows would see it on a typical machine: lower case,
// '\' separators, '$' read as '%', and the environment's names for system
// folders replaced by those folders on drive C:.
std::string system_folder_form(const std::string& setting) {
  static const char* const kSystemFolders[][2] = {
      {"%systemdrive%", "c:"},
      {"%windir%", "c:\\windows"},
      {"%systemroot%", "c:\\windows"},
      {"%sysdir%", "c:\\windows\\system32"},
      {"%programfiles%", "c:\\program files"},
      {"%programfiles(x86)%", "c:\\program files (x86)"},
      {"%programw6432%", "c:\\program files"},
      {"%commonprogramfiles%", "c:\\program files\\common files"},
      {"%commonprogramfiles(x86)%", "c:\\program files (x86)\\common files"},
      {"%commonprogramw6432%", "c:\\program files\\common files"},
      {"%programdata%", "c:\\programdata"},
      {"%allusersprofile%", "c:\\programdata"},
      {"%public%", "c:\\users\\public"},
  };
  std::string path;
  for (char c : lower_text(setting)) {
    if (c == '/') c = '\\';
    // Doubled separators are one, but a network path keeps its two.
    if (c == '\\' && path.size() > 1 && path.back() == '\\') continue;
    path += is_delimiter(c) ? '%' : c;
  }
  for (const auto& folder : kSystemFolders) {
    std::string name = folder[0];
    if (path.compare(0, name.size(), name) == 0 &&
        (path.size() == name.size() || path[name.size()] == '\\')) {
      path.replace(0, name.size(), folder[1]);
      break;
    }
  }
  while (path.size() > 1 && path.back() == '\\') path.pop_back();
  return path;
}

bool below(const std::string& path, const std::string& folder) {
  return path.compare(0, folder.size(), folder) == 0 &&
         (path.size() == folder.size() || path[folder.size()] == '\\');
}

}  // namespace

bool folder_needs_administrator(const std::string& folder) {
  std::string path = system_folder_form(folder);
  // The rest of the path on its drive: "c:\x" and "\x" (the current drive)
  // alike. Windows may lie on any drive, so every drive is judged as C:.
  // Relative paths, other folder variables and network paths are the
  // user's.
  if (path.size() >= 2 && path[1] == ':' && path[0] >= 'a' && path[0] <= 'z')
    path.erase(0, 2);
  else if (path.empty() || path[0] != '\\' || path.compare(0, 2, "\\\\") == 0)
    return false;
  if (path.empty() || path == "\\") return true;  // a drive's root takes folders only
  // Short names of the program files folders (PROGRA~1, PROGRA~2).
  if (path.size() >= 9 && path.compare(1, 7, "progra~") == 0 && path[8] >= '0' &&
      path[8] <= '9' && (path.size() == 9 || path[9] == '\\'))
    return true;
  static const char* const kUsersFolders[] = {
      "\\windows\\temp", "\\users\\public\\documents", "\\users\\public\\downloads",
      "\\users\\public\\music", "\\users\\public\\pictures", "\\users\\public\\videos"};
  for (const char* f : kUsersFolders)
    if (below(path, f)) return false;
  // The common desktop and Start menu lie below the last two.
  static const char* const kAdministratorsFolders[] = {
      "\\program files", "\\program files (x86)", "\\windows", "\\users\\public",
      "\\programdata\\microsoft"};
  for (const char* f : kAdministratorsFolders)
    if (below(path, f)) return true;
  return false;
}

bool destination_needs_administrator(const std::string& default_path) {
  return folder_needs_administrator(default_path);
}

bool link_needs_administrator(const std::string& link) {
  std::string path = system_folder_form(link);
  size_t last = path.rfind('\\');
  // The folder the link file is written to; a link in a drive's root too.
  return last != std::string::npos && folder_needs_administrator(path.substr(0, last + 1));
}

}  // namespace vpack
