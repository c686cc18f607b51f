// The chooser window "Opis Badania": one column per listed report beside the
// first study's patient data; pressing a column opens that report. Main thread only.
#pragma once

#include "catalogue/study_metadata.h"
#include "descriptions/description_list.h"

#include <gtk/gtk.h>

#include <string>

// The chooser while it exists, otherwise null; reset by its destroy notification.
extern GtkWidget *descriptionChooserWindow;

// The chooser shows the first reports of the list, this many at most. Each
// column is a window of its own, and the toolkit's cost of showing one grows
// with the number of its siblings: a list file of many thousands of names
// would keep the program from answering for minutes.
constexpr size_t kMostChooserColumns = 1000;

// Width of the chooser for `entryCount` reports: five columns at most, wider
// lists scroll.
int descriptionChooserWidth(size_t entryCount);

// The record shown beside every report: study 0, series 0 of
// StudyMetadataIndex, or a record of empty fields when there is none.
StudyMetadata firstStudyRecord();

// "%s\n[%s]" with the patient's name and the study description, each
// shortened to 16 bytes and "..." where longer.
std::string descriptionColumnLabel(const StudyMetadata &record);

// " Kliknij by otworzyć opis badania z pliku \"%s\" ", at most 149 bytes.
std::string descriptionRowTooltip(const DescriptionEntry &entry);

// What a screen reader says for a column: the report's name and its type.
std::string descriptionAccessibleName(const DescriptionEntry &entry);

// The column's icon: "/img/html2.png" or "/img/pdf2.png" in the working directory.
std::string descriptionIconPath(const DescriptionEntry &entry);

// ---- Signal handlers ----

// "button_press_event" of the descriptions tile, connected swapped with the
// list as data. One report opens at once; several show the chooser, built on
// the first press and brought to the front later. Ignored while the browser
// is being built. Always consumes the press.
gboolean showDescriptionChooser(DescriptionList *list, GdkEventButton *event, GtkWidget *tile);

// "button_press_event" of a column's row event box (named by its entry), with
// the chooser as data: a single press opens the report. Always consumes the press.
gboolean onDescriptionRowPressed(GtkWidget *rowEventBox, GdkEventButton *event, GtkWidget *chooserWindow);
