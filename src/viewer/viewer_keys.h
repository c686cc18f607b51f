// The viewer's keys as data: each key and the action it runs, with its Polish
// description for the F1 help.
#pragma once

#include "imaging/view_state.h"

#include <gdk/gdk.h>

#include <optional>
#include <string>
#include <vector>

struct ViewerKey {
  guint keyval;
  guint modifiers;  // 0, GDK_CONTROL_MASK or GDK_SHIFT_MASK, held with the key
  ViewAction action;
  const char *keyName;      // as the help names it
  const char *description;  // empty for a second key of the same action
};

const std::vector<ViewerKey> &viewerKeys();

// The action of a key press, if any (letters in either case). Shift counts
// only for the keys that name it, since "+" takes it on many keyboards.
std::optional<ViewAction> actionForKey(guint keyval, GdkModifierType state);

// The help text: every action with its keys and the mouse's actions.
std::string viewerHelpText();

// The first window's title, which the navigator's watch looks for.
extern const char *const kViewerTitle;
