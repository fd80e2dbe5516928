// Lookups in the map of open windows that each toolkit backend keeps: window number to the
// window's data, whose `controls` map control ids to theirs.
#ifndef STOWKEEPER_UI_WINDOW_MAP_H_
#define STOWKEEPER_UI_WINDOW_MAP_H_

namespace sk::ui {

// The value stored under key, or nullptr.
template <typename Map>
auto* FindEntry(Map& map, int key) {
  auto it = map.find(key);
  return it == map.end() ? nullptr : &it->second;
}

// The data of control `control` of window `window`, or nullptr when either is not there.
template <typename Windows>
auto* FindControlIn(Windows& windows, int window, int control) {
  auto* data = FindEntry(windows, window);
  return data == nullptr ? nullptr : FindEntry(data->controls, control);
}

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_WINDOW_MAP_H_
