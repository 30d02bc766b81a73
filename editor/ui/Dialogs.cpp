#include "editor/ui/Dialogs.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Spinner.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>

#include <sys/stat.h>

#include <cstdlib>

namespace {

std::string lastDirectory;  // the next chooser opens where the last one ended

std::string startDirectory() {
  if (!lastDirectory.empty()) return lastDirectory;
  const char* home = std::getenv("HOME");
  return home ? std::string(home) + "/" : std::string("/tmp/");
}

void rememberDirectory(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash != std::string::npos) lastDirectory = path.substr(0, slash + 1);
}

std::string choose(const char* title, const char* filter, int type) {
  Fl_File_Chooser chooser(startDirectory().c_str(), filter, type, title);
  chooser.preview(0);
  chooser.show();
  while (chooser.shown()) Fl::wait();
  if (chooser.count() < 1 || !chooser.value()) return "";
  std::string path = chooser.value();
  rememberDirectory(path);
  return path;
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

namespace dialogs {

std::string openFile(const char* title, const char* filter) {
  std::string path = choose(title, filter, Fl_File_Chooser::SINGLE);
  if (!path.empty() && !exists(path)) {
    fl_alert("There is no file %s.", path.c_str());
    return "";
  }
  return path;
}

std::string saveFile(const char* title, const char* filter, const char* extension) {
  std::string path = choose(title, filter, Fl_File_Chooser::CREATE);
  if (path.empty()) return "";
  size_t slash = path.rfind('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) return "";
  if (base.find('.') == std::string::npos) path += extension;
  if (exists(path) && fl_choice("%s exists. Replace it?", "Cancel", "Replace", nullptr, path.c_str()) != 1) return "";
  return path;
}

int askSlot(const char* title, const std::string& fileName, int initial) {
  Fl_Window win(300, 112, title);
  size_t slash = fileName.rfind('/');
  std::string text = "Import " + (slash == std::string::npos ? fileName : fileName.substr(slash + 1));
  Fl_Box what(10, 10, 280, 20);
  what.copy_label(text.c_str());
  what.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  Fl_Spinner slot(150, 40, 60, 24, "into pattern slot");
  slot.range(1, 64);
  slot.step(1);
  slot.value(initial + 1);
  Fl_Button cancel(110, 78, 80, 26, "Cancel");
  Fl_Return_Button ok(200, 78, 90, 26, "Import");
  win.end();
  win.set_modal();
  int answer = -2;
  cancel.callback([](Fl_Widget*, void* a) { *static_cast<int*>(a) = -1; }, &answer);
  ok.callback([](Fl_Widget*, void* a) { *static_cast<int*>(a) = 1; }, &answer);
  win.callback([](Fl_Widget*, void* a) { *static_cast<int*>(a) = -1; }, &answer);
  win.show();
  while (answer == -2 && win.shown()) Fl::wait();
  return answer == 1 ? static_cast<int>(slot.value()) - 1 : -1;
}

bool askName(const std::string& current, size_t maxBytes, std::string& name) {
  const char* answer = fl_input("Pattern name:", current.c_str());
  if (!answer) return false;
  name.assign(answer);
  if (name.size() > maxBytes) {
    size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;  // whole UTF-8 characters
    name.resize(cut);
  }
  return true;
}

}  // namespace dialogs
