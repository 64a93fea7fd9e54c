#include "serial/qt/QtGuiDispatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <atomic>
#include <cstddef>
#include <new>
#include <stdexcept>

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

// Runs the queued calls when a wake event reaches it.
class Receiver : public QObject {
 public:
  explicit Receiver(TVaHandOffQueue& queue) : queue_(queue) {}
  bool event(QEvent* event) override {
    if (event->type() != WakeType()) return QObject::event(event);
    queue_.BeginRun();
    while (queue_.RunOne()) {
    }
    return true;
  }

 private:
  TVaHandOffQueue& queue_;
};

}  // namespace

TVaQtDispatcher::TVaQtDispatcher()
    : queue_([this] { QCoreApplication::postEvent(receiver_.get(), new WakeEvent); }),
      receiver_(std::make_unique<Receiver>(queue_)) {}

TVaQtDispatcher::~TVaQtDispatcher() = default;

void TVaQtDispatcher::Call(const std::function<void()>& fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) throw std::logic_error("TVaQtDispatcher: no application object");
  if (QThread::currentThread() == receiver_->thread()) {
    fn();  // waiting for its own thread would never return
    return;
  }
  queue_.Call(fn);
}

}  // namespace kelta
