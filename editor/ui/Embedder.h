// Puts the editor's FLTK window inside the host's window: our X window is
// created as a child of the host's and handed to FLTK. The host may destroy
// its window when it closes the editor (ours dies with it) and give a new one
// at the next open, so every embed builds a fresh X window. X errors about
// windows that are already gone are expected and ignored.
#pragma once

class Fl_Window;

class Embedder {
 public:
  explicit Embedder(Fl_Window& window);

  // Into the host window `parent`; 0 shows an ordinary top-level window (for
  // trying the editor without a host). False if `parent` does not exist.
  bool embed(unsigned long parent);
  // Hides our window, e.g. when the host's window went away.
  void withdraw();
  unsigned long parent() const { return parent_; }

 private:
  static int dispatch(int event, Fl_Window* window);
  static int unhandled(int event);
  // FLTK places pop-up menus from the window's root position, which goes
  // stale when the host moves its window: ask the server again.
  void refreshRootPosition();

  Fl_Window& window_;
  unsigned long parent_ = 0;
  static Embedder* instance_;
};
