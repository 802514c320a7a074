// Seeding a new drive folder from a template folder installed beside the program.
#pragma once

#include <string>

// The template a new drive is seeded from: $CUBRIX_DRIVE_TEMPLATE, else share/cubrix/drive_c
// beside the program's own folder (found through /proc/self/exe), as installed and as built.
std::string DriveTemplateFolder();

// What a seed did: the files it copied, and the first thing that kept a template file out of the
// drive ("" when every template file is there now).
struct SeedOutcome {
  int copied = 0;
  std::string failure;
};

// Copies every file of the template into the drive, at the same relative path, where the drive
// has nothing by that name. Nothing in the drive is ever replaced.
SeedOutcome SeedDrive(const std::string& driveFolder, const std::string& templateFolder);
