// The seam's control entries, and the one reset of the whole platform in the order its areas need.
#include "platform/portable/dialogs.h"
#include "platform/portable/gdi/gdi.h"
#include "platform/portable/kernel.h"
#include "platform/portable/registry.h"
#include "platform/portable/signals.h"
#include "platform/portable/test_seam.h"
#include "platform/portable/window_table.h"

#if CUBRIX_TEST_SEAM
void Seam::InstallRecorder(const Recorder* recorder) { seamState.recorder = recorder; }

void Seam::SetSwitch(Switch which, bool on) { seamState.switches[static_cast<int>(which)] = on; }
#endif

// Windows go first, while the areas they call into still hold their state.
void ResetPortablePlatform() {
  ResetUser();
  ResetSignals();
  ResetDialogs();
  ResetGdi();
  ResetRegistry();
  ResetKernel();
  ResetFiles();
#if CUBRIX_TEST_SEAM
  for (int which = 0; which < Seam::kSwitchCount; ++which) Seam::SetSwitch(static_cast<Seam::Switch>(which), true);
#endif
}
