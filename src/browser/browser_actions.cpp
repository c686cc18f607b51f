// The browser's actions, all run from one place.
#include "browser/browser_actions.h"

#include "browser/browser_state.h"
#include "browser/cine_playback.h"
#include "browser/navigation.h"

namespace {

// Playback's frames come back here, each as an action of its own.
void onCineFrameDue() { applyBrowserAction(BrowserAction::CineFrame); }

}  // namespace

void applyBrowserAction(BrowserAction action, const ActionTarget &target) {
  switch (action) {
    case BrowserAction::PreviousImage:
      return showPreviousImage();
    case BrowserAction::NextImage:
      return showNextImage();
    case BrowserAction::PreviousSeries:
      return showPreviousSeries();
    case BrowserAction::NextSeries:
      return showNextSeries();
    case BrowserAction::FirstImage:
      return showFirstImage();
    case BrowserAction::LastImage:
      return showLastImage();
    case BrowserAction::ZoomIn:
      return zoomIn();
    case BrowserAction::ZoomOut:
      return zoomOut();
    case BrowserAction::FitOrActualSize:
      return toggleFitToView();
    case BrowserAction::PlayStop:
      return togglePlayback(onCineFrameDue);
    case BrowserAction::CineFrame:
      return showNextCineFrame();
    case BrowserAction::StopPlayback:
      if (browser.cinePlaying) stopCinePlayback();
      return;
    case BrowserAction::ShowThumbnail:
      return showPressedThumbnail(target.thumbnail);
    case BrowserAction::DragPicture:
      return scrollPictureTo(target.scrollX, target.scrollY);
    case BrowserAction::RefitToView:
      return refitToView();
    case BrowserAction::FullPictureArrived:
      return showArrivedPicture();
    case BrowserAction::Close:
    case BrowserAction::None:
      return;
  }
}
