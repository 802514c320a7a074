// Termination signals: SIGTERM, SIGINT, SIGHUP and SIGUSR1 end the program as a closed window would,
// and the process then ends by the signal. SIGHUP and SIGINT that were ignored at start stay ignored.
#pragma once

void InstallTerminationHandler();
// The same ending without a signal (the X server went away).
void RequestTermination();
// Whether an ending was asked for and not yet acted on; the message loop acts on it at a safe point
// (user.cpp) and then clears it.
bool TerminationRequested();
void ClearTerminationRequest();
// At the end of the process: when a termination signal asked for the ending before anything else
// did, the process dies by that signal (its default action); otherwise this returns.
void EndByTerminationSignal();

// A signal that has not been acted on is forgotten (ResetPortablePlatform).
void ResetSignals();
