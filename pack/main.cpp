// vandrel-pack: makes a self-extracting file from the stub and a source
// directory, or reports on one (--info, --verify).
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <new>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <malloc.h>
#endif

#include "pack/archive_writer.h"
#include "pack/codepage.h"
#include "pack/config_block.h"
#include "pack/exec_setting.h"
#include "pack/file_io.h"
#include "pack/manifest.h"
#include "pack/path_settings.h"
#include "pack/payload_info.h"
#include "pack/payload_writer.h"
#include "pack/source_tree.h"
#include "pack/spelling.h"
#include "pack/stub_image.h"
#include "pack/windows_names.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: vandrel-pack [options] SOURCE_DIR -o OUT.exe\n"
    "       vandrel-pack --info [--verify] FILE.exe\n"
    "       vandrel-pack --version\n"
    "options:\n"
    "  -o, --output FILE    the self-extracting file to write\n"
    "  --name TEXT          archive title (Name)\n"
    "  --intro TEXT         welcome text with real line breaks (Intro)\n"
    "  --intro-file FILE    the welcome text from a UTF-8 file (Intro)\n"
    "  --url URL            link on the welcome page (URL)\n"
    "  --exec PATH          file to run or open after extraction (Exec)\n"
    "  --default-path PATH  destination, folder variables allowed (DefaultPath)\n"
    "  --auto-extract       skip the destination page (AutoExtract=1)\n"
    "  --open-folder        open the destination at the end (OpenFolder=1)\n"
    "  --no-gui             extract silently (NoGUI=1)\n"
    "  --delete             delete the extracted files afterwards (Delete=1)\n"
    "  --shortcut 'LINK|TARGET|'  a shortcut; repeat for more (Shortcut0, 1, ...)\n"
    "  --config FILE        more keys from a UTF-8 INI file; options win\n"
    "  --stub PATH          stub executable (default: vandrel-stub.exe beside this tool,\n"
    "                       or the one its Linux package installed)\n"
    "  --elevation admin|user|auto  whether Windows asks for administrator rights:\n"
    "                       always, never, or (auto, the default) when DefaultPath\n"
    "                       or a shortcut lies where a standard user may not write\n"
    "  --level 0-9          deflate level, 0 stores (default 6)\n"
    "  --time-zone ZONE     write file times as clocks in ZONE show them (UTC,\n"
    "                       +08:00, ...; default: this machine's local time)\n"
    "  --info               print the layout, configuration and entries of FILE\n"
    "  --verify             also decompress every entry and check its CRC-32\n"
    "  --                   the arguments after it are files, not options\n"
    "  --version            print the version and exit\n"
    "  -h, --help           print this help and exit\n";

// A message of several lines, such as every refused name of a folder, is
// still one line per problem.
int fail(const std::string& message) {
  size_t start = 0;
  for (size_t end; (end = message.find('\n', start)) != std::string::npos; start = end + 1)
    fprintf(stderr, "vandrel-pack: %s\n", message.substr(start, end - start).c_str());
  fprintf(stderr, "vandrel-pack: %s\n", message.substr(start).c_str());
  return 2;
}

// Paths arrive as UTF-8 on every platform.
fs::path to_path(const std::string& utf8) { return fs::u8path(utf8); }

// The stub used without --stub, first found of: beside the tool (the Windows
// zip, the Windows trees); the package's stub folder, found from the tool so
// that an unpacked package works wherever it lies; and, for the copy in its
// own build tree only, the i686 tree's stub. Nothing found: the last place,
// for the error message.
fs::path default_stub(const fs::path& self) {
  const char kName[] = "vandrel-stub.exe";
  fs::path dir = self.parent_path();
  std::vector<fs::path> places = {dir / kName};
  std::error_code ec;
#ifdef VANDREL_INSTALLED_STUB_DIR
  places.push_back((dir / fs::u8path(VANDREL_INSTALLED_STUB_DIR) / kName).lexically_normal());
#endif
#ifdef VANDREL_FALLBACK_STUB
  if (fs::equivalent(dir, fs::u8path(VANDREL_BUILD_BIN_DIR), ec))
    places.push_back(fs::u8path(VANDREL_FALLBACK_STUB));
#endif
  for (const fs::path& place : places) {
    if (fs::exists(place, ec)) return place;
  }
  return places.back();
}

struct Options {
  std::string source, output, stub, config, intro_file;
  std::string elevation = "auto";
  int level = 6;
  vpack::TimeZone zone;
  bool info = false, verify = false;
  bool help = false, version = false;
  vpack::KeyList keys;       // from the options, UTF-8
  std::vector<std::string> shortcuts;
  std::vector<std::string> packing;  // options given that only packing reads
};

// "unknown option --nogui; did you mean --no-gui?": the option nearest in
// spelling, dashes aside, when one is close.
std::string unknown_option_message(const std::string& arg) {
  static const char* const kOptions[] = {
      "--name",   "--intro",        "--intro-file",  "--url",       "--exec",
      "--default-path", "--auto-extract", "--open-folder", "--no-gui", "--delete",
      "--shortcut", "--config",     "--stub",        "--elevation", "--level",     "--time-zone",
      "-o",       "--output",       "--info",        "--verify",    "--help",
      "--version"};
  auto bare = [](const std::string& option) {
    return option.substr(std::min(option.find_first_not_of('-'), option.size()));
  };
  std::vector<std::string> names;
  for (const char* option : kOptions) {
    if (arg == option) return arg + " takes no value";
    names.push_back(bare(option));
  }
  std::string name = bare(arg);
  std::string meant = name.size() >= 3 ? vpack::nearest_name(name, names) : std::string();
  if (meant.empty()) return "unknown option " + arg;
  return "unknown option " + arg + "; did you mean " + (meant.size() > 1 ? "--" : "-") + meant +
         "?";
}

bool parse(const std::vector<std::string>& args, Options* o, std::string* error) {
  struct ValueOption {
    const char* flag;
    const char* key;
  };
  static const ValueOption kValueOptions[] = {
      {"--name", "Name"}, {"--intro", "Intro"}, {"--url", "URL"}, {"--exec", "Exec"},
      {"--default-path", "DefaultPath"}};
  static const ValueOption kFlagOptions[] = {{"--auto-extract", "AutoExtract"},
                                            {"--open-folder", "OpenFolder"},
                                            {"--no-gui", "NoGUI"},
                                            {"--delete", "Delete"}};
  std::vector<std::string> positional;
  std::vector<std::string> given;
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (options_ended || arg == "-" || arg.empty() || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    std::string value;
    bool has_inline = false;
    if (arg.compare(0, 2, "--") == 0 && arg.find('=') != std::string::npos) {
      value = arg.substr(arg.find('=') + 1);
      arg = arg.substr(0, arg.find('='));
      has_inline = true;
    }
    if (arg == "--output") arg = "-o";
    // Only in an option's place: "--name --help" names the archive.
    if (arg == "-h" || arg == "--help" || arg == "--version") {
      if (has_inline) {
        *error = arg + " takes no value";
        return false;
      }
      (arg == "--version" ? o->version : o->help) = true;
      return true;
    }
    // Every option but --shortcut sets one thing: a second one is a mistake.
    if (arg != "--shortcut" &&
        std::find(given.begin(), given.end(), arg) != given.end()) {
      *error = arg + " is given twice";
      return false;
    }
    given.push_back(arg);
    if (arg != "-o" && arg != "--info" && arg != "--verify") o->packing.push_back(arg);
    auto take = [&](std::string* out) {
      if (has_inline) {
        *out = value;
        return true;
      }
      if (i + 1 >= args.size()) {
        *error = arg + " needs a value";
        return false;
      }
      *out = args[++i];
      return true;
    };
    bool matched = false;
    for (const ValueOption& v : kValueOptions) {
      if (arg != v.flag) continue;
      std::string text;
      if (!take(&text)) return false;
      o->keys.emplace_back(v.key, text);
      matched = true;
    }
    for (const ValueOption& v : kFlagOptions) {
      if (arg != v.flag) continue;
      if (has_inline) {
        *error = arg + " takes no value";
        return false;
      }
      o->keys.emplace_back(v.key, "1");
      matched = true;
    }
    if (matched) continue;
    if (arg == "--shortcut") {
      std::string text;
      if (!take(&text)) return false;
      o->shortcuts.push_back(text);
    } else if (arg == "-o") {
      if (!take(&o->output)) return false;
    } else if (arg == "--stub") {
      if (!take(&o->stub)) return false;
    } else if (arg == "--config") {
      if (!take(&o->config)) return false;
    } else if (arg == "--intro-file") {
      if (!take(&o->intro_file)) return false;
    } else if (arg == "--elevation") {
      if (!take(&o->elevation)) return false;
      if (o->elevation != "admin" && o->elevation != "user" && o->elevation != "auto") {
        *error = "--elevation takes admin, user or auto, not '" + o->elevation + "'";
        return false;
      }
    } else if (arg == "--level") {
      std::string text;
      if (!take(&text)) return false;
      if (text.size() != 1 || text[0] < '0' || text[0] > '9') {
        *error = "--level takes a digit from 0 to 9, not '" + text + "'";
        return false;
      }
      o->level = text[0] - '0';
    } else if (arg == "--time-zone") {
      std::string text;
      if (!take(&text)) return false;
      if (!vpack::parse_time_zone(text, &o->zone)) {
        *error = "--time-zone takes local, UTC or an offset from -12:00 to +14:00 such as "
                 "+08:00, not '" + text + "'";
        return false;
      }
    } else if (arg == "--info" || arg == "--verify") {
      if (has_inline) {
        *error = arg + " takes no value";
        return false;
      }
      (arg == "--info" ? o->info : o->verify) = true;
    } else {
      *error = unknown_option_message(arg);
      return false;
    }
  }
  if (!o->intro_file.empty() &&
      std::find(given.begin(), given.end(), "--intro") != given.end()) {
    *error = "--intro and --intro-file both set the welcome text";
    return false;
  }
  if (positional.size() != 1) {
    *error = positional.empty() ? "no source directory (or file for --info) given"
                                : "more than one source directory given (" + positional[0] +
                                      ", " + positional[1] + ")";
    return false;
  }
  o->source = positional[0];
  for (size_t n = 0; n < o->shortcuts.size(); ++n)
    o->keys.emplace_back("Shortcut" + std::to_string(n), o->shortcuts[n]);
  if ((o->info || o->verify) && !o->output.empty()) {
    *error = "--info and --verify read a file; they write none (-o)";
    return false;
  }
  if ((o->info || o->verify) && !o->packing.empty()) {
    *error = o->packing[0] + " sets up packing; --info and --verify only read a file";
    return false;
  }
  if (!o->info && !o->verify && o->output.empty()) {
    *error = "no output file given (-o OUT.exe)";
    return false;
  }
  return true;
}

int run_info(const Options& o) {
  vpack::PayloadReport report;
  std::string error;
  bool ok = vpack::inspect_file(to_path(o.source), o.verify, &report, &error);
  if (report.file_size > 0) fputs(vpack::format_report(report).c_str(), stdout);
  if (!ok) return fail(error);
  return 0;
}

// Runs on the written temporary file before it is renamed into place.
bool check_written(const fs::path& written, void* context, std::string* error) {
  auto* report = static_cast<vpack::PayloadReport*>(context);
  if (vpack::inspect_file(written, false, report, error)) return true;
  *error = "the written file does not read back: " + *error;
  return false;
}

// The output may be no input: it would overwrite the stub or the
// configuration, or be packed into the next file made from the folder.
bool output_is_input(const Options& o, const fs::path& stub, std::string* error) {
  std::error_code ec;
  fs::path output = fs::weakly_canonical(to_path(o.output), ec);
  if (ec) output = fs::absolute(to_path(o.output), ec);
  struct Input {
    std::string option;
    fs::path path;
  };
  std::vector<Input> inputs = {{"--stub", stub}};
  if (!o.config.empty()) inputs.push_back({"--config", to_path(o.config)});
  if (!o.intro_file.empty()) inputs.push_back({"--intro-file", to_path(o.intro_file)});
  for (const Input& input : inputs) {
    if (fs::equivalent(output, input.path, ec)) {
      *error = "-o " + o.output + " is the " + input.option + " file; choose another output";
      return true;
    }
  }
  fs::path source = to_path(o.source);
  for (fs::path p = output.parent_path(); !p.empty(); p = p.parent_path()) {
    if (fs::equivalent(p, source, ec)) {
      *error = "-o " + o.output + " lies inside the source folder " + o.source +
               ", which is packed; choose an output outside it";
      return true;
    }
    if (p == p.parent_path()) break;
  }
  return false;
}

// The level of rights the file asks for; auto asks for administrator rights
// where a user without them could not write the default destination or a
// shortcut's link, which would fail with the stub's error message.
std::string chosen_level(const Options& o, const vpack::KeyList& keys) {
  if (o.elevation != "auto") return o.elevation == "admin" ? vpack::kRequireAdministrator
                                                            : vpack::kAsInvoker;
  bool needed = false;
  for (const auto& kv : keys) {
    // Only ASCII decides, so code page 936 reads as UTF-8 would.
    if (kv.first == "DefaultPath") needed |= vpack::destination_needs_administrator(kv.second);
    if (kv.first.compare(0, 8, "Shortcut") == 0)
      needed |= vpack::link_needs_administrator(kv.second.substr(0, kv.second.find('|')));
  }
  return needed ? vpack::kRequireAdministrator : vpack::kAsInvoker;
}

// The Exec program's own manifest, when it asks for administrator rights
// and the file starts without them: the user is asked when it starts.
std::string exec_level_warning(const vpack::Entry& entry, const std::string& exec) {
  const uint64_t kLargestRead = 256u << 20;
  std::string image, error, level;
  if (entry.source.empty()) {
    image = entry.data;
  } else if (!vpack::read_file(entry.source, &image, &error, kLargestRead)) {
    return std::string();
  }
  if (!vpack::image_execution_level(image, &level, &error) ||
      (level != vpack::kRequireAdministrator && level != "highestAvailable"))
    return std::string();
  return "Exec: " + exec + " asks for administrator rights (" + level + ") and this file "
         "starts without them (asInvoker): the user will be asked for them when it starts";
}

bool read_intro_file(const std::string& name, std::string* text, std::string* error) {
  if (!vpack::read_file(to_path(name), text, error)) return false;
  if (text->compare(0, 3, "\xEF\xBB\xBF") == 0) text->erase(0, 3);
  while (!text->empty() && (text->back() == '\n' || text->back() == '\r')) text->pop_back();
  return true;
}

int run_pack(const Options& o, const fs::path& self) {
  std::string error;
  vpack::KeyList options = o.keys;
  if (!o.intro_file.empty()) {
    std::string intro;
    if (!read_intro_file(o.intro_file, &intro, &error)) return fail(error);
    options.emplace_back("Intro", intro);
  }
  vpack::KeyList keys = options;
  std::vector<std::string> places;  // FILE:LINE of each key from --config
  if (!o.config.empty()) {
    std::string text;
    if (!vpack::read_file(to_path(o.config), &text, &error)) return fail(error);
    vpack::KeyList from_file;
    std::vector<std::string> file_places;
    if (!vpack::parse_ini_text(text, o.config, &from_file, &error, &file_places))
      return fail(error);
    keys = vpack::merge_keys(from_file, options, file_places, &places);
  }
  vpack::KeyList prepared;
  std::vector<std::string> warnings;
  if (!vpack::prepare_keys(keys, &prepared, &error, places, &warnings)) return fail(error);

  fs::path stub_path = o.stub.empty() ? default_stub(self) : to_path(o.stub);
  std::string stub;
  if (!vpack::read_file(stub_path, &stub, &error)) {
    if (o.stub.empty()) error += " (the default stub; build it or name one with --stub)";
    return fail(error);
  }
  std::string stub_name = vpack::display_path(stub_path);
  vpack::StubImage image;
  if (!vpack::check_stub_image(stub, "--stub " + stub_name, &image, &error)) return fail(error);
  // Only the level's bytes change: the image keeps its layout, and a
  // signature made after packing covers the level written.
  std::string level = chosen_level(o, prepared);
  switch (vpack::write_execution_level(&stub, level, &error)) {
    case vpack::kManifestFound:
      break;
    case vpack::kManifestDamaged:
      return fail("--stub " + stub_name + ": " + error);
    case vpack::kManifestAbsent:
      if (o.elevation != "auto")
        return fail("--stub " + stub_name + " has no application manifest to hold --elevation " +
                    o.elevation + "; use the stub of this version");
      level = "no manifest";
      break;
  }
  if (output_is_input(o, stub_path, &error)) return fail(error);

  std::vector<vpack::Entry> entries;
  if (!vpack::collect_directory(to_path(o.source), &entries, &error, o.zone))
    return fail(error);
  if (entries.empty())
    return fail(o.source + ": the directory is empty; the stub needs at least one entry");
  warnings.emplace_back();
  if (!vpack::check_path_room(entries, prepared, &warnings.back(), &error)) return fail(error);
  for (const auto& kv : prepared) {
    std::string exec;
    if (kv.first != "Exec" || !vpack::cp936_to_utf8(kv.second, &exec)) continue;
    warnings.push_back(vpack::exec_warning(exec, entries));
    const vpack::Entry* program = vpack::exec_entry(exec, entries);
    if (program && o.elevation == "auto" && level == vpack::kAsInvoker)
      warnings.push_back(exec_level_warning(*program, exec));
  }

  vpack::Payload payload;
  payload.stub = std::move(stub);
  payload.keys = prepared;
  payload.entries = std::move(entries);
  payload.options.level = o.level;
  payload.options.store_if_larger = true;
  vpack::PayloadReport report;
  if (!vpack::write_payload_file(to_path(o.output), payload, &error, check_written, &report))
    return fail(error);
  for (const std::string& warning : warnings)
    if (!warning.empty()) fprintf(stderr, "vandrel-pack: warning: %s\n", warning.c_str());
  printf("%s: %s bytes, stub %s (%s, %s bytes, %s), archive at %s, %s entries\n",
         o.output.c_str(), std::to_string(report.file_size).c_str(), stub_name.c_str(),
         image.machine.c_str(), std::to_string(report.marker_offset).c_str(), level.c_str(),
         std::to_string(report.archive_offset).c_str(),
         std::to_string(report.entries.size()).c_str());
  return 0;
}

int run(const std::vector<std::string>& args, const fs::path& self) {
  Options o;
  std::string error;
  if (!parse(args, &o, &error)) {
    fprintf(stderr, "vandrel-pack: %s (see --help)\n", error.c_str());
    return 2;
  }
  if (o.help) {
    fputs(kUsage, stdout);
    return 0;
  }
  if (o.version) {
    printf("vandrel-pack %s\n", VANDREL_VERSION);
    return 0;
  }
  return o.info || o.verify ? run_info(o) : run_pack(o, self);
}

// The promise for every failure, exceptions included: one line, a non-zero
// exit, no output file (the temporary file is removed where it is made).
int run_guarded(const std::vector<std::string>& args, const fs::path& self) {
  vpack::remove_scratch_files_on_interrupt();
  try {
    return run(args, self);
  } catch (const std::bad_alloc&) {
    return fail("out of memory");
  } catch (const std::exception& e) {
    return fail(e.what());
  } catch (...) {
    return fail("unexpected internal error");
  }
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  // UTF-16 arguments become UTF-8, the tool's internal form.
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::wstring w = argv[i];
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string s(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
      WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr,
                          nullptr);
    args.push_back(s);
  }
  // Messages and reports are UTF-8.
  SetConsoleOutputCP(CP_UTF8);
  wchar_t self[MAX_PATH * 4];
  DWORD len = GetModuleFileNameW(nullptr, self, sizeof self / sizeof self[0]);
  return run_guarded(args, fs::path(std::wstring(self, len)));
}
#else
int main(int argc, char** argv) {
  // Small files pass through memory a batch at a time: keep freed blocks for
  // the next batch instead of mapping and faulting in fresh pages each time.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  std::vector<std::string> args(argv + 1, argv + argc);
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) self = fs::absolute(argv[0], ec);
  return run_guarded(args, self);
}
#endif
