#include "editor/ui/MenuBar.h"

#include <FL/Fl.H>
#include <FL/fl_ask.H>

#include <cstdint>

#include "editor/core/ParamControls.h"
#include "editor/core/Presets.h"
#include "editor/ui/Dialogs.h"
#include "editor/ui/Theme.h"

namespace {

// Menu entries carry category, kind and slot packed into their user data.
intptr_t pack(int category, int kind, int slot) { return (category << 16) | (kind << 8) | slot; }

const char* const kSlotMenus[5] = {"Pattern/Clear slot", "Pattern/Copy slot", "Pattern/Paste into slot",
                                   "Pattern/Randomise slot", "Pattern/Choose"};
const char* const kGroups[4] = {"1-16", "17-32", "33-48", "49-64"};

// A label for an entry: FLTK menus read '&' as a shortcut mark and '/' in a
// path as a submenu, so names are escaped.
std::string slotLabel(int slot, const std::string& name) {
  std::string label = std::to_string(slot + 1);
  if (!name.empty()) label += "   " + name;
  std::string out;
  for (char c : label) {
    if (c == '&') out += '&';
    out += c;
  }
  return out;
}

}  // namespace

MenuBar::MenuBar(int x, int y, int w, int h, Commands& commands) : Fl_Menu_Bar(x, y, w, h), commands_(commands) {
  box(FL_FLAT_BOX);
  color(theme::kPanel);
  textsize(12);
  textcolor(theme::kText);
  labelcolor(theme::kText);
  selection_color(theme::kAccent);
  clear_visible_focus();

  item("Pattern/Clear", kEdit, Commands::kClear);
  item("Pattern/Copy", kEdit, Commands::kCopy, 0, 0, FL_CTRL + 'c');
  item("Pattern/Paste", kEdit, Commands::kPaste, 0, FL_MENU_DIVIDER, FL_CTRL + 'v');
  item("Pattern/Transpose up", kEdit, Commands::kTransposeUp, 0, 0, FL_CTRL + FL_Up);
  item("Pattern/Transpose down", kEdit, Commands::kTransposeDown, 0, 0, FL_CTRL + FL_Down);
  item("Pattern/Rotate left", kEdit, Commands::kRotateLeft, 0, 0, FL_CTRL + FL_Left);
  item("Pattern/Rotate right", kEdit, Commands::kRotateRight, 0, FL_MENU_DIVIDER, FL_CTRL + FL_Right);
  item("Pattern/Rename...", kRename, 0, 0, FL_MENU_DIVIDER);
  for (int action = 0; action < 5; ++action) {
    for (int slot = 0; slot < 64; ++slot) {
      // Only the first 32 patterns can be chosen: the choice travels as a parameter.
      if (action == 4 && slot >= 32) break;
      std::string path = std::string(kSlotMenus[action]) + "/" + kGroups[slot / 16] + "/" + std::to_string(slot + 1);
      Category category = action == 4 ? kChoose : kSlot;
      slotItems_[static_cast<size_t>(action)][static_cast<size_t>(slot)] = item(path, category, action, slot);
    }
  }

  item("Random/Pattern: notes, accents and slides", kRandom, Commands::kRandomPattern, 0, FL_MENU_DIVIDER);
  item("Random/Notes only", kRandom, Commands::kRandomNotes);
  item("Random/Accents only", kRandom, Commands::kRandomAccents);
  item("Random/Slides only", kRandom, Commands::kRandomSlides, 0, FL_MENU_DIVIDER);
  item("Random/Sound", kRandom, Commands::kRandomSound);
  item("Random/Pattern and sound", kRandom, Commands::kRandomAll);

  item("Import/Pattern (.303)...", kImport, Commands::kImportPattern);
  item("Import/Pattern with its sound (.303)...", kImport, Commands::kImportPatternWithSound, 0, FL_MENU_DIVIDER);
  item("Import/ABL2 or ABL3 pattern (.pat)...", kImport, Commands::kImportAbl);
  item("Import/ABL2 or ABL3 pattern with its sound (.pat)...", kImport, Commands::kImportAblWithSound);
  item("Import/Phoscyon pattern (.phptr)...", kImport, Commands::kImportPhoscyon, 0, FL_MENU_DIVIDER);
  item("Import/Bank of all patterns and sound (.b303)...", kImport, Commands::kImportBank);

  item("Export/Pattern with its sound (.303)...", kExport, Commands::kExportPattern, 0, FL_MENU_DIVIDER);
  item("Export/ABL2 pattern (.pat)...", kExport, Commands::kExportAbl2);
  item("Export/ABL3 pattern (.pat)...", kExport, Commands::kExportAbl3);
  item("Export/Phoscyon pattern (.phptr)...", kExport, Commands::kExportPhoscyon, 0, FL_MENU_DIVIDER);
  item("Export/Bank of all patterns and sound (.b303)...", kExport, Commands::kExportBank);

  distOnItem_ = item("Distortion/On", kDistOn, 0, 0, FL_MENU_TOGGLE | FL_MENU_DIVIDER);
  const ParamControl& algorithms = paramControl(kDistSel);
  for (int a = 0; a < 4; ++a) {
    algorithmItems_[static_cast<size_t>(a)] =
        item(std::string("Distortion/") + algorithms.choices[a], kDistAlgorithm, a, 0, FL_MENU_RADIO);
  }

  const auto& presets = factoryPresets();
  for (size_t i = 0; i < presets.size(); ++i) {
    item(std::string("Preset/") + presets[i].name, kPreset, static_cast<int>(i), 0, i == 0 ? FL_MENU_DIVIDER : 0);
  }
}

int MenuBar::item(const std::string& path, Category category, int kind, int slot, int flags, int shortcut) {
  return add(path.c_str(), shortcut, menuCallback, reinterpret_cast<void*>(pack(category, kind, slot)), flags);
}

void MenuBar::menuCallback(Fl_Widget* w, void*) {
  MenuBar* bar = static_cast<MenuBar*>(w);
  const Fl_Menu_Item* chosen = bar->mvalue();
  if (!chosen) return;
  intptr_t code = reinterpret_cast<intptr_t>(chosen->user_data());
  bar->run(static_cast<Category>(code >> 16), static_cast<int>((code >> 8) & 0xFF), static_cast<int>(code & 0xFF));
}

void MenuBar::run(Category category, int kind, int slot) {
  switch (category) {
    case kEdit:
      commands_.editPattern(static_cast<Commands::PatternEdit>(kind));
      break;
    case kSlot:
      commands_.slot(static_cast<Commands::SlotAction>(kind), slot);
      break;
    case kChoose:
      commands_.setParameter(kTriggerPattern, choiceToValue(kTriggerPattern, slot));
      break;
    case kRename:
      if (state_) renamePattern(*state_);
      break;
    case kRandom:
      commands_.randomise(static_cast<Commands::RandomKind>(kind));
      break;
    case kImport:
      switch (kind) {
        case Commands::kImportPattern:
        case Commands::kImportPatternWithSound:
          importFile(static_cast<Commands::ImportKind>(kind), "Import a pattern", "Vornix pattern (*.303)", true);
          break;
        case Commands::kImportAbl:
        case Commands::kImportAblWithSound:
          importFile(static_cast<Commands::ImportKind>(kind), "Import an ABL pattern", "ABL pattern (*.pat)", true);
          break;
        case Commands::kImportPhoscyon:
          importFile(Commands::kImportPhoscyon, "Import a Phoscyon pattern", "Phoscyon pattern (*.phptr)", true);
          break;
        default:
          importFile(Commands::kImportBank, "Import a bank", "Vornix bank (*.b303)", false);
          break;
      }
      break;
    case kExport:
      switch (kind) {
        case Commands::kExportPattern:
          exportFile(Commands::kExportPattern, "Export the pattern", "Vornix pattern (*.303)", ".303");
          break;
        case Commands::kExportAbl2:
          exportFile(Commands::kExportAbl2, "Export as ABL2 pattern", "ABL pattern (*.pat)", ".pat");
          break;
        case Commands::kExportAbl3:
          exportFile(Commands::kExportAbl3, "Export as ABL3 pattern", "ABL pattern (*.pat)", ".pat");
          break;
        case Commands::kExportPhoscyon:
          exportFile(Commands::kExportPhoscyon, "Export as Phoscyon pattern", "Phoscyon pattern (*.phptr)", ".phptr");
          break;
        default:
          exportFile(Commands::kExportBank, "Export the bank", "Vornix bank (*.b303)", ".b303");
          break;
      }
      break;
    case kDistOn:
      commands_.setParameter(kDisto, menu()[distOnItem_].value() ? 1.0f : 0.0f);
      break;
    case kDistAlgorithm:
      commands_.setParameter(kDistSel, choiceToValue(kDistSel, kind));
      break;
    case kPreset: {
      const auto& presets = factoryPresets();
      if (kind >= 0 && static_cast<size_t>(kind) < presets.size()) {
        for (const auto& v : presets[static_cast<size_t>(kind)].values) commands_.setParameter(v.first, v.second);
      }
      break;
    }
  }
}

void MenuBar::importFile(Commands::ImportKind kind, const char* title, const char* filter, bool askSlot) {
  std::string path = dialogs::openFile(title, filter);
  if (path.empty()) return;
  int slot = 0;
  if (askSlot) {
    slot = dialogs::askSlot(title, path, state_ ? state_->transport.pattern : 0);
    if (slot < 0) return;
  }
  if (!commands_.importFile(kind, slot, path)) fl_alert("The file's path is too long.");
}

void MenuBar::exportFile(Commands::ExportKind kind, const char* title, const char* filter, const char* extension) {
  std::string path = dialogs::saveFile(title, filter, extension);
  if (!path.empty() && !commands_.exportFile(kind, path)) fl_alert("The file's path is too long.");
}

void MenuBar::renamePattern(const EditorState& state) {
  std::string name;
  if (dialogs::askName(state.currentPattern().name, 127, name)) commands_.rename(name);
}

void MenuBar::showState(const EditorState& state) {
  state_ = &state;
  for (int slot = 0; slot < 64; ++slot) {
    const std::string& name = state.patterns[static_cast<size_t>(slot)].name;
    if (name == names_[static_cast<size_t>(slot)] && !name.empty()) continue;
    names_[static_cast<size_t>(slot)] = name;
    std::string label = slotLabel(slot, name);
    for (int action = 0; action < 5; ++action) {
      if (action == 4 && slot >= 32) break;
      replace(slotItems_[static_cast<size_t>(action)][static_cast<size_t>(slot)], label.c_str());
    }
  }
  Fl_Menu_Item* items = const_cast<Fl_Menu_Item*>(menu());
  if (state.params[kDisto].value >= 0.5f) items[distOnItem_].set();
  else items[distOnItem_].clear();
  int algorithm = state.distoAlgorithm;
  for (int a = 0; a < 4; ++a) {
    if (a == algorithm) items[algorithmItems_[static_cast<size_t>(a)]].set();
    else items[algorithmItems_[static_cast<size_t>(a)]].clear();
  }
}

int MenuBar::handle(int event) { return Fl_Menu_Bar::handle(event); }
