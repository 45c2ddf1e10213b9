// What a finished extraction does last: the shortcuts, the Exec file and the
// start of the cleanup. Called once, on the main thread, by silent mode and
// by the wizard's last page.
#pragma once

// Writes the shortcuts, then starts or opens the Exec file as its last three
// characters decide (a started PE program is waited for with the frame
// hidden), then starts the cleanup worker when Delete asks for it and the
// file did not go to the fallback launcher. Returns without waiting for the
// cleanup.
void run_post_actions();
