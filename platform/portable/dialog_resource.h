// Dialog templates of the program for the portable DialogBoxParamA: the stand-in for resources.
#pragma once

#include "platform/win32.h"

// Positions and sizes are in dialog units, as in a resource script.
struct DialogControlResource {
  int id;
  const char* text;
  DWORD style;
  int x;
  int y;
  int width;
  int height;
};
struct DialogResource {
  int id;
  const char* caption;
  DWORD style;
  int x;
  int y;
  int width;
  int height;
  const DialogControlResource* controls;
  int controlCount;
};

// Makes a template known under its id. The program's resource module calls it from a static
// initialiser; the record must outlive every dialog made from it.
void RegisterDialogResource(const DialogResource* resource);
