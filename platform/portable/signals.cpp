// Portable termination signals: a signal only sets a flag; the message loop acts on it.
#include "platform/portable/signals.h"

#include <signal.h>

#include <cstdio>

namespace {

constexpr int kTerminationSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGUSR1};
constexpr int kNotASignal = -1;  // the ending was asked for without a signal (the X server went)

volatile sig_atomic_t terminationRequested = 0;
// What asked for the ending first: a signal's number, kNotASignal, or 0 while nothing has.
volatile sig_atomic_t endingCause = 0;

void OnTerminationSignal(int number) {
  if (endingCause == 0) endingCause = number;
  terminationRequested = 1;
}

// nohup, and shells for their background jobs, start a program with SIGHUP or SIGINT ignored and
// expect it to stay so.
bool LeftIgnored(int number) {
  if (number != SIGHUP && number != SIGINT) return false;
  struct sigaction current {};
  return sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

void InstallTerminationHandler() {
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  // A second signal during the clean-up must not fail the write and fsync of times.dat with EINTR;
  // poll and nanosleep still return early, which is how the message loop notices.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int number : kTerminationSignals) sigaddset(&action.sa_mask, number);
  // Daemons end their savers with SIGTERM; XSecureLock's reset sends SIGUSR1, a closed terminal
  // SIGHUP. Each would otherwise kill the process before times.dat is written.
  for (int number : kTerminationSignals) {
    if (!LeftIgnored(number)) sigaction(number, &action, nullptr);
  }
}

void RequestTermination() {
  if (endingCause == 0) endingCause = kNotASignal;
  terminationRequested = 1;
}

bool TerminationRequested() { return terminationRequested != 0; }

void ClearTerminationRequest() { terminationRequested = 0; }

// The convention for programs that catch a signal to clean up: die by it afterwards, so that the
// parent (a shell, a screen-saver daemon) sees why the program ended.
void EndByTerminationSignal() {
  const int number = endingCause;
  if (number <= 0) return;
  fflush(nullptr);
  signal(number, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, number);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  raise(number);
}

void ResetSignals() {
  terminationRequested = 0;
  endingCause = 0;
}
