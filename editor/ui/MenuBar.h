// The editor's menus: Pattern (edits of the current pattern, actions on any
// of the 64 slots, rename, choose), Random, Import, Export, Distortion and
// Preset. Slot entries carry the patterns' names, refreshed with the state.
#pragma once

#include <FL/Fl_Menu_Bar.H>

#include <array>
#include <string>

#include "editor/core/Commands.h"
#include "editor/core/EditorState.h"

class MenuBar : public Fl_Menu_Bar {
 public:
  MenuBar(int x, int y, int w, int h, Commands& commands);

  void showState(const EditorState& state);
  void renamePattern(const EditorState& state);

  int handle(int event) override;

 private:
  enum Category { kEdit = 1, kSlot, kChoose, kRename, kRandom, kImport, kExport, kDistOn, kDistAlgorithm, kPreset };
  static void menuCallback(Fl_Widget* w, void* data);
  void run(Category category, int kind, int slot);
  int item(const std::string& path, Category category, int kind = 0, int slot = 0, int flags = 0, int shortcut = 0);
  void importFile(Commands::ImportKind kind, const char* title, const char* filter, bool askSlot);
  void exportFile(Commands::ExportKind kind, const char* title, const char* filter, const char* extension);

  Commands& commands_;
  const EditorState* state_ = nullptr;
  // Menu indices of the slot entries, per slot action (clear, copy, paste,
  // random, choose), to put the patterns' names on them.
  std::array<std::array<int, 64>, 5> slotItems_{};
  std::array<std::string, 64> names_;
  int distOnItem_ = -1;
  std::array<int, 4> algorithmItems_{};
};
