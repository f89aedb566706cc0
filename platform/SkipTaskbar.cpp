#include "platform/SkipTaskbar.h"

#include <dlfcn.h>

#include <QGuiApplication>
#include <QWidget>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// libxcb is loaded at run time: the program then needs neither its headers nor
// a link to it, and runs unchanged where there is no X server.
struct xcb_connection_t;

namespace {

// The two libxcb structures used here, laid out as xcb.h lays them out.
struct Cookie {
  unsigned int sequence;
};
struct AtomReply {
  uint8_t response_type;
  uint8_t pad0;
  uint16_t sequence;
  uint32_t length;
  uint32_t atom;
};

using InternAtomFn = Cookie (*)(xcb_connection_t*, uint8_t, uint16_t, const char*);
using InternAtomReplyFn = AtomReply* (*)(xcb_connection_t*, Cookie, void**);
using ChangePropertyFn = Cookie (*)(xcb_connection_t*, uint8_t, uint32_t, uint32_t, uint32_t,
                                    uint8_t, uint32_t, const void*);
using FlushFn = int (*)(xcb_connection_t*);

constexpr uint8_t kPropModeAppend = 2;
constexpr uint32_t kAtomAtom = 4;

// The libxcb functions used here, looked up once.
struct Xcb {
  InternAtomFn internAtom = nullptr;
  InternAtomReplyFn internAtomReply = nullptr;
  ChangePropertyFn changeProperty = nullptr;
  FlushFn flush = nullptr;

  bool load() {
    void* lib = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return false;
    internAtom = reinterpret_cast<InternAtomFn>(::dlsym(lib, "xcb_intern_atom"));
    internAtomReply = reinterpret_cast<InternAtomReplyFn>(::dlsym(lib, "xcb_intern_atom_reply"));
    changeProperty = reinterpret_cast<ChangePropertyFn>(::dlsym(lib, "xcb_change_property"));
    flush = reinterpret_cast<FlushFn>(::dlsym(lib, "xcb_flush"));
    return internAtom && internAtomReply && changeProperty && flush;
  }

  uint32_t atom(xcb_connection_t* c, const char* name) const {
    AtomReply* r = internAtomReply(
        c, internAtom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    if (!r) return 0;
    const uint32_t a = r->atom;
    std::free(r);
    return a;
  }
};

}  // namespace

namespace platform {

bool SkipTaskbar(QWidget& window) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection()) return false;
  static Xcb xcb;
  static const bool loaded = xcb.load();
  if (!loaded) return false;
  xcb_connection_t* c = x11->connection();
  const uint32_t states[] = {xcb.atom(c, "_NET_WM_STATE_SKIP_TASKBAR"),
                             xcb.atom(c, "_NET_WM_STATE_SKIP_PAGER")};
  const uint32_t netWmState = xcb.atom(c, "_NET_WM_STATE");
  if (!netWmState || !states[0] || !states[1]) return false;
  const auto id = static_cast<uint32_t>(window.winId());
  xcb.changeProperty(c, kPropModeAppend, id, netWmState, kAtomAtom, 32, 2, states);
  xcb.flush(c);
  return true;
}

}  // namespace platform
