// What the page's editor shows beside its lines: the object checker's diagnostics of the file
// the run reads (C:\windows\Cube.dat), made by the code and in the words of cubrix-object-check.
#include <emscripten.h>

#include <string>

#include "scene/colour_table.h"
#include "scene/object_file.h"
#include "tools/object_diagnostics.h"
#include "tools/object_input.h"

// The loader's verdict on the first line, as cubrix-object-check prints it; then one line per
// diagnostic: its line number, a tab, and the diagnostic as the checker prints it.
extern "C" EMSCRIPTEN_KEEPALIVE const char* CheckObjectFile() {
  static std::string report;
  ObjectInput input;
  input.path = "C:\\windows\\Cube.dat";
  Object object{};
  LoadReport loadReport{};
  const int32_t result = LoadObjectInput(input, object, &loadReport);
  report = std::string("Cube.dat: ") + LoadResultMessage(result) + " (result " + std::to_string(result) + ")\n";
  for (const Diagnostic& diagnostic : DiagnoseObject(input, result, object, loadReport)) {
    if (diagnostic.line == 0 && diagnostic.text == LoadResultMessage(result)) continue;  // said above
    report += std::to_string(diagnostic.line) + "\t" + FormatDiagnostic("Cube.dat", diagnostic) + "\n";
  }
  FreeObject(object);
  FreeColourTable();
  return report.c_str();
}
