// The two ways the process ends; both give exit code 1.
#pragma once

// The box carries the system's text for the calling thread's last error code:
// for failures of a system call, made right after it.
[[noreturn]] void fatal_error(const wchar_t* message);
// The same with the code of the cause: 0 where no system call failed
// (damaged data, a refused name), so that no stale text from an earlier,
// successful call is shown.
[[noreturn]] void fatal_error_code(const wchar_t* message, unsigned long system_code);
[[noreturn]] void shutdown_and_exit();

// True while a fatal error's box is shown: the run is ending already, and a
// quit asked for meanwhile (a Cancel queued before the box, a close request
// from another program) must neither end it before the box is read nor
// enter the ending a second time.
bool fatal_error_shown();

// The system's text for an error code into `out` (cut to `size` characters);
// empty for code 0 or a code the system has no text for.
void system_error_text(unsigned long code, wchar_t* out, unsigned size);

// Called once by shutdown_and_exit before the process ends, so that start-up
// can remove its temporary file even when it ends through a fatal error.
void set_exit_hook(void (*hook)());
