// Text of the browser's information line and its tooltip, built from the
// attribute record of the shown series.
#pragma once

#include "catalogue/study_metadata.h"

#include <string>

// The record as the line shows it: an empty study description reads "brak".
StudyMetadata recordForDisplay(StudyMetadata record);

// Pango markup of the line: labels white, values grey; the name and both
// descriptions shortened to 16 bytes. Values are escaped, so any text is safe.
std::string informationLineMarkup(const StudyMetadata &displayed);

// Said on a line of its own under the information line when the shown
// picture cannot be read from the disc and its thumbnail stands in for it.
constexpr const char *kUnreadablePictureNote = "Nie można odczytać obrazu z płyty";
// Its markup, the line break before it included.
std::string unreadablePictureNoteMarkup();
