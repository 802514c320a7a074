// Termination signals: SIGTERM, SIGINT, SIGHUP and SIGUSR1 end the program as a closed window would,
// and the process then ends by the signal. SIGHUP and SIGINT that were ignored at start stay ignored.
#pragma once

void InstallTerminationHandler();
// The same ending without a signal (the X server went away).
void RequestTermination();
// At a safe point of the message loop: a signal that arrived destroys every own window.
void CheckTermination();
// At the end of the process: when a termination signal asked for the ending before anything else
// did, the process dies by that signal (its default action); otherwise this returns.
void EndByTerminationSignal();
