// Seeding a new drive folder, in the browser: no template is installed beside the program
// there (nor can the program find its own path), so a new drive starts empty.
#include "platform/portable/drive_template.h"

std::string DriveTemplateFolder() { return ""; }

SeedOutcome SeedDrive(const std::string&, const std::string&) { return SeedOutcome{}; }
