// Folder listings with UTF-8 names (the C library's own give names in the
// ANSI code page, which cannot hold every name). dirfd is the folder held
// open while it is listed.
#pragma once

#include "platform/windows/posix_calls.h"

struct dirent {
  char d_name[1024];  // UTF-8: up to 255 UTF-16 units of 3 bytes each
};
struct kotran_dir;
typedef struct kotran_dir DIR;

DIR* opendir(const char* name);
struct dirent* readdir(DIR* dir);
int closedir(DIR* dir);
int dirfd(DIR* dir);
