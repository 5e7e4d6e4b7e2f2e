#pragma once
// System-wide hot keys: passive X11 grabs of a key without modifiers on the root window, also
// with every combination of the lock modifiers (CapsLock, NumLock, ScrollLock), so the key works
// whatever lock is on. A press reaches the handler as its Windows virtual-key code, once per
// physical press: auto-repeat while the key is held is dropped. Without X11 (offscreen, Wayland)
// nothing is registered and nothing fails.
#include <QAbstractNativeEventFilter>
#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace tavimo {

inline constexpr int VK_F6 = 0x75;
inline constexpr int VK_F7 = 0x76;

class HotKeys : public QAbstractNativeEventFilter {
 public:
  using Handler = std::function<void(int vk)>;

  // The handler runs from the event loop, after the native event that carried the press has
  // been handled (it may run a nested loop of its own).
  explicit HotKeys(Handler handler);
  ~HotKeys() override;  // releases every key still held
  HotKeys(const HotKeys&) = delete;
  HotKeys& operator=(const HotKeys&) = delete;

  // Grabs the key (function keys F1..F24, 0x70..0x87). True when the key is now ours; false
  // without X11, for another key, or when another client already holds any variant of it, in
  // which case none of its variants stays grabbed.
  bool Register(int vk);
  void Unregister(int vk);
  bool IsRegistered(int vk) const;
  std::vector<int> Registered() const;

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  struct Grab {
    std::uint8_t keycode = 0;
    std::vector<std::uint16_t> modifiers;  // every variant grabbed, 0 first
    bool down = false;                     // between a press and its release
    bool released = false;                 // a release was seen, at releaseTime
    std::uint32_t releaseTime = 0;
    std::uint32_t pressTime = 0;  // last press event (first or repeated)
  };

  void Ungrab(const Grab& grab);  // returns once the server has let the key go
  // True when the press starts a new physical press; records it either way.
  static bool IsNewPress(Grab& grab, std::uint32_t time);

  Handler handler_;
  QObject context_;  // queued handler calls die with this object
  void* connection_ = nullptr;
  std::vector<std::uint32_t> roots_;
  std::uint16_t lockMask_ = 0;
  std::map<int, Grab> grabs_;  // by virtual-key code
  bool filtering_ = false;
};

}  // namespace tavimo
