// Pointer handlers of a thumbnail's frame (its "branch-event-box"), connected
// swapped with the thumbnail image as data, so each receives the image first.
#pragma once

#include <gtk/gtk.h>

gboolean onThumbnailEnter(GtkWidget *thumbnail, GdkEventCrossing *event, GtkWidget *frame);
gboolean onThumbnailLeave(GtkWidget *thumbnail, GdkEventCrossing *event, GtkWidget *frame);
gboolean onThumbnailPressed(GtkWidget *thumbnail, GdkEventButton *event, GtkWidget *frame);
