#include "desktop/HotKeys.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <X11/keysym.h>
#include <algorithm>
#include <cstdlib>
#include <utility>
#include <xcb/xcb.h>

#include "desktop/X11Connection.h"

namespace tavimo {
namespace {

// F1..F24 are 0x70..0x87 as virtual keys and consecutive keysyms from XK_F1.
xcb_keysym_t KeysymOf(int vk) {
  if (vk < 0x70 || vk > 0x87) return 0;
  return static_cast<xcb_keysym_t>(XK_F1 + (vk - 0x70));
}

// The server's keysym table, read once per registration.
class KeyboardMap {
 public:
  explicit KeyboardMap(xcb_connection_t* c) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    min_ = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* reply =
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, min_, static_cast<std::uint8_t>(count)),
                                       nullptr);
    if (!reply) return;
    perCode_ = reply->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
    syms_.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(reply));
    std::free(reply);
  }

  // Every keycode carrying the keysym, those with it unshifted first.
  std::vector<xcb_keycode_t> Codes(xcb_keysym_t sym) const {
    std::vector<xcb_keycode_t> first, later;
    for (size_t i = 0; perCode_ && i < syms_.size(); ++i) {
      if (syms_[i] != sym) continue;
      const auto code = static_cast<xcb_keycode_t>(min_ + i / perCode_);
      auto& list = i % perCode_ == 0 ? first : later;
      if (std::find(list.begin(), list.end(), code) == list.end()) list.push_back(code);
    }
    first.insert(first.end(), later.begin(), later.end());
    return first;
  }

 private:
  xcb_keycode_t min_ = 0;
  std::uint8_t perCode_ = 0;
  std::vector<xcb_keysym_t> syms_;
};

// CapsLock is always the Lock modifier; NumLock and ScrollLock sit wherever the modifier
// mapping puts them (usually Mod2, and nowhere for ScrollLock).
std::uint16_t LockModifiers(xcb_connection_t* c, const KeyboardMap& map) {
  std::uint16_t mask = XCB_MOD_MASK_LOCK;
  xcb_get_modifier_mapping_reply_t* reply =
      xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
  if (!reply) return mask;
  const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply);
  const int perModifier = reply->keycodes_per_modifier;
  for (xcb_keysym_t sym : {xcb_keysym_t{XK_Num_Lock}, xcb_keysym_t{XK_Scroll_Lock}}) {
    const std::vector<xcb_keycode_t> symCodes = map.Codes(sym);
    for (int mod = 0; mod < 8; ++mod) {
      for (int k = 0; k < perModifier; ++k) {
        const xcb_keycode_t code = codes[mod * perModifier + k];
        if (code && std::find(symCodes.begin(), symCodes.end(), code) != symCodes.end())
          mask |= static_cast<std::uint16_t>(1u << mod);
      }
    }
  }
  std::free(reply);
  return mask;
}

// No modifier, then every combination of the lock bits.
std::vector<std::uint16_t> Variants(std::uint16_t locks) {
  std::vector<std::uint16_t> out{0};
  for (std::uint16_t sub = locks; sub != 0; sub = static_cast<std::uint16_t>((sub - 1) & locks))
    out.push_back(sub);
  return out;
}

// Releases grabs and waits until the server has done so, so that another program may take the
// key as soon as we return. Errors do not matter here.
void UngrabAndWait(xcb_connection_t* c, xcb_keycode_t keycode,
                   const std::vector<std::pair<xcb_window_t, std::uint16_t>>& variants) {
  std::vector<xcb_void_cookie_t> cookies;
  for (const auto& [root, mod] : variants) cookies.push_back(xcb_ungrab_key_checked(c, keycode, root, mod));
  for (xcb_void_cookie_t cookie : cookies) std::free(xcb_request_check(c, cookie));
}

// A press while the key is still down and within this many milliseconds of the previous press
// is auto-repeat; a longer gap means the release went elsewhere and this is a new press.
constexpr std::uint32_t kRepeatGap = 1500;

}  // namespace

HotKeys::HotKeys(Handler handler) : handler_(std::move(handler)) {
  auto* c = X11Connection();
  if (!c) return;
  connection_ = c;
  for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it))
    roots_.push_back(it.data->root);
  QCoreApplication::instance()->installNativeEventFilter(this);
  filtering_ = true;
}

HotKeys::~HotKeys() {
  for (const auto& [vk, grab] : grabs_) Ungrab(grab);
  if (filtering_ && QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool HotKeys::Register(int vk) {
  if (IsRegistered(vk)) return true;
  auto* c = static_cast<xcb_connection_t*>(connection_);
  const xcb_keysym_t sym = KeysymOf(vk);
  if (!c || !sym) return false;
  const KeyboardMap map(c);
  const std::vector<xcb_keycode_t> codes = map.Codes(sym);
  if (codes.empty()) return false;

  Grab grab;
  grab.keycode = codes.front();
  const std::uint16_t locks = LockModifiers(c, map);
  grab.modifiers = Variants(locks);
  // Every request first, then every answer: one round trip. A plain XGrabKey would hide the
  // failure behind Qt's error handler.
  struct Variant {
    xcb_window_t root;
    std::uint16_t mod;
    xcb_void_cookie_t cookie;
  };
  std::vector<Variant> variants;
  for (xcb_window_t root : roots_)
    for (std::uint16_t mod : grab.modifiers)
      // owner_events off: the press comes to the root window even when one of our own windows
      // has the focus, so the filter below always sees it.
      variants.push_back(
          {root, mod,
           xcb_grab_key_checked(c, 0, root, mod, grab.keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)});
  std::vector<std::pair<xcb_window_t, std::uint16_t>> held;
  for (const Variant& v : variants) {
    if (xcb_generic_error_t* error = xcb_request_check(c, v.cookie))
      std::free(error);  // BadAccess: another client holds this variant
    else held.emplace_back(v.root, v.mod);
  }
  if (held.size() != variants.size()) {
    // A key is never half-owned: give back the variants that did succeed.
    UngrabAndWait(c, grab.keycode, held);
    return false;
  }
  lockMask_ |= locks;
  grabs_[vk] = std::move(grab);
  return true;
}

void HotKeys::Unregister(int vk) {
  auto it = grabs_.find(vk);
  if (it == grabs_.end()) return;
  Ungrab(it->second);
  grabs_.erase(it);
}

bool HotKeys::IsRegistered(int vk) const { return grabs_.count(vk) != 0; }

std::vector<int> HotKeys::Registered() const {
  std::vector<int> keys;
  for (const auto& [vk, grab] : grabs_) keys.push_back(vk);
  return keys;
}

void HotKeys::Ungrab(const Grab& grab) {
  std::vector<std::pair<xcb_window_t, std::uint16_t>> variants;
  for (xcb_window_t root : roots_)
    for (std::uint16_t mod : grab.modifiers) variants.emplace_back(root, mod);
  UngrabAndWait(static_cast<xcb_connection_t*>(connection_), grab.keycode, variants);
}

bool HotKeys::IsNewPress(Grab& grab, std::uint32_t time) {
  // Held keys repeat in one of two ways: with detectable auto-repeat (Qt asks the server for
  // it) as presses without a release between them; without it as a release and a press that
  // carry the same server time.
  bool repeat = false;
  if (grab.down) repeat = static_cast<std::uint32_t>(time - grab.pressTime) < kRepeatGap;
  else repeat = grab.released && time == grab.releaseTime;
  grab.down = true;
  grab.pressTime = time;
  return !repeat;
}

bool HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (grabs_.empty() || eventType != "xcb_generic_event_t") return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  const std::uint8_t type = event->response_type & 0x7f;
  if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) return false;
  // Press and release share one layout.
  const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
  if (std::find(roots_.begin(), roots_.end(), key->event) == roots_.end()) return false;
  for (auto& [vk, grab] : grabs_) {
    if (grab.keycode != key->detail) continue;
    if (type == XCB_KEY_RELEASE) {
      grab.down = false;
      grab.released = true;
      grab.releaseTime = key->time;
      return true;
    }
    // Only the eight modifier bits count (buttons and the keyboard group do not), locks aside.
    if ((key->state & 0xff & ~lockMask_) != 0) return false;
    if (IsNewPress(grab, key->time)) {
      const int code = vk;
      // Handled from the event loop, not inside the native event dispatch: the handler may
      // scan a page, which waits in a nested loop.
      QMetaObject::invokeMethod(
          &context_, [this, code] { handler_(code); }, Qt::QueuedConnection);
    }
    return true;
  }
  return false;
}

}  // namespace tavimo
