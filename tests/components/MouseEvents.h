#pragma once
// Mouse events as the window system delivers them to a widget.
#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QWidget>

namespace tavimo::test {

inline void Enter(QWidget* w) {
  QEnterEvent e(QPointF(3, 3), QPointF(3, 3), QPointF(w->mapToGlobal(QPoint(3, 3))));
  QApplication::sendEvent(w, &e);
}

inline void Leave(QWidget* w) {
  QEvent e(QEvent::Leave);
  QApplication::sendEvent(w, &e);
}

inline void Button(QWidget* w, QEvent::Type type, Qt::MouseButton b, QPoint at = {5, 5}) {
  const bool down = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
  const Qt::MouseButtons held = down ? Qt::MouseButtons(b) : Qt::NoButton;
  QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)), b, held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

inline void Press(QWidget* w, Qt::MouseButton b = Qt::LeftButton) { Button(w, QEvent::MouseButtonPress, b); }
inline void Release(QWidget* w, Qt::MouseButton b = Qt::LeftButton, QPoint at = {5, 5}) {
  Button(w, QEvent::MouseButtonRelease, b, at);
}

// A parent that counts the presses that reach it.
class PressCounter : public QWidget {
 public:
  int presses = 0;

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    ++presses;
    e->accept();
  }
};

}  // namespace tavimo::test
