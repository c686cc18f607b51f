// Process-wide state of the reference-image browser.
#include "browser/browser_state.h"

GtkWidget *browserWindow = nullptr;
std::unique_ptr<BranchTree> browserTree;
GtkWidget *treeScroller = nullptr;
GtkWidget *imageScroller = nullptr;
GtkWidget *imageView = nullptr;
GtkWidget *infoLabel = nullptr;
GtkWidget *playButton = nullptr;
GtkWidget *prevSeriesButton = nullptr;
GtkWidget *prevImageButton = nullptr;
GtkWidget *nextImageButton = nullptr;
GtkWidget *nextSeriesButton = nullptr;

int currentStudy = -1;
int currentSeries = -1;
int currentImage = -1;
GtkWidget *selectedThumbnail = nullptr;
double zoomFactor = 1.0;
bool zoomFitsView = false;
GtkWidget *positionLabel = nullptr;
bool cinePlaying = false;
int lastTreeTarget = 0;
