// Termination signals: SIGTERM and SIGINT end the program as a closed window would.
#pragma once

void InstallTerminationHandler();
// At a safe point of the message loop: a signal that arrived destroys every own window.
void CheckTermination();
