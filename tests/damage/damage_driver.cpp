// Runs self-extracting files one after another and prints one verdict line
// for each: how it ended, and the text of every message box it showed (each
// answered with OK). The damage campaign writes the cases and checks the
// disk; this program only runs them, so that one Wine process serves them all.
//
// Usage: damage_driver LIST TIMEOUT_MS
// LIST holds one case a line: work directory, tab, program, tab, arguments.
// Each program runs in its work directory with TEMP and TMP set to the
// directory "temp" beside it.
//
// Output, one line a case, fields separated by tabs:
//   case number, outcome, exit code (hex), milliseconds, box texts
// outcome: "exit" (ended by itself), "hang" (no end within the time-out, no
// box left open), "box-hang" (a box was answered but the program did not
// end), "window" (it showed a window other than a message box, which was
// closed by ending the program), "start" (it could not be started).
// Box texts are "caption|text", several joined by " || ", with line feeds
// written as \n; bytes are the program's, in code page 936.
#include <windows.h>

#include <stdio.h>

#include <fstream>
#include <string>
#include <vector>

#include "probe.h"

namespace {

struct Case {
  std::string work_dir;
  std::string program;
  std::string args;
};

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<Case> read_cases(const char* list_path) {
  std::vector<Case> cases;
  std::ifstream list(list_path, std::ios::binary);
  std::string line;
  while (std::getline(list, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    size_t tab1 = line.find('\t');
    size_t tab2 = tab1 == std::string::npos ? std::string::npos : line.find('\t', tab1 + 1);
    Case c;
    c.work_dir = line.substr(0, tab1);
    if (tab1 != std::string::npos) c.program = line.substr(tab1 + 1, tab2 - tab1 - 1);
    if (tab2 != std::string::npos) c.args = line.substr(tab2 + 1);
    cases.push_back(c);
  }
  return cases;
}

std::string temp_dir_beside(const std::string& work_dir) {
  std::string dir = work_dir;
  while (!dir.empty() && dir.back() == '\\') dir.pop_back();
  size_t slash = dir.rfind('\\');
  return (slash == std::string::npos ? std::string() : dir.substr(0, slash + 1)) + "temp";
}

struct Verdict {
  const char* outcome = "exit";
  DWORD code = 0;
  std::vector<std::string> boxes;
  DWORD ms = 0;
};

Verdict run_case(const Case& c, DWORD timeout_ms) {
  Verdict verdict;
  std::string temp = temp_dir_beside(c.work_dir);
  SetEnvironmentVariableA("TEMP", temp.c_str());
  SetEnvironmentVariableA("TMP", temp.c_str());
  probe::ProbeProcess process;
  std::string error;
  const DWORD start = GetTickCount();
  if (!process.start(c.program, c.args, c.work_dir, &error)) {
    verdict.outcome = "start";
    verdict.boxes.push_back(error);
    return verdict;
  }
  probe::WindowQuery any;
  auto remaining = [&] {
    const DWORD spent = GetTickCount() - start;
    return spent < timeout_ms ? timeout_ms - spent : 0;
  };
  for (;;) {
    std::vector<probe::Window> shown;
    probe::poll_until(
        [&] {
          shown = process.windows(any);
          return !shown.empty() || !process.running();
        },
        remaining());
    if (shown.empty()) {
      probe::ExitResult end = process.wait_exit(remaining());
      verdict.code = end.ended ? end.code : 0xDEAD;
      if (!end.ended) verdict.outcome = verdict.boxes.empty() ? "hang" : "box-hang";
      break;
    }
    const probe::Window& w = shown.front();
    probe::Window text = w.control(0xFFFF);
    if (w.class_name() != probe::kDialogClass || !text) {
      verdict.boxes.push_back("window " + w.class_name() + "|" + w.text());
      verdict.outcome = "window";
      process.kill();
      verdict.code = 0xDEAD;
      break;
    }
    verdict.boxes.push_back(w.text() + "|" + text.text());
    // Answered, the box is gone before the next one is looked for.
    std::string failure;
    if (!probe::answer_box(w, probe::kOk, remaining(), &failure)) {
      verdict.outcome = "box-hang";
      process.kill();
      verdict.code = 0xDEAD;
      break;
    }
  }
  verdict.ms = GetTickCount() - start;
  return verdict;
}

// Wine starts its debugger on an unhandled exception, and the debugger's
// crash dialog would wait for a user that a test prefix never has: report
// the crash on the error output instead, and let the program end.
void quiet_crash_reports() {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\WineDbg", 0, nullptr, 0, KEY_WRITE,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  DWORD off = 0;
  RegSetValueExA(key, "ShowCrashDialog", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off),
                 sizeof off);
  RegCloseKey(key);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: damage_driver LIST TIMEOUT_MS\n");
    return 2;
  }
  DWORD timeout_ms = static_cast<DWORD>(atoi(argv[2]));
  // Children inherit the mode: no system dialog for a crash or a missing
  // disk on Windows; Wine needs the debugger's setting as well.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  quiet_crash_reports();
  std::vector<Case> cases = read_cases(argv[1]);
  if (cases.empty()) {
    fprintf(stderr, "damage_driver: no cases in %s\n", argv[1]);
    return 2;
  }
  for (size_t i = 0; i < cases.size(); ++i) {
    // Crash reports land on the shared error output: mark where each case
    // starts so that they can be told apart.
    fprintf(stderr, "damage_driver: case %u\n", static_cast<unsigned>(i));
    fflush(stderr);
    Verdict v = run_case(cases[i], timeout_ms);
    std::string boxes;
    for (const std::string& b : v.boxes) {
      if (!boxes.empty()) boxes += " || ";
      boxes += escaped(b);
    }
    printf("%u\t%s\t%lx\t%lu\t%s\n", static_cast<unsigned>(i), v.outcome,
           static_cast<unsigned long>(v.code), static_cast<unsigned long>(v.ms), boxes.c_str());
    fflush(stdout);
  }
  // Ends at once once every verdict is out: under qemu-i386 a program that
  // had started others was often killed in its exit.
  TerminateProcess(GetCurrentProcess(), 0);
  return 0;
}
