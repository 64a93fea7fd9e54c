#include "serial/qt/QtGuiDispatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <atomic>
#include <cstddef>
#include <new>
#include <stdexcept>

#include "serial/HandOffQueue.h"

namespace kelta {

namespace {

QEvent::Type WakeType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

// Qt deletes a posted event once delivered, so each wake is a new object; its memory comes
// from a few slots kept for it (at most two wakes of one dispatcher are alive at once: the one
// being delivered and the next), and only when every slot is taken from the heap.
class WakeEvent : public QEvent {
 public:
  WakeEvent() : QEvent(WakeType()) {}
  static void* operator new(std::size_t size);
  static void operator delete(void* memory) noexcept;
};

constexpr int kSlots = 8;
alignas(WakeEvent) unsigned char wakeSlots[kSlots][sizeof(WakeEvent)];
std::atomic<bool> slotTaken[kSlots];

void* WakeEvent::operator new(std::size_t size) {
  if (size == sizeof(WakeEvent)) {
    for (int i = 0; i < kSlots; ++i) {
      if (!slotTaken[i].exchange(true, std::memory_order_acquire)) return wakeSlots[i];
    }
  }
  return ::operator new(size);
}

void WakeEvent::operator delete(void* memory) noexcept {
  for (int i = 0; i < kSlots; ++i) {
    if (memory == wakeSlots[i]) {
      slotTaken[i].store(false, std::memory_order_release);
      return;
    }
  }
  ::operator delete(memory);
}

// Owns the waiting line and runs the queued calls when a wake event reaches it. It lives on
// the GUI thread and is deleted there: a wake may still be on its way to it (or being
// delivered) when the dispatcher's last owner lets go on a worker thread.
class Receiver : public QObject {
 public:
  Receiver() : queue_([this] { QCoreApplication::postEvent(this, new WakeEvent); }) {}
  HandOffQueue& Queue() { return queue_; }
  bool event(QEvent* event) override {
    if (event->type() != WakeType()) return QObject::event(event);
    queue_.BeginRun();
    while (queue_.RunOne()) {
    }
    return true;
  }

 private:
  HandOffQueue queue_;
};

}  // namespace

QtDispatcher::QtDispatcher() : receiver_(new Receiver) {}

QtDispatcher::~QtDispatcher() {
  // No call can be queued any more (nobody holds the dispatcher), but the GUI thread may still
  // be inside the receiver, finishing the wake that ran the last one. Off the GUI thread the
  // deletion is posted to it, behind whatever it is delivering; Qt drops the receiver's pending
  // wakes with it.
  if (QThread::currentThread() == receiver_->thread()) {
    delete receiver_;
  } else {
    receiver_->deleteLater();
  }
}

void QtDispatcher::Call(const std::function<void()>& fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) throw std::logic_error("QtDispatcher: no application object");
  if (QThread::currentThread() == receiver_->thread()) {
    fn();  // waiting for its own thread would never return
    return;
  }
  static_cast<Receiver*>(receiver_)->Queue().Call(fn);
}

}  // namespace kelta
