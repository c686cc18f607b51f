// The picture that stands for one that cannot be decoded: the thumbnail's
// size, grey, with "Nie można odczytać obrazu" written on it, so that the
// series keeps its count and the user sees which picture is missing.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

// Made on first use and kept for the run; callers take their own reference.
// Main thread only.
GdkPixbuf *unreadablePicture();
