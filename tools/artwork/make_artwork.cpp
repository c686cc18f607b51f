// make-artwork <img-dir> [--sheet <preview.png>]: writes the navigator's pictures,
// and on request a preview sheet of all of them.
#include "artwork.h"
#include "contact_sheet.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char **argv) {
  const bool withSheet = argc == 4 && std::strcmp(argv[2], "--sheet") == 0;
  if (argc != 2 && !withSheet) {
    std::fprintf(stderr, "usage: %s <img-dir> [--sheet <preview.png>]\n", argv[0]);
    return 2;
  }
  std::string error;
  if (!writeArtwork(argv[1], &error)) {
    std::fprintf(stderr, "make-artwork: %s\n", error.c_str());
    return 1;
  }
  if (withSheet && !writeContactSheet(argv[1], argv[3], &error)) {
    std::fprintf(stderr, "make-artwork: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
