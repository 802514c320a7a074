// Termination signals: SIGTERM, SIGINT, SIGHUP and SIGUSR1 end the program as a closed window would.
#pragma once

void InstallTerminationHandler();
// The same ending without a signal (the X server went away).
void RequestTermination();
// At a safe point of the message loop: a signal that arrived destroys every own window.
void CheckTermination();

// A signal that has not been acted on is forgotten (ResetPortablePlatform).
void ResetSignals();
