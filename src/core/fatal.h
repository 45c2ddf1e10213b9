// The two ways the process ends; both give exit code 1.
#pragma once

[[noreturn]] void fatal_error(const char* message);
[[noreturn]] void shutdown_and_exit();

// Called once by shutdown_and_exit before the process ends, so that start-up
// can remove its temporary file even when it ends through a fatal error.
void set_exit_hook(void (*hook)());
