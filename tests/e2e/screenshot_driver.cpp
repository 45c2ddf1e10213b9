// Walks a demo wizard through the states the README shows and asks the
// capturing script for a picture of each: it writes "NAME X Y W H" (screen
// rectangle) into EXCHANGE\NAME.request and waits for EXCHANGE\NAME.done.
// Run by scripts/screenshots.sh inside a Wine virtual desktop.
// Usage: screenshot_driver EXCHANGE_DIR WORK_DIR
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

#include "harness.h"
#include "wizard_harness.h"

namespace {

std::string g_exchange;

bool fail(const std::string& why) {
  fprintf(stderr, "screenshot_driver: %s\n", why.c_str());
  e2e::write_file(g_exchange + "failed", why);
  return false;
}

// Asks for a picture of `window` and waits until it is taken.
bool shoot(const char* name, const probe::Window& window) {
  Sleep(500);  // let the window finish painting
  RECT r = window.screen_rect();
  char line[128];
  snprintf(line, sizeof line, "%s %ld %ld %ld %ld\n", name, r.left, r.top, r.right - r.left,
           r.bottom - r.top);
  const std::string done = g_exchange + name + ".done";
  if (!e2e::write_file(g_exchange + name + ".request", line)) return fail("cannot ask");
  const DWORD start = GetTickCount();
  while (!e2e::file_exists(done)) {
    if (GetTickCount() - start > 60000) return fail(std::string("no picture of ") + name);
    Sleep(50);
  }
  return true;
}

// Stops every thread of the process, so that page 3 holds still mid-way.
void suspend_process(DWORD pid) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != pid) continue;
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
    if (thread) {
      SuspendThread(thread);
      CloseHandle(thread);
    }
  }
  CloseHandle(snapshot);
}

bool run(const std::string& work) {
  const std::string destination = "C:\\Program Files\\示例程序";
  e2e::Fixture fixture;
  fixture.keys = {
      {"Name", "示例程序 1.0"},
      {"Intro",
       "欢迎使用示例程序的安装向导。\\n\\n本向导将把示例程序解压缩到你选择的文件夹。"
       "\\n\\n点击“下一步”继续，或点击“取消”退出。"},
      {"URL", "mailto:support@example.com?subject=示例程序"},
      {"DefaultPath", "$programfiles$\\示例程序"},
  };
  fixture.entries = {e2e::file_entry("readme.txt", "x"), e2e::file_entry("说明.txt", "x"),
                     e2e::dir_entry("bin/"), e2e::file_entry("bin/app.exe", "x"),
                     e2e::dir_entry("docs/")};
  fixture.entries.push_back(e2e::file_entry("docs/手册.pdf", std::string(512u << 20, '\0')));
  for (const char* name : {"docs/faq.txt", "license.txt", "version.ini"}) {
    fixture.entries.push_back(e2e::file_entry(name, "x"));
  }
  fixture.level = 1;

  e2e::Wizard wizard;
  if (!wizard.start(work, fixture, "示例程序 1.0")) return fail(wizard.failure);
  if (!wizard.wait_page(1) || !shoot("welcome", wizard.frame)) return fail(wizard.failure);

  wizard.next();
  probe::Window page = wizard.wait_page(2);
  if (!page || !shoot("destination", wizard.frame)) return fail(wizard.failure);

  probe::Window box;
  probe::MessageBoxInfo info;
  wizard.press_escape();
  if (!wizard.read_box("确认退出", &box, &info) || !shoot("quit-question", box)) {
    return fail(wizard.failure);
  }
  if (!wizard.answer_box(box, probe::kNo)) return fail(wizard.failure);

  page.control(e2e::kPathEdit).set_text("C:\\示例*程序");
  wizard.next();
  if (!wizard.read_box("不能创建目录", &box, &info) || !shoot("create-error", box)) {
    return fail(wizard.failure);
  }
  if (!wizard.answer_box(box, probe::kOk)) return fail(wizard.failure);

  page.control(e2e::kPathEdit).set_text(destination);
  wizard.next();
  page = wizard.wait_page(3);
  if (!page) return fail(wizard.failure);
  // Five small entries written: the large one is under way.
  const DWORD start = GetTickCount();
  probe::Progress progress;
  while (!page.progress(e2e::kProgressBar, &progress) || progress.pos < 5) {
    if (GetTickCount() - start > 30000) {
      std::string seen;
      for (const probe::Window& w : wizard.process.windows({"", "", true})) {
        seen += " [" + w.text() + "]";
      }
      return fail("page 3 never reached the large entry: at " + std::to_string(progress.pos) +
                  " of " + std::to_string(progress.high) + ", status \"" +
                  page.control_text(e2e::kStatusLine) + "\", windows" + seen);
    }
  }
  suspend_process(wizard.process.pid());
  bool shot = shoot("progress", wizard.frame);
  wizard.process.kill();
  e2e::remove_tree(destination);
  return shot;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: screenshot_driver EXCHANGE_DIR WORK_DIR\n");
    return 2;
  }
  g_exchange = std::string(argv[1]) + "\\";
  std::string work = std::string(argv[2]) + "\\";
  bool ok = run(work);
  e2e::write_file(g_exchange + "finished", ok ? "ok" : "failed");
  return ok ? 0 : 1;
}
