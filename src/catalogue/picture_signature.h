// What kind of picture a file is, told from its leading bytes alone: the file
// name on a disc says nothing reliable, and loaders must not guess by content.
#pragma once

#include <cstddef>
#include <string>

enum class PictureKind { None, Jpeg, Png, Gif, Bmp, Tiff, Other };

// The kind whose signature the first n bytes carry; None for anything else
// (including too few bytes). Other: a raster format with its own signature that
// is none of the named ones (icons, portable any-maps, WebP, JPEG 2000).
PictureKind pictureKindOf(const unsigned char *bytes, std::size_t n);

// The kind of a file, read from its first bytes. error is 0 when the bytes
// could be read (a zero-byte file gives None), else the system's error code of
// the failure, a link or anything but a regular file being refused with one.
// Never blocks on a pipe or device and follows no link.
struct PictureSignatureRead {
  PictureKind kind = PictureKind::None;
  int error = 0;
};
PictureSignatureRead readPictureSignature(const std::string &path);

// A short English name of the kind for trace and error lines.
const char *pictureKindName(PictureKind kind);
