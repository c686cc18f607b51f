// The push-button accessible object of the event boxes used as buttons. The
// toolkit asks the accessibility registry's factory for an event box's object
// the first time a screen reader (or the toolkit itself) needs it; a factory of
// ours stands in for the accessibility module's factory of event boxes and
// makes our object for the marked ones, the module's own for all others. Our
// object is the module's container object with the push-button role, its
// action and the folding states, so names, children and focus stay the module's.
#include "ui/button_accessible.h"

#include "ui/mouse_press.h"

namespace {

const char *const kButtonKey = "velmora-accessible-button";
const char *const kFoldsKey = "velmora-accessible-folds";

// The accessibility module's types, made once per process as GObject types are.
struct ModuleTypes {
  // The accessibility module's factory of event boxes, and its object type.
  AtkObjectFactory *moduleFactory = nullptr;
  AtkObjectClass *moduleClass = nullptr;
  GType buttonType = 0;
  GType factoryType = 0;
};
ModuleTypes moduleTypes;

// ---- The accessible object ----

GtkWidget *widgetOf(gpointer accessible) { return gtk_accessible_get_widget(GTK_ACCESSIBLE(accessible)); }

void onFoldShown(GtkWidget *, gpointer accessible) {
  atk_object_notify_state_change(ATK_OBJECT(accessible), ATK_STATE_EXPANDED, TRUE);
}

void onFoldHidden(GtkWidget *, gpointer accessible) {
  atk_object_notify_state_change(ATK_OBJECT(accessible), ATK_STATE_EXPANDED, FALSE);
}

void initializeButton(AtkObject *accessible, gpointer widget) {
  moduleTypes.moduleClass->initialize(accessible, widget);
  accessible->role = ATK_ROLE_PUSH_BUTTON;
  auto *children = static_cast<GtkWidget *>(g_object_get_data(G_OBJECT(widget), kFoldsKey));
  if (children == nullptr) return;
  g_signal_connect_object(children, "show", G_CALLBACK(onFoldShown), accessible, GConnectFlags(0));
  g_signal_connect_object(children, "hide", G_CALLBACK(onFoldHidden), accessible, GConnectFlags(0));
}

AtkStateSet *buttonStates(AtkObject *accessible) {
  AtkStateSet *states = moduleTypes.moduleClass->ref_state_set(accessible);
  GtkWidget *widget = widgetOf(accessible);
  auto *children =
      widget == nullptr ? nullptr : static_cast<GtkWidget *>(g_object_get_data(G_OBJECT(widget), kFoldsKey));
  if (children != nullptr) {
    atk_state_set_add_state(states, ATK_STATE_EXPANDABLE);
    if (gtk_widget_get_visible(children)) atk_state_set_add_state(states, ATK_STATE_EXPANDED);
  }
  return states;
}

void initButtonClass(gpointer buttonClass, gpointer) {
  moduleTypes.moduleClass = ATK_OBJECT_CLASS(g_type_class_peek_parent(buttonClass));
  ATK_OBJECT_CLASS(buttonClass)->initialize = initializeButton;
  ATK_OBJECT_CLASS(buttonClass)->ref_state_set = buttonStates;
}

// ---- Its action ----

// The press runs from the main loop, not inside the screen reader's call: a
// press handler may run the loop itself (the tree runs pending events).
gboolean pressLater(gpointer accessible) {
  if (GtkWidget *widget = widgetOf(accessible)) pressAsMouse(widget);
  return FALSE;
}

gboolean doAction(AtkAction *action, gint index) {
  GtkWidget *widget = widgetOf(action);
  if (index != 0 || widget == nullptr || !gtk_widget_is_sensitive(widget) || !gtk_widget_get_mapped(widget))
    return FALSE;
  gdk_threads_add_idle_full(G_PRIORITY_DEFAULT_IDLE, pressLater, g_object_ref(action), g_object_unref);
  return TRUE;
}

gint actionCount(AtkAction *) { return 1; }
const gchar *actionName(AtkAction *, gint index) { return index == 0 ? "click" : nullptr; }
const gchar *actionLocalizedName(AtkAction *, gint index) { return index == 0 ? "kliknij" : nullptr; }
const gchar *actionDescription(AtkAction *, gint) { return nullptr; }
const gchar *actionKeys(AtkAction *, gint) { return nullptr; }

void initAction(gpointer interface, gpointer) {
  auto *action = static_cast<AtkActionIface *>(interface);
  action->do_action = doAction;
  action->get_n_actions = actionCount;
  action->get_name = actionName;
  action->get_localized_name = actionLocalizedName;
  action->get_description = actionDescription;
  action->get_keybinding = actionKeys;
}

// The module's object type with our class and the action; registered once,
// when the module's type is known.
void registerButtonType(GType moduleType) {
  GTypeQuery query;
  g_type_query(moduleType, &query);
  GTypeInfo info = {};
  info.class_size = static_cast<guint16>(query.class_size);
  info.class_init = initButtonClass;
  info.instance_size = static_cast<guint16>(query.instance_size);
  moduleTypes.buttonType =
      g_type_register_static(moduleType, "VelmoraButtonAccessible", &info, GTypeFlags(0));
  GInterfaceInfo action = {initAction, nullptr, nullptr};
  g_type_add_interface_static(moduleTypes.buttonType, ATK_TYPE_ACTION, &action);
}

// ---- The factory ----

AtkObject *createAccessible(GObject *object) {
  if (g_object_get_data(object, kButtonKey) == nullptr)
    return atk_object_factory_create_accessible(moduleTypes.moduleFactory, object);
  auto *accessible = ATK_OBJECT(g_object_new(moduleTypes.buttonType, nullptr));
  atk_object_initialize(accessible, object);
  return accessible;
}

GType factoryAccessibleType() { return atk_object_factory_get_accessible_type(moduleTypes.moduleFactory); }

void initFactoryClass(gpointer factoryClass, gpointer) {
  ATK_OBJECT_FACTORY_CLASS(factoryClass)->create_accessible = createAccessible;
  ATK_OBJECT_FACTORY_CLASS(factoryClass)->get_accessible_type = factoryAccessibleType;
}

// Puts our factory in place once the accessibility module has registered its
// own (it is loaded at the toolkit's start, or later through the settings);
// without the module, the toolkit's objects do nothing and neither does ours.
void standInForModuleFactory() {
  if (moduleTypes.factoryType != 0) return;
  AtkRegistry *registry = atk_get_default_registry();
  AtkObjectFactory *factory = atk_registry_get_factory(registry, GTK_TYPE_EVENT_BOX);
  GType moduleType = factory == nullptr ? 0 : atk_object_factory_get_accessible_type(factory);
  if (moduleType == 0 || !g_type_is_a(moduleType, GTK_TYPE_ACCESSIBLE)) return;
  moduleTypes.moduleFactory = ATK_OBJECT_FACTORY(g_object_ref(factory));
  registerButtonType(moduleType);
  GTypeInfo info = {};
  info.class_size = sizeof(AtkObjectFactoryClass);
  info.class_init = initFactoryClass;
  info.instance_size = sizeof(AtkObjectFactory);
  moduleTypes.factoryType =
      g_type_register_static(ATK_TYPE_OBJECT_FACTORY, "VelmoraButtonFactory", &info, GTypeFlags(0));
  atk_registry_set_factory_type(registry, GTK_TYPE_EVENT_BOX, moduleTypes.factoryType);
}

}  // namespace

void announceAsButton(GtkWidget *eventBox) {
  standInForModuleFactory();
  g_object_set_data(G_OBJECT(eventBox), kButtonKey, GINT_TO_POINTER(1));
}

void announceFolding(GtkWidget *eventBox, GtkWidget *children) {
  g_object_set_data(G_OBJECT(eventBox), kFoldsKey, children);
}
