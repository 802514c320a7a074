// What an object file's author is told: what the saver refuses, line by line, and what it
// accepts silently but an author rarely means.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scene/object_file.h"
#include "tools/object_input.h"

struct Diagnostic {
  int32_t line;  // the file's physical line, from 1; 0 for the file as a whole
  bool error;    // an error makes the saver refuse the file; a warning does not
  std::string text;
};

// Diagnoses what LoadObjectInput made of the input, given its result, the Object it loaded
// (unposed) and its report; the input is read again only for the usable lines past the last Face.
// In line order; the Object is left as it was.
std::vector<Diagnostic> DiagnoseObject(const ObjectInput& input, int32_t result, const Object& object,
                                       const LoadReport& report);

// Which characters of its line a later piece of a long line holds ("characters 255-508"); empty
// for the first piece.
std::string PieceCharacters(const FaceSource& source);

// "file:line: error: text", the form editors jump from; without a line "file: error: text".
std::string FormatDiagnostic(const std::string& file, const Diagnostic& diagnostic);
