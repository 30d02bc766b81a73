#include "editor/ui/Embedder.h"

#define FL_INTERNALS 1
#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

Embedder* Embedder::instance_ = nullptr;

namespace {

int quietXError(Display*, XErrorEvent*) { return 0; }

}  // namespace

Embedder::Embedder(Fl_Window& window) : window_(window) {
  instance_ = this;
  fl_open_display();
  XSetErrorHandler(quietXError);
  Fl::event_dispatch(dispatch);
  Fl::add_handler(unhandled);
}

bool Embedder::embed(unsigned long parent) {
  withdraw();
  parent_ = parent;
  if (parent == 0) {
    window_.border(1);
    window_.show();
    return true;
  }
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(fl_display, parent, &attributes)) {
    parent_ = 0;
    return false;
  }
  // Learn when the host destroys its window (ours goes with it).
  XSelectInput(fl_display, parent, StructureNotifyMask);
  XSetWindowAttributes attr;
  attr.border_pixel = 0;
  attr.colormap = fl_colormap;
  attr.bit_gravity = 0;
  attr.event_mask = ExposureMask | StructureNotifyMask | KeyPressMask | KeyReleaseMask | KeymapStateMask |
                    FocusChangeMask | ButtonPressMask | ButtonReleaseMask | EnterWindowMask | LeaveWindowMask |
                    PointerMotionMask;
  Window xid = XCreateWindow(fl_display, parent, 0, 0, static_cast<unsigned>(window_.w()),
                             static_cast<unsigned>(window_.h()), 0, fl_visual->depth, InputOutput,
                             fl_visual->visual, CWBorderPixel | CWColormap | CWEventMask | CWBitGravity, &attr);
  Fl_X::set_xid(&window_, xid);
  window_.set_visible();
  XMapWindow(fl_display, xid);
  XFlush(fl_display);
  refreshRootPosition();
  window_.redraw();
  return true;
}

void Embedder::withdraw() {
  if (window_.shown()) window_.hide();
}

void Embedder::refreshRootPosition() {
  if (!window_.shown() || parent_ == 0) return;
  int rx = 0, ry = 0;
  Window child;
  if (XTranslateCoordinates(fl_display, fl_xid(&window_), RootWindow(fl_display, fl_screen), 0, 0, &rx, &ry,
                            &child)) {
    // Only FLTK's idea of the position changes; the X window stays put.
    window_.Fl_Widget::resize(rx, ry, window_.w(), window_.h());
  }
}

int Embedder::dispatch(int event, Fl_Window* window) {
  if (instance_ && window == &instance_->window_ && (event == FL_ENTER || event == FL_PUSH)) {
    instance_->refreshRootPosition();
    // An embedded window gets keys only with the input focus; the
    // on-screen keyboard's computer-keyboard playing needs them.
    if (event == FL_PUSH && instance_->parent_ != 0) {
      XSetInputFocus(fl_display, fl_xid(window), RevertToParent, fl_event_time);
    }
  }
  return Fl::handle_(event, window);
}

int Embedder::unhandled(int) {
  if (instance_ && fl_xevent && fl_xevent->type == DestroyNotify && instance_->parent_ != 0 &&
      fl_xevent->xdestroywindow.window == instance_->parent_) {
    instance_->parent_ = 0;
    instance_->withdraw();
  }
  return 0;
}
