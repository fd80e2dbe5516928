#include "ui/wx/wx_gtk.h"

#include <wx/wx.h>

#ifdef __WXGTK__
#include <dlfcn.h>
#endif

#include <cstring>

namespace sk::ui {

#ifdef __WXGTK__

namespace {

template <typename Function>
Function Lookup(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_DEFAULT, name));
}

// Priority between the theme (200) and the user's own settings (800).
constexpr unsigned kStylePriority = 600;

constexpr char kCompactCss[] =
    "button { min-height: 0; min-width: 0; padding: 1px 6px; }\n"
    "combobox button, combobox box { min-height: 0; padding-top: 0; padding-bottom: 0; }\n"
    "combobox button { padding-left: 3px; padding-right: 1px; }\n"
    "entry { min-height: 0; padding-top: 0; padding-bottom: 0; }\n"
    "notebook tab { min-height: 0; padding: 3px 10px; }\n"
    "progressbar trough, progressbar progress { min-height: 14px; }\n"
    "radiobutton, checkbutton { min-height: 0; padding: 0; }\n";

}  // namespace

void ApplyCompactStyle() {
  using NewProvider = void* (*)();
  using LoadData = int (*)(void*, const char*, long, void**);
  using DefaultScreen = void* (*)();
  using AddProvider = void (*)(void*, void*, unsigned);
  using DefaultSettings = void* (*)();
  using SetProperty = void (*)(void*, const char*, ...);
  const auto new_provider = Lookup<NewProvider>("gtk_css_provider_new");
  const auto load_data = Lookup<LoadData>("gtk_css_provider_load_from_data");
  const auto default_screen = Lookup<DefaultScreen>("gdk_screen_get_default");
  const auto add_provider = Lookup<AddProvider>("gtk_style_context_add_provider_for_screen");
  if (new_provider != nullptr && load_data != nullptr && default_screen != nullptr &&
      add_provider != nullptr) {
    void* provider = new_provider();
    void* screen = default_screen();
    if (provider != nullptr && screen != nullptr &&
        load_data(provider, kCompactCss, static_cast<long>(std::strlen(kCompactCss)), nullptr)) {
      add_provider(screen, provider, kStylePriority);
    }
  }
  const auto default_settings = Lookup<DefaultSettings>("gtk_settings_get_default");
  const auto set_property = Lookup<SetProperty>("g_object_set");
  if (default_settings != nullptr && set_property != nullptr) {
    if (void* settings = default_settings()) {
      set_property(settings, "gtk-menu-images", 1, static_cast<const char*>(nullptr));
    }
  }
}

int NaturalHeight(wxWindow* window) {
  using PreferredHeight = void (*)(void*, int*, int*);
  const auto preferred = Lookup<PreferredHeight>("gtk_widget_get_preferred_height");
  if (window == nullptr || preferred == nullptr || window->GetHandle() == nullptr) return 0;
  int minimum = 0, natural = 0;
  preferred(window->GetHandle(), &minimum, &natural);
  return natural;
}

void CloseContextMenu(wxMenu* menu) {
  using Popdown = void (*)(void*);
  const auto popdown = Lookup<Popdown>("gtk_menu_popdown");
  if (menu != nullptr && popdown != nullptr && menu->m_menu != nullptr) popdown(menu->m_menu);
}

namespace {

// The descendant of window whose native widget holds the toplevel's focus widget.
wxWindow* FocusHolder(wxWindow* window, void* focus) {
  using IsAncestor = int (*)(void*, void*);
  static const auto is_ancestor = Lookup<IsAncestor>("gtk_widget_is_ancestor");
  for (wxWindow* child : window->GetChildren()) {
    if (child->IsTopLevel()) continue;
    if (wxWindow* inner = FocusHolder(child, focus)) return inner;
    void* handle = child->GetHandle();
    if (handle != nullptr &&
        (handle == focus || (is_ancestor != nullptr && is_ancestor(focus, handle)))) {
      return child;
    }
  }
  return nullptr;
}

}  // namespace

wxWindow* FocusedChild(wxWindow* frame) {
  using GetFocus = void* (*)(void*);
  const auto get_focus = Lookup<GetFocus>("gtk_window_get_focus");
  if (frame == nullptr || get_focus == nullptr || frame->GetHandle() == nullptr) return nullptr;
  void* focus = get_focus(frame->GetHandle());
  return focus == nullptr ? nullptr : FocusHolder(frame, focus);
}

void ShowNativeLabel(wxWindow* button, const wxString& label) {
  using SetFlag = void (*)(void*, int);
  using SetLabel = void (*)(void*, const char*);
  static const auto set_use_stock = Lookup<SetFlag>("gtk_button_set_use_stock");
  static const auto set_use_underline = Lookup<SetFlag>("gtk_button_set_use_underline");
  static const auto set_label = Lookup<SetLabel>("gtk_button_set_label");
  if (button == nullptr || button->GetHandle() == nullptr || set_label == nullptr) return;
  wxString text = label;
  text.Replace("_", "__");
  text.Replace("&", "_");
  if (set_use_stock != nullptr) set_use_stock(button->GetHandle(), 0);
  if (set_use_underline != nullptr) set_use_underline(button->GetHandle(), 1);
  set_label(button->GetHandle(), text.utf8_str());
}

wxString NativeLabel(wxWindow* button) {
  using GetLabel = const char* (*)(void*);
  static const auto get_label = Lookup<GetLabel>("gtk_button_get_label");
  if (button == nullptr || button->GetHandle() == nullptr || get_label == nullptr) return "";
  const char* label = get_label(button->GetHandle());
  wxString text = label == nullptr ? wxString() : wxString::FromUTF8(label);
  text.Replace("_", "");
  return text;
}

#else

void ShowNativeLabel(wxWindow*, const wxString&) {}
wxString NativeLabel(wxWindow* button) { return button->GetLabel(); }
wxWindow* FocusedChild(wxWindow*) { return nullptr; }
void ApplyCompactStyle() {}
int NaturalHeight(wxWindow*) { return 0; }
void CloseContextMenu(wxMenu*) {}

#endif

}  // namespace sk::ui
